// The linear-phase path through the engine: its latency, the silence after a start, the
// kernel crossfade and its hand-over, and a change of phase mode. Kernels are handed in the
// way a finished design hands them over (offerKernels), so each case controls its kernels.
#include "EngineFixtures.h"
#include "TestSeed.h"

#include "engine/FirLength.h"
#include "engine/LinearPhaseDesign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

namespace brindle::test
{

namespace
{
    constexpr int block = 1024;

    CorrectionState linearState()
    {
        auto state = makeState ({});
        state.phaseMode = PhaseMode::linear;
        return state;
    }

    /** An engine already in linear phase when its route opens, as after a route change. */
    std::unique_ptr<CorrectionEngine> linearEngine (double fs, int maxBlock, const CorrectionState& state = linearState())
    {
        auto engine = std::make_unique<CorrectionEngine>();
        engine->applyState (state);
        engine->prepare (fs, maxBlock);
        return engine;
    }

    /** A kernel that is `gain` at one tap and 0 elsewhere. */
    std::vector<double> tapKernel (int length, int at, double gain)
    {
        std::vector<double> taps ((size_t) length, 0.0);
        taps[(size_t) at] = gain;
        return taps;
    }

    std::vector<float> play (CorrectionEngine& engine, int total, int callSize, float (*signal) (int), int offset = 0)
    {
        std::vector<float> out;
        std::vector<float> l ((size_t) callSize), r ((size_t) callSize);

        for (int done = 0; done < total; done += callSize)
        {
            const int n = std::min (callSize, total - done);
            for (int i = 0; i < n; ++i)
                l[(size_t) i] = r[(size_t) i] = signal (offset + done + i);
            engine.process (l.data(), r.data(), n);
            out.insert (out.end(), l.begin(), l.begin() + n);
        }
        return out;
    }

    float ones (int) { return 1.0f; }
    float tone (int n) { return 0.5f * (float) std::sin (0.031 * n); }
    float impulse (int n) { return n == 0 ? 1.0f : 0.0f; }
}

TEST (LinearPhasePath, TheIdentityKernelDelaysAnImpulseByTheBlockHalfTheKernelAndTheDelayLine)
{
    const struct { double fs; int expected; } cases[] = {
        { 44100, 9231 }, { 48000, 9231 }, { 88200, 16399 }, { 96000, 17423 }, { 192000, 33807 },
    };

    for (const auto& c : cases)
    {
        auto engine = linearEngine (c.fs, 512);
        EXPECT_EQ (c.expected, 15 + firLengthFor (FirQuality::medium, c.fs) / 2 + block);

        const auto out = play (*engine, c.expected + 600, 512, impulse);
        const auto peak = std::max_element (out.begin(), out.end(), [] (float a, float b) { return std::abs (a) < std::abs (b); });

        EXPECT_EQ (peak - out.begin(), c.expected) << c.fs << " Hz";
        EXPECT_NEAR (*peak, 1.0f, 1e-5) << c.fs << " Hz";

        for (size_t n = 0; n < out.size(); ++n)
        {
            if ((int) n != c.expected)
            {
                ASSERT_NEAR (out[n], 0.0f, 1e-5) << c.fs << " Hz, sample " << n;
            }
        }
    }
}

TEST (LinearPhasePath, AChangeOfModeInEitherDirectionStartsFromSilenceAndARepeatedModeResetsNothing)
{
    // A kernel with its tap at 0 makes the path's own block of latency the only silence.
    const auto direct = tapKernel (4096, 0, 1.0);
    auto engine = linearEngine (48000, 2048);
    ASSERT_TRUE (engine->offerKernels (direct.data(), direct.data(), 4096));

    const auto first = play (*engine, 4 * block, 256, tone);
    for (int n = 0; n < block; ++n)
        ASSERT_EQ (first[(size_t) n], 0.0f) << "after prepare, sample " << n;
    ASSERT_EQ (engine->getActiveKernelSlot(), 1);
    EXPECT_NEAR (first[3000], tone (3000 - block - 15), 1e-5) << "the direct kernel is in use";

    // The same mode again changes nothing: the output goes on as if no state had come.
    auto reference = linearEngine (48000, 2048);
    ASSERT_TRUE (reference->offerKernels (direct.data(), direct.data(), 4096));
    play (*reference, 4 * block, 256, tone);

    engine->audioStates.publish (linearState());
    EXPECT_EQ (play (*engine, 2 * block, 256, tone, 4 * block), play (*reference, 2 * block, 256, tone, 4 * block));

    // To minimum phase: the linear path fades out, and its history is gone afterwards.
    engine->audioStates.publish (makeState ({}));
    const int fade = engine->getModeFadeLength();
    const auto toMinimum = play (*engine, 2 * block, 256, tone, 6 * block);
    EXPECT_EQ (engine->getPhaseMode(), PhaseMode::minimum);
    EXPECT_EQ (engine->getChannel (0).ringPending, block) << "the linear history was cleared";
    EXPECT_NEAR (toMinimum[(size_t) (2 * block - 1)], tone (8 * block - 1 - 15), 1e-5) << "the cascade plays";

    // And back: after the old path's fade the new one is silent for its first block.
    engine->audioStates.publish (linearState());
    const auto toLinear = play (*engine, 3 * block, 256, tone, 8 * block);
    EXPECT_GT (std::abs (toLinear[0]), 0.0f) << "the cascade fades out rather than stopping";
    for (int n = fade; n < block; ++n)
        ASSERT_EQ (toLinear[(size_t) n], 0.0f) << "after the change to linear phase, sample " << n;
    const int n = 2 * block + 500;
    EXPECT_NEAR (toLinear[(size_t) n], tone (8 * block + n - block - 15), 1e-5) << "the direct kernel is still in use";
}

TEST (LinearPhasePath, OneLongCallGivesTheSameSamplesAsOneSampleCalls)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    std::uniform_real_distribution<double> tap (-0.2, 0.2);
    std::vector<double> left (3000), right (3000);
    for (size_t k = 0; k < left.size(); ++k)
    {
        left[k] = tap (random);
        right[k] = tap (random);
    }

