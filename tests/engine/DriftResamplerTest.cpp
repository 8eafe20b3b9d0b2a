#include "TestSeed.h"
#include "SineFit.h"
#include "engine/AudioFifo.h"
#include "engine/DriftResampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <random>
#include <vector>

namespace brindle::test
{

namespace
{
    constexpr double pi = 3.141592653589793;

    // A resampler and its queue, with the queue made large enough to hold a whole test signal.
    struct Rig
    {
        AudioFifo queue;
        DriftResampler resampler;

        Rig (int maxBlock, double ratio, int queueFrames)
        {
            queue.prepare (queueFrames + 1);
            resampler.prepare (maxBlock, ratio, 1.01);
        }

        void push (const std::vector<float>& left, const std::vector<float>& right)
        {
            ASSERT_EQ (queue.write (left.data(), right.data(), (int) left.size()), (int) left.size());
        }

        // Plays `frames` frames in blocks of `block`, appending to the two outputs; returns the
        // total the resampler reported as silence.
        int play (int frames, int block, double step, std::vector<float>& left, std::vector<float>& right)
        {
            int silent = 0;
            std::vector<float> l ((size_t) block), r ((size_t) block);

            for (int done = 0; done < frames; done += block)
            {
                const int n = std::min (block, frames - done);
                float* outputs[] = { l.data(), r.data() };
                silent += resampler.process (queue, outputs, n, step);
                left.insert (left.end(), l.begin(), l.begin() + n);
                right.insert (right.end(), r.begin(), r.begin() + n);
            }

            return silent;
        }
    };

    std::vector<float> randomSignal (std::mt19937& random, int frames)
    {
        std::uniform_real_distribution<float> value (-1.0f, 1.0f);
        std::vector<float> signal ((size_t) frames);
        for (auto& x : signal)
            x = value (random);
        return signal;
    }

    // The frames a call wants in total, less the 31 the history holds after reset.
    int deficitAfterReset (int frames, double step)
    {
        return (int) std::floor ((frames - 1) * step + DriftResampler::tapsBeforeCentre) + 17 - 31;
    }
}

TEST (DriftResampler, PrepareClampsTheRatioAndSizesTheHistoryForTheLargestStep)
{
    struct Case { int maxBlock; double ratio; double largest; double storedRatio; double maxStep; int capacity; };
    const Case cases[] = {
        { 2048, 1.0, 1.01, 1.0, 1.01, 2120 },
        { 2048, 100.0, 1.01, 64.0, 64.64, 132434 },
        { 2048, 0.001, 1.01, 1.0 / 64, 1.01 / 64, 84 },
        { 480, 0.91875, 1.01, 0.91875, 0.91875 * 1.01, 497 },
        { 256, 2.0, 0.5, 2.0, 2.0, 563 },    // a largest ratio below 1 counts as 1
        { 0, 1.0, 1.0, 1.0, 1.0, 52 },       // at least one frame per block
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "maxBlock " << c.maxBlock << " ratio " << c.ratio << " largest " << c.largest);
        DriftResampler resampler;
        resampler.prepare (c.maxBlock, c.ratio, c.largest);

        EXPECT_DOUBLE_EQ (resampler.getRatio(), c.storedRatio);
        EXPECT_DOUBLE_EQ (resampler.getMaxStep(), c.maxStep);
        EXPECT_EQ (resampler.getCapacity(), c.capacity);
        EXPECT_EQ (resampler.getMaxBlock(), std::max (1, c.maxBlock));
        EXPECT_EQ (resampler.getCount(), 31) << "reset: 31 frames of silence";
        EXPECT_EQ (resampler.getPosition(), 15.0) << "reset: read position on the sixteenth";
    }
}

TEST (DriftResampler, EveryPhaseSumsToOneAndWithoutNarrowingPhaseZeroIsAUnitImpulse)
{
    for (double ratio : { 0.5, 1.0, 1.5 })
    {
        SCOPED_TRACE (ratio);
        DriftResampler resampler;
        resampler.prepare (64, ratio, 1.01);

        for (int row = 0; row < DriftResampler::rowCount; ++row)
        {
            double sum = 0.0;
            for (int tap = 0; tap < DriftResampler::tapCount; ++tap)
                sum += resampler.getCoefficient (row, tap);
            ASSERT_NEAR (sum, 1.0, 1e-12) << "row " << row;
        }

        const double offCentre = std::abs (resampler.getCoefficient (0, 14));
        if (ratio <= 1.0)
            EXPECT_LT (offCentre, 1e-15) << "the full-band sinc is zero at whole frames";
        else
            EXPECT_GT (offCentre, 1e-3) << "a faster input narrows the sinc";

        // Half way between phases the sinc is centred half a frame later: taps 15 and 16 equal.
        EXPECT_NEAR (resampler.getCoefficient (512, 15), resampler.getCoefficient (512, 16), 1e-12);
    }
}

