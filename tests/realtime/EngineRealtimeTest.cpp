#include "RealtimeGuard.h"

#include "engine/CorrectionEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace brindle::test
{

namespace
{
    CorrectionState busyState (int variant)
    {
        CorrectionState state;
        state.bandCount = 24;
        state.correctionPct = 40 + variant;
        state.delayLeftMs = 0.5 * variant;
        state.delayRightMs = 7.25 - 0.3 * variant;
        state.outputDb = -3;
        state.safeHeadroom = true;
        state.bypass = variant % 3 == 2;
        state.phaseMode = variant % 2 == 0 ? PhaseMode::minimum : PhaseMode::linear;

        for (int j = 0; j < 24; ++j)
        {
            auto& band = state.bands[(size_t) j];
            band.freqHz = 30 * std::pow (1.3, j) + variant;
            band.gainDb = (j % 2 ? -1 : 1) * (2 + j % 5);
            band.q = 0.7 + j % 4;
            band.type = static_cast<BandType> ((j + variant) % 6);
            band.left = j % 3 != 1;
            band.right = j % 3 != 2;
        }
        return state;
    }

    /** 24 bells of +12 dB at 1 kHz with safe headroom on: the largest boost the glides carry. */
    CorrectionState stackedBoosts()
    {
        CorrectionState state;
        state.bandCount = 24;
        state.safeHeadroom = true;
        for (auto& band : state.bands)
            band = { 1000, 12, 1 };
        return state;
    }
}

TEST (EngineRealtime, ProcessingAndApplyingStatesNeitherAllocatesNorLocks)
{
    CorrectionEngine engine;
    engine.prepare (48000, 512);

    std::vector<float> left (2000), right (2000);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = right[i] = (float) std::sin (0.01 * (double) i);

    for (int variant = 0; variant < 12; ++variant)
    {
        engine.audioStates.publish (busyState (variant)); // the message thread's side

        RealtimeGuard guard;
        engine.process (left.data(), right.data(), 512);   // applies the new state
        engine.process (left.data(), right.data(), 37);    // glides, odd block
        engine.process (left.data(), right.data(), 0);
        engine.process (left.data(), right.data(), 2000);  // longer than prepared

        EXPECT_EQ (guard.allocations(), 0u) << "variant " << variant;
        EXPECT_EQ (guard.locks(), 0u) << "variant " << variant;
    }
}

// Short blocks while the delay and the trim move: the delay's crossfade runs over several
// calls and the gain ramps inside each.
TEST (EngineRealtime, CrossfadingADelayAndRampingTheGainNeitherAllocatesNorLocks)
{
    CorrectionEngine engine;
    engine.prepare (48000, 2048);

    std::vector<float> left (37), right (37);
    bool fadedAcrossCalls = false;

    for (int change = 0; change < 6; ++change)
    {
        CorrectionState state;
        state.delayRightMs = change % 2 == 0 ? 20 : 0;
        state.outputDb = change % 2 == 0 ? -12 : 0;
        engine.audioStates.publish (state);

        RealtimeGuard guard;
        for (int call = 0; call < 40; ++call)
        {
            for (size_t i = 0; i < left.size(); ++i)
                left[i] = right[i] = (float) std::sin (0.03 * (double) (call * 37 + (int) i));

            engine.process (left.data(), right.data(), 37);
            fadedAcrossCalls = fadedAcrossCalls || engine.getChannel (1).delay.getFadeRemaining() > 0;
        }

        EXPECT_EQ (guard.allocations(), 0u) << "change " << change;
        EXPECT_EQ (guard.locks(), 0u) << "change " << change;
    }

    EXPECT_TRUE (fadedAcrossCalls) << "the delay crossfade ran under the guard";
}

// A boosting room gliding in and out with safe headroom: the sections are designed at several
// knots inside each block and the output gain's rise is held while the boost decays, also
// across calls longer than the engine was prepared for.
TEST (EngineRealtime, GlidingTheBandsInsideTheBlockNeitherAllocatesNorLocks)
{
    CorrectionEngine engine;
    engine.prepare (48000, 512);

    const auto boosting = stackedBoosts();
    const CorrectionState flat;

    std::vector<float> left (2000), right (2000);
    int longestHold = 0;

    for (int change = 0; change < 4; ++change)
    {
        engine.audioStates.publish (change % 2 == 0 ? boosting : flat);

        RealtimeGuard guard;
        for (int call = 0; call < 12; ++call)
        {
            const int n = call % 3 == 0 ? 2000 : 37;
            for (int i = 0; i < n; ++i)
                left[(size_t) i] = right[(size_t) i] = (float) std::sin (0.13 * (call * 37 + i));

            engine.process (left.data(), right.data(), n);
            longestHold = std::max (longestHold, engine.getReleaseHold());
        }

        EXPECT_EQ (guard.allocations(), 0u) << "change " << change;
        EXPECT_EQ (guard.locks(), 0u) << "change " << change;
    }

    EXPECT_GT (longestHold, 0) << "the gain's rise was held under the guard";
}

// Linear phase with a kernel waiting: the crossfade, the hand-over, a change of mode (which
// resets the convolution and fades between the paths) and blocks shorter and longer than the
// path's own 1024.
TEST (EngineRealtime, LinearPhaseCrossfadesAndModeChangesNeitherAllocateNorLock)
{
    CorrectionEngine engine;
    engine.prepare (48000, 2048);

    std::vector<double> kernel (16384, 0.0);
    std::vector<float> left (2000), right (2000);
    int crossfades = 0;

    for (int variant = 0; variant < 8; ++variant)
    {
        // The designer's side, outside the guard: a kernel for the idle slots.
        kernel.assign (kernel.size(), 0.0);
        kernel[(size_t) (100 * variant)] = 1.0;
        const bool offered = engine.offerKernels (kernel.data(), kernel.data(), (int) kernel.size());

        auto state = busyState (variant);
        state.phaseMode = variant % 4 == 3 ? PhaseMode::minimum : PhaseMode::linear;
        engine.audioStates.publish (state);

        RealtimeGuard guard;
        for (int n : { 1, 37, 1024, 2000, 37, 1 })
        {
            for (int i = 0; i < n; ++i)
                left[(size_t) i] = right[(size_t) i] = (float) std::sin (0.02 * i);
            engine.process (left.data(), right.data(), n);
        }

        EXPECT_EQ (guard.allocations(), 0u) << "variant " << variant;
        EXPECT_EQ (guard.locks(), 0u) << "variant " << variant;
        crossfades += offered && ! engine.isKernelReady() ? 1 : 0;
    }

    EXPECT_GE (crossfades, 4) << "kernels were faded in under the guard";
}

// Safe headroom in linear phase: the path's own trim glide, and a change of phase mode in
// either direction while a boosting room and the trim still glide, which mixes the two paths
// after each one's own gain; calls short and longer than prepared.
TEST (EngineRealtime, ChangingThePhaseModeWhileARoomGlidesNeitherAllocatesNorLocks)
{
    CorrectionEngine engine;
    engine.prepare (48000, 512);

    auto boosting = stackedBoosts();
    boosting.outputDb = -12;
    CorrectionState flat;
    flat.safeHeadroom = true;

    std::vector<float> left (2000), right (2000);
    bool fadedTo[2] = { false, false };

    auto play = [&] (int calls)
    {
        const RealtimeGuard guard;
        for (int call = 0; call < calls; ++call)
        {
            const int n = call % 3 == 1 ? 2000 : 37;
            for (int i = 0; i < n; ++i)
                left[(size_t) i] = right[(size_t) i] = (float) std::sin (0.13 * (call * 37 + i));

            engine.process (left.data(), right.data(), n);
            if (engine.getModeFadeRemaining() > 0)
                fadedTo[(int) engine.getPhaseMode()] = true;
        }
        return guard.allocations() + guard.locks();
    };

    for (int change = 0; change < 8; ++change)
    {
        auto room = change % 2 == 0 ? boosting : flat;
        room.phaseMode = change % 4 < 2 ? PhaseMode::linear : PhaseMode::minimum;
        auto switched = room;
        switched.phaseMode = room.phaseMode == PhaseMode::linear ? PhaseMode::minimum : PhaseMode::linear;

        // The message thread's and the designer's side, outside the guard.
        engine.designerStates.publish (room);
        engine.designPendingKernel();
        engine.audioStates.publish (room);
        EXPECT_EQ (play (1), 0u) << "change " << change;

        engine.audioStates.publish (switched);
        EXPECT_EQ (play (12), 0u) << "change " << change << ", mode switched";
    }

    EXPECT_TRUE (fadedTo[(int) PhaseMode::linear] && fadedTo[(int) PhaseMode::minimum]) << "both ways under the guard";
}

} // namespace brindle::test
