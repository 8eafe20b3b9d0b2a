#include "DoubleFft.h"

#include "FftTables.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined (__SSE2__) || defined (_M_X64)
 #include <emmintrin.h>
 #define BRINDLE_DOUBLE_FFT_SSE2 1
#else
 #define BRINDLE_DOUBLE_FFT_SSE2 0
#endif

namespace brindle
{

namespace
{
    // Points per block for the stages that fit in it: re and im of 1024 doubles (16 KB) stay
    // in the first-level cache while all ten of their stages run.
    constexpr int cacheBlockPoints = 1024;

    // Butterflies (or reordered values) between two questions to an exit test: a few hundred
    // microseconds of work, even in an instrumented build on a busy machine.
    constexpr int workPerExitCheck = 16384;
}

bool DoubleFft::prepare (int newOrder)
{
    if (newOrder > maxOrder)
        return false;

    order = std::max (1, newOrder);
    size = 1 << order;

    fft_tables::fillTwiddles (cosTable, sinTable, size);
    fft_tables::fillBitReverse (bitReverse, order);

    return true;
}

void DoubleFft::forward (double* re, double* im) const noexcept
{
    transform (re, im, [] { return false; });
}

bool DoubleFft::forward (double* re, double* im, const ExitTest& shouldExit) const
{
    if (! shouldExit)
    {
        forward (re, im);
        return true;
    }

    return transform (re, im, shouldExit);
}

template <typename ToldToExit>
bool DoubleFft::transform (double* re, double* im, ToldToExit&& toldToExit) const
{
    // Work counts in butterflies; the test is asked once enough has gathered since the last.
    int workSinceCheck = 0;
    auto stopBefore = [&] (int work)
    {
        workSinceCheck += work;
        if (workSinceCheck < workPerExitCheck)
            return false;
        workSinceCheck = 0;
        return toldToExit();
    };

    int firstLength = 2;

    if (BRINDLE_DOUBLE_FFT_SSE2 && order >= 2)
    {
        // Each column is four values, two butterflies.
        const int columns = size / 4;
        const int span = workPerExitCheck / 2;

        for (int first = 0; first < columns; first += span)
        {
            if (stopBefore (2 * span))
                return false;
            reorderWithFirstStage (re, im, first, std::min (columns, first + span));
        }

        firstLength = 4;
    }
    else
    {
        fft_tables::reorder (re, im, bitReverse);
    }

    // A stage of length L only combines points within one group of L, so the stages up to the
    // block's length can finish one block before the next is touched.
    const int block = std::min (size, cacheBlockPoints);
    int blockOrder = 1;
    while ((2 << blockOrder) <= block)
        ++blockOrder;

    for (int start = 0; start < size; start += block)
    {
        if (stopBefore (block / 2 * blockOrder))
            return false;

        for (int length = firstLength; length <= block; length *= 2)
            runStage (re, im, start, start + block, length);
    }

    for (int length = block * 2; length <= size; length *= 2)
    {
        const int half = length / 2;
        const int span = std::min (half, workPerExitCheck);

        for (int start = 0; start < size; start += length)
        {
            for (int k = 0; k < half; k += span)
            {
                if (stopBefore (span))
                    return false;
                runGroupSpan (re, im, start, length, k, std::min (half, k + span));
            }
        }
    }

    return true;
}

// In index i = a N/2 + 2 b + c (a and c single bits), the reversal swaps a with c and b with
// b reversed. So the four values of one b (two rows a of two lanes c) land as the four values
// of b reversed: two whole groups of the first stage. Each row loaded holds one point of both
// groups, so that stage runs across the lanes before a transpose makes each group contiguous.
// Blocks swap in pairs (b and b reversed) or stay in place, as the swaps would; every value
// is moved once and its butterfly is the scalar one.
void DoubleFft::reorderWithFirstStage (double* re, double* im, int firstColumn, int endColumn) const noexcept
{
#if BRINDLE_DOUBLE_FFT_SSE2
    const int half = size / 2;
    const __m128d wRe = _mm_set1_pd (cosTable[0]), wIm = _mm_set1_pd (sinTable[0]);

    struct Block4
    {
        __m128d re[2], im[2];
    };

    auto loadWithFirstStage = [&] (int column)
    {
        Block4 p;
        for (int row = 0; row < 2; ++row)
        {
            p.re[row] = _mm_loadu_pd (re + row * half + 2 * column);
            p.im[row] = _mm_loadu_pd (im + row * half + 2 * column);
        }

        fft_tables::butterfly (p.re[0], p.im[0], p.re[1], p.im[1], wRe, wIm);
        return p;
    };

    auto store = [&] (const Block4& p, int column)
    {
        for (int lane = 0; lane < 2; ++lane)
        {
            const int at = lane * half + 2 * column;
            _mm_storeu_pd (re + at, lane == 0 ? _mm_unpacklo_pd (p.re[0], p.re[1]) : _mm_unpackhi_pd (p.re[0], p.re[1]));
            _mm_storeu_pd (im + at, lane == 0 ? _mm_unpacklo_pd (p.im[0], p.im[1]) : _mm_unpackhi_pd (p.im[0], p.im[1]));
        }
    };

    for (int column = firstColumn; column < endColumn; ++column)
    {
        const int partner = bitReverse[(size_t) (2 * column)] / 2;

        if (partner < column)
            continue;   // done with its partner

        const auto first = loadWithFirstStage (column);

        if (partner == column)
        {
            store (first, column);
            continue;
        }

        const auto second = loadWithFirstStage (partner);
        store (first, partner);
        store (second, column);
    }
#else
    (void) re;
    (void) im;
    (void) firstColumn;
    (void) endColumn;
#endif
}

void DoubleFft::runStage (double* re, double* im, int begin, int end, int stageLength) const noexcept
{
    for (int start = begin; start < end; start += stageLength)
        runGroupSpan (re, im, start, stageLength, 0, stageLength / 2);
}

// Butterflies firstK to endK - 1 of the group at start.
void DoubleFft::runGroupSpan (double* re, double* im, int start, int stageLength, int firstK, int endK) const noexcept
{
    const int half = stageLength / 2;
    const int step = size / stageLength;
    const double* cosines = cosTable.data();
    const double* sines = sinTable.data();
    int k = firstK;

#if BRINDLE_DOUBLE_FFT_SSE2
    // Two neighbouring butterflies at once.
    for (; k + 1 < endK; k += 2)
    {
        const int a = start + k;
        const int b = a + half;
        __m128d aRe = _mm_loadu_pd (re + a), aIm = _mm_loadu_pd (im + a);
        __m128d bRe = _mm_loadu_pd (re + b), bIm = _mm_loadu_pd (im + b);
        fft_tables::butterfly (aRe, aIm, bRe, bIm,
                               _mm_set_pd (cosines[(k + 1) * step], cosines[k * step]),
                               _mm_set_pd (sines[(k + 1) * step], sines[k * step]));
        _mm_storeu_pd (re + a, aRe);
        _mm_storeu_pd (im + a, aIm);
        _mm_storeu_pd (re + b, bRe);
        _mm_storeu_pd (im + b, bIm);
    }
#endif

    for (; k < endK; ++k)
        fft_tables::butterfly (re, im, start + k, start + k + half, cosines[k * step], sines[k * step]);
}

} // namespace brindle
