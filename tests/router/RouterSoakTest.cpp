// Real device threads at their own pace while the message thread applies states, reads the
// status and reopens routes, and the kernel designer hands linear-phase kernels to the device
// thread: run under ThreadSanitizer, this is where a data race would show.
#include "RouterScenario.h"

#include "MessageLoop.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (RouterSoak, StatesStatusAndReopeningWhileDevicesRun)
{
    RouterScenario s (SimulatedClock::Mode::realTime);
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)).withClockOffsetPpm (120));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withClockOffsetPpm (-80));
    s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSignal (sineSignal (300, 0.5f)));

    const AudioRoute routes[] = { RouterScenario::route ("CABLE Output", "Speakers", 48000, 256, 20),
                                  RouterScenario::route ("Interface", "Interface", 48000, 128),
                                  RouterScenario::route ("CABLE Output", "Speakers", 44100, 512, 40) };

    // Each route runs 40 steps of 10 ms: the first half in minimum phase, the second in linear
    // phase, a new state every step. In linear phase the designer writes the idle kernel slots
    // while the device thread convolves with the active ones and crossfades each new kernel in,
    // so the hand-over is exercised too. The soak runs on until that was seen a few times (a
    // sanitiser's build designs slowly).
    std::int64_t framesSeen = 0;
    int flipsSeen = 0;
    const int designsBefore = s.router->getEngine().getDesignsFinished();
    const auto started = juce::Time::getMillisecondCounter();
    const auto elapsedMs = [&] { return (int) (juce::Time::getMillisecondCounter() - started); };
    int slotSeen = 0;

    for (int step = 0; elapsedMs() < 60000 && (elapsedMs() < 2500 || flipsSeen < 3); ++step)
    {
        if (step % 40 == 0)
        {
            ASSERT_TRUE (s.router->setRoute (routes[(step / 40) % 3])) << s.router->getLastError();
            slotSeen = s.router->getEngine().getActiveKernelSlot();
        }

        CorrectionState state;
        state.bandCount = 1 + step % 24;
        state.correctionPct = 50 + step % 50;
        state.delayLeftMs = (step % 7) * 0.5;
        state.phaseMode = step % 40 < 20 ? PhaseMode::minimum : PhaseMode::linear;
        for (int j = 0; j < state.bandCount; ++j)
        {
            state.bands[(size_t) j].freqHz = 40.0 * (j + 1);
            state.bands[(size_t) j].gainDb = (j % 2 ? 3.0 : -4.0);
        }
        s.router->applyState (state);

        const auto status = s.router->getStatus();
        framesSeen = std::max (framesSeen, status.inputFrames);
        EXPECT_TRUE (status.running);

        pumpFor (10);

        // The slot only flips on the device thread, after a crossfade.
        const int slot = s.router->getEngine().getActiveKernelSlot();
        flipsSeen += slot != slotSeen ? 1 : 0;
        slotSeen = slot;
    }

    EXPECT_GT (framesSeen, 0) << "audio flowed";
    EXPECT_GE (flipsSeen, 3) << "kernels were crossfaded in by the device thread";
    // Every crossfade brought in a kernel designed while the devices ran; the soak may end at
    // the third, so there need be no more designs than that.
    EXPECT_GE (s.router->getEngine().getDesignsFinished(), designsBefore + flipsSeen) << "the designer designed while the devices ran";
}

} // namespace brindle::test
