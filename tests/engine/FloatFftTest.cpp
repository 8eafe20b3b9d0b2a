#include "LiteralFft.h"
#include "TestSeed.h"

#include "engine/FloatFft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

namespace brindle::test
{

namespace
{
    constexpr double pi = 3.141592653589793;

    FloatFft preparedFft (int order)
    {
        FloatFft fft;
        fft.prepare (order);
        return fft;
    }

    struct Signal
    {
        std::vector<float> re, im;
        explicit Signal (int size) : re ((size_t) size, 0.0f), im ((size_t) size, 0.0f) {}
    };

    Signal randomSignal (int size, std::mt19937& random)
    {
        std::uniform_real_distribution<float> value (-1.0f, 1.0f);
        Signal signal (size);
        for (int i = 0; i < size; ++i)
        {
            signal.re[(size_t) i] = value (random);
            signal.im[(size_t) i] = value (random);
        }
        return signal;
    }

    bool sameBits (const std::vector<float>& a, const std::vector<float>& b)
    {
        return a.size() == b.size() && std::memcmp (a.data(), b.data(), a.size() * sizeof (float)) == 0;
    }

    // e^(sign 2 pi i n / N)
    Signal rotation (int size, double sign)
    {
        Signal signal (size);
        for (int n = 0; n < size; ++n)
        {
            const double angle = sign * 2 * pi * n / size;
            signal.re[(size_t) n] = (float) std::cos (angle);
            signal.im[(size_t) n] = (float) std::sin (angle);
        }
        return signal;
    }

    // All bins within tolerance of `size` at bin `peak` (real) and of 0 elsewhere.
    void expectSingleBin (const Signal& spectrum, int peak, double value, double tolerance)
    {
        for (size_t k = 0; k < spectrum.re.size(); ++k)
        {
            EXPECT_NEAR (spectrum.re[k], (int) k == peak ? value : 0.0, tolerance) << "bin " << k;
            EXPECT_NEAR (spectrum.im[k], 0.0, tolerance) << "bin " << k;
        }
    }
}

TEST (FloatFft, TablesHoldTheTwiddlesAndTheBitReversal)
{
    const auto fft = preparedFft (11);
    ASSERT_EQ (fft.size(), 2048);
    ASSERT_EQ (fft.getCosTable().size(), 1024u);
    ASSERT_EQ (fft.getSinTable().size(), 1024u);
    ASSERT_EQ (fft.getBitReverse().size(), 2048u);

    EXPECT_EQ (fft.getBitReverse()[1], 1024);
    EXPECT_EQ (fft.getBitReverse()[2], 512);
    EXPECT_EQ (fft.getBitReverse()[2047], 2047);
    EXPECT_EQ (fft.getBitReverse()[1024], 1);

    EXPECT_EQ (fft.getCosTable()[0], 1.0f);
    EXPECT_EQ (fft.getCosTable()[512], (float) std::cos (512 * -6.283185307179586 / 2048));
    EXPECT_EQ (fft.getSinTable()[512], -1.0f);                                 // -pi/2
    EXPECT_EQ (fft.getSinTable()[100], (float) std::sin (100 * -6.283185307179586 / 2048));
}

TEST (FloatFft, OrdersBelowTwoMakeATwoPointTransform)
{
    for (int order : { -3, 0, 1 })
    {
        auto fft = preparedFft (order);
        EXPECT_EQ (fft.size(), 2) << order;

        std::vector<float> re { 3.0f, 1.0f }, im { 0.0f, 2.0f };
        fft.forward (re.data(), im.data());
        EXPECT_EQ (re, (std::vector<float> { 4.0f, 2.0f })) << order;
        EXPECT_EQ (im, (std::vector<float> { 2.0f, -2.0f })) << order;
    }
}

TEST (FloatFft, ImpulseAndConstantGiveFlatAndSingleBinSpectra)
{
    const auto fft = preparedFft (11);

    Signal impulse (2048);
    impulse.re[0] = 1.0f;
    fft.forward (impulse.re.data(), impulse.im.data());
    for (size_t k = 0; k < 2048; ++k)
    {
        EXPECT_EQ (impulse.re[k], 1.0f) << "bin " << k;
        EXPECT_EQ (impulse.im[k], 0.0f) << "bin " << k;
    }

    Signal constant (2048);
    std::fill (constant.re.begin(), constant.re.end(), 1.0f);
    fft.forward (constant.re.data(), constant.im.data());
    expectSingleBin (constant, 0, 2048.0, 1e-4);
}

// The forward transform has the negative exponent: a rotation the positive way lands in bin 1,
// the negative way in bin N - 1.
TEST (FloatFft, ForwardUsesTheNegativeExponent)
{
    const auto fft = preparedFft (11);

    auto positive = rotation (2048, +1);
    fft.forward (positive.re.data(), positive.im.data());
    expectSingleBin (positive, 1, 2048.0, 2e-3);

    auto negative = rotation (2048, -1);
    fft.forward (negative.re.data(), negative.im.data());
    expectSingleBin (negative, 2047, 2048.0, 2e-3);
}

TEST (FloatFft, InverseUndoesForwardAndTurnsAFlatSpectrumIntoAnImpulse)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto fft = preparedFft (11);

