#include "FirLength.h"

namespace brindle
{

int firLengthFor (FirQuality quality, double sampleRate) noexcept
{
    constexpr double longest = 65536.0;

    const double base = quality == FirQuality::low ? 4096.0 : quality == FirQuality::high ? 65536.0 : 16384.0;
    const double scaled = base * sampleRate / 48000.0;
    // Written so that a rate that is not a number falls back to the tier's own length.
    const double bounded = scaled > longest ? longest : (scaled >= base ? scaled : base);

    // Truncate first, then round up: a scaled length of 5120.5 gives 5120, not 6144.
    const int taps = static_cast<int> (bounded);
    return (taps + firBlockSize - 1) / firBlockSize * firBlockSize;
}

} // namespace brindle
