#include "DoubleFft.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace brindle
{

namespace
{
    constexpr double minusTwoPi = -6.283185307179586;

    // Points per block for the stages that fit in it: re and im of 1024 doubles (16 KB) stay
    // in the first-level cache while all ten of their stages run.
    constexpr int cacheBlockPoints = 1024;
}

bool DoubleFft::prepare (int newOrder)
{
    if (newOrder > maxOrder)
        return false;

    order = std::max (1, newOrder);
    size = 1 << order;

    const int half = size / 2;
    cosTable.resize ((size_t) half);
    sinTable.resize ((size_t) half);

    for (int k = 0; k < half; ++k)
    {
        const double angle = k * minusTwoPi / size;
        cosTable[(size_t) k] = std::cos (angle);
        sinTable[(size_t) k] = std::sin (angle);
    }

    bitReverse.resize ((size_t) size);

    for (int i = 0; i < size; ++i)
    {
        std::int32_t reversed = 0;

        for (int bit = 0; bit < order; ++bit)
            if ((i >> bit) & 1)
                reversed |= std::int32_t { 1 } << (order - 1 - bit);

        bitReverse[(size_t) i] = reversed;
    }

    return true;
}

void DoubleFft::forward (double* re, double* im) const noexcept
{
    for (int i = 0; i < size; ++i)
    {
        const int j = bitReverse[(size_t) i];

        if (i < j)
        {
            std::swap (re[i], re[j]);
            std::swap (im[i], im[j]);
        }
    }

    // A stage of length L only combines points within one group of L, so the stages up to the
    // block's length can finish one block before the next is touched.
    const int block = std::min (size, cacheBlockPoints);

    for (int start = 0; start < size; start += block)
        for (int length = 2; length <= block; length *= 2)
            runStage (re, im, start, start + block, length);

    for (int length = block * 2; length <= size; length *= 2)
        runStage (re, im, 0, size, length);
}

void DoubleFft::runStage (double* re, double* im, int begin, int end, int stageLength) const noexcept
{
    const int half = stageLength / 2;
    const int step = size / stageLength;
    const double* cosines = cosTable.data();
    const double* sines = sinTable.data();

    for (int s = begin; s < end; s += stageLength)
    {
        for (int k = 0; k < half; ++k)
        {
            const int a = s + k;
            const int b = a + half;
            const double wRe = cosines[k * step];
            const double wIm = sines[k * step];

            const double tRe = re[b] * wRe - im[b] * wIm;
            const double tIm = re[b] * wIm + im[b] * wRe;

            re[b] = re[a] - tRe;
            im[b] = im[a] - tIm;
            re[a] = re[a] + tRe;
            im[a] = im[a] + tIm;
        }
    }
}

} // namespace brindle
