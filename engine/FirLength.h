#pragma once

#include "CorrectionState.h"

namespace brindle
{

/** The linear-phase path's block in samples: kernels are whole multiples of it, and the
    convolution delays the audio by one such block. */
constexpr int firBlockSize = 1024;

/** Length in taps of the linear-phase kernel for a quality tier at a sample rate: the tier's
    length at 48 kHz (4096, 16384, 65536) scaled by the rate, at least that length and at most
    65536, truncated and then rounded up to a multiple of firBlockSize. A tier outside low..high counts
    as medium. Pure; safe on the audio thread. */
int firLengthFor (FirQuality quality, double sampleRate) noexcept;

} // namespace brindle
