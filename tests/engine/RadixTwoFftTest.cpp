#include "LiteralFft.h"
#include "TestSeed.h"

#include "engine/DoubleFft.h"
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
    constexpr double twoPi = 6.283185307179586;

    // What differs between the two precisions: the value type, how far a result may stray
    // from the exact transform, and how the inverse is made (the single-precision transform
    // has its own; the double one's is formed from the forward transform by the kernel design).
    struct FloatPrecision
    {
        using Fft = FloatFft;
        using Value = float;
        static constexpr double perPoint = 1e-6;        // constant and rotation, times N
        static constexpr double directPerPoint = 1e-5;  // against the direct sum, times N
        static constexpr double roundTrip = 2e-6;
        static constexpr double flatInverse = 1e-6;
        static constexpr int largestOrder = 12;         // it only ever runs at 2048 points

        static void inverse (const Fft& fft, Value* re, Value* im) { fft.inverse (re, im); }
    };

    struct DoublePrecision
    {
        using Fft = DoubleFft;
        using Value = double;
        static constexpr double perPoint = 1e-11;
        static constexpr double directPerPoint = 1e-13;
        static constexpr double roundTrip = 1e-14;
        static constexpr double flatInverse = 1e-15;
        static constexpr int largestOrder = 18;         // the design's largest transform

        // Conjugate, transform, conjugate and scale by 1/N.
        static void inverse (const Fft& fft, Value* re, Value* im)
        {
            const int n = fft.getSize();
            for (int i = 0; i < n; ++i)
                im[i] = -im[i];
            fft.forward (re, im);
            const double scale = 1.0 / n;
            for (int i = 0; i < n; ++i)
            {
                re[i] = re[i] * scale;
                im[i] = -im[i] * scale;
            }
        }
    };

    template <typename Precision>
    class RadixTwoFft : public ::testing::Test
    {
    public:
        using Fft = typename Precision::Fft;
        using T = typename Precision::Value;

        struct Signal
        {
            std::vector<T> re, im;
            explicit Signal (int size) : re ((size_t) size, T (0)), im ((size_t) size, T (0)) {}
        };

        static Fft prepared (int order)
        {
            Fft fft;
            EXPECT_TRUE (fft.prepare (order)) << order;
            return fft;
        }

        static Signal random (int size, std::mt19937& generator)
        {
            std::uniform_real_distribution<T> value (T (-1), T (1));
            Signal signal (size);
            for (int i = 0; i < size; ++i)
            {
                signal.re[(size_t) i] = value (generator);
                signal.im[(size_t) i] = value (generator);
            }
            return signal;
        }

        // e^(sign 2 pi i n / N)
        static Signal rotation (int size, int sign)
        {
            Signal signal (size);
            for (int n = 0; n < size; ++n)
            {
                signal.re[(size_t) n] = (T) std::cos (twoPi * n / size);
                signal.im[(size_t) n] = (T) (sign * std::sin (twoPi * n / size));
            }
            return signal;
        }

        // The largest distance from `value` at bin `peak` (real) and from 0 everywhere else.
        static double largestDifference (const Signal& s, int peak, double value)
        {
            double worst = 0.0;
            for (size_t i = 0; i < s.re.size(); ++i)
            {
                worst = std::fmax (worst, std::abs ((double) s.re[i] - ((int) i == peak ? value : 0.0)));
                worst = std::fmax (worst, std::abs ((double) s.im[i]));
            }
            return worst;
        }

        static bool sameBits (const Signal& a, const Signal& b)
        {
            const size_t bytes = a.re.size() * sizeof (T);
            return a.re.size() == b.re.size()
                && std::memcmp (a.re.data(), b.re.data(), bytes) == 0
                && std::memcmp (a.im.data(), b.im.data(), bytes) == 0;
        }
    };

    using Precisions = ::testing::Types<FloatPrecision, DoublePrecision>;

    struct PrecisionNames
    {
        template <typename P>
        static std::string GetName (int) { return std::is_same_v<P, FloatPrecision> ? "FloatFft" : "DoubleFft"; }
    };
}

TYPED_TEST_SUITE (RadixTwoFft, Precisions, PrecisionNames);

