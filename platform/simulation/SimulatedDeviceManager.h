#pragma once

#include "SimulatedAudioSystem.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

namespace brindle
{

/** A device manager that offers the framework's own device types for this platform followed
    by the "Simulated" type of a SimulatedAudioSystem (none when the system is null).

    The types are offered through createAudioDeviceTypes(), which the manager calls on its
    first scan: adding a type with addAudioDeviceType() before that scan would leave the
    framework's own types out.

    Threading: message thread, like any device manager. */
class SimulatedDeviceManager : public juce::AudioDeviceManager
{
public:
    explicit SimulatedDeviceManager (std::shared_ptr<SimulatedAudioSystem> system);

protected:
    void createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>& types) override;

private:
    const std::shared_ptr<SimulatedAudioSystem> system;
};

} // namespace brindle
