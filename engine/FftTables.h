#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace brindle
{

/** What both radix-2 transforms share: their tables and the bit-reversed reordering.
    Threading: pure functions; prepare them on one thread, read them from any. */
namespace fft_tables
{
    /** cos and sin of -2 pi k / size for k below size / 2, computed in double precision and
        stored in T. */
    template <typename T>
    void fillTwiddles (std::vector<T>& cosTable, std::vector<T>& sinTable, int size)
    {
        const int half = size / 2;
        cosTable.resize ((size_t) half);
        sinTable.resize ((size_t) half);

        for (int k = 0; k < half; ++k)
        {
            const double angle = (double) k * -6.283185307179586 / (double) size;
            cosTable[(size_t) k] = (T) std::cos (angle);
            sinTable[(size_t) k] = (T) std::sin (angle);
        }
    }

    /** For each index below 2^order, the index with its lowest `order` bits reversed: each
        from the index with its lowest bit dropped, reversed and moved down a bit, with that
        bit on top. */
    inline void fillBitReverse (std::vector<std::int32_t>& bitReverse, int order)
    {
        const int size = 1 << order;
        bitReverse.resize ((size_t) size);
        bitReverse[0] = 0;

        for (int i = 1; i < size; ++i)
            bitReverse[(size_t) i] = (bitReverse[(size_t) (i >> 1)] >> 1) | ((i & 1) << (order - 1));
    }

    /** One radix-2 butterfly with the twiddle w, in the one order of operations both
        transforms keep: t = b w, then b = a - t and a = a + t. V is a float or a double, or a
        vector of them (the compiler's vector types take the same operators, lane by lane, with
        the same rounding), so several butterflies at once give each the scalar one's bits. */
    template <typename V>
    inline void butterfly (V& aRe, V& aIm, V& bRe, V& bIm, V wRe, V wIm) noexcept
    {
        const V tRe = bRe * wRe - bIm * wIm;
        const V tIm = bRe * wIm + bIm * wRe;
        bRe = aRe - tRe;
        bIm = aIm - tIm;
        aRe = aRe + tRe;
        aIm = aIm + tIm;
    }

    /** The butterfly on points a and b of the arrays, in place. */
    template <typename T>
    inline void butterfly (T* re, T* im, int a, int b, T wRe, T wIm) noexcept
    {
        butterfly (re[a], im[a], re[b], im[b], wRe, wIm);
    }

    /** Puts the points in bit-reversed order, in place. */
    template <typename T>
    void reorder (T* re, T* im, const std::vector<std::int32_t>& bitReverse) noexcept
    {
        const int size = (int) bitReverse.size();

        for (int i = 0; i < size; ++i)
        {
            const int j = bitReverse[(size_t) i];

            if (i < j)
            {
                std::swap (re[i], re[j]);
                std::swap (im[i], im[j]);
            }
        }
    }
}

} // namespace brindle
