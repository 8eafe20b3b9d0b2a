#pragma once

#include "engine/StreamStatus.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** The stream status as the page receives it (the "meter" message, and "status" inside the
    device report): an object with "running", "duplex", "error", "inputRate", "outputRate",
    "bufferSize", "latencyMs", "fillFrames", "targetFrames", "correctionPpm", "dropouts" and
    "overruns", in this order. The sizes and frame counts are integers; the two counters go
    out as doubles, which the page reads as plain numbers. The input frame count, channel
    count and buffer size stay native.

    Threading: a pure function; message thread (it allocates). */
juce::var makeStatusObject (const StreamStatus& status);

} // namespace brindle
