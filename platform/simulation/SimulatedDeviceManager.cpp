#include "SimulatedDeviceManager.h"

#include "SimulatedDeviceType.h"

namespace brindle
{

SimulatedDeviceManager::SimulatedDeviceManager (std::shared_ptr<SimulatedAudioSystem> systemToOffer)
    : system (std::move (systemToOffer))
{
}

void SimulatedDeviceManager::createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>& types)
{
    juce::AudioDeviceManager::createAudioDeviceTypes (types);

    if (system != nullptr)
        types.add (new SimulatedDeviceType (system));
}

} // namespace brindle