TYPED_TEST (RadixTwoFft, SizesAndTablesFollowTheOrder)
{
    struct Case { int order; int size; };
    const Case cases[] = { { -3, 2 }, { 0, 2 }, { 1, 2 }, { 2, 4 }, { 11, 2048 }, { 18, 262144 } };

    for (const auto& c : cases)
    {
        const auto fft = this->prepared (c.order);
        EXPECT_EQ (fft.getSize(), c.size) << c.order;
        EXPECT_EQ (fft.getOrder(), c.size == 2 ? 1 : c.order) << c.order;
        EXPECT_EQ (fft.getCosTable().size(), (size_t) c.size / 2) << c.order;
        EXPECT_EQ (fft.getSinTable().size(), (size_t) c.size / 2) << c.order;
        EXPECT_EQ (fft.getBitReverse().size(), (size_t) c.size) << c.order;
    }

    using T = typename TestFixture::T;
    const auto fft = this->prepared (11);
    EXPECT_EQ (fft.getBitReverse()[1], 1024);
    EXPECT_EQ (fft.getBitReverse()[2], 512);
    EXPECT_EQ (fft.getBitReverse()[6], 768);
    EXPECT_EQ (fft.getBitReverse()[1024], 1);
    EXPECT_EQ (fft.getBitReverse()[2047], 2047);
    EXPECT_EQ (fft.getCosTable()[0], T (1));
    EXPECT_EQ (fft.getCosTable()[512], (T) std::cos (512 * -twoPi / 2048));
    EXPECT_EQ (fft.getSinTable()[512], T (-1));                                // -pi/2
    EXPECT_EQ (fft.getSinTable()[100], (T) std::sin (100 * -twoPi / 2048));
}

TYPED_TEST (RadixTwoFft, AnOrderTooLargeIsRefusedAndKeepsTheTransform)
{
    auto fft = this->prepared (5);
    EXPECT_FALSE (fft.prepare (TestFixture::Fft::maxOrder + 1));
    EXPECT_EQ (fft.getSize(), 32);
    EXPECT_EQ (fft.getCosTable().size(), 16u);
}

TYPED_TEST (RadixTwoFft, TheTwoPointTransform)
{
    using T = typename TestFixture::T;
    const auto fft = this->prepared (1);
    std::vector<T> re { 3, 1 }, im { 0, 2 };
    fft.forward (re.data(), im.data());
    EXPECT_EQ (re, (std::vector<T> { 4, 2 }));
    EXPECT_EQ (im, (std::vector<T> { 2, -2 }));
}

// An impulse is flat, a constant is bin 0 alone, and the exponent is negative: one turn the
// positive way lands in bin 1, the negative way in bin N - 1.
TYPED_TEST (RadixTwoFft, ImpulseConstantAndTheSignOfTheExponent)
{
    using T = typename TestFixture::T;
    using Signal = typename TestFixture::Signal;

    for (int order : { 3, 6, 11 })
    {
        const auto fft = this->prepared (order);
        const int n = fft.getSize();
        const double tolerance = TypeParam::perPoint * n;

        Signal impulse (n);
        impulse.re[0] = T (1);
        fft.forward (impulse.re.data(), impulse.im.data());
        for (int k = 0; k < n; ++k)
        {
            EXPECT_EQ (impulse.re[(size_t) k], T (1)) << n << " bin " << k;
            EXPECT_EQ (impulse.im[(size_t) k], T (0)) << n << " bin " << k;
        }

        Signal constant (n);
        std::fill (constant.re.begin(), constant.re.end(), T (1));
        fft.forward (constant.re.data(), constant.im.data());
        EXPECT_LT (this->largestDifference (constant, 0, n), tolerance) << n;

        for (int sign : { +1, -1 })
        {
            auto turn = this->rotation (n, sign);
            fft.forward (turn.re.data(), turn.im.data());
            EXPECT_LT (this->largestDifference (turn, sign > 0 ? 1 : n - 1, n), tolerance) << n << " sign " << sign;
        }
    }
}

TYPED_TEST (RadixTwoFft, MatchesADirectTransform)
{
    const TestSeed seed;
    std::mt19937 generator (seed.value);

    for (int order : { 3, 6 })
    {
        const auto fft = this->prepared (order);
        const int n = fft.getSize();
        const auto input = this->random (n, generator);
        auto output = input;
        fft.forward (output.re.data(), output.im.data());

        for (int k = 0; k < n; ++k)
        {
            std::complex<long double> sum = 0;
            for (int t = 0; t < n; ++t)
                sum += std::complex<long double> (input.re[(size_t) t], input.im[(size_t) t])
                       * std::polar (1.0L, -2.0L * 3.14159265358979323846L * (long double) ((k * t) % n) / n);

            EXPECT_NEAR (output.re[(size_t) k], (double) sum.real(), TypeParam::directPerPoint * n) << n << " bin " << k;
            EXPECT_NEAR (output.im[(size_t) k], (double) sum.imag(), TypeParam::directPerPoint * n) << n << " bin " << k;
        }
    }
}

