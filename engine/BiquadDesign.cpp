#include "BiquadDesign.h"

#include <cmath>

namespace brindle
{

namespace
{
    constexpr double twoPi = 6.283185307179586;

    BiquadCoefficients normalised (double b0, double b1, double b2, double a0, double a1, double a2) noexcept
    {
        return { b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0 };
    }
}

BiquadCoefficients designBiquad (BandType type, double freqHz, double sampleRate, double q, double gainDb) noexcept
{
    const double w0 = twoPi * freqHz / sampleRate;
    const double cw = std::cos (w0);
    const double sw = std::sin (w0);
    const double alpha = sw / (2.0 * q);

    // A and t only matter for bells and shelves; computing them for every type keeps one path.
    const double A = std::pow (10.0, gainDb / 40.0);
    const double t = 2.0 * std::sqrt (A) * alpha;

    switch (type)
    {
        case BandType::lowShelf:
            return normalised (A * ((A + 1) - (A - 1) * cw + t),
                               2 * A * ((A - 1) - (A + 1) * cw),
                               A * ((A + 1) - (A - 1) * cw - t),
                               (A + 1) + (A - 1) * cw + t,
                               -2 * ((A - 1) + (A + 1) * cw),
                               (A + 1) + (A - 1) * cw - t);

        case BandType::highShelf:
            return normalised (A * ((A + 1) + (A - 1) * cw + t),
                               -2 * A * ((A - 1) + (A + 1) * cw),
                               A * ((A + 1) + (A - 1) * cw - t),
                               (A + 1) - (A - 1) * cw + t,
                               2 * ((A - 1) - (A + 1) * cw),
                               (A + 1) - (A - 1) * cw - t);

        case BandType::lowPass:
            return normalised ((1 - cw) / 2, 1 - cw, (1 - cw) / 2, 1 + alpha, -2 * cw, 1 - alpha);

        case BandType::highPass:
            return normalised ((1 + cw) / 2, -(1 + cw), (1 + cw) / 2, 1 + alpha, -2 * cw, 1 - alpha);

        case BandType::bandPass:
            return normalised (alpha, 0, -alpha, 1 + alpha, -2 * cw, 1 - alpha);

        case BandType::bell:
            break;
    }

    // Bells, and every value outside the enumeration.
    return normalised (1 + alpha * A, -2 * cw, 1 - alpha * A, 1 + alpha / A, -2 * cw, 1 - alpha / A);
}

double clampDesignFrequency (double freqHz, double sampleRate) noexcept
{
    const double highest = 0.49 * sampleRate;

    if (freqHz > highest)
        return highest;

    if (freqHz < 1.0)
        return 1.0;

    return freqHz;
}

double clampDesignQ (double q) noexcept
{
    if (q > 40.0)
        return 40.0;

    if (q < 0.05)
        return 0.05;

    return q;
}

FrequencyPoint FrequencyPoint::at (double w) noexcept
{
    return { std::cos (w), std::sin (w), std::cos (2 * w), std::sin (2 * w) };
}

double magnitudeDbAt (const BiquadCoefficients& s, double w) noexcept
{
    return magnitudeDbAt (s, FrequencyPoint::at (w));
}

double magnitudeDbAt (const BiquadCoefficients& s, const FrequencyPoint& p) noexcept
{
    const double c1 = p.c1, s1 = p.s1, c2 = p.c2, s2 = p.s2;

    const double nRe = s.b0 + s.b1 * c1 + s.b2 * c2;
    const double nIm = -(s.b1 * s1 + s.b2 * s2);
    const double dRe = 1.0 + s.a1 * c1 + s.a2 * c2;
    const double dIm = -(s.a1 * s1 + s.a2 * s2);

    return 10.0 * std::log10 ((nRe * nRe + nIm * nIm) / (dRe * dRe + dIm * dIm));
}

} // namespace brindle
