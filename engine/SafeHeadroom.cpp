#include "SafeHeadroom.h"

#include "BandsInForce.h"

#include <array>
#include <cmath>

namespace brindle
{

namespace
{
    constexpr int maxGridPoints = 128;
    constexpr double gridStartHz = 20.0;
    constexpr double twoPi = 6.283185307179586;

    // Initialised before main, so the audio thread never meets a function-local static guard.
    const double gridRatio = std::pow (1000.0, 1.0 / 127.0);

    double peakBoostDb (double sampleRate, const CorrectionState& state, Channel channel, int points) noexcept
    {
        // Each section is fixed over the grid, so it is designed once rather than per point.
        std::array<BiquadCoefficients, CorrectionState::maxBands> sections;
        int sectionCount = 0;

        for (int slot = 0; slot < CorrectionState::maxBands; ++slot)
            if (isBandInForce (state, slot, channel))
                sections[(size_t) sectionCount++] = designBandInForce (state.bands[(size_t) slot], state.correctionPct, sampleRate);

        double peak = 0.0;
        double f = gridStartHz;

        for (int point = 0; point < points; ++point, f *= gridRatio)
        {
            const auto at = FrequencyPoint::at (twoPi * f / sampleRate);
            double sum = 0.0;

            for (int s = 0; s < sectionCount; ++s)
                sum += magnitudeDbAt (sections[(size_t) s], at);

            if (sum > peak)
                peak = sum;
        }

        return peak;
    }
}

int headroomGridPoints (double sampleRate) noexcept
{
    const double half = 0.5 * sampleRate;
    int points = 0;

    // The grid is carried by multiplication, exactly as it is walked.
    for (double f = gridStartHz; points < maxGridPoints && f < half; f *= gridRatio)
        ++points;

    return points;
}

double headroomDbFor (double sampleRate, const CorrectionState& state) noexcept
{
    const int points = headroomGridPoints (sampleRate);
    double peak = 0.0;

    for (auto channel : { Channel::left, Channel::right })
        peak = std::fmax (peak, peakBoostDb (sampleRate, state, channel, points));

    if (! (peak > 0.0))
        return 0.0;

    return -(std::floor (peak * 100.0 + 0.5) / 100.0);
}

} // namespace brindle
