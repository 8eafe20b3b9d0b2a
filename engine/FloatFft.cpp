#include "FloatFft.h"

#include "FftTables.h"

#include <algorithm>
#include <cmath>

#if defined (__SSE2__) || defined (_M_X64)
 #include <emmintrin.h>
 #define BRINDLE_FLOAT_FFT_SSE2 1
#else
 #define BRINDLE_FLOAT_FFT_SSE2 0
#endif

namespace brindle
{

namespace
{
    // The blocked passes work on blocks of 16 values: four groups of the first two stages.
    constexpr int smallestBlockedOrder = 4;

#if BRINDLE_FLOAT_FFT_SSE2
    // Point t of a group of four comes from row rev2(t) of a 16-value block (its two low
    // bits reversed), and a group held in lane l belongs to row rev2(l) once reordered.
    constexpr int reversedTwoBits[4] = { 0, 2, 1, 3 };

    /** Sixteen values of the reordering: four rows of four, a quarter of the transform apart. */
    struct Block16
    {
        __m128 re[4], im[4];
    };
#endif
}

bool FloatFft::prepare (int newOrder)
{
    if (newOrder > maxOrder)
        return false;

    order = std::max (newOrder, 1);
    size = 1 << order;

    fft_tables::fillTwiddles (cosTable, sinTable, size);
    fft_tables::fillBitReverse (bitReverse, order);

    stageCos.assign ((size_t) size, 0.0f);
    stageSin.assign ((size_t) size, 0.0f);

    for (int half = 1; half < size; half *= 2)
    {
        const int step = size / (2 * half);

        for (int k = 0; k < half; ++k)
        {
            stageCos[(size_t) (half + k)] = cosTable[(size_t) (k * step)];
            stageSin[(size_t) (half + k)] = sinTable[(size_t) (k * step)];
        }
    }

    return true;
}

bool FloatFft::usesBlockedPasses() const noexcept
{
    return BRINDLE_FLOAT_FFT_SSE2 && order >= smallestBlockedOrder;
}

void FloatFft::plainForward (float* re, float* im) const noexcept
{
    fft_tables::reorder (re, im, bitReverse);

    for (int half = 1; half < size; half *= 2)
        for (int start = 0; start < size; start += 2 * half)
            for (int k = 0; k < half; ++k)
                fft_tables::butterfly (re, im, start + k, start + k + half, stageCos[(size_t) (half + k)], stageSin[(size_t) (half + k)]);
}

void FloatFft::forward (float* re, float* im) const noexcept
{
    if (! usesBlockedPasses())
    {
        plainForward (re, im);
        return;
    }

    reorderWithFirstStages (re, im, false);

    int half = 4;
    for (; half * 4 <= size; half *= 4)
        stagePair (re, im, half);

    if (half < size)
        longStage (re, im, half);
}

void FloatFft::inverse (float* re, float* im) const noexcept
{
    const float scale = 1.0f / (float) size;

    if (! usesBlockedPasses())
    {
        for (int i = 0; i < size; ++i)
            im[i] = -im[i];

        plainForward (re, im);

        for (int i = 0; i < size; ++i)
        {
            re[i] = re[i] * scale;
            im[i] = -im[i] * scale;
        }
        return;
    }

    reorderWithFirstStages (re, im, true);

    int half = 4;
    for (; half * 4 < size; half *= 4)
        stagePair (re, im, half);

    if (half < size / 2)
        longStage (re, im, half);

    lastStageConjugatedAndScaled (re, im);
}

#if BRINDLE_FLOAT_FFT_SSE2

// In index i = a N/4 + 4 b + c (a and c of two bits, b of order - 4), the reversal swaps a
// with c reversed and b with b reversed. So the 16 values of one b (four rows a of four
// lanes c) land as the 16 values of b reversed: four whole groups of four, each of them
// needing the first two stages. Each row loaded is one point of four groups side by side, so
// those stages run across the lanes; a transpose then makes each group contiguous for its
// store. Blocks swap in pairs (b and b reversed) or stay in place, as the swaps would.
void FloatFft::reorderWithFirstStages (float* re, float* im, bool conjugate) const noexcept
{
    const int quarter = size / 4;
    const int columns = size / 16;
    const __m128 signs = conjugate ? _mm_set1_ps (-0.0f) : _mm_setzero_ps();

    // Stage of half-length 1: k = 0 only; of half-length 2: k = 0 and 1.
    const __m128 w1Re = _mm_set1_ps (stageCos[1]), w1Im = _mm_set1_ps (stageSin[1]);
    const __m128 w20Re = _mm_set1_ps (stageCos[2]), w20Im = _mm_set1_ps (stageSin[2]);
    const __m128 w21Re = _mm_set1_ps (stageCos[3]), w21Im = _mm_set1_ps (stageSin[3]);

    auto loadWithFirstStages = [&] (int column)
    {
        Block16 p;

        for (int t = 0; t < 4; ++t)
        {
            const int at = reversedTwoBits[t] * quarter + 4 * column;
            p.re[t] = _mm_loadu_ps (re + at);
            p.im[t] = _mm_xor_ps (_mm_loadu_ps (im + at), signs);   // exact negation, or none
        }

        fft_tables::butterfly (p.re[0], p.im[0], p.re[1], p.im[1], w1Re, w1Im);
        fft_tables::butterfly (p.re[2], p.im[2], p.re[3], p.im[3], w1Re, w1Im);
        fft_tables::butterfly (p.re[0], p.im[0], p.re[2], p.im[2], w20Re, w20Im);
        fft_tables::butterfly (p.re[1], p.im[1], p.re[3], p.im[3], w21Re, w21Im);
        return p;
    };

    auto store = [&] (Block16& p, int column)
    {
        _MM_TRANSPOSE4_PS (p.re[0], p.re[1], p.re[2], p.re[3]);
        _MM_TRANSPOSE4_PS (p.im[0], p.im[1], p.im[2], p.im[3]);

        for (int lane = 0; lane < 4; ++lane)
        {
            const int at = reversedTwoBits[lane] * quarter + 4 * column;
            _mm_storeu_ps (re + at, p.re[lane]);
            _mm_storeu_ps (im + at, p.im[lane]);
        }
    };

    for (int column = 0; column < columns; ++column)
    {
        const int partner = bitReverse[(size_t) (4 * column)] / 4;

        if (partner < column)
            continue;   // done with its partner

        auto first = loadWithFirstStages (column);

        if (partner == column)
        {
            store (first, column);
            continue;
        }

        auto second = loadWithFirstStages (partner);
        store (first, partner);
        store (second, column);
    }
}

// A stage with groups of at least eight: four neighbouring butterflies of a group at once,
// with their four twiddles side by side in the stage's own table.
void FloatFft::longStage (float* re, float* im, int half) const noexcept
{
    const float* wRe = stageCos.data() + half;
    const float* wIm = stageSin.data() + half;

    for (int start = 0; start < size; start += 2 * half)
    {
        for (int k = 0; k < half; k += 4)
        {
            const int a = start + k, b = a + half;
            __m128 aRe = _mm_loadu_ps (re + a), aIm = _mm_loadu_ps (im + a);
            __m128 bRe = _mm_loadu_ps (re + b), bIm = _mm_loadu_ps (im + b);
            fft_tables::butterfly (aRe, aIm, bRe, bIm, _mm_loadu_ps (wRe + k), _mm_loadu_ps (wIm + k));
            _mm_storeu_ps (re + a, aRe);
            _mm_storeu_ps (im + a, aIm);
            _mm_storeu_ps (re + b, bRe);
            _mm_storeu_ps (im + b, bIm);
        }
    }
}

// Two stages in one pass: in each group of 4 half, the stage of `half` joins the points k
// and k + half, and k + 2 half and k + 3 half; the next stage then joins k and k + 2 half,
// and k + half and k + 3 half. Each butterfly of both stages runs exactly once, on the values
// the stage-by-stage order gives it, so nothing changes but the number of passes.
void FloatFft::stagePair (float* re, float* im, int half) const noexcept
{
    const float* w1Re = stageCos.data() + half;
    const float* w1Im = stageSin.data() + half;
    const float* w2Re = stageCos.data() + 2 * half;
    const float* w2Im = stageSin.data() + 2 * half;

    for (int start = 0; start < size; start += 4 * half)
    {
        for (int k = 0; k < half; k += 4)
        {
            float* r = re + start + k;
            float* i = im + start + k;
            __m128 r0 = _mm_loadu_ps (r), i0 = _mm_loadu_ps (i);
            __m128 r1 = _mm_loadu_ps (r + half), i1 = _mm_loadu_ps (i + half);
            __m128 r2 = _mm_loadu_ps (r + 2 * half), i2 = _mm_loadu_ps (i + 2 * half);
            __m128 r3 = _mm_loadu_ps (r + 3 * half), i3 = _mm_loadu_ps (i + 3 * half);

            const __m128 wRe = _mm_loadu_ps (w1Re + k), wIm = _mm_loadu_ps (w1Im + k);
            fft_tables::butterfly (r0, i0, r1, i1, wRe, wIm);
            fft_tables::butterfly (r2, i2, r3, i3, wRe, wIm);
            fft_tables::butterfly (r0, i0, r2, i2, _mm_loadu_ps (w2Re + k), _mm_loadu_ps (w2Im + k));
            fft_tables::butterfly (r1, i1, r3, i3, _mm_loadu_ps (w2Re + half + k), _mm_loadu_ps (w2Im + half + k));

            _mm_storeu_ps (r, r0);
            _mm_storeu_ps (i, i0);
            _mm_storeu_ps (r + half, r1);
            _mm_storeu_ps (i + half, i1);
            _mm_storeu_ps (r + 2 * half, r2);
            _mm_storeu_ps (i + 2 * half, i2);
            _mm_storeu_ps (r + 3 * half, r3);
            _mm_storeu_ps (i + 3 * half, i3);
        }
    }
}

// The inverse's last stage, each result conjugated and scaled as it is stored: the same
// operations on the same values as a separate pass after the stage.
void FloatFft::lastStageConjugatedAndScaled (float* re, float* im) const noexcept
{
    const int half = size / 2;
    const float* wRe = stageCos.data() + half;
    const float* wIm = stageSin.data() + half;
    const __m128 scale = _mm_set1_ps (1.0f / (float) size);
    const __m128 signs = _mm_set1_ps (-0.0f);

    for (int a = 0; a < half; a += 4)
    {
        const int b = a + half;
        __m128 aRe = _mm_loadu_ps (re + a), aIm = _mm_loadu_ps (im + a);
        __m128 bRe = _mm_loadu_ps (re + b), bIm = _mm_loadu_ps (im + b);
        fft_tables::butterfly (aRe, aIm, bRe, bIm, _mm_loadu_ps (wRe + a), _mm_loadu_ps (wIm + a));
        _mm_storeu_ps (re + a, _mm_mul_ps (aRe, scale));
        _mm_storeu_ps (im + a, _mm_mul_ps (_mm_xor_ps (aIm, signs), scale));
        _mm_storeu_ps (re + b, _mm_mul_ps (bRe, scale));
        _mm_storeu_ps (im + b, _mm_mul_ps (_mm_xor_ps (bIm, signs), scale));
    }
}

#else

// Without vector registers every transform takes the plain order.
void FloatFft::reorderWithFirstStages (float*, float*, bool) const noexcept {}
void FloatFft::longStage (float*, float*, int) const noexcept {}
void FloatFft::stagePair (float*, float*, int) const noexcept {}
void FloatFft::lastStageConjugatedAndScaled (float*, float*) const noexcept {}

#endif

} // namespace brindle
