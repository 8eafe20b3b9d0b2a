#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace brindle
{

/** A complex radix-2 FFT in double precision, in place on separate real and imaginary arrays:
    X[k] = sum over n of x[n] e^(-2 pi i k n / N), unscaled. There is no inverse: conjugate,
    transform, conjugate and scale by 1/N.

    The twiddles and the bit-reversal order are tables built by prepare(), so a transform
    calls no trigonometric function. Stages short enough to stay in the cache are run block by
    block rather than over the whole array, two neighbouring butterflies at a time, and the
    reordering carries the first stage with it; every butterfly still takes the same inputs and
    does the same arithmetic, so the result is the same bit for bit as running the stages one
    after another over the whole array.

    A long transform can be told to stop: its exit test is asked every few thousand
    butterflies, so that a thread asked to end leaves it promptly.

    Threading: prepare() allocates and belongs to the thread that designs or loads kernels,
    never a device thread. forward() allocates nothing and only reads the tables, so one
    prepared transform may serve several threads at once on arrays of their own. */
class DoubleFft
{
public:
    static constexpr int maxOrder = 24;

    /** Builds the tables for 2^order points; an order below 1 is taken as 1 (2 points).
        Returns false, and keeps the transform as it was, for an order above maxOrder. */
    bool prepare (int order);

    /** Asked during a transform; true abandons it. An empty test never stops it. */
    using ExitTest = std::function<bool()>;

    /** Forward transform of getSize() values in re and im, in place. */
    void forward (double* re, double* im) const noexcept;

    /** The same, asking the exit test every few thousand butterflies. False when the test
        said stop: the arrays then hold a transform half done. */
    bool forward (double* re, double* im, const ExitTest& shouldExit) const;

    int getSize() const noexcept { return size; }
    int getOrder() const noexcept { return order; }

    /** cos and sin of -2 pi k / size, for k below size / 2. */
    const std::vector<double>& getCosTable() const noexcept { return cosTable; }
    const std::vector<double>& getSinTable() const noexcept { return sinTable; }

    /** For each index, the index with its lowest getOrder() bits reversed. */
    const std::vector<std::int32_t>& getBitReverse() const noexcept { return bitReverse; }

private:
    template <typename ToldToExit>
    bool transform (double* re, double* im, ToldToExit&& toldToExit) const;

    void reorderWithFirstStage (double* re, double* im, int firstColumn, int endColumn) const noexcept;
    void runStage (double* re, double* im, int begin, int end, int stageLength) const noexcept;
    void runGroupSpan (double* re, double* im, int start, int stageLength, int firstK, int endK) const noexcept;

    std::vector<double> cosTable, sinTable;
    std::vector<std::int32_t> bitReverse;
    int size = 0;
    int order = 0;
};

} // namespace brindle
