#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Which devices carry the audio, and how: kept in the settings, applied by the router,
    reported to the page. The router applies it as given; clamping belongs to whoever reads a
    route from outside. */
struct AudioRoute
{
    juce::String deviceType;      // framework device type (audio back end); empty: the first one
    juce::String inputDevice;     // the capture (loopback) device
    juce::String outputDevice;    // the playback device
    double sampleRate = 48000.0;  // asked of the devices, Hz
    int bufferSize = 256;         // asked of the output or duplex device, samples
    int queueMs = 30;             // cushion between two device clocks
};

} // namespace brindle
