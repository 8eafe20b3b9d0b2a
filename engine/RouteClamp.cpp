#include "RouteClamp.h"

#include <algorithm>
#include <cmath>

namespace brindle
{

namespace
{
    /** Lower bound tested first; a non-finite value gives the fallback. */
    double clampOrFallback (double value, double lowest, double highest, double fallback)
    {
        if (! std::isfinite (value))
            return fallback;

        if (value < lowest)
            return lowest;

        return std::min (value, highest);
    }
}

double clampSampleRateHz (double sampleRateHz)
{
    const AudioRoute defaults;
    return clampOrFallback (sampleRateHz, RouteLimits::minSampleRateHz, RouteLimits::maxSampleRateHz, defaults.sampleRate);
}

int clampBufferSizeSamples (double bufferSizeSamples)
{
    const AudioRoute defaults;
    return (int) clampOrFallback (bufferSizeSamples, RouteLimits::minBufferSizeSamples, RouteLimits::maxBufferSizeSamples, defaults.bufferSize);
}

int clampQueueMs (double queueMs)
{
    const AudioRoute defaults;
    return (int) clampOrFallback (queueMs, RouteLimits::minQueueMs, RouteLimits::maxQueueMs, defaults.queueMs);
}

AudioRoute clampRoute (AudioRoute route)
{
    route.sampleRate = clampSampleRateHz (route.sampleRate);
    route.bufferSize = clampBufferSizeSamples (route.bufferSize);
    route.queueMs = clampQueueMs (route.queueMs);
    return route;
}

} // namespace brindle
