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

/** Pink noise (equal power per octave) of RMS level `rms` on every channel, repeating every
    pinkNoisePeriodFrames frames from frame 0: a measurement signal whose every frame a reader
    can make again from its number (pinkNoisePeriod gives one period).

    Made from white noise of a 32-bit xorshift generator (seed 2463534242; each value x gives
    x / 2^32 x 2 - 1), shaped by the six-pole pink filter of Paul Kellet run twice over the
    period, of which the second pass is kept (the filter has forgotten where it began, so the
    period joins without a seam), then its mean taken out and scaled to `rms`. */
SimulatedSignal pinkNoiseSignal (double rms);

/** One period of that noise. */
std::vector<float> pinkNoisePeriod (double rms);

constexpr std::int64_t pinkNoisePeriodFrames = 131072;

/** The same value in every frame of every channel. */
SimulatedSignal constantSignal (float value);

/** Plays each channel's samples once from frame 0, then silence; channels beyond those given
    are silent. */
SimulatedSignal recordedSignal (std::vector<std::vector<float>> channelSamples);

} // namespace brindle
