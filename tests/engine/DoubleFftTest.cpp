#include "LiteralKernelDesign.h"
#include "TestSeed.h"

#include "engine/DoubleFft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

namespace brindle::test
{

namespace
{
    constexpr double twoPi = 6.283185307179586;

    struct Signal
    {
        std::vector<double> re, im;

        explicit Signal (int n) : re ((size_t) n, 0.0), im ((size_t) n, 0.0) {}

        static Signal random (int n, std::mt19937& random)
        {
            std::uniform_real_distribution<double> value (-1.0, 1.0);
            Signal s (n);
            for (int i = 0; i < n; ++i)
            {
                s.re[(size_t) i] = value (random);
                s.im[(size_t) i] = value (random);
            }
            return s;
        }
    };

    DoubleFft prepared (int order)
    {
        DoubleFft fft;
        EXPECT_TRUE (fft.prepare (order));
        return fft;
    }

    // The inverse as the kernel design forms it: conjugate, forward, conjugate, scale by 1/N.
    void inverse (const DoubleFft& fft, Signal& s)
    {
        const int n = fft.getSize();
        for (auto& v : s.im)
            v = -v;
        fft.forward (s.re.data(), s.im.data());
        for (int i = 0; i < n; ++i)
        {
            s.re[(size_t) i] = s.re[(size_t) i] * (1.0 / n);
            s.im[(size_t) i] = -s.im[(size_t) i] * (1.0 / n);
        }
    }

    double largestDifference (const Signal& s, int bin, double expectedRe)
    {
        double worst = 0.0;
        for (size_t i = 0; i < s.re.size(); ++i)
        {
            worst = std::fmax (worst, std::abs (s.re[i] - ((int) i == bin ? expectedRe : 0.0)));
            worst = std::fmax (worst, std::abs (s.im[i]));
        }
        return worst;
    }
}

TEST (DoubleFft, SizesAndTablesFollowTheOrder)
{
    struct Case { int order; int size; };
    const Case cases[] = { { -3, 2 }, { 0, 2 }, { 1, 2 }, { 2, 4 }, { 11, 2048 }, { 18, 262144 } };

    for (const auto& c : cases)
    {
        const auto fft = prepared (c.order);
        EXPECT_EQ (fft.getSize(), c.size) << c.order;
        EXPECT_EQ (fft.getOrder(), c.size == 2 ? 1 : c.order) << c.order;
        EXPECT_EQ (fft.getCosTable().size(), (size_t) c.size / 2) << c.order;
        EXPECT_EQ (fft.getSinTable().size(), (size_t) c.size / 2) << c.order;
        EXPECT_EQ (fft.getBitReverse().size(), (size_t) c.size) << c.order;
    }

    const auto fft = prepared (11);
    EXPECT_EQ (fft.getBitReverse()[1], 1024);
    EXPECT_EQ (fft.getBitReverse()[2047], 2047);
    EXPECT_EQ (fft.getBitReverse()[6], 768);
    EXPECT_EQ (fft.getCosTable()[0], 1.0);
    EXPECT_EQ (fft.getCosTable()[512], std::cos (512 * -twoPi / 2048));
    EXPECT_EQ (fft.getSinTable()[512], -1.0);
    EXPECT_EQ (fft.getSinTable()[100], std::sin (100 * -twoPi / 2048));
}

TEST (DoubleFft, AnOrderTooLargeIsRefusedAndKeepsTheTransform)
{
    auto fft = prepared (5);
    EXPECT_FALSE (fft.prepare (DoubleFft::maxOrder + 1));
    EXPECT_EQ (fft.getSize(), 32);
    EXPECT_EQ (fft.getCosTable().size(), 16u);
}

TEST (DoubleFft, ImpulseConstantAndTheSignOfTheExponent)
{
    for (int order : { 3, 6, 11 })
    {
        const auto fft = prepared (order);
        const int n = fft.getSize();

        Signal impulse (n);
        impulse.re[0] = 1.0;
        fft.forward (impulse.re.data(), impulse.im.data());
        for (int k = 0; k < n; ++k)
        {
            EXPECT_EQ (impulse.re[(size_t) k], 1.0) << n << " bin " << k;
            EXPECT_EQ (impulse.im[(size_t) k], 0.0) << n << " bin " << k;
        }

        Signal constant (n);
        for (auto& v : constant.re)
            v = 1.0;
        fft.forward (constant.re.data(), constant.im.data());
        EXPECT_LT (largestDifference (constant, 0, n), 1e-12 * n) << n;

        // e^(+2 pi i t / N) is one turn forward: bin 1. e^(-2 pi i t / N) is bin N - 1.
        for (int sign : { +1, -1 })
        {
            Signal turn (n);
            for (int t = 0; t < n; ++t)
            {
                turn.re[(size_t) t] = std::cos (twoPi * t / n);
                turn.im[(size_t) t] = sign * std::sin (twoPi * t / n);
            }
            fft.forward (turn.re.data(), turn.im.data());
            EXPECT_LT (largestDifference (turn, sign > 0 ? 1 : n - 1, n), 1e-11 * n) << n << " sign " << sign;
        }
    }
}

TEST (DoubleFft, MatchesADirectTransform)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int order : { 3, 6 })
    {
        const auto fft = prepared (order);
        const int n = fft.getSize();
        const auto input = Signal::random (n, random);
        auto output = input;
        fft.forward (output.re.data(), output.im.data());

        for (int k = 0; k < n; ++k)
        {
            std::complex<long double> sum = 0;
            for (int t = 0; t < n; ++t)
                sum += std::complex<long double> (input.re[(size_t) t], input.im[(size_t) t])
                       * std::polar (1.0L, -2.0L * 3.14159265358979323846L * (long double) ((k * t) % n) / n);

            EXPECT_NEAR (output.re[(size_t) k], (double) sum.real(), 1e-13 * n) << n << " bin " << k;
            EXPECT_NEAR (output.im[(size_t) k], (double) sum.imag(), 1e-13 * n) << n << " bin " << k;
        }
    }
}

