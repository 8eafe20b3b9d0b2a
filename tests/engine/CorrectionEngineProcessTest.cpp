#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include <algorithm>

namespace brindle::test
{

namespace
{
    constexpr double fs = 48000;

    std::unique_ptr<CorrectionEngine> preparedEngine (int maxBlock = 512)
    {
        auto engine = std::make_unique<CorrectionEngine>();
        engine->prepare (fs, maxBlock);
        return engine;
    }

    CorrectionState flatState (double outputDb)
    {
        auto state = makeState ({});
        state.outputDb = outputDb;
        return state;
    }
}

TEST (CorrectionEngineProcess, WithNothingInForceTheOutputIsTheInputFifteenSamplesLate)
{
    auto engine = preparedEngine();
    EngineRun run { *engine, 100, {}, {} };
    const auto signal = [] (int n) { return (float) std::sin (0.05 * n) * 0.8f + (n % 7 == 0 ? 0.1f : 0.0f); };
    run.run (signal, 1000);

    for (int n = 0; n < 1000; ++n)
    {
        const float expected = n < 15 ? 0.0f : signal (n - 15);
        ASSERT_NEAR (run.left[(size_t) n], expected, 1e-6f) << n;
        ASSERT_NEAR (run.right[(size_t) n], expected, 1e-6f) << n;
    }
}

TEST (CorrectionEngineProcess, ACallWithoutSamplesStillAppliesTheStateAndGlides)
{
    auto engine = preparedEngine();
    engine->audioStates.publish (flatState (-12));

    engine->process (nullptr, nullptr, 0);

    EXPECT_EQ (engine->getTargetOutputDb(), -12.0);
    EXPECT_DOUBLE_EQ (engine->getCurrentOutputDb(), -12.0 * engine->getSmoothingCoeff());
}

TEST (CorrectionEngineProcess, OfTwoStatesPublishedBetweenCallsOnlyTheSecondIsApplied)
{
    auto engine = preparedEngine();
    engine->audioStates.publish (flatState (-12));
    engine->audioStates.publish (flatState (-3));

    engine->process (nullptr, nullptr, 0);
    EXPECT_EQ (engine->getTargetOutputDb(), -3.0);

    // Nothing new: the targets stay.
    engine->process (nullptr, nullptr, 0);
    EXPECT_EQ (engine->getTargetOutputDb(), -3.0);
}

// The gain glides one step per block; within a block it moves in a straight line in dB from
// the last block's gain to the new one, as the bands do, so the block boundary is no step.
TEST (CorrectionEngineProcess, TheOutputGainGlidesPerBlockAndRampsWithinIt)
{
    auto engine = preparedEngine();
    EngineRun warmUp { *engine, 256, {}, {} };
    warmUp.run ([] (int) { return 0.5f; }, 1024);

    engine->audioStates.publish (flatState (-6));
    EngineRun run { *engine, 256, {}, {} };
    run.run ([] (int) { return 0.5f; }, 3 * 256);

    const double k = engine->getSmoothingCoeff();
    double glidedDb = 0, startGain = 1;

    for (int block = 0; block < 3; ++block)
    {
        glidedDb += (-6 - glidedDb) * k;
        const double endGain = std::pow (10.0, glidedDb / 20.0);

        for (int i = 0; i < 256; ++i)
        {
            const double gain = startGain * std::pow (endGain / startGain, (i + 1) / 256.0);
            ASSERT_NEAR (run.left[(size_t) (block * 256 + i)], 0.5 * gain, 1e-7) << "block " << block << ", sample " << i;
        }

        startGain = endGain;
    }
}

// A route opens with the correction in force, delays included: the delay lines read at their
// delays from the first sample instead of fading in from no delay, so the first block comes
// out the same however the device cuts it.
TEST (CorrectionEngineProcess, AfterASnapTheFirstBlockDoesNotDependOnHowItIsCut)
{
    auto state = makeState ({ makeBand (BandType::bell, 1000, 6, 1) });
    state.delayLeftMs = 3.3;
    state.delayRightMs = 7.71;
    std::vector<float> cutInOnes;

    for (int blockSize : { 1, 2048 })
    {
        auto engine = preparedEngine (2048);
        engine->applyState (state);
        engine->snapToTargets();

        EngineRun run { *engine, blockSize, {}, {} };
        run.run (sineAt (440, fs), 2048);
        run.left.insert (run.left.end(), run.right.begin(), run.right.end());

        if (cutInOnes.empty())
        {
            cutInOnes = run.left;
            continue;
        }

        float largestDifference = 0;
        for (size_t n = 0; n < cutInOnes.size(); ++n)
            largestDifference = std::max (largestDifference, std::abs (run.left[n] - cutInOnes[n]));
        EXPECT_EQ (largestDifference, 0.0f);
    }
}

TEST (CorrectionEngineProcess, ABoostMeasuresAsDesignedAndSafeHeadroomTakesItBack)
{
    for (bool safeHeadroom : { false, true })
    {
        auto engine = preparedEngine (480);
        auto state = makeState ({ makeBand (BandType::bell, 1000, 6, 1) });
        state.safeHeadroom = safeHeadroom;
        engine->audioStates.publish (state);

        EngineRun run { *engine, 480, {}, {} };
        run.run (sineAt (1000, fs), 48000); // one second: the glide has long settled

        const double expected = safeHeadroom ? 0.0 : 6.0;
        EXPECT_NEAR (sineLevelDb (run.left, 9600), expected, 0.02) << "safe headroom " << safeHeadroom;
        EXPECT_NEAR (sineLevelDb (run.right, 9600), expected, 0.02) << "safe headroom " << safeHeadroom;
    }
}

TEST (CorrectionEngineProcess, ABandOnOneChannelLeavesTheOtherFlat)
{
    auto engine = preparedEngine (480);
    auto state = makeState ({ makeBand (BandType::bell, 2000, -9, 2, false, true) });
    state.safeHeadroom = false;
    engine->audioStates.publish (state);

    EngineRun run { *engine, 480, {}, {} };
    run.run (sineAt (2000, fs), 48000);

    EXPECT_NEAR (sineLevelDb (run.left, 9600), 0.0, 0.01);
    EXPECT_NEAR (sineLevelDb (run.right, 9600), -9.0, 0.02);
}

TEST (CorrectionEngineProcess, SpeakerDelaysDelayEachChannel)
{
    auto engine = preparedEngine (64);
    auto state = makeState ({});
    state.delayLeftMs = 1;    // 48 samples
    state.delayRightMs = 2.5; // 120 samples
    engine->audioStates.publish (state);

    // Let the delays glide in on silence, then send one impulse.
    EngineRun settle { *engine, 64, {}, {} };
    settle.run ([] (int) { return 0.0f; }, 64 * 400);

    EngineRun run { *engine, 64, {}, {} };
    run.run ([] (int n) { return n == 0 ? 1.0f : 0.0f; }, 512);

    auto peakAt = [] (const std::vector<float>& v) { return std::max_element (v.begin(), v.end()) - v.begin(); };
    EXPECT_EQ (peakAt (run.left), 48 + 15);
    EXPECT_EQ (peakAt (run.right), 120 + 15);
}

// The pass shapes do not depend on the gain, so leaving force cannot be a glide to 0 dB: the
// section is faded out instead, and bypass must then pass the signal untouched.
TEST (CorrectionEngineProcess, APassFilterLeavingForceFadesOutWithoutAStep)
{
    auto engine = preparedEngine (256);
    // Pass shapes ignore the gain, but like every band they need one to be in force.
    auto state = makeState ({ makeBand (BandType::highPass, 1000, 1, 0.7) });
    engine->audioStates.publish (state);

    // DC through a high-pass settles to nothing; a switch straight to pass-through would jump.
    EngineRun on { *engine, 256, {}, {} };
    on.run ([] (int) { return 1.0f; }, 48000);
    ASSERT_NEAR (on.left.back(), 0.0f, 1e-4f);

    state.bypass = true;
    engine->audioStates.publish (state);
    EngineRun off { *engine, 256, {}, {} };
    off.run ([] (int) { return 1.0f; }, 48000);

    float largestStep = std::abs (off.left[0] - on.left.back());
    for (size_t n = 1; n < off.left.size(); ++n)
        largestStep = std::max (largestStep, std::abs (off.left[n] - off.left[n - 1]));

    EXPECT_LT (largestStep, 0.01f) << "the section fades out over milliseconds, not one sample";
    EXPECT_NEAR (off.left.back(), 1.0f, 1e-6f) << "bypassed, the signal passes untouched";
    EXPECT_NEAR (off.right.back(), 1.0f, 1e-6f);
}

TEST (CorrectionEngineProcess, APassFilterOutOfForceNoLongerFilters)
{
    for (auto type : { BandType::lowPass, BandType::highPass, BandType::bandPass })
    {
        auto engine = preparedEngine (480);
        engine->audioStates.publish (makeState ({ makeBand (type, type == BandType::lowPass ? 100 : 15000, 1, 2) }));
        EngineRun on { *engine, 480, {}, {} };
        on.run (sineAt (1500, fs), 24000);
        ASSERT_LT (sineLevelDb (on.left, 4800), -10.0) << "the filter was in force";

        // The band leaves force without bypass: its slot is no longer in use.
        engine->audioStates.publish (makeState ({}));
        EngineRun off { *engine, 480, {}, {} };
        off.run (sineAt (1500, fs), 24000);
        EXPECT_NEAR (sineLevelDb (off.left, 4800), 0.0, 0.01) << static_cast<int> (type);
    }
}

TEST (CorrectionEngineProcess, ALongerBlockThanPreparedIsStillCorrectedWhole)
{
    auto engine = preparedEngine (64);
    auto state = makeState ({});
    state.outputDb = -20;
    state.safeHeadroom = false;
    engine->applyState (state);
    engine->snapToTargets();

    std::vector<float> left (1000, 1.0f), right (1000, 1.0f);
    engine->process (left.data(), right.data(), 1000);

    for (size_t n = 15; n < left.size(); ++n)
        ASSERT_NEAR (left[n], 0.1f, 1e-6f) << n;
}

// Denormal numbers are many times slower to compute with; decaying filter tails reach them.
// The engine flushes them for its own work, whatever its caller set, and leaves the caller's
// floating-point mode as it found it.
TEST (CorrectionEngineProcess, DenormalsAreFlushedInsideProcessOnly)
{
    auto engine = preparedEngine();
    const float tiny = std::numeric_limits<float>::denorm_min() * 1000;
    ASSERT_GT (tiny, 0.0f);
    ASSERT_LT (tiny, std::numeric_limits<float>::min()) << "a denormal number";

    std::vector<float> left (64, tiny), right (64, tiny);
    engine->process (left.data(), right.data(), 64);

    for (size_t n = 15; n < left.size(); ++n)
        ASSERT_EQ (left[n], 0.0f) << "the delayed input is read as zero, sample " << n;

    volatile float small = std::numeric_limits<float>::min();
    volatile float half = 0.5f;
    EXPECT_GT (small * half, 0.0f) << "the caller still computes with denormals";
}

} // namespace brindle::test
