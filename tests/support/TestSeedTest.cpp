#include "ScopedEnvironmentVariable.h"
#include "TestSeed.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace brindle::test
{

TEST (TestSeed, AGivenSeedIsReplayedAndEveryFailureInItsScopeNamesIt)
{
    const ScopedEnvironmentVariable given ("BRINDLE_TEST_SEED", "4242");

    EXPECT_NONFATAL_FAILURE (
        {
            const TestSeed seed;
            EXPECT_EQ (seed.value, 0u);
        },
        "BRINDLE_TEST_SEED=4242");
}

TEST (TestSeed, WithoutOneEachTestDrawsItsOwn)
{
    const ScopedEnvironmentVariable none ("BRINDLE_TEST_SEED", nullptr);
    const TestSeed first, second;

    // Two draws from the random device agree by chance once in four billion.
    EXPECT_NE (first.value, second.value);
}

} // namespace brindle::test
