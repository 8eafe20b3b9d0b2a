#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace brindle::test
{

/** The radix-2 transform written out plainly, one step after the other, in the value type T:
    the reference that the engine's arranged loops must match bit for bit, and, in double
    precision, the transform that tests load kernels with. Not for speed. */
template <typename T>
class LiteralFft
{
public:
    explicit LiteralFft (int order) : order (order < 2 ? 1 : order), size (1 << this->order)
    {
        for (int k = 0; k < size / 2; ++k)
        {
            const double angle = (double) k * -6.283185307179586 / (double) size;
            cosTable.push_back ((T) std::cos (angle));
            sinTable.push_back ((T) std::sin (angle));
        }

        for (int i = 0; i < size; ++i)
        {
            std::int32_t r = 0;
            for (int j = 0; j < this->order; ++j)
                if (i & (1 << j))
                    r |= 1 << (this->order - 1 - j);
            bitReverse.push_back (r);
        }
    }

    void forward (T* re, T* im) const
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

        for (int length = 2; length <= size; length *= 2)
        {
            const int half = length / 2, step = size / length;
            for (int s = 0; s < size; s += length)
            {
                for (int k = 0; k < half; ++k)
                {
                    const int a = s + k, b = a + half;
                    const T wRe = cosTable[(size_t) (k * step)], wIm = sinTable[(size_t) (k * step)];
                    const T tRe = re[b] * wRe - im[b] * wIm;
                    const T tIm = re[b] * wIm + im[b] * wRe;
                    re[b] = re[a] - tRe;
                    im[b] = im[a] - tIm;
                    re[a] = re[a] + tRe;
                    im[a] = im[a] + tIm;
                }
            }
        }
    }

    void inverse (T* re, T* im) const
    {
        for (int i = 0; i < size; ++i)
            im[i] = -im[i];
        forward (re, im);
        const T s = T (1) / (T) size;
        for (int i = 0; i < size; ++i)
        {
            re[i] = re[i] * s;
            im[i] = -im[i] * s;
        }
    }

    const int order, size;
    std::vector<T> cosTable, sinTable;
    std::vector<std::int32_t> bitReverse;
};

} // namespace brindle::test