    auto state = makeState ({ makeBand (BandType::bell, 1000, 6, 1) });
    state.phaseMode = PhaseMode::linear;
    // No speaker delay: the line starts at 0 after prepare and fades to its delay over the
    // first call, whose length differs between the two runs.
    state.outputDb = -4;

    std::vector<float> outputs[2];
    const int callSizes[] = { 4096, 1 };

    for (int k = 0; k < 2; ++k)
    {
        auto engine = linearEngine (48000, 4096, state);
        engine->snapToTargets();
        ASSERT_TRUE (engine->offerKernels (left.data(), right.data(), 3000)) << "a crossfade in both runs";
        outputs[k] = play (*engine, 3 * 4096, callSizes[k], tone);
        EXPECT_FALSE (engine->isKernelReady());
    }

    ASSERT_EQ (outputs[0].size(), outputs[1].size());
    for (size_t n = 0; n < outputs[0].size(); ++n)
        ASSERT_EQ (outputs[0][n], outputs[1][n]) << "sample " << n;
}

TEST (LinearPhasePath, ANewKernelFadesInLinearlyOverOneBlockAndTheSlotsSwapOnce)
{
    const int identityTaps = firLengthFor (FirQuality::medium, 48000);
    const auto doubled = tapKernel (identityTaps, identityTaps / 2, 2.0);

    for (int callSize : { 1024, 2048 })
    {
        auto engine = linearEngine (48000, 4096);
        play (*engine, 12 * block, block, ones);   // settled through the identity kernel
        ASSERT_NEAR (play (*engine, block, block, ones).back(), 1.0f, 1e-6);

        ASSERT_TRUE (engine->offerKernels (doubled.data(), doubled.data(), identityTaps));
        EXPECT_FALSE (engine->offerKernels (doubled.data(), doubled.data(), identityTaps)) << "one waits already";

        // This call completes the faded block (and, for 2048, one more through the new kernel
        // alone); the faded block is read out 1024 samples after it started.
        auto out = play (*engine, callSize, callSize, ones);
        EXPECT_FALSE (engine->isKernelReady());
        EXPECT_EQ (engine->getActiveKernelSlot(), 1) << "flipped once, " << callSize;
        const float incomingLast = engine->getChannel (0).fadeBlock[(size_t) block - 1];

        const auto next = play (*engine, 2 * block, 2 * block, ones);
        out.insert (out.end(), next.begin(), next.end());
        const float* faded = out.data() + block;

        EXPECT_NEAR (faded[0], 1.0f + 1.0f / 1024.0f, 1e-6) << callSize;
        for (int j = 1; j < block; ++j)
            ASSERT_NEAR (faded[j] - faded[j - 1], 1.0 / 1024.0, 1e-5) << "sample " << j;
        EXPECT_EQ (faded[block - 1], incomingLast) << "the incoming kernel alone";
        EXPECT_NEAR (incomingLast, 2.0f, 1e-5);
        for (int j = block; j < 2 * block; ++j)
            ASSERT_NEAR (faded[j], 2.0f, 1e-5) << "the next block, sample " << j;

        // The gain scales what the current call reads out, not what was written earlier.
        auto halved = linearState();
        halved.outputDb = 20 * std::log10 (0.5);
        engine->applyState (halved);
        engine->snapToTargets();
        const auto scaled = play (*engine, 64, 64, ones);
        EXPECT_NEAR (scaled.front(), 1.0f, 1e-5);
        EXPECT_NEAR (scaled.back(), 1.0f, 1e-5);
    }
}

