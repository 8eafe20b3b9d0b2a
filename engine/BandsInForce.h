#pragma once

#include "BiquadDesign.h"
#include "CorrectionState.h"

namespace brindle
{

enum class Channel
{
    left,
    right,
};

/** A band's gain as applied: scaled by the amount and rounded to 0.01 dB, halves toward
    positive infinity (so -1.625 gives -1.62). The page rounds the same way. */
double appliedGainDb (double correctionPct, double gainDb) noexcept;

/** The rule for the bands in force, shared with the page: the slot is in use, the state is not
    bypassed, the band acts on this channel, and its applied gain is at least 0.05 dB in size. */
bool isBandInForce (const CorrectionState& state, int slot, Channel channel) noexcept;

/** The section a band in force is realised with: its frequency and Q (1000 Hz and Q 1 when not
    above 0) through the design clamp, and its applied gain. */
BiquadCoefficients designBandInForce (const CorrectionBand& band, double correctionPct, double sampleRate) noexcept;

} // namespace brindle
