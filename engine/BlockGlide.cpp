#include "BlockGlide.h"

#include <algorithm>
#include <cmath>

namespace brindle
{

void BlockGlide::plan (int samples, int knotCount, double startGain, double fromDb, double toDb) noexcept
{
    samples = std::max (1, samples);
    knots = std::clamp (knotCount, 1, std::min (samples, maxKnots));

    positions[0] = 0;
    gainAt[0] = startGain;

    for (int k = 1; k <= knots; ++k)
    {
        positions[(std::size_t) k] = (int) ((long long) samples * k / knots);
        const double share = (double) positions[(std::size_t) k] / samples;
        const double db = k == knots ? toDb : fromDb + (toDb - fromDb) * share;
        gainAt[(std::size_t) k] = std::pow (10.0, db / 20.0);
    }

    steady = true;

    for (int k = 0; k < knots; ++k)
    {
        const double from = gainAt[(std::size_t) k], to = gainAt[(std::size_t) k + 1];
        steady = steady && from == to;
        const int length = positions[(std::size_t) k + 1] - positions[(std::size_t) k];
        ratioPerSample[(std::size_t) k] = from == to ? 1.0 : std::pow (to / from, 1.0 / length);
    }
}

int BlockGlide::intervalOf (int position) const noexcept
{
    int k = 0;
    while (k + 1 < knots && positions[(std::size_t) k + 1] <= position)
        ++k;
    return k;
}

void BlockGlide::fillGains (double* gains, int first, int count) const noexcept
{
    int k = intervalOf (first);
    const double ratio0 = ratioPerSample[(std::size_t) k];
    double gain = gainAt[(std::size_t) k] * (ratio0 == 1.0 ? 1.0 : std::pow (ratio0, first - positions[(std::size_t) k]));

    for (int i = 0; i < count; ++i)
    {
        const int position = first + i + 1;

        if (position == positions[(std::size_t) k + 1])
        {
            // Each knot lands exactly, so the ratio's rounding never builds up.
            gain = gainAt[(std::size_t) k + 1];
            k = std::min (k + 1, knots - 1);
        }
        else
        {
            gain *= ratioPerSample[(std::size_t) k];
        }

        gains[i] = gain;
    }
}

} // namespace brindle