    const auto input = randomSignal (2048, random);
    auto signal = input;
    fft.forward (signal.re.data(), signal.im.data());
    fft.inverse (signal.re.data(), signal.im.data());
    for (size_t i = 0; i < 2048; ++i)
    {
        EXPECT_NEAR (signal.re[i], input.re[i], 2e-6) << i;
        EXPECT_NEAR (signal.im[i], input.im[i], 2e-6) << i;
    }

    Signal flat (2048);
    std::fill (flat.re.begin(), flat.re.end(), 1.0f);
    fft.inverse (flat.re.data(), flat.im.data());
    expectSingleBin (flat, 0, 1.0, 1e-6);
}

TEST (FloatFft, MatchesADirectTransform)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int order : { 3, 6 })
    {
        const auto fft = preparedFft (order);
        const int size = fft.size();
        const auto input = randomSignal (size, random);
        auto spectrum = input;
        fft.forward (spectrum.re.data(), spectrum.im.data());

        for (int k = 0; k < size; ++k)
        {
            std::complex<double> sum;
            for (int n = 0; n < size; ++n)
                sum += std::complex<double> (input.re[(size_t) n], input.im[(size_t) n])
                       * std::polar (1.0, -2 * pi * k * n / size);

            EXPECT_NEAR (spectrum.re[(size_t) k], sum.real(), 1e-5 * size) << size << " points, bin " << k;
            EXPECT_NEAR (spectrum.im[(size_t) k], sum.imag(), 1e-5 * size) << size << " points, bin " << k;
        }
    }
}

// The loops are arranged for speed; every butterfly must still compute exactly what the plain
// loop order computes, in both directions and at every size the arrangement switches at. Real
// input and an impulse bring exact zeros, whose signs must come out the same too.
TEST (FloatFft, MatchesThePlainLoopOrderBitForBit)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int order = 1; order <= 12; ++order)
    {
        const auto fft = preparedFft (order);
        const LiteralFft<float> reference (order);
        const int size = fft.size();

        auto real = randomSignal (size, random);
        std::fill (real.im.begin(), real.im.end(), 0.0f);
        Signal impulse (size);
        impulse.re[(size_t) (size / 2 - 1)] = 1.0f;
        impulse.im[(size_t) (size / 2 - 1)] = -0.5f;

        const struct { const char* name; Signal input; } inputs[] = {
            { "random", randomSignal (size, random) }, { "real", real }, { "impulse", impulse },
        };

        for (const auto& in : inputs)
        {
            auto fast = in.input, plain = in.input;
            fft.forward (fast.re.data(), fast.im.data());
            reference.forward (plain.re.data(), plain.im.data());
            EXPECT_TRUE (sameBits (fast.re, plain.re) && sameBits (fast.im, plain.im)) << "forward, order " << order << ", " << in.name;

            // The inverse of the spectrum, as the convolver uses it, and of the signal itself.
            for (const Signal* start : std::initializer_list<const Signal*> { &plain, &in.input })
            {
                fast = *start;
                auto plainInverse = *start;
                fft.inverse (fast.re.data(), fast.im.data());
                reference.inverse (plainInverse.re.data(), plainInverse.im.data());
                EXPECT_TRUE (sameBits (fast.re, plainInverse.re) && sameBits (fast.im, plainInverse.im))
                    << "inverse, order " << order << ", " << in.name;
            }
        }
    }
}

} // namespace brindle::test
