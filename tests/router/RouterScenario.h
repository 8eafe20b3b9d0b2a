#pragma once

#include "RouteFixtures.h"

#include "engine/AudioRouter.h"
#include "platform/simulation/SimulatedDeviceManager.h"

#include <chrono>
#include <memory>

namespace brindle::test
{

/** A router on a simulated sound system whose clock only moves when the test advances it. */
struct RouterScenario
{
    std::shared_ptr<SimulatedAudioSystem> system;
    std::unique_ptr<AudioRouter> router;

    explicit RouterScenario (SimulatedClock::Mode mode = SimulatedClock::Mode::manual,
                             int designerIdleWaitMs = AudioRouter::defaultDesignerIdleWaitMs)
        : system (std::make_shared<SimulatedAudioSystem> (mode)),
          router (std::make_unique<AudioRouter> (std::make_unique<SimulatedDeviceManager> (system), designerIdleWaitMs))
    {
    }

    ~RouterScenario()
    {
        router.reset(); // devices close before the system they live in goes
    }

    static AudioRoute route (const juce::String& input, const juce::String& output, double rate = 48000, int buffer = 480, int queueMs = 30)
    {
        return makeRoute ("Simulated", input, output, rate, buffer, queueMs);
    }

    void advanceSeconds (double seconds)
    {
        system->advance (std::chrono::nanoseconds ((std::int64_t) (seconds * 1e9)));
    }
};

} // namespace brindle::test
