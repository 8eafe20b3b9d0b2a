#include "CorrectionState.h"

#include <algorithm>
#include <cmath>

namespace brindle
{

namespace
{
    /** A finite value clamped to [low, high]; anything else becomes the fallback. */
    double clampFinite (double value, double low, double high, double fallback) noexcept
    {
        if (! std::isfinite (value))
            return fallback;

        return std::clamp (value, low, high);
    }

    template <typename Enum>
    bool isWithin (Enum value, Enum first, Enum last) noexcept
    {
        const auto raw = static_cast<std::int32_t> (value);
        return raw >= static_cast<std::int32_t> (first) && raw <= static_cast<std::int32_t> (last);
    }

    void sanitizeBand (CorrectionBand& band) noexcept
    {
        band.freqHz = clampFinite (band.freqHz, 10.0, 24000.0, 1000.0);
        band.gainDb = clampFinite (band.gainDb, -30.0, 12.0, 0.0);
        band.q = clampFinite (band.q, 0.1, 24.0, 1.0);

        if (! isWithin (band.type, BandType::bell, BandType::bandPass))
            band.type = BandType::bell;
    }
}

CorrectionState CorrectionState::sanitized (CorrectionState state) noexcept
{
    state.bandCount = std::clamp (state.bandCount, std::int32_t { 0 }, std::int32_t { maxBands });

    // A missing amount is 100, but an amount that is not a number is the page's default.
    state.correctionPct = clampFinite (state.correctionPct, 0.0, 100.0, 65.0);
    state.delayLeftMs = clampFinite (state.delayLeftMs, 0.0, 20.0, 0.0);
    state.delayRightMs = clampFinite (state.delayRightMs, 0.0, 20.0, 0.0);
    state.outputDb = clampFinite (state.outputDb, -24.0, 12.0, 0.0);

    // Slots past bandCount are never read, so they are left exactly as they came.
    for (int slot = 0; slot < state.bandCount; ++slot)
        sanitizeBand (state.bands[(size_t) slot]);

    if (! isWithin (state.phaseMode, PhaseMode::minimum, PhaseMode::linear))
        state.phaseMode = PhaseMode::minimum;

    if (! isWithin (state.firQuality, FirQuality::low, FirQuality::high))
        state.firQuality = FirQuality::medium;

    return state;
}

} // namespace brindle
