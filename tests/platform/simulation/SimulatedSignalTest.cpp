#include "LiteralFft.h"

#include "platform/simulation/SimulatedSignal.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace brindle::test
{

namespace
{
    std::vector<float> play (const SimulatedSignal& signal, std::int64_t firstFrame, int frames)
    {
        std::vector<float> left ((size_t) frames), right ((size_t) frames);
        float* channels[] = { left.data(), right.data() };
        signal (channels, 2, frames, firstFrame, 48000);
        EXPECT_EQ (left, right) << "the same on every channel";
        return left;
    }
}

TEST (SimulatedSignal, PinkNoiseRepeatsEveryPeriodAtItsLevelWithoutAMean)
{
    const auto period = pinkNoisePeriod (0.1);
    ASSERT_EQ ((std::int64_t) period.size(), pinkNoisePeriodFrames);

    double sum = 0, power = 0;
    for (auto x : period)
    {
        sum += x;
        power += (double) x * x;
    }

    EXPECT_NEAR (sum / (double) period.size(), 0.0, 1e-6);
    EXPECT_NEAR (std::sqrt (power / (double) period.size()), 0.1, 1e-5);

    // Any frame is made again from its number, in any later period.
    const auto signal = pinkNoiseSignal (0.1);
    const auto start = play (signal, 0, 4096);
    const auto later = play (signal, 5 * pinkNoisePeriodFrames, 4096);
    const auto acrossTheJoin = play (signal, pinkNoisePeriodFrames - 100, 200);

    for (size_t k = 0; k < 4096; ++k)
    {
        ASSERT_EQ (start[k], period[k]) << k;
        ASSERT_EQ (later[k], period[k]) << k;
    }

    for (size_t k = 0; k < 200; ++k)
        ASSERT_EQ (acrossTheJoin[k], period[(k + (size_t) pinkNoisePeriodFrames - 100) % period.size()]) << k;

    // The join has no seam: the step across it is an ordinary step of the noise.
    double largestStep = 0;
    for (size_t k = 1; k < period.size(); ++k)
        largestStep = std::max (largestStep, (double) std::abs (period[k] - period[k - 1]));
    EXPECT_LT (std::abs (period.front() - period.back()), largestStep);
}

TEST (SimulatedSignal, PinkNoiseHasEqualPowerInEveryOctave)
{
    const auto period = pinkNoisePeriod (0.1);
    const int order = 17;
    ASSERT_EQ (1 << order, (int) period.size());

    std::vector<double> re (period.begin(), period.end()), im (period.size(), 0.0);
    LiteralFft<double> (order).forward (re.data(), im.data());

    // Octaves from 31.25 Hz to 16 kHz; a period's lines are 48000 / 131072 Hz apart.
    const double lineHz = 48000.0 / (double) period.size();
    std::vector<double> octaves;

    for (double low = 31.25; low < 16000; low *= 2)
    {
        double power = 0;
        for (auto k = (size_t) std::ceil (low / lineHz); (double) k * lineHz < 2 * low; ++k)
            power += re[k] * re[k] + im[k] * im[k];
        octaves.push_back (10 * std::log10 (power));
    }

    for (size_t i = 1; i < octaves.size(); ++i)
        EXPECT_NEAR (octaves[i], octaves[0], 1.5) << "octave " << i;
}

// The end-to-end test makes the noise again in its own script (tests/e2e/recording.js) and
// checks the same samples, so the two stay one signal.
TEST (SimulatedSignal, PinkNoiseIsTheSignalTheEndToEndTestMakesAgain)
{
    const auto period = pinkNoisePeriod (0.1);
    EXPECT_EQ (period[0], -0.0515456311f);
    EXPECT_EQ (period[1], -0.0141860358f);
    EXPECT_EQ (period[1000], 0.149566129f);
    EXPECT_EQ (period[131071], 0.0110021746f);
}

TEST (SimulatedSignal, TheSoundCardsSignalIsNamedByTheEnvironmentsWord)
{
    EXPECT_TRUE (SimulatedSoundCard::signalNamed (""));
    EXPECT_TRUE (SimulatedSoundCard::signalNamed ("tones"));
    EXPECT_FALSE (SimulatedSoundCard::signalNamed ("Pink"));
    EXPECT_FALSE (SimulatedSoundCard::signalNamed ("sweep"));

    const auto tones = play (SimulatedSoundCard::signalNamed ("tones"), 0, 48000);
    const auto pink = play (SimulatedSoundCard::signalNamed ("pink"), 0, 48000);
    const auto period = pinkNoisePeriod (SimulatedSoundCard::pinkNoiseRms);

    EXPECT_EQ (pink, std::vector<float> (period.begin(), period.begin() + 48000));
    EXPECT_NE (tones, pink);
    EXPECT_NEAR (*std::max_element (tones.begin(), tones.end()), 0.25f, 0.01f) << "the two tones, an eighth of full scale each";
}

} // namespace brindle::test
