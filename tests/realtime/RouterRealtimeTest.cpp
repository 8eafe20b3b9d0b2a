#include "RealtimeGuard.h"

#include "tests/router/RouterScenario.h"

#include <gtest/gtest.h>

namespace brindle::test
{

// On the manual clock every device block runs on the thread that advances time, so the guard
// sees the router's callbacks (input, drift control, resampling, correction, output) whole.
TEST (RouterRealtime, DeviceCallbacksNeitherAllocateNorLock)
{
    struct Case { const char* name; AudioRoute route; };
    const Case cases[] = { { "two devices", RouterScenario::route ("CABLE Output", "Speakers", 48000, 256, 20) },
                           { "duplex", RouterScenario::route ("Interface", "Interface", 48000, 128) } };

    for (const auto& c : cases)
    {
        RouterScenario s;
        s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)).withClockOffsetPpm (200));
        s.system->add (SimulatedDeviceConfig::output ("Speakers"));
        s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSignal (sineSignal (300, 0.5f)));
        ASSERT_TRUE (s.router->setRoute (c.route)) << c.name;
        s.router->getStatus();

        for (int round = 0; round < 6; ++round)
        {
            CorrectionState state;
            state.bandCount = 12;
            state.correctionPct = 60 + round;
            state.bypass = round == 4;
            state.delayRightMs = round * 0.7;
            for (int j = 0; j < 12; ++j)
                state.bands[(size_t) j].gainDb = j % 2 ? 2.5 : -3.5;
            s.router->applyState (state); // the message thread's side

            RealtimeGuard guard;
            s.advanceSeconds (0.2);
            EXPECT_EQ (guard.allocations(), 0u) << c.name << ", round " << round;
            EXPECT_EQ (guard.locks(), 0u) << c.name << ", round " << round;
        }
    }
}

// Linear phase: each round waits for the designer's kernel before the guarded stretch, so
// the callbacks crossfade it in, reset on a change of mode and fade between the paths. The
// designer allocates on its own thread, which the guard does not count.
TEST (RouterRealtime, LinearPhaseCallbacksNeitherAllocateNorLock)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)).withDefaultBufferSize (256));
    s.system->add (SimulatedDeviceConfig::output ("Speakers"));
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 256, 20)));
    const auto& engine = s.router->getEngine();

    const PhaseMode modes[] = { PhaseMode::linear, PhaseMode::linear, PhaseMode::minimum,
                                PhaseMode::minimum, PhaseMode::linear, PhaseMode::linear };
    int faded = 0;

    for (int round = 0; round < 6; ++round)
    {
        CorrectionState state;
        state.phaseMode = modes[round];
        state.firQuality = FirQuality::low;
        state.bandCount = 12;
        state.correctionPct = 60 + round;
        for (int j = 0; j < 12; ++j)
            state.bands[(size_t) j].gainDb = j % 2 ? 2.5 : -3.5;

        const bool designs = ! engine.isKernelReady();
        const int finished = engine.getDesignsFinished();
        s.router->applyState (state);

        for (int k = 0; designs && k < 10000 && engine.getDesignsFinished() == finished; ++k)
            juce::Thread::sleep (1);

        const bool waiting = engine.isKernelReady();

        RealtimeGuard guard;
        s.advanceSeconds (0.2);
        EXPECT_EQ (guard.allocations(), 0u) << "round " << round;
        EXPECT_EQ (guard.locks(), 0u) << "round " << round;

        faded += waiting && modes[round] == PhaseMode::linear && ! engine.isKernelReady() ? 1 : 0;
    }

    EXPECT_GE (faded, 2) << "kernels were crossfaded under the guard";
}

} // namespace brindle::test
