#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace brindle::test
{

/** The seed of a randomised test: BRINDLE_TEST_SEED when it is set (to replay a failure),
    otherwise a fresh one. While it lives, every failure in its scope names it, and the test's
    record carries it as the property "seed".

        const TestSeed seed;
        std::mt19937 random (seed.value); */
class TestSeed
{
public:
    TestSeed() : value (chooseSeed()), trace (__FILE__, __LINE__, describe (value))
    {
        testing::Test::RecordProperty ("seed", std::to_string (value));
    }

    const std::uint32_t value;

private:
    static std::uint32_t chooseSeed()
    {
        if (const char* given = std::getenv ("BRINDLE_TEST_SEED"); given != nullptr && *given != '\0')
            return (std::uint32_t) std::strtoul (given, nullptr, 10);

        return std::random_device {}();
    }

    static std::string describe (std::uint32_t seed)
    {
        return "seed " + std::to_string (seed) + " (replay with BRINDLE_TEST_SEED=" + std::to_string (seed) + ")";
    }

    testing::ScopedTrace trace;
};

} // namespace brindle::test
