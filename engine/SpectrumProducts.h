#pragma once

namespace brindle
{

/** The inner loops of the partitioned convolution: one partition's complex products with a
    window's spectrum added into a sum, over the first `count` bins, on split arrays.

    The restrict-qualified pointers tell the compiler that the arrays do not overlap: without
    that it cannot vectorise the loops, and they are most of a block's cost.

    Threading: any thread; they touch only the arrays they are given, allocate nothing and take
    no lock. */
inline void accumulateProducts (const float* __restrict hRe, const float* __restrict hIm,
                                const float* __restrict xRe, const float* __restrict xIm,
                                float* __restrict outRe, float* __restrict outIm, int count) noexcept
{
    for (int j = 0; j < count; ++j)
    {
        outRe[j] += hRe[j] * xRe[j] - hIm[j] * xIm[j];
        outIm[j] += hIm[j] * xRe[j] + hRe[j] * xIm[j];
    }
}

/** The same for two kernels' partitions against one window's spectrum, read once: during a
    crossfade the spectra are read for both sums in one pass. Each sum gets exactly the
    operations of its own pass. */
inline void accumulateProductsOfBoth (const float* __restrict hRe, const float* __restrict hIm,
                                      const float* __restrict gRe, const float* __restrict gIm,
                                      const float* __restrict xRe, const float* __restrict xIm,
                                      float* __restrict outRe, float* __restrict outIm,
                                      float* __restrict otherRe, float* __restrict otherIm, int count) noexcept
{
    for (int j = 0; j < count; ++j)
    {
        outRe[j] += hRe[j] * xRe[j] - hIm[j] * xIm[j];
        outIm[j] += hIm[j] * xRe[j] + hRe[j] * xIm[j];
        otherRe[j] += gRe[j] * xRe[j] - gIm[j] * xIm[j];
        otherIm[j] += gIm[j] * xRe[j] + gRe[j] * xIm[j];
    }
}

} // namespace brindle
