#include "SimulatedDeviceConfig.h"

#include <algorithm>

namespace brindle
{

namespace
{
    constexpr double cableRateHz = 48000.0;
}

SimulatedDeviceConfig SimulatedDeviceConfig::output (const juce::String& name)
{
    SimulatedDeviceConfig config;
    config.kind = Kind::output;
    config.outputName = name;
    return config;
}

SimulatedDeviceConfig SimulatedDeviceConfig::input (const juce::String& name, SimulatedSignal signal)
{
    SimulatedDeviceConfig config;
    config.kind = Kind::input;
    config.inputName = name;
    config.inputChannels = 2;
    config.outputChannels = 0;
    config.signal = std::move (signal);
    return config;
}

SimulatedDeviceConfig SimulatedDeviceConfig::duplex (const juce::String& name, SimulatedSignal signal)
{
    SimulatedDeviceConfig config;
    config.kind = Kind::duplex;
    config.outputName = name;
    config.inputName = name;
    config.inputChannels = 2;
    config.signal = std::move (signal);
    return config;
}

SimulatedDeviceConfig SimulatedDeviceConfig::cablePair (const juce::String& playbackName, const juce::String& captureName)
{
    SimulatedDeviceConfig config;
    config.kind = Kind::cablePair;
    config.outputName = playbackName;
    config.inputName = captureName;
    config.inputChannels = 2;
    config.sampleRates = { cableRateHz };
    config.settledRateHz = cableRateHz;
    return config;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withClockOffsetPpm (double ppm) const
{
    auto copy = *this;
    copy.clockOffsetPpm = ppm;
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withSignal (SimulatedSignal newSignal) const
{
    auto copy = *this;
    copy.signal = std::move (newSignal);
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withCapture (std::int64_t frames) const
{
    auto copy = *this;
    copy.captureFrames = std::max<std::int64_t> (0, frames);
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withRecorder (std::shared_ptr<OutputRecorder> newRecorder) const
{
    auto copy = *this;
    copy.recorder = std::move (newRecorder);
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withChannels (int inputs, int outputs) const
{
    auto copy = *this;
    copy.inputChannels = std::max (0, inputs);
    copy.outputChannels = std::max (0, outputs);
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withSettledRate (double rateHz) const
{
    auto copy = *this;
    copy.settledRateHz = std::max (0.0, rateHz);

    // Both ends of a cable run at its one rate, which is all it offers.
    if (kind == Kind::cablePair && rateHz > 0.0)
        copy.sampleRates = { rateHz };

    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withSettledBufferSize (int frames) const
{
    auto copy = *this;
    copy.settledBufferSize = std::max (0, frames);
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withDefaultBufferSize (int frames) const
{
    auto copy = *this;
    copy.defaultBufferSize = frames;
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withOpenError (const juce::String& error) const
{
    auto copy = *this;
    copy.openError = error;
    return copy;
}

SimulatedDeviceConfig SimulatedDeviceConfig::withStreamError (std::int64_t afterFrames, const juce::String& error) const
{
    auto copy = *this;
    copy.streamErrorAfterFrames = std::max<std::int64_t> (0, afterFrames);
    copy.streamError = error;
    return copy;
}

} // namespace brindle
