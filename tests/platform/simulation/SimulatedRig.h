#pragma once

#include "AudioMeasures.h"
#include "platform/simulation/SimulatedAudioSystem.h"
#include "platform/simulation/SimulatedDeviceType.h"

#include <gtest/gtest.h>

#include <memory>

namespace brindle::test
{

/** A simulated system, its device type, and a short way to open its devices. */
struct SimulatedRig
{
    explicit SimulatedRig (SimulatedClock::Mode mode = SimulatedClock::Mode::manual)
        : system (std::make_shared<SimulatedAudioSystem> (mode)), type (system)
    {
    }

    /** Creates and opens a device with the first two channels of each direction it is asked
        for; null (with a test failure) when it cannot be created or opened. */
    std::unique_ptr<juce::AudioIODevice> open (const juce::String& output, const juce::String& input,
                                               double rateHz = 48000.0, int bufferFrames = 512)
    {
        std::unique_ptr<juce::AudioIODevice> device (type.createDevice (output, input));

        if (device == nullptr)
        {
            ADD_FAILURE() << "no device for '" << output << "' / '" << input << "'";
            return nullptr;
        }

        const auto error = device->open (input.isEmpty() ? juce::BigInteger() : channelMask (2),
                                         output.isEmpty() ? juce::BigInteger() : channelMask (2), rateHz, bufferFrames);

        if (error.isNotEmpty())
        {
            ADD_FAILURE() << "'" << device->getName() << "' failed to open: " << error;
            return nullptr;
        }

        return device;
    }

    const SimulatedEndpoint& endpoint (const juce::String& name) const
    {
        const auto found = system->getEndpoint (name);
        EXPECT_NE (found, nullptr) << name;
        return *found;
    }

    std::shared_ptr<SimulatedAudioSystem> system;
    SimulatedDeviceType type;
};

} // namespace brindle::test
