#pragma once

#include "AudioRoute.h"

namespace brindle
{

/** The numeric limits every route is held to before it reaches the router, whichever way it
    came in: the console's route message and the route stored in the settings (a hand-edited
    "queueMs" of 1e7 would otherwise ask for a queue of gigabytes when audio starts).

    Each function takes any double: a value that is not finite (NaN, an infinity) takes the
    router's default, the others are clamped, lower bound first, and the integer ones are then
    truncated toward zero (15.5 samples gives 16, 8191.9 gives 8191). Names and device type are
    not looked at.

    Threading: pure functions; any thread. */
struct RouteLimits
{
    static constexpr double minSampleRateHz = 8000.0;
    static constexpr double maxSampleRateHz = 768000.0;
    static constexpr double minBufferSizeSamples = 16.0;
    static constexpr double maxBufferSizeSamples = 8192.0;
    static constexpr double minQueueMs = 5.0;
    static constexpr double maxQueueMs = 500.0;
};

/** 8000 to 768000 Hz; the fraction is kept. Not finite: 48000. */
double clampSampleRateHz (double sampleRateHz);

/** 16 to 8192 samples. Not finite: 256. */
int clampBufferSizeSamples (double bufferSizeSamples);

/** 5 to 500 ms. Not finite: 30. */
int clampQueueMs (double queueMs);

/** The route with its rate, buffer size and queue length clamped; the texts as they were. */
AudioRoute clampRoute (AudioRoute route);

} // namespace brindle
