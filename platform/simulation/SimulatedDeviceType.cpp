#include "SimulatedDeviceType.h"

#include "SimulatedDevice.h"

namespace brindle
{

SimulatedDeviceType::SimulatedDeviceType (std::shared_ptr<SimulatedAudioSystem> systemToOffer)
    : juce::AudioIODeviceType (typeName),
      system (std::move (systemToOffer))
{
    system->addListener (this);
}

SimulatedDeviceType::~SimulatedDeviceType()
{
    system->removeListener (this);
}

void SimulatedDeviceType::scanForDevices()
{
    outputNames = system->getOutputNames();
    inputNames = system->getInputNames();
}

juce::StringArray SimulatedDeviceType::getDeviceNames (bool wantInputNames) const
{
    return wantInputNames ? inputNames : outputNames;
}

int SimulatedDeviceType::getDefaultDeviceIndex (bool forInput) const
{
    return (forInput ? inputNames : outputNames).isEmpty() ? -1 : 0;
}

int SimulatedDeviceType::getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const
{
    auto* simulated = dynamic_cast<SimulatedDevice*> (device);

    if (simulated == nullptr || ! (asInput ? simulated->usesInput() : simulated->usesOutput()))
        return -1;

    return (asInput ? inputNames : outputNames).indexOf (simulated->getName());
}

juce::AudioIODevice* SimulatedDeviceType::createDevice (const juce::String& outputDeviceName, const juce::String& inputDeviceName)
{
    using Direction = SimulatedEndpoint::Direction;

    const bool wantsOutput = outputDeviceName.isNotEmpty();
    const bool wantsInput = inputDeviceName.isNotEmpty();

    // Neither name, or two different ones: a route opens two devices one at a time.
    if ((! wantsOutput && ! wantsInput) || (wantsOutput && wantsInput && outputDeviceName != inputDeviceName))
        return nullptr;

    const auto endpoint = system->getEndpoint (wantsOutput ? outputDeviceName : inputDeviceName);

    if (endpoint == nullptr || (wantsOutput && ! endpoint->hasOutput()) || (wantsInput && ! endpoint->hasInput()))
        return nullptr;

    const auto use = wantsOutput && wantsInput ? Direction::duplex : (wantsOutput ? Direction::output : Direction::input);

    return new SimulatedDevice (endpoint, use, system->getSharedClock(), system->getSharedDeviceCount(), getTypeName());
}

void SimulatedDeviceType::simulatedDevicesChanged()
{
    callDeviceChangeListeners();
}

} // namespace brindle
