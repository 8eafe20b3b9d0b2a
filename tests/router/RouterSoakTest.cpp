// Real device threads at their own pace while the message thread applies states, reads the
// status and reopens routes: run under ThreadSanitizer, this is where a data race would show.
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

    std::int64_t framesSeen = 0;
    const auto started = juce::Time::getMillisecondCounter();

    for (int step = 0; juce::Time::getMillisecondCounter() - started < 2500; ++step)
    {
        if (step % 40 == 0)
        {
            ASSERT_TRUE (s.router->setRoute (routes[(step / 40) % 3])) << s.router->getLastError();
        }

        CorrectionState state;
        state.bandCount = 1 + step % 24;
        state.correctionPct = 50 + step % 50;
        state.delayLeftMs = (step % 7) * 0.5;
        state.phaseMode = step % 5 == 0 ? PhaseMode::linear : PhaseMode::minimum;
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
    }

    EXPECT_GT (framesSeen, 0) << "audio flowed";
}

} // namespace brindle::test
