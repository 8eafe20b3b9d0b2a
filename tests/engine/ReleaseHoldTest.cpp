// The held gain is the lowest gain asked for over the last `hold` samples, the hold moving by
// one sample per sample towards what was asked: checked against a plain search of the history.
#include "TestSeed.h"

#include "engine/ReleaseHold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace brindle::test
{

TEST (ReleaseHold, GivesTheLowestGainAskedForOverTheHold)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    constexpr int longest = 64;

    ReleaseHold hold;
    hold.prepare (longest);

    std::vector<double> asked;
    int window = 0, target = 0;
    double gain = 1.0;

    auto moveWindow = [&] { window = window < target ? window + 1 : std::max (target, window - 1); };
    auto lowestHeld = [&]
    {
        const auto from = asked.end() - std::min<std::ptrdiff_t> (window + 1, (std::ptrdiff_t) asked.size());
        return *std::min_element (from, asked.end());
    };

    for (int n = 0; n < 20000; ++n)
    {
        if (n % 151 == 0)
        {
            const int asks = (int) (random() % 90);   // sometimes beyond the longest hold
            hold.setHold (asks);
            target = std::min (asks, longest);
            if (asked.empty())
                window = target;
        }

        // Long steady stretches, falls and rises of every size.
        if (random() % 40 == 0)
            gain = std::uniform_real_distribution<double> (0.01, 2.0) (random);

        if (random() % 5 == 0 && hold.skipSteady (gain, 7))
        {
            EXPECT_EQ (lowestHeld(), gain) << "skipped only when nothing lower was held";
            for (int i = 0; i < 7; ++i)
            {
                moveWindow();
                asked.push_back (gain);
            }
            continue;
        }

        moveWindow();
        asked.push_back (gain);
        ASSERT_EQ (hold.process (gain), lowestHeld()) << "sample " << asked.size() << ", hold " << window;
        ASSERT_EQ (hold.getHold(), window);
    }
}

} // namespace brindle::test