TYPED_TEST (RadixTwoFft, TheInverseReturnsTheInputAndTurnsAFlatSpectrumIntoAnImpulse)
{
    using T = typename TestFixture::T;
    const TestSeed seed;
    std::mt19937 generator (seed.value);
    const auto fft = this->prepared (11);

    const auto input = this->random (2048, generator);
    auto roundTrip = input;
    fft.forward (roundTrip.re.data(), roundTrip.im.data());
    TypeParam::inverse (fft, roundTrip.re.data(), roundTrip.im.data());

    for (size_t i = 0; i < input.re.size(); ++i)
    {
        EXPECT_NEAR (roundTrip.re[i], input.re[i], TypeParam::roundTrip) << i;
        EXPECT_NEAR (roundTrip.im[i], input.im[i], TypeParam::roundTrip) << i;
    }

    typename TestFixture::Signal flat (2048);
    std::fill (flat.re.begin(), flat.re.end(), T (1));
    TypeParam::inverse (fft, flat.re.data(), flat.im.data());
    EXPECT_LT (this->largestDifference (flat, 0, 1.0), TypeParam::flatInverse);
}

// The loops are arranged for speed; every butterfly must still compute exactly what the plain
// loop order computes, in both directions, at every size where the arrangement changes (the
// blocked passes, the cache blocks) and up to the largest size each one runs at. Real input, a
// kernel's zero-padded partition and an impulse bring exact zeros, whose signs must come out
// the same too.
TYPED_TEST (RadixTwoFft, MatchesThePlainLoopOrderBitForBit)
{
    using T = typename TestFixture::T;
    using Signal = typename TestFixture::Signal;
    const TestSeed seed;
    std::mt19937 generator (seed.value);

    for (int order : { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 18 })
    {
        if (order > TypeParam::largestOrder)
            continue;

        const auto fft = this->prepared (order);
        const LiteralFft<T> literal (order);
        const int size = fft.getSize();

        ASSERT_EQ (fft.getCosTable(), literal.cosTable) << order;
        ASSERT_EQ (fft.getSinTable(), literal.sinTable) << order;
        ASSERT_EQ (fft.getBitReverse(), literal.bitReverse) << order;

        auto real = this->random (size, generator);
        std::fill (real.im.begin(), real.im.end(), T (0));
        auto padded = real;
        std::fill (padded.re.begin() + size / 2, padded.re.end(), T (0));
        Signal impulse (size);
        impulse.re[(size_t) (size / 2 - 1)] = T (1);
        impulse.im[(size_t) (size / 2 - 1)] = T (-0.5);

        const struct { const char* name; Signal input; } inputs[] = {
            { "random", this->random (size, generator) }, { "real", real }, { "padded", padded }, { "impulse", impulse },
        };

        for (const auto& in : inputs)
        {
            auto fast = in.input, plain = in.input;
            fft.forward (fast.re.data(), fast.im.data());
            literal.forward (plain.re.data(), plain.im.data());
            EXPECT_TRUE (this->sameBits (fast, plain)) << "forward, order " << order << ", " << in.name;

            // The inverse of the spectrum, as the convolver uses it, and of the signal itself.
            for (const Signal* start : std::initializer_list<const Signal*> { &plain, &in.input })
            {
                fast = *start;
                auto plainInverse = *start;
                TypeParam::inverse (fft, fast.re.data(), fast.im.data());
                literal.inverse (plainInverse.re.data(), plainInverse.im.data());
                EXPECT_TRUE (this->sameBits (fast, plainInverse)) << "inverse, order " << order << ", " << in.name;
            }
        }
    }
}

// A design's transform of 2^18 points must not keep a stop waiting: it asks every few
// thousand butterflies, stops at once when told, and changes nothing when never told.
TEST (DoubleFft, ALongTransformAsksItsExitTestOftenAndStopsWhenTold)
{
    const TestSeed seed;
    std::mt19937 generator (seed.value);
    DoubleFft fft;
    ASSERT_TRUE (fft.prepare (18));
    const auto input = RadixTwoFft<DoublePrecision>::random (fft.getSize(), generator);

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