TEST (DoubleFft, TheInverseFormedFromTheForwardReturnsTheInput)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto fft = prepared (11);

    const auto input = Signal::random (2048, random);
    auto roundTrip = input;
    fft.forward (roundTrip.re.data(), roundTrip.im.data());
    inverse (fft, roundTrip);

    for (size_t i = 0; i < input.re.size(); ++i)
    {
        EXPECT_NEAR (roundTrip.re[i], input.re[i], 1e-14) << i;
        EXPECT_NEAR (roundTrip.im[i], input.im[i], 1e-14) << i;
    }

    Signal flat (2048);
    for (auto& v : flat.re)
        v = 1.0;
    inverse (fft, flat);
    EXPECT_LT (largestDifference (flat, 0, 1.0), 1e-15);
}

// Real input, zero-padded as a kernel's partition is, brings exact zeros whose signs must come
// out the same too; the orders cover where the arrangement changes (the reordering's pass, the
// cache blocks) and the design's largest transform.
TEST (DoubleFft, TheFastLoopOrderGivesTheStageByStageResultBitForBit)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int order : { 1, 2, 3, 5, 10, 11, 14, 18 })
    {
        const auto fft = prepared (order);
        const LiteralFft<double> literal (order);
        const int size = fft.getSize();

        ASSERT_EQ (fft.getCosTable(), literal.cosTable) << order;
        ASSERT_EQ (fft.getSinTable(), literal.sinTable) << order;
        ASSERT_EQ (fft.getBitReverse(), literal.bitReverse) << order;

        auto padded = Signal::random (size, random);
        std::fill (padded.im.begin(), padded.im.end(), 0.0);
        std::fill (padded.re.begin() + size / 2, padded.re.end(), 0.0);

        for (const auto& input : { Signal::random (size, random), padded })
        {
            auto fast = input, plain = input;
            fft.forward (fast.re.data(), fast.im.data());
            literal.forward (plain.re.data(), plain.im.data());

            const size_t bytes = (size_t) size * sizeof (double);
            EXPECT_EQ (std::memcmp (fast.re.data(), plain.re.data(), bytes), 0) << size << " points";
            EXPECT_EQ (std::memcmp (fast.im.data(), plain.im.data(), bytes), 0) << size << " points";
        }
    }
}

// A design's transform of 2^18 points must not keep a stop waiting: it asks every few
// thousand butterflies, stops at once when told, and changes nothing when never told.
TEST (DoubleFft, ALongTransformAsksItsExitTestOftenAndStopsWhenTold)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto fft = prepared (18);
    const auto input = Signal::random (fft.getSize(), random);

    auto plain = input, asking = input;
    fft.forward (plain.re.data(), plain.im.data());

    int asked = 0;
    EXPECT_TRUE (fft.forward (asking.re.data(), asking.im.data(), [&] { ++asked; return false; }));
    EXPECT_EQ (asking.re, plain.re);
    EXPECT_EQ (asking.im, plain.im);

    const int butterflies = fft.getSize() / 2 * 18;
    EXPECT_GE (asked, butterflies / 20000) << "at least every 20000 butterflies on average";

    for (int stopAt : { 1, asked / 2, asked })
    {
        auto stopped = input;
        int questions = 0;
        EXPECT_FALSE (fft.forward (stopped.re.data(), stopped.im.data(), [&] { return ++questions >= stopAt; })) << stopAt;
        EXPECT_EQ (questions, stopAt);
    }

    auto unasked = input;
    EXPECT_TRUE (fft.forward (unasked.re.data(), unasked.im.data(), DoubleFft::ExitTest {})) << "an empty test never stops it";
    EXPECT_EQ (unasked.re, plain.re);
}

} // namespace brindle::test
