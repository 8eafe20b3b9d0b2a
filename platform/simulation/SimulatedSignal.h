#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace brindle
{

/** What a simulated input captures, or what the computer plays into a simulated cable: a
    function that fills `numChannels` channels with `numFrames` frames, beginning at frame
    `firstFrame` of the signal, at `sampleRateHz`. An empty function is silence.

    It runs on the device's stream thread (inside advance() for a manual clock), once per
    block; the signals made below allocate nothing there. */
using SimulatedSignal = std::function<void (float* const* channels, int numChannels, int numFrames,
                                            std::int64_t firstFrame, double sampleRateHz)>;

/** A sine of `frequencyHz` and peak `amplitude` on every channel, phase 0 at frame 0. */
SimulatedSignal sineSignal (double frequencyHz, float amplitude);

/** The same value in every frame of every channel. */
SimulatedSignal constantSignal (float value);

/** Plays each channel's samples once from frame 0, then silence; channels beyond those given
    are silent. */
SimulatedSignal recordedSignal (std::vector<std::vector<float>> channelSamples);

} // namespace brindle
