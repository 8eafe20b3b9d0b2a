#pragma once

#include "SimulatedAudioSystem.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

namespace brindle
{

/** The framework device type ("Simulated") that offers a SimulatedAudioSystem's devices.

    Inputs and outputs are listed separately, in the order they were added; a duplex device is
    in both lists under one name. createDevice() makes an output device, an input device, or,
    given the same name twice, a duplex device; it does not join two different devices into
    one. Changes to the system's device list reach the type's listeners (so a device manager
    sends its change message).

    Threading: message thread, like every framework device type. */
class SimulatedDeviceType final : public juce::AudioIODeviceType,
                                  private SimulatedAudioSystem::Listener
{
public:
    static constexpr const char* typeName = "Simulated";

    explicit SimulatedDeviceType (std::shared_ptr<SimulatedAudioSystem> system);
    ~SimulatedDeviceType() override;

    void scanForDevices() override;
    juce::StringArray getDeviceNames (bool wantInputNames = false) const override;
    int getDefaultDeviceIndex (bool forInput) const override;
    int getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override { return true; }
    juce::AudioIODevice* createDevice (const juce::String& outputDeviceName, const juce::String& inputDeviceName) override;


private:
    void simulatedDevicesChanged() override;

    const std::shared_ptr<SimulatedAudioSystem> system;
    juce::StringArray outputNames, inputNames;      // as of the last scan
};

} // namespace brindle