TEST (LinearPhasePath, AWaitingKernelWaitsForACompletedBlockInLinearPhase)
{
    const auto kernel = tapKernel (4096, 100, 1.0);

    // In minimum phase nothing fades and nothing flips.
    auto engine = std::make_unique<CorrectionEngine>();
    engine->prepare (48000, 4096);
    ASSERT_TRUE (engine->offerKernels (kernel.data(), kernel.data(), 4096));
    play (*engine, 4 * block, 512, tone);
    EXPECT_TRUE (engine->isKernelReady());
    EXPECT_EQ (engine->getActiveKernelSlot(), 0);

    // In linear phase, a call that completes no block leaves it waiting...
    engine->audioStates.publish (linearState());
    play (*engine, 1000, 1000, tone);
    EXPECT_TRUE (engine->isKernelReady());
    EXPECT_EQ (engine->getActiveKernelSlot(), 0);

    // ...and the call that completes one fades it in.
    play (*engine, 24, 24, tone);
    EXPECT_FALSE (engine->isKernelReady());
    EXPECT_EQ (engine->getActiveKernelSlot(), 1);
}

} // namespace brindle::test

namespace brindle::test
{

// A tone through one designed kernel while the next one, of the same tier, fades in: each
// step is at most the tone's own step through either kernel plus 1/1024 of the gap between
// the two kernels' outputs at that sample.
TEST (LinearPhasePath, AKernelCrossfadeStepsNoMoreThanTheToneAndTheFadeOfTheGap)
{
    const int taps = firLengthFor (FirQuality::medium, 48000);
    LinearPhaseDesign design;
    design.prepare();

    auto kernelFor = [&] (double gainDb)
    {
        auto state = makeState ({ makeBand (BandType::bell, 1000, gainDb, 1) });
        state.phaseMode = PhaseMode::linear;
        std::vector<double> left ((size_t) taps), right ((size_t) taps);
        EXPECT_EQ (design.design (state, 48000, taps, left.data(), right.data()), LinearPhaseDesign::Outcome::designed);
        return left;
    };

    const auto boost = kernelFor (9);
    const auto cut = kernelFor (-9);
    const auto sine = [] (int n) { return 0.5f * (float) std::sin (2 * 3.141592653589793 * 1000 * n / 48000); };

    auto engine = linearEngine (48000, 2048);
    ASSERT_TRUE (engine->offerKernels (boost.data(), boost.data(), taps));

    std::vector<float> out, l (block), r (block);
    int played = 0;
    auto playBlock = [&]
    {
        for (int i = 0; i < block; ++i)
            l[(size_t) i] = r[(size_t) i] = sine (played + i);
        engine->process (l.data(), r.data(), block);
        out.insert (out.end(), l.begin(), l.end());
        played += block;
    };

    for (int b = 0; b < 40; ++b)
        playBlock();   // settled through the boost

    ASSERT_TRUE (engine->offerKernels (cut.data(), cut.data(), taps));
    playBlock();   // completes the faded block
    const auto& channel = engine->getChannel (0);
    const std::vector<float> through (channel.activeBlock), incoming (channel.fadeBlock);
    playBlock();   // reads it out
    for (int b = 0; b < 4; ++b)
        playBlock();

    const size_t fadeStart = out.size() - 5 * block;
    float toneStep = 0;
    for (size_t n = fadeStart - 4 * block; n < out.size(); ++n)
        if (n < fadeStart || n > fadeStart + block)
            toneStep = std::max (toneStep, std::abs (out[n] - out[n - 1]));

    for (int j = 0; j < block; ++j)
    {
        const float gap = std::abs (incoming[(size_t) j] - through[(size_t) j]);
        const float step = std::abs (out[fadeStart + (size_t) j] - out[fadeStart + (size_t) j - 1]);
        ASSERT_LE (step, toneStep + gap / 1024.0f + 1e-6f) << "sample " << j << " of the fade";
    }

    EXPECT_NEAR (out[fadeStart + block - 1], incoming[(size_t) block - 1], 1e-6) << "the fade ends on the new kernel";
}

} // namespace brindle::test

namespace brindle::test
{

// The route opening's design pass: a state published before it is designed at once and
// faded in over the first block; with nothing published the identity kernel stays.
TEST (LinearPhasePath, TheOpeningPassFadesAWaitingStateInOverTheFirstBlock)
{
    for (bool published : { true, false })
    {
        auto engine = linearEngine (48000, 2048);
        if (published)
            engine->designerStates.publish (linearState());

        EXPECT_EQ (engine->designPendingKernel(), published);
        EXPECT_EQ (engine->isKernelReady(), published);

        play (*engine, block, block, tone);
        EXPECT_EQ (engine->getActiveKernelSlot(), published ? 1 : 0) << (published ? "faded in" : "kept");
        EXPECT_FALSE (engine->isKernelReady());
    }
}

} // namespace brindle::test
