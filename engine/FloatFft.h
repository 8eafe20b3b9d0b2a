#pragma once

#include <cstdint>
#include <vector>

namespace brindle
{

/** A complex fast Fourier transform in single precision: iterative radix-2 decimation in
    time, in place on separate real and imaginary arrays, with its twiddles and its
    bit-reversal order computed once in prepare().

    forward() computes X[k] = sum over n of x[n] e^(-2 pi i k n / N), unscaled; inverse() is
    the forward transform of the conjugate, conjugated again and scaled by 1/N. The
    twiddles are computed in double precision and rounded, so the tables, and therefore every
    result, are the same on every machine.

    Within a stage the butterflies touch disjoint pairs of values, so the order in which they
    run does not change a single bit of the result: the loops are arranged for speed, each
    butterfly's arithmetic is kept exactly.

    Threading: prepare() allocates and runs where no transform is running (the message
    thread); forward() and inverse() allocate nothing, call no trigonometric function and
    may run on the device thread. */
class FloatFft
{
public:
    /** [message thread] Builds a transform of 2 to the power order points; an order below 2
        is taken as 1 (two points). */
    void prepare (int order);

    /** [device thread] Forward transform in place of size() values in each array. */
    void forward (float* re, float* im) const noexcept;

    /** [device thread] Inverse transform in place, scaled by 1/size(). */
    void inverse (float* re, float* im) const noexcept;

    int size() const noexcept { return pointCount; }
    int getOrder() const noexcept { return order; }

    const std::vector<float>& getCosTable() const noexcept { return cosTable; }
    const std::vector<float>& getSinTable() const noexcept { return sinTable; }
    const std::vector<std::int32_t>& getBitReverse() const noexcept { return bitReverse; }

private:
    void reorder (float* re, float* im) const noexcept;
    void shortStage (float* re, float* im, int half) const noexcept;
    void longStage (float* re, float* im, int half) const noexcept;

    std::vector<float> cosTable;                   // cos(-2 pi k / N), k < N/2
    std::vector<float> sinTable;                   // sin(-2 pi k / N), k < N/2
    std::vector<std::int32_t> bitReverse;          // i with its lowest `order` bits reversed
    int pointCount = 0;
    int order = 0;
};

} // namespace brindle
