#include "BandsInForce.h"

#include <cmath>

namespace brindle
{

double appliedGainDb (double correctionPct, double gainDb) noexcept
{
    return std::floor (correctionPct / 100.0 * gainDb * 100.0 + 0.5) / 100.0;
}

bool isBandInForce (const CorrectionState& state, int slot, Channel channel) noexcept
{
    if (slot < 0 || slot >= state.bandCount || state.bypass)
        return false;

    const auto& band = state.bands[(size_t) slot];
    const bool actsOnChannel = channel == Channel::left ? band.left : band.right;

    return actsOnChannel && std::abs (appliedGainDb (state.correctionPct, band.gainDb)) >= 0.05;
}

BiquadCoefficients designBandInForce (const CorrectionBand& band, double correctionPct, double sampleRate) noexcept
{
    const double freqHz = band.freqHz > 0.0 ? band.freqHz : 1000.0;
    const double q = band.q > 0.0 ? band.q : 1.0;

    return designBiquad (band.type,
                         clampDesignFrequency (freqHz, sampleRate),
                         sampleRate,
                         clampDesignQ (q),
                         appliedGainDb (correctionPct, band.gainDb));
}

} // namespace brindle
