#include "DefaultPlaybackDevice.h"

#include "engine/DeviceLists.h"

namespace brindle
{

juce::String findDefaultPlaybackDevice (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName)
{
    auto* type = findDeviceType (manager, deviceTypeName);

    if (type == nullptr)
        return {};

    type->scanForDevices();
    const auto names = type->getDeviceNames (false);
    const int index = type->getDefaultDeviceIndex (false);

    return juce::isPositiveAndBelow (index, names.size()) ? names[index] : juce::String();
}

} // namespace brindle
