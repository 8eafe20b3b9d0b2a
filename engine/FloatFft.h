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
    butterfly's arithmetic is kept exactly. From 16 points on, the reordering and the first two
    stages run as one pass over blocks of 16 values, four groups of four at a time, and the
    later stages two to a pass, four butterflies at a time; the inverse's conjugations and its scaling ride on
    the first and the last pass. Every value still goes through the same operations in the
    same order as in the plain loop order, so the results are the same to the last bit.

    Threading: prepare() allocates and runs where no transform is running (the message
    thread); forward() and inverse() allocate nothing, call no trigonometric function and
    may run on the device thread. */
class FloatFft
{
public:
    static constexpr int maxOrder = 24;

    /** [message thread] Builds a transform of 2 to the power order points; an order below 1
        is taken as 1 (two points). Returns false, and keeps the transform as it was, for an
        order above maxOrder. */
    bool prepare (int order);

    /** [device thread] Forward transform in place of getSize() values in each array. */
    void forward (float* re, float* im) const noexcept;

    /** [device thread] Inverse transform in place, scaled by 1/getSize(). */
    void inverse (float* re, float* im) const noexcept;

    int getSize() const noexcept { return size; }
    int getOrder() const noexcept { return order; }

    const std::vector<float>& getCosTable() const noexcept { return cosTable; }
    const std::vector<float>& getSinTable() const noexcept { return sinTable; }
    const std::vector<std::int32_t>& getBitReverse() const noexcept { return bitReverse; }

private:
    // The plain order, for transforms too small for the blocked passes.
    void plainForward (float* re, float* im) const noexcept;

    // The blocked passes: reordering with the first two stages (conjugating the input when
    // asked), the later stages, and the last stage with the inverse's conjugation and scale.
    void reorderWithFirstStages (float* re, float* im, bool conjugate) const noexcept;
    void longStage (float* re, float* im, int half) const noexcept;
    void stagePair (float* re, float* im, int half) const noexcept;
    void lastStageConjugatedAndScaled (float* re, float* im) const noexcept;
    bool usesBlockedPasses() const noexcept;

    std::vector<float> cosTable;                   // cos(-2 pi k / N), k < N/2
    std::vector<float> sinTable;                   // sin(-2 pi k / N), k < N/2
    std::vector<std::int32_t> bitReverse;          // i with its lowest `order` bits reversed

    // The same twiddles as each stage reads them: the stage with half-length h reads entries
    // h to 2h - 1, entry h + k being the table's entry k N / 2h. Copies, not new values.
    std::vector<float> stageCos, stageSin;

    int size = 0;
    int order = 0;
};

} // namespace brindle