TEST (DriftResampler, DoesNothingBeforePrepareOrForNoFrames)
{
    AudioFifo queue;
    queue.prepare (16);
    queue.writeSilence (10);

    float left[4] = { 7, 7, 7, 7 }, right[4] = { 7, 7, 7, 7 };
    float* outputs[] = { left, right };

    DriftResampler unprepared;
    EXPECT_EQ (unprepared.process (queue, outputs, 4, 1.0), 0);

    DriftResampler prepared;
    prepared.prepare (64, 1.0, 1.01);
    EXPECT_EQ (prepared.process (queue, outputs, 0, 1.0), 0);
    EXPECT_EQ (prepared.process (queue, outputs, -3, 1.0), 0);

    EXPECT_EQ (left[0], 7.0f);
    EXPECT_EQ (right[3], 7.0f);
    EXPECT_EQ (queue.getFill(), 10) << "nothing was pulled";
    EXPECT_EQ (prepared.getCount(), 31);
}

TEST (DriftResampler, AtStepOneTheOutputIsTheInputExactlySixteenFramesLate)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int block : { 1, 64, 480, 2048 })
    {
        SCOPED_TRACE (block);
        constexpr int frames = 5000;
        Rig rig (2048, 1.0, frames);
        const auto inLeft = randomSignal (random, frames);
        const auto inRight = randomSignal (random, frames);
        rig.push (inLeft, inRight);

        std::vector<float> left, right;
        const int silent = rig.play (frames - DriftResampler::delayFrames, block, 1.0, left, right);
        EXPECT_EQ (silent, 0) << "the queue held every frame the output needed";

        for (int k = 0; k < (int) left.size(); ++k)
        {
            const float expectedLeft = k < 16 ? 0.0f : inLeft[(size_t) (k - 16)];
            const float expectedRight = k < 16 ? 0.0f : inRight[(size_t) (k - 16)];
            ASSERT_NEAR (left[(size_t) k], expectedLeft, 1e-6f) << "frame " << k;
            ASSERT_NEAR (right[(size_t) k], expectedRight, 1e-6f) << "frame " << k;
        }
    }
}

TEST (DriftResampler, AConstantStaysConstantAtAnyStep)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    struct Case { double ratio; double step; };
    const Case cases[] = { { 1.0 / 64, 1.0 / 64 }, { 0.5, 0.5 }, { 0.91875, 0.91875 }, { 1.0, 0.37 },
                           { 1.0, 1.0 }, { 1.0, 1.0001 }, { 1.0, 1.01 }, { 3.3, 3.3 }, { 64.0, 64.0 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "ratio " << c.ratio << " step " << c.step);
        constexpr int outputFrames = 3000;
        const int inputFrames = (int) (outputFrames * c.step * 1.02) + 200;
        Rig rig (512, c.ratio, inputFrames);
        rig.push (std::vector<float> ((size_t) inputFrames, 0.75f), std::vector<float> ((size_t) inputFrames, -0.25f));

        // Past the start, where the taps still reach the initial silence, the output is the
        // constant, whatever the phases visited and the step's wobble.
        std::uniform_real_distribution<double> wobble (0.998, 1.002);
        std::vector<float> left, right;
        for (int done = 0; done < outputFrames; done += 100)
            rig.play (100, 100, c.step * wobble (random), left, right);

        const auto settled = (size_t) std::ceil (32.0 / c.step) + 1;
        for (size_t k = settled; k < left.size(); ++k)
        {
            ASSERT_NEAR (left[k], 0.75f, 2e-6f) << "frame " << k;
            ASSERT_NEAR (right[k], -0.25f, 2e-6f) << "frame " << k;
        }
    }
}

TEST (DriftResampler, AnEmptyQueueGivesTheWholeDeficitAsSilence)
{
    struct Case { int frames; double step; };
    const Case cases[] = { { 64, 1.0 }, { 480, 0.91875 }, { 64, 0.5 }, { 1, 1.0 }, { 2048, 1.01 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.frames << " frames at step " << c.step);
        Rig rig (2048, 1.0, 16);
        std::vector<float> left, right;

        EXPECT_EQ (rig.play (c.frames, c.frames, c.step, left, right), deficitAfterReset (c.frames, c.step));
        for (float x : left)
            ASSERT_EQ (x, 0.0f);
    }

    // A step of 0.5 wants about half as many new frames as it plays.
    EXPECT_EQ (deficitAfterReset (64, 0.5), 32);
}

