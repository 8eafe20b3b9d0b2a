#include "ChannelSections.h"

#include <cmath>

namespace brindle
{

namespace
{
    constexpr double twoPi = 6.283185307179586;
}

ChannelSections ChannelSections::of (const CorrectionState& state, Channel channel, double sampleRate) noexcept
{
    ChannelSections result;

    for (int slot = 0; slot < CorrectionState::maxBands; ++slot)
        if (isBandInForce (state, slot, channel))
            result.sections[(size_t) result.count++] = designBandInForce (state.bands[(size_t) slot], state.correctionPct, sampleRate);

    return result;
}

double ChannelSections::magnitudeAt (double frequencyHz, double sampleRate) const noexcept
{
    const auto point = FrequencyPoint::at (twoPi * frequencyHz / sampleRate);
    double sumDb = 0.0;

    for (int s = 0; s < count; ++s)
        sumDb += magnitudeDbAt (sections[(size_t) s], point);

    return std::pow (10.0, sumDb / 20.0);
}

bool ChannelSections::sameAs (const ChannelSections& other) const noexcept
{
    if (count != other.count)
        return false;

    for (int s = 0; s < count; ++s)
    {
        const auto& a = sections[(size_t) s];
        const auto& b = other.sections[(size_t) s];

        if (a.b0 != b.b0 || a.b1 != b.b1 || a.b2 != b.b2 || a.a1 != b.a1 || a.a2 != b.a2)
            return false;
    }

    return true;
}

} // namespace brindle
