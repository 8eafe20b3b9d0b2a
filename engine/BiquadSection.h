#pragma once

#include "BiquadDesign.h"

namespace brindle
{

/** One section of the minimum-phase cascade: its coefficients and its history, in double
    precision. A new design replaces the coefficients and keeps the history, so a glide never
    restarts the filter. */
struct BiquadSection
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

    void setCoefficients (const BiquadCoefficients& c) noexcept
    {
        b0 = c.b0;
        b1 = c.b1;
        b2 = c.b2;
        a1 = c.a1;
        a2 = c.a2;
    }

    void clearHistory() noexcept { x1 = x2 = y1 = y2 = 0.0; }
};

} // namespace brindle
