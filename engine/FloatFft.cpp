#include "FloatFft.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace brindle
{

void FloatFft::prepare (int newOrder)
{
    order = std::max (newOrder, 1);
    pointCount = 1 << order;

    const int half = pointCount / 2;
    cosTable.resize ((size_t) half);
    sinTable.resize ((size_t) half);
    for (int k = 0; k < half; ++k)
    {
        const double angle = (double) k * -6.283185307179586 / (double) pointCount;
        cosTable[(size_t) k] = (float) std::cos (angle);
        sinTable[(size_t) k] = (float) std::sin (angle);
    }

    bitReverse.resize ((size_t) pointCount);
    for (int i = 0; i < pointCount; ++i)
    {
        std::int32_t reversed = 0;
        for (int bit = 0; bit < order; ++bit)
            if ((i >> bit) & 1)
                reversed |= 1 << (order - 1 - bit);
        bitReverse[(size_t) i] = reversed;
    }
}

void FloatFft::reorder (float* re, float* im) const noexcept
{
    for (int i = 0; i < pointCount; ++i)
    {
        const int j = bitReverse[(size_t) i];
        if (i < j)
        {
            std::swap (re[i], re[j]);
            std::swap (im[i], im[j]);
        }
    }
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

// Stages with long groups: the butterflies of a group are contiguous, so they run as one
// vectorisable loop over the group's two halves.
void FloatFft::longStage (float* __restrict re, float* __restrict im, int half) const noexcept
{
    const int length = half * 2;
    const int step = pointCount / length;
    const float* __restrict cosines = cosTable.data();
    const float* __restrict sines = sinTable.data();

    for (int start = 0; start < pointCount; start += length)
    {
        float* __restrict aRe = re + start;
        float* __restrict aIm = im + start;
        float* __restrict bRe = re + start + half;
        float* __restrict bIm = im + start + half;

        for (int k = 0; k < half; ++k)
        {
            const float wRe = cosines[k * step];
            const float wIm = sines[k * step];
            const float tRe = bRe[k] * wRe - bIm[k] * wIm;
            const float tIm = bRe[k] * wIm + bIm[k] * wRe;
            const float xRe = aRe[k], xIm = aIm[k];
            bRe[k] = xRe - tRe;
            bIm[k] = xIm - tIm;
            aRe[k] = xRe + tRe;
            aIm[k] = xIm + tIm;
        }
    }
}

void FloatFft::forward (float* re, float* im) const noexcept
{
    reorder (re, im);

    for (int half = 1; half < pointCount; half *= 2)
    {
        if (half < 8)
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
