#pragma once

#include <array>
#include <cstddef>

namespace brindle
{

/** How one process() call's glide step is spread over the call's samples.

    Every glided value moves from where the call found it to where the call's step puts it,
    and all of them take the same share of that move at the same sample, so that a band's
    boost and the safe headroom's cut never part. The call is cut at a few knots: the band
    sections are designed at each knot and their coefficients interpolated in between, while
    the output gain moves by a constant ratio per sample between knots (a straight line in
    dB). The knot count follows how far the bands move in the call, since the interpolated
    coefficients stray from the designed response by the square of the move.

    Positions count samples written: position q is reached once the q-th sample of the call is
    out, so the last sample of the call carries the call's end values exactly.

    Threading: the device thread's own, planned once per process() call. */
class BlockGlide
{
public:
    static constexpr int maxKnots = 32;

    /** [device thread] Cuts a call of `samples` (at least 1) at `knots` knots (clamped to 1
        and to one per sample at most), with the output gain going from `startGain` (that of
        the last sample written) along the call's step from `fromDb` to `toDb`. */
    void plan (int samples, int knots, double startGain, double fromDb, double toDb) noexcept;

    int getKnots() const noexcept { return knots; }
    int getSamples() const noexcept { return positions[(std::size_t) knots]; }

    /** Position of knot k, 0 to getKnots(); knot 0 is the start of the call. */
    int positionOf (int k) const noexcept { return positions[(std::size_t) k]; }

    /** The share of the call's step that knot k has reached: 0 at knot 0, 1 at the last. */
    double shareAt (int k) const noexcept { return (double) positions[(std::size_t) k] / positions[(std::size_t) knots]; }

    /** The knot interval that the sample at `position` (0-based, written at position + 1)
        lies in: the k with positionOf (k) <= position < positionOf (k + 1). */
    int intervalOf (int position) const noexcept;

    /** [device thread] The output gains of the samples from `first` (0-based in the call) on,
        `count` of them. */
    void fillGains (double* gains, int first, int count) const noexcept;

    /** The output gain is the same for every sample of the call. */
    bool isSteady() const noexcept { return steady; }

    /** The linear gain the last sample of the call carries. */
    double getEndGain() const noexcept { return gainAt[(std::size_t) knots]; }

private:
    int knots = 1;
    bool steady = true;
    std::array<int, maxKnots + 1> positions {};
    std::array<double, maxKnots + 1> gainAt {};
    std::array<double, maxKnots> ratioPerSample {};
};

} // namespace brindle
