#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

namespace brindle
{

/** The name of the system's default playback device in the named device type (the first type
    when none matches), as the device type reports it; empty when it has none.
    Threading: message thread. */
juce::String findDefaultPlaybackDevice (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName);

} // namespace brindle