TEST (DriftResampler, AQueueThatRunsDryPlaysWhatItHadThenSilence)
{
    Rig rig (2048, 1.0, 64);
    rig.push (std::vector<float> (10, 1.0f), std::vector<float> (10, 0.5f));

    std::vector<float> left, right;
    EXPECT_EQ (rig.play (64, 64, 1.0, left, right), 64 - 10);

    for (int k = 0; k < 64; ++k)
    {
        const bool fromQueue = k >= 16 && k < 26;
        ASSERT_NEAR (left[(size_t) k], fromQueue ? 1.0f : 0.0f, 1e-6f) << "frame " << k;
        ASSERT_NEAR (right[(size_t) k], fromQueue ? 0.5f : 0.0f, 1e-6f) << "frame " << k;
    }
    EXPECT_EQ (rig.queue.getFill(), 0);
}

TEST (DriftResampler, AStepAboveTheLargestIsHeldThereAndANonFiniteStepPlaysTheNominalRatio)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto inLeft = randomSignal (random, 4000);
    const auto inRight = randomSignal (random, 4000);

    const auto playAt = [&] (double step, std::vector<float>& left)
    {
        Rig rig (512, 1.0, 4000);
        rig.push (inLeft, inRight);
        std::vector<float> right;
        rig.play (2000, 500, step, left, right);
        return rig.queue.getFill();
    };

    std::vector<float> atLargest, atTwo, atOne, atNaN, atInfinity;
    const int fillAtLargest = playAt (1.01, atLargest);
    EXPECT_EQ (playAt (2.0, atTwo), fillAtLargest);
    EXPECT_EQ (atTwo, atLargest);

    const int fillAtOne = playAt (1.0, atOne);
    EXPECT_EQ (playAt (std::numeric_limits<double>::quiet_NaN(), atNaN), fillAtOne);
    EXPECT_EQ (playAt (std::numeric_limits<double>::infinity(), atInfinity), fillAtOne);
    EXPECT_EQ (atNaN, atOne);
    EXPECT_EQ (atInfinity, atOne);
}

TEST (DriftResampler, ABlockLongerThanTheLargestPlaysLikeSeveralShorterOnes)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto inLeft = randomSignal (random, 3000);
    const auto inRight = randomSignal (random, 3000);

    std::vector<float> inOne, inPieces, right;
    Rig one (64, 1.0, 3000), pieces (64, 1.0, 3000);
    one.push (inLeft, inRight);
    pieces.push (inLeft, inRight);

    EXPECT_EQ (one.play (1000, 1000, 1.003, inOne, right), 0);
    EXPECT_EQ (pieces.play (1000, 64, 1.003, inPieces, right), 0);
    EXPECT_EQ (inOne, inPieces);
    EXPECT_EQ (one.queue.getFill(), pieces.queue.getFill());
}

TEST (DriftResampler, SinadOfAOneKilohertzSine)
{
    struct Case { double ratio; double minimumDb; };
    const Case cases[] = { { 1.0001, 120.0 }, { 0.91875, 120.0 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.ratio);
        constexpr double outputRateHz = 48000.0;
        constexpr double frequencyHz = 1000.0;
        const double inputRateHz = outputRateHz * c.ratio;
        constexpr int outputFrames = 60000;
        const int inputFrames = (int) (outputFrames * c.ratio) + 100;

        std::vector<float> sine ((size_t) inputFrames);
        for (int n = 0; n < inputFrames; ++n)
            sine[(size_t) n] = (float) (0.5 * std::sin (2.0 * pi * frequencyHz * n / inputRateHz));

        Rig rig (2048, c.ratio, inputFrames);
        rig.push (sine, sine);
        std::vector<float> left, right;
        ASSERT_EQ (rig.play (outputFrames, 480, c.ratio, left, right), 0);

        const auto fit = bench::fitSine (left, 2000, 48000, frequencyHz / outputRateHz);
        std::cout << "SINAD of 1 kHz at ratio " << c.ratio << ": " << fit.sinadDb << " dB (gain "
                  << 20.0 * std::log10 (fit.amplitude / 0.5) << " dB)\n";
        RecordProperty ("sinad_dB_at_" + std::to_string (c.ratio), std::to_string (fit.sinadDb));

        EXPECT_GT (fit.sinadDb, c.minimumDb);
        EXPECT_NEAR (fit.amplitude, 0.5, 0.5 * 1e-4) << "unity gain at 1 kHz";
        EXPECT_EQ (left, right);
    }
}

} // namespace brindle::test
