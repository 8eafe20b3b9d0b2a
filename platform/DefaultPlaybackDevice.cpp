#include "DefaultPlaybackDevice.h"

namespace brindle
{

juce::String findDefaultPlaybackDevice (juce::AudioIODeviceType& type)
{
    type.scanForDevices();
    const auto names = type.getDeviceNames (false);
    const int index = type.getDefaultDeviceIndex (false);

    return juce::isPositiveAndBelow (index, names.size()) ? names[index] : juce::String();
}

} // namespace brindle
