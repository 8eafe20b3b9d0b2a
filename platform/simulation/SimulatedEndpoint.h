#pragma once

#include "OutputCapture.h"
#include "SimulatedCable.h"
#include "SimulatedDeviceConfig.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace brindle
{

/** One named device of the simulated system as it lives between opens: its description, what
    it played (outputs), the cable it belongs to (the two ends of a cable pair) and counters of
    its stream. Devices made from it share it, so a test can read it after they are gone.

    Threading: the description is fixed at construction. The counters and the capture are
    written by the device's stream thread and reset when a device starts; read them from any
    thread. */
class SimulatedEndpoint
{
public:
    enum class Direction
    {
        output,
        input,
        duplex,
    };

    SimulatedEndpoint (const juce::String& name, Direction direction, const SimulatedDeviceConfig& config,
                       std::shared_ptr<SimulatedCable> cable);

    const juce::String& getName() const noexcept { return name; }
    const SimulatedDeviceConfig& getConfig() const noexcept { return config; }
    bool hasOutput() const noexcept { return direction != Direction::input; }
    bool hasInput() const noexcept { return direction != Direction::output; }
    int getNumInputChannels() const noexcept { return hasInput() ? config.inputChannels : 0; }
    int getNumOutputChannels() const noexcept { return hasOutput() ? config.outputChannels : 0; }

    /** The cable this end belongs to; null for a device that is not part of a cable pair. */
    SimulatedCable* getCable() const noexcept { return cable.get(); }

    /** What the output played since its latest start (empty unless its description asked for it). */
    const OutputCapture& getCapture() const noexcept { return capture; }
    OutputCapture& getCapture() noexcept { return capture; }

    /** [any thread] Frames streamed since the latest start. */
    std::int64_t getFramesRun() const noexcept { return framesRun.load (std::memory_order_acquire); }

    /** [any thread] Times a device of this name was started, and whether one is streaming. */
    int getStartCount() const noexcept { return startCount.load (std::memory_order_acquire); }
    bool isStreaming() const noexcept { return streaming.load (std::memory_order_acquire); }

    /** [device, on start and stop] */
    void streamStarted() noexcept;
    void streamStopped() noexcept;

    /** [stream thread] */
    void countBlock (int frames) noexcept;

private:
    const juce::String name;
    const Direction direction;
    const SimulatedDeviceConfig config;
    const std::shared_ptr<SimulatedCable> cable;
    OutputCapture capture;
    std::atomic<std::int64_t> framesRun { 0 };
    std::atomic<int> startCount { 0 };
    std::atomic<bool> streaming { false };
};

} // namespace brindle
