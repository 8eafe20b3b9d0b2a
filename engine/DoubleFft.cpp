#include "DoubleFft.h"

#include "FftTables.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace brindle
{

namespace
{
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

    fft_tables::fillTwiddles (cosTable, sinTable, size);
    fft_tables::fillBitReverse (bitReverse, order);

    return true;
}

void DoubleFft::forward (double* re, double* im) const noexcept
{
    fft_tables::reorder (re, im, bitReverse);

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
