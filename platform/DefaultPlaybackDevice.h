#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

namespace brindle
{

/** The name of the system's default playback device of this device type, as the type reports
    it after a fresh scan; empty when it has none.
    Threading: message thread. */
juce::String findDefaultPlaybackDevice (juce::AudioIODeviceType& type);

} // namespace brindle
