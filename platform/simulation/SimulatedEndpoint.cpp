#include "SimulatedEndpoint.h"

namespace brindle
{

SimulatedEndpoint::SimulatedEndpoint (const juce::String& endpointName, Direction endpointDirection,
                                      const SimulatedDeviceConfig& endpointConfig, std::shared_ptr<SimulatedCable> endpointCable)
    : name (endpointName),
      direction (endpointDirection),
      config (endpointConfig),
      cable (std::move (endpointCable)),
      capture (endpointDirection != Direction::input ? endpointConfig.outputChannels : 0,
               endpointDirection != Direction::input ? endpointConfig.captureFrames : 0)
{
}

void SimulatedEndpoint::streamStarted() noexcept
{
    capture.restart();
    framesRun.store (0, std::memory_order_release);
    startCount.fetch_add (1, std::memory_order_acq_rel);
    streaming.store (true, std::memory_order_release);
}

void SimulatedEndpoint::streamStopped() noexcept
{
    streaming.store (false, std::memory_order_release);
}

void SimulatedEndpoint::countBlock (int frames) noexcept
{
    framesRun.fetch_add (frames, std::memory_order_acq_rel);
}

} // namespace brindle
