// The kernel designer thread on an engine with no devices: the test thread plays the device
// thread, fading in what the designer hands over. Waits are for the design counts, with a
// generous limit; "nothing more happens" is the designer going idle twice (the first idle wait
// may belong to a pass that began before the step; the second began after it).
#include "EngineFixtures.h"

#include "engine/AudioRouter.h"
#include "engine/LinearPhaseDesign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace brindle::test
{

namespace
{
    using Clock = std::chrono::steady_clock;

    template <typename Condition>
    bool waitFor (Condition&& condition, double seconds = 20)
    {
        const auto until = Clock::now() + std::chrono::duration<double> (seconds);
        while (! condition())
        {
            if (Clock::now() > until)
                return false;
            std::this_thread::sleep_for (std::chrono::microseconds (200));
        }
        return true;
    }

    CorrectionState busyState (FirQuality quality, PhaseMode mode, double outputDb, bool sameOnBothSides = true)
    {
        CorrectionState state;
        state.firQuality = quality;
        state.phaseMode = mode;
        state.outputDb = outputDb;
        state.bandCount = 24;
        for (int j = 0; j < 24; ++j)
            state.bands[(size_t) j] = makeBand (BandType::bell, 30 * std::pow (1.3, j), j % 2 ? -4 : 5, 1.5,
                                                true, sameOnBothSides || j % 3 != 0);
        return state;
    }

    struct DesignerRig
    {
        CorrectionEngine engine;
        AudioRouter::KernelDesigner designer { engine };
        std::vector<float> left = std::vector<float> (2048), right = std::vector<float> (2048);

        explicit DesignerRig (PhaseMode mode)
        {
            engine.prepare (48000, 2048);
            setMode (mode);
            designer.startThread (juce::Thread::Priority::low);
        }

        ~DesignerRig() { designer.stopThread (5000); }

        void publish (const CorrectionState& state)
        {
            engine.designerStates.publish (state);
            designer.notify();
        }

        void setMode (PhaseMode mode)
        {
            CorrectionState state;
            state.phaseMode = mode;
            engine.audioStates.publish (state);
            play (0);
        }

        void play (int samples) { engine.process (left.data(), right.data(), samples); }

        /** Waits until a whole pass of the designer has found nothing to do since the call. */
        bool designerLookedAgainAndIdles()
        {
            const int before = designer.getIdleWaitsBegun();
            return waitFor ([&] { return designer.getIdleWaitsBegun() >= before + 2; });
        }
    };
}

TEST (KernelDesigner, StatesPublishedDuringADesignGiveOneMoreDesignOfTheNewest)
{
    DesignerRig rig (PhaseMode::linear);
    rig.publish (busyState (FirQuality::high, PhaseMode::linear, 0));
    ASSERT_TRUE (waitFor ([&] { return rig.engine.getDesignsStarted() == 1; }));

    for (int k = 1; k <= 100; ++k)
        rig.publish (busyState (FirQuality::low, PhaseMode::linear, -0.1 * k));

    ASSERT_TRUE (waitFor ([&] { return rig.engine.getDesignsFinished() == 1; }));
    EXPECT_TRUE (rig.engine.isKernelReady());

    rig.play (2048);   // fades the first kernel in, which lets the next design start
    EXPECT_FALSE (rig.engine.isKernelReady());
    ASSERT_TRUE (waitFor ([&] { return rig.engine.getDesignsFinished() == 2; }));
    EXPECT_DOUBLE_EQ (rig.engine.getDesignerState().outputDb, -10.0) << "the newest state";

    rig.play (2048);
    ASSERT_TRUE (rig.designerLookedAgainAndIdles());
    EXPECT_EQ (rig.engine.getDesignsStarted(), 2) << "nothing else was pending";
    EXPECT_EQ (rig.engine.getDesignsFinished(), 2);
}

TEST (KernelDesigner, AWaitingKernelHoldsFurtherDesignsBackUntilLinearPhaseFadesItIn)
{
    DesignerRig rig (PhaseMode::minimum);
    rig.publish (busyState (FirQuality::low, PhaseMode::minimum, -1));
    ASSERT_TRUE (waitFor ([&] { return rig.engine.getDesignsFinished() == 1; }));

    rig.publish (busyState (FirQuality::low, PhaseMode::minimum, -2));
    for (int k = 0; k < 10; ++k)
    {
        rig.play (2048);
        ASSERT_TRUE (rig.designerLookedAgainAndIdles());
    }
    EXPECT_EQ (rig.engine.getDesignsStarted(), 1) << "the kernel still waits";
    EXPECT_TRUE (rig.engine.isKernelReady());

    rig.setMode (PhaseMode::linear);
    rig.play (2048);
    EXPECT_FALSE (rig.engine.isKernelReady());
    EXPECT_TRUE (waitFor ([&] { return rig.engine.getDesignsFinished() == 2; }));
}

// A stop during a design is prompt: the design asks often enough that a 500 ms time-out, far
// above a stop's time, is never reached and the thread is never ended by force (the router
// waits for the end without any). How long a stop takes is tools/bench's to print.
TEST (KernelDesigner, AStopDuringAHighTierDesignAbandonsItWithoutForceAndRaisesNoKernel)
{
    for (bool sameOnBothSides : { true, false })
    {
        DesignerRig rig (PhaseMode::linear);
        rig.publish (busyState (FirQuality::high, PhaseMode::linear, 0, sameOnBothSides));
        ASSERT_TRUE (waitFor ([&] { return rig.engine.getDesignsStarted() == 1; }));

        const auto before = Clock::now();
        const bool stopped = rig.designer.stopThread (500);
        const auto tookMs = std::chrono::duration<double, std::milli> (Clock::now() - before).count();
        ASSERT_TRUE (stopped) << "ended by force after " << tookMs << " ms";

        EXPECT_EQ (rig.engine.getDesignsFinished(), 0);
        EXPECT_FALSE (rig.engine.isKernelReady());
        EXPECT_TRUE (rig.engine.isDesignPending()) << "the state is designed by the next pass";
        EXPECT_TRUE (rig.engine.designPendingKernel()) << "the abandoned design left nothing in the way";
        EXPECT_TRUE (rig.engine.isKernelReady());
    }
}

// The pass's last questions come before each partition it loads: a stop there leaves the slot
// half written but raises nothing, and the state stays pending for the next full pass.
TEST (KernelDesigner, APassToldToStopWhileLoadingRaisesNothingAndKeepsTheStatePending)
{
    CorrectionEngine engine;
    engine.prepare (48000, 2048);
    const auto state = busyState (FirQuality::high, PhaseMode::minimum, 0, false);

    engine.designerStates.publish (state);
    int asked = 0;
    ASSERT_TRUE (engine.designPendingKernel ([&] { ++asked; return false; }));
    std::vector<float> left (2048), right (2048);
    auto linear = state;
    linear.phaseMode = PhaseMode::linear;
    engine.audioStates.publish (linear);
    engine.process (left.data(), right.data(), 2048);   // fades it in, so the next pass may design
    ASSERT_FALSE (engine.isKernelReady());

    // The design alone asks the rest; the pass adds one question per partition loaded.
    LinearPhaseDesign design;
    design.prepare();
    std::vector<double> kernelLeft (65536), kernelRight (65536);
    int designAsked = 0;
    design.design (CorrectionState::sanitized (state), 48000, 65536, kernelLeft.data(), kernelRight.data(),
                   [&] { ++designAsked; return false; });
    ASSERT_EQ (asked, designAsked + 2 * 64);

    for (int stopAt : { designAsked + 1, asked - 1, asked })
    {
        engine.designerStates.publish (state);
        int questions = 0;
        EXPECT_FALSE (engine.designPendingKernel ([&] { return ++questions >= stopAt; })) << stopAt;
        EXPECT_FALSE (engine.isKernelReady()) << stopAt;
        EXPECT_TRUE (engine.isDesignPending()) << stopAt;
    }

    EXPECT_EQ (engine.getDesignsFinished(), 1);
    EXPECT_TRUE (engine.designPendingKernel()) << "the next full pass designs it";
    EXPECT_TRUE (engine.isKernelReady());
}

} // namespace brindle::test
