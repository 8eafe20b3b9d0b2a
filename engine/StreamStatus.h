#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

namespace brindle
{

/** A snapshot of the audio path: whether it runs, why not, the devices' rates and block sizes,
    the latency the whole path adds, the drift queue and the counters since the route opened.
    The fields are read one by one, so it is not one consistent instant across fields. */
struct StreamStatus
{
    bool running = false;
    juce::String error;
    bool duplex = false;
    double inputRate = 0.0;             // Hz
    double outputRate = 0.0;            // Hz
    int bufferSize = 0;                 // output (or duplex) device, samples
    double latencyMs = 0.0;
    int fillFrames = 0;                 // queue fill at the last two-device output block
    int targetFrames = 0;
    double correctionPpm = 0.0;         // drift correction of the last output block
    std::int64_t dropouts = 0;          // output frames played as silence for want of input
    std::int64_t overruns = 0;          // input frames dropped on a full queue
    std::int64_t inputFrames = 0;
    int inputChannels = 0;
    int inputBufferSize = 0;
};

} // namespace brindle
