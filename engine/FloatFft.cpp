#include "FloatFft.h"

#include "FftTables.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined (__SSE2__) || defined (_M_X64)
 #include <emmintrin.h>
#endif

namespace brindle
{

void FloatFft::prepare (int newOrder)
{
    order = std::max (newOrder, 1);
    pointCount = 1 << order;

    fft_tables::fillTwiddles (cosTable, sinTable, pointCount);
    fft_tables::fillBitReverse (bitReverse, order);
}

void FloatFft::reorder (float* re, float* im) const noexcept
{
    fft_tables::reorder (re, im, bitReverse);
}

// Stages with few butterflies per group: one twiddle serves every group, so it is loaded
// once and the groups run under it.
void FloatFft::shortStage (float* __restrict re, float* __restrict im, int half) const noexcept
{
    const int length = half * 2;
    const int step = pointCount / length;

    for (int k = 0; k < half; ++k)
    {
        const float wRe = cosTable[(size_t) (k * step)];
        const float wIm = sinTable[(size_t) (k * step)];

        for (int a = k; a < pointCount; a += length)
        {
            const int b = a + half;
            const float tRe = re[b] * wRe - im[b] * wIm;
            const float tIm = re[b] * wIm + im[b] * wRe;
            re[b] = re[a] - tRe;
            im[b] = im[a] - tIm;
            re[a] = re[a] + tRe;
            im[a] = im[a] + tIm;
        }
    }
}

// Stages with long groups: the butterflies of a group are contiguous, so four of them run at
// once in vector registers. The vector multiplies, adds and subtracts round exactly as the
// scalar ones do, in the same order, so the result does not change by a bit. Twiddles k to
// k + 3 serve every group: they are gathered once and the groups run under them.
void FloatFft::longStage (float* __restrict re, float* __restrict im, int half) const noexcept
{
    const int length = half * 2;
    const int step = pointCount / length;

#if defined (__SSE2__) || defined (_M_X64)
    for (int k = 0; k < half; k += 4)
    {
        const size_t t = (size_t) (k * step), s = (size_t) step;
        const __m128 wRe = _mm_setr_ps (cosTable[t], cosTable[t + s], cosTable[t + 2 * s], cosTable[t + 3 * s]);
        const __m128 wIm = _mm_setr_ps (sinTable[t], sinTable[t + s], sinTable[t + 2 * s], sinTable[t + 3 * s]);

        for (int a = k; a < pointCount; a += length)
        {
            const int b = a + half;
            const __m128 bRe = _mm_loadu_ps (re + b), bIm = _mm_loadu_ps (im + b);
            const __m128 aRe = _mm_loadu_ps (re + a), aIm = _mm_loadu_ps (im + a);
            const __m128 tRe = _mm_sub_ps (_mm_mul_ps (bRe, wRe), _mm_mul_ps (bIm, wIm));
            const __m128 tIm = _mm_add_ps (_mm_mul_ps (bRe, wIm), _mm_mul_ps (bIm, wRe));
            _mm_storeu_ps (re + b, _mm_sub_ps (aRe, tRe));
            _mm_storeu_ps (im + b, _mm_sub_ps (aIm, tIm));
            _mm_storeu_ps (re + a, _mm_add_ps (aRe, tRe));
            _mm_storeu_ps (im + a, _mm_add_ps (aIm, tIm));
        }
    }
#else
    for (int start = 0; start < pointCount; start += length)
    {
        for (int k = 0; k < half; ++k)
        {
            const int a = start + k, b = a + half;
            const float wRe = cosTable[(size_t) (k * step)];
            const float wIm = sinTable[(size_t) (k * step)];
            const float tRe = re[b] * wRe - im[b] * wIm;
            const float tIm = re[b] * wIm + im[b] * wRe;
            re[b] = re[a] - tRe;
            im[b] = im[a] - tIm;
            re[a] = re[a] + tRe;
            im[a] = im[a] + tIm;
        }
    }
#endif
}

void FloatFft::forward (float* re, float* im) const noexcept
{
    reorder (re, im);

    for (int half = 1; half < pointCount; half *= 2)
    {
        if (half < 4)
            shortStage (re, im, half);
        else
            longStage (re, im, half);
    }
}

void FloatFft::inverse (float* re, float* im) const noexcept
{
    for (int i = 0; i < pointCount; ++i)
        im[i] = -im[i];

    forward (re, im);

    const float scale = 1.0f / (float) pointCount;
    for (int i = 0; i < pointCount; ++i)
    {
        re[i] = re[i] * scale;
        im[i] = -im[i] * scale;
    }
}

} // namespace brindle
