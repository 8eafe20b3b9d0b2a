#include "engine/FractionalDelay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace brindle::test
{

namespace
{
    constexpr double pi = 3.141592653589793;

    std::vector<float> run (FractionalDelay& line, const std::vector<float>& input)
    {
        std::vector<float> output;
        output.reserve (input.size());
        for (float x : input)
            output.push_back (line.processSample (x));
        return output;
    }

    std::vector<float> impulse (size_t length)
    {
        std::vector<float> signal (length, 0.0f);
        signal[0] = 1.0f;
        return signal;
    }

    FractionalDelay preparedAt (double sampleRate)
    {
        FractionalDelay line;
        line.prepare (sampleRate);
        return line;
    }
}

TEST (FractionalDelay, ALineNeverPreparedPassesSamplesThrough)
{
    FractionalDelay line;
    line.setDelay (100.5);
    EXPECT_EQ (line.getIntegerDelay(), 0);

    const std::vector<float> input { 0.5f, -1.0f, 0.25f, 3.0f };
    EXPECT_EQ (run (line, input), input);
}

TEST (FractionalDelay, RingSizesFollowTheSampleRate)
{
    struct Case { double sampleRate; size_t ring; int largestDelay; };
    const Case cases[] = { { 44100, 962, 928 }, { 48000, 1044, 1010 }, { 96000, 2052, 2018 }, { 192000, 4068, 4034 } };

    for (const auto& c : cases)
    {
        auto line = preparedAt (c.sampleRate);
        EXPECT_EQ (line.getRingSize(), c.ring) << c.sampleRate;
        EXPECT_EQ (line.getLargestDelay(), c.largestDelay) << c.sampleRate;
    }
}

TEST (FractionalDelay, ZeroDelayIsExactlyFifteenSamplesLate)
{
    auto line = preparedAt (48000);
    EXPECT_EQ (line.getLastFraction(), 0.0) << "preparation builds the taps even for a fraction of 0";

    const auto& taps = line.getTaps();
    for (int k = 0; k < FractionalDelay::tapCount; ++k)
        EXPECT_NEAR (taps[(size_t) k], k == 15 ? 1.0 : 0.0, 1e-15) << "tap " << k;

    const auto out = run (line, impulse (64));
    for (size_t n = 0; n < out.size(); ++n)
        EXPECT_NEAR (out[n], n == 15 ? 1.0f : 0.0f, 1e-7f) << "sample " << n;
}

TEST (FractionalDelay, IntegerDelaysAddToTheFixedFifteen)
{
    for (int delay : { 1, 37, 960, 1010 })
    {
        auto line = preparedAt (48000);
        line.setDelay (delay);

        const auto out = run (line, impulse (1100));
        const auto peak = std::max_element (out.begin(), out.end()) - out.begin();
        EXPECT_EQ (peak, delay + 15) << delay;
        EXPECT_NEAR (out[(size_t) peak], 1.0f, 1e-6f);
    }
}

TEST (FractionalDelay, RequestsOutsideTheRingAreClamped)
{
    auto line = preparedAt (48000);

    line.setDelay (-4.5);
    EXPECT_EQ (line.getIntegerDelay(), 0);
    EXPECT_EQ (line.getLastFraction(), 0.0);

    line.setDelay (5000.75);
    EXPECT_EQ (line.getIntegerDelay(), 1010);
    EXPECT_EQ (line.getLastFraction(), 0.0);

    line.setDelay (std::nan (""));
    EXPECT_EQ (line.getIntegerDelay(), 0) << "a delay that is not a number is taken as none";
}

TEST (FractionalDelay, DcPassesAtUnityForEveryFraction)
{
    for (double fraction = 0.0; fraction < 1.0; fraction += 0.0625)
    {
        auto line = preparedAt (48000);
        line.setDelay (10.0 + fraction);

        EXPECT_NEAR (std::accumulate (line.getTaps().begin(), line.getTaps().end(), 0.0), 1.0, 1e-12);

        const auto out = run (line, std::vector<float> (200, 1.0f));
        EXPECT_NEAR (out.back(), 1.0f, 1e-6f) << "fraction " << fraction;
    }
}

TEST (FractionalDelay, HalfASampleGivesTapsSymmetricAboutFifteenAndAHalf)
{
    auto line = preparedAt (48000);
    line.setDelay (3.5);

    const auto& taps = line.getTaps();
    for (int k = 0; k < 16; ++k)
        EXPECT_NEAR (taps[(size_t) k], taps[(size_t) (31 - k)], 1e-15) << k;
}

// Against the ideal: a band-limited sine delayed by an exact, fractional amount.
TEST (FractionalDelay, FractionalDelaysMatchAnIdealDelayedSine)
{
    const double fs = 48000, freq = 1000;

    for (double delay : { 0.25, 7.5, 100.8, 512.125 })
    {
        auto line = preparedAt (fs);
        line.setDelay (delay);

        double worst = 0;
        for (int n = 0; n < 4000; ++n)
        {
            const auto y = line.processSample ((float) std::sin (2 * pi * freq * n / fs));
            if (n > 1200)
                worst = std::max (worst, std::abs (y - std::sin (2 * pi * freq * (n - 15 - delay) / fs)));
        }

        EXPECT_LT (worst, 2e-4) << "delay " << delay;
    }
}

TEST (FractionalDelay, TapsAreRebuiltOnlyWhenTheFractionMoves)
{
    auto line = preparedAt (48000);

    line.setDelay (100.25);
    const auto taps = line.getTaps();
    EXPECT_EQ (line.getLastFraction(), 0.25);

    line.setDelay (101.25); // the whole part alone moves: same taps, new read position
    EXPECT_EQ (line.getIntegerDelay(), 101);
    EXPECT_EQ (line.getTaps(), taps);

    line.setDelay (101.25 + 4e-13); // below the rebuild threshold
    EXPECT_EQ (line.getLastFraction(), 0.25);
    EXPECT_EQ (line.getTaps(), taps);

    line.setDelay (101.5);
    EXPECT_EQ (line.getLastFraction(), 0.5);
    EXPECT_NE (line.getTaps(), taps);

    // The moved read position is what the audio hears: an impulse now arrives 101 + 15 + 0.5 late.
    auto fresh = preparedAt (48000);
    fresh.setDelay (100.25);
    fresh.setDelay (101.25);
    const auto out = run (fresh, impulse (200));
    const auto peak = std::max_element (out.begin(), out.end()) - out.begin();
    EXPECT_EQ (peak, 116);
}

TEST (FractionalDelay, ReadsWrapAroundTheRing)
{
    auto line = preparedAt (8000); // a small ring: 204 samples
    line.setDelay (20.5);

    // Several laps of a ramp: every output must be the average of the two ramp values around
    // the delayed position, far from where the ring starts or ends.
    std::vector<float> ramp;
    for (int n = 0; n < 1000; ++n)
        ramp.push_back ((float) std::sin (2 * pi * 50 * n / 8000.0));

    const auto out = run (line, ramp);
    for (int n = 100; n < 1000; ++n)
        EXPECT_NEAR (out[(size_t) n], std::sin (2 * pi * 50 * (n - 35.5) / 8000.0), 2e-4) << n;

    // Clearing on preparation: old samples are gone.
    line.prepare (8000);
    EXPECT_EQ (line.processSample (0.0f), 0.0f);
}


// A delay that moves with a fade length goes from the old read to the new one in a straight
// line, wholly on the new one at the fade's last sample; without one it jumps.
TEST (FractionalDelay, AMovedDelayCrossfadesFromTheOldReadToTheNewOne)
{
    auto value = [] (int n) { return (float) ((n * 37) % 101) - 50.0f; }; // no two neighbours alike
    auto read = [&] (int n, int delay) { return (float) value (n - 15 - delay); };

    for (int fade : { 0, 1, 8, 300 })
    {
        auto line = preparedAt (48000);
        line.setDelay (10);
        int n = 0;
        for (; n < 100; ++n)
            line.processSample (value (n));

        line.setDelay (30, fade);
        EXPECT_EQ (line.getFadeRemaining(), fade);

        for (int i = 0; i < fade + 50; ++i, ++n)
        {
            const double toNew = i < fade ? (i + 1.0) / fade : 1.0;
            const double expected = (1 - toNew) * read (n, 10) + toNew * read (n, 30);
            ASSERT_NEAR (line.processSample (value (n)), expected, 1e-4) << "fade " << fade << ", sample " << i;
        }
        EXPECT_EQ (line.getFadeRemaining(), 0);

        // Asked again for the delay it already has, the line starts no fade.
        line.setDelay (30, fade);
        EXPECT_EQ (line.getFadeRemaining(), 0);
    }
}

// A move in the middle of a fade cannot keep both old reads, so the new fade starts from the
// read the unfinished one was heading to.
TEST (FractionalDelay, AMoveDuringAFadeStartsFromTheReadItWasHeadingTo)
{
    auto value = [] (int n) { return (float) ((n * 37) % 101) - 50.0f; };
    auto line = preparedAt (48000);
    line.setDelay (10);
    int n = 0;
    for (; n < 100; ++n)
        line.processSample (value (n));

    line.setDelay (30, 10);
    for (int i = 0; i < 4; ++i, ++n)
        line.processSample (value (n));

    line.setDelay (50.5, 4);
    EXPECT_EQ (line.getFadeRemaining(), 4);
    for (int i = 0; i < 2; ++i, ++n)
        line.processSample (value (n));

    // Its third sample holds a quarter of the read at 30 and nothing of the one at 10.
    FractionalDelay heading = preparedAt (48000), target = preparedAt (48000);
    heading.setDelay (30);
    target.setDelay (50.5);
    float fromHeading = 0, fromTarget = 0;
    for (int m = 0; m <= n; ++m)
    {
        fromHeading = heading.processSample (value (m));
        fromTarget = target.processSample (value (m));
    }

    EXPECT_NEAR (line.processSample (value (n)), 0.25 * fromHeading + 0.75 * fromTarget, 1e-4);
}

} // namespace brindle::test
