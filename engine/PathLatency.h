#pragma once

#include "CorrectionState.h"

namespace brindle
{

/** What the correction and the route between the devices delay the audio by. */
struct PathLatencyInputs
{
    // The engine: the larger speaker delay, the rate it was prepared at, and how it filters.
    double maxDelayMs = 0.0;
    double engineRate = 0.0;
    PhaseMode phaseMode = PhaseMode::minimum;
    int firTaps = 0;

    // The route: one duplex device, or an input and an output device with the queue between.
    bool duplex = false;
    double outputRate = 0.0;
    int outputBufferFrames = 0;
    double inputRate = 0.0;
    int inputBufferFrames = 0;     // 0 without an input device
    int targetFrames = 0;
};

/** Samples the engine delays its output by: the larger speaker delay, the delay line's centre,
    and in linear phase half the kernel plus the one block the convolution waits for. Pure. */
double engineDelaySamples (double maxDelayMs, double engineRate, PhaseMode phaseMode, int firTaps) noexcept;

/** Estimated delay in ms from the input device to the output device: the engine, then for two
    devices the queue's target with the resampler's delay and the input buffer, then the output
    buffer. The output rate must be above 0; an input rate of 1 Hz or less counts as 1. Pure. */
double pathLatencyMs (const PathLatencyInputs& in) noexcept;

} // namespace brindle
