#pragma once

// What the system can open: the device types (audio back ends) a device manager offers,
// which of them a route names, the input devices of a type, and which of those look like
// loopback sources (devices that deliver what the computer plays).
//
// The manager is used only as the owner of its device types; the pointers handed out stay
// valid as long as it lives. Nothing is cached: every input list rescans its type, so a list
// is as fresh as the operating system's.
//
// Threading: message thread only (scanning asks the operating system for its endpoints).

#include <juce_audio_devices/juce_audio_devices.h>

#include <array>

namespace brindle
{

/** Fragments, lower case, whose presence in an input's name marks it as a loopback source:
    virtual cables and the capture endpoints that record what the computer plays. Tested in
    this order. */
inline constexpr std::array<const char*, 9> loopbackKeywords {
    "cable output",
    "vb-audio",
    "voicemeeter",
    "blackhole",
    "existential audio",
    "loopback audio",
    "soundflower",
    "stereo mix",
    "what u hear",
};

/** [message thread] The type whose name equals `deviceTypeName` exactly (case included);
    otherwise the first type, an empty name included; null when the manager offers none. */
juce::AudioIODeviceType* findDeviceType (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName);

/** [message thread] The names of all device types, in the manager's order. */
juce::StringArray getDeviceTypeNames (juce::AudioDeviceManager& manager);

/** [message thread] The input device names of the type findDeviceType() picks, freshly
    scanned, in the type's order; empty when there is no type. */
juce::StringArray getInputDeviceNames (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName);

/** [message thread] The entries of getInputDeviceNames() that are loopback inputs, as the
    devices name themselves and in the same order (the type is scanned again). */
juce::StringArray getLoopbackInputNames (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName);

/** [message thread] Whether the name, lower-cased character by character with Unicode's case
    mapping, contains one of the loopbackKeywords. */
bool isLoopbackInputName (const juce::String& deviceName);

} // namespace brindle
