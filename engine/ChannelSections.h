#pragma once

#include "BandsInForce.h"
#include "BiquadDesign.h"
#include "CorrectionState.h"

#include <array>

namespace brindle
{

/** The bands in force on one channel of a state, each designed once (frequency and Q through
    the design clamp, gain scaled by the amount), in slot order. This is the channel's biquad
    cascade as the minimum-phase path realises it, held still so that its response can be read
    at many frequencies without designing a band again.

    A plain value: no allocation, safe on every thread. */
struct ChannelSections
{
    std::array<BiquadCoefficients, CorrectionState::maxBands> sections {};
    int count = 0;

    static ChannelSections of (const CorrectionState& state, Channel channel, double sampleRate) noexcept;

    /** Linear magnitude of the cascade at a frequency: the sections' levels in dB summed in
        slot order, then turned back into a ratio; 1 with no section. */
    double magnitudeAt (double frequencyHz, double sampleRate) const noexcept;

    /** Same sections with the same coefficients in the same order, so the same response to
        the last bit. */
    bool sameAs (const ChannelSections& other) const noexcept;
};

} // namespace brindle
