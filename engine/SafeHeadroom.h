#pragma once

#include "CorrectionState.h"

namespace brindle
{

/** How much the output is lowered so that the correction in force cannot raise the level
    anywhere: the largest boost of the summed response per channel, on a logarithmic grid of up
    to 128 points from 20 Hz toward 20 kHz (stopping below half the sample rate), rounded to
    0.01 dB. 0 or negative. Every band type counts, on the channels its flags name.

    Pure, allocation-free and lock-free: runs on the audio thread once per new state. */
double headroomDbFor (double sampleRate, const CorrectionState& state) noexcept;

/** Number of points of that grid below half of the sample rate (128 at 44.1 kHz and above). */
int headroomGridPoints (double sampleRate) noexcept;

} // namespace brindle
