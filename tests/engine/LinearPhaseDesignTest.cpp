#include "EngineFixtures.h"
#include "LiteralKernelDesign.h"
#include "TestSeed.h"

#include "engine/FirLength.h"
#include "engine/LinearPhaseDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace brindle::test
{

namespace
{
    using Outcome = LinearPhaseDesign::Outcome;

    struct Kernels
    {
        std::vector<double> left, right;
    };

    /** An engine whose designer holds a state, as the designer thread leaves it after a take. */
    struct DesignerEngine
    {
        CorrectionEngine engine;

        DesignerEngine (const CorrectionState& state, double sampleRate)
        {
            engine.prepare (sampleRate, 512);
            engine.designerStates.publish (state);
            engine.designPendingKernel();
        }
    };

    Kernels design (const CorrectionState& state, double sampleRate, FirQuality quality)
    {
        const int taps = firLengthFor (quality, sampleRate);
        Kernels k { std::vector<double> ((size_t) taps), std::vector<double> ((size_t) taps) };

        LinearPhaseDesign designer;
        designer.prepare();
        EXPECT_EQ (designer.design (state, sampleRate, taps, k.left.data(), k.right.data()), Outcome::designed);
        return k;
    }

    /** The kernel's gain at a frequency, read from its spectrum zero-padded to 65536 points
        (bins 0.73 Hz apart at 48 kHz), at the bin nearest the frequency. */
    double gainAt (const std::vector<double>& kernel, double sampleRate, double frequencyHz)
    {
        DoubleFft fft;
        fft.prepare (16);
        std::vector<double> re ((size_t) fft.getSize(), 0.0), im ((size_t) fft.getSize(), 0.0);
        std::copy (kernel.begin(), kernel.end(), re.begin());
        fft.forward (re.data(), im.data());

        const auto bin = (size_t) std::lround (frequencyHz / sampleRate * fft.getSize());
        return std::hypot (re[bin], im[bin]);
    }

    double untaperedEdge (int taps) { return (taps - 1) / 8.0; }

    CorrectionState randomBands (std::mt19937& random, int count, bool samePerChannel)
    {
        std::uniform_real_distribution<double> logFreq (std::log (20.0), std::log (20000.0)), gain (-12.0, 12.0),
            logQ (std::log (0.3), std::log (8.0)), unit (0.0, 1.0);
        const BandType types[] = { BandType::bell, BandType::lowShelf, BandType::highShelf,
                                   BandType::lowPass, BandType::highPass, BandType::bandPass };

        CorrectionState state;
        state.correctionPct = 80;
        for (int i = 0; i < count; ++i)
        {
            // Mostly bells and shelves; now and then a pass shape, which reaches deep cuts.
            const double pick = unit (random);
            const auto type = pick < 0.9 ? types[(int) (pick / 0.3)] : types[3 + (int) ((pick - 0.9) / 0.034)];
            const bool left = samePerChannel || unit (random) < 0.6;
            const bool right = samePerChannel || ! left || unit (random) < 0.3;
            state.bands[(size_t) state.bandCount++] = makeBand (type, std::exp (logFreq (random)), gain (random),
                                                                std::exp (logQ (random)), left, right);
        }
        return state;
    }
}

TEST (LinearPhaseDesign, WithNoBandInForceTheKernelIsADelayLessTheNyquistBin)
{
    auto bypassed = makeState ({ makeBand (BandType::bell, 1000, 6, 1) });
    bypassed.bypass = true;

    const struct { const char* name; CorrectionState state; } cases[] = {
        { "no bands", CorrectionState {} },
        { "bypass", bypassed },
        { "every gain under 0.05 dB once scaled",
          makeState ({ makeBand (BandType::bell, 1000, 0.08, 1), makeBand (BandType::lowPass, 500, -0.08, 1) }, 50) },
    };

    for (const auto& c : cases)
    {
        const auto k = design (c.state, 48000, FirQuality::low);
        const int taps = (int) k.left.size();
        const int centre = taps / 2;
        const double m = LinearPhaseDesign::transformSizeFor (taps);

        EXPECT_EQ (taps, 4096);
        EXPECT_EQ (m, 16384);
        EXPECT_NEAR (k.left[(size_t) centre], 1.0 - 1.0 / m, 1e-15) << c.name;

        // Only the Nyquist bin is missing from a flat spectrum: -(-1)^n / M around the centre.
        for (int n = (int) untaperedEdge (taps) + 1; n < taps - 1 - untaperedEdge (taps); ++n)
        {
            if (n != centre)
            {
                ASSERT_NEAR (k.left[(size_t) n], ((n - centre) % 2 != 0 ? 1.0 : -1.0) / m, 1e-15) << c.name << " tap " << n;
            }
        }

        EXPECT_EQ (k.left, k.right) << c.name;
    }
}

TEST (LinearPhaseDesign, KernelsAreSymmetricAboutTheCentreAndZeroAtBothEnds)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (auto quality : { FirQuality::low, FirQuality::medium })
    {
        const auto k = design (randomBands (random, 12, false), 48000, quality);

        for (const auto* kernel : { &k.left, &k.right })
        {
            const int taps = (int) kernel->size();
            double largest = 0.0;
            for (double v : *kernel)
                largest = std::fmax (largest, std::abs (v));

            EXPECT_EQ ((*kernel)[0], 0.0);
            EXPECT_EQ ((*kernel)[(size_t) taps - 1], 0.0);

            // The taper is symmetric about (L - 1)/2, the response about L/2, so the two only
            // agree tap for tap where the taper is 1.
            for (int k2 = 1; taps / 2 + k2 <= taps - 1 - untaperedEdge (taps); ++k2)
                ASSERT_NEAR ((*kernel)[(size_t) (taps / 2 + k2)], (*kernel)[(size_t) (taps / 2 - k2)], 1e-13 * largest) << k2;
        }
    }
}

TEST (LinearPhaseDesign, TheKernelsGainIsTheBandsGainAsApplied)
{
    struct Case { double pct; double expectedDb; };

    for (const auto& c : { Case { 100, 6.0 }, Case { 50, 3.0 } })
    {
        const auto state = makeState ({ makeBand (BandType::bell, 1000, 6, 1) }, c.pct);
        const auto k = design (state, 48000, FirQuality::low);

        for (int channel = 0; channel < 2; ++channel)
        {
            const auto& kernel = channel == 0 ? k.left : k.right;
            EXPECT_NEAR (20 * std::log10 (gainAt (kernel, 48000, 1000)), c.expectedDb, 0.01) << c.pct;
            EXPECT_NEAR (gainAt (kernel, 48000, 1000), std::pow (10.0, c.expectedDb / 20), 0.002) << c.pct;

            // Away from the centre it follows the bell's skirt.
            for (double f : { 200.0, 4000.0, 15000.0 })
                EXPECT_NEAR (20 * std::log10 (gainAt (kernel, 48000, f)),
                             20 * std::log10 (literalMagnitude (state, channel, 48000, f)), 0.01) << c.pct << " at " << f;
        }
    }
}

TEST (LinearPhaseDesign, TheMagnitudeTakesOnlyTheBandsInForce)
{
    const double bell6 = std::pow (10.0, 6.0 / 20);
    const double atClamp = 0.49 * 44100;

    struct Case
    {
        const char* name;
        CorrectionState state;
        double sampleRate, frequencyHz, left, right;
    };

    auto pastCount = makeState ({ makeBand (BandType::bell, 1000, 6, 1) });
    pastCount.bands[1] = makeBand (BandType::bell, 1000, 6, 1);

    const Case cases[] = {
        { "a +6 dB bell", makeState ({ makeBand (BandType::bell, 1000, 6, 1) }), 48000, 1000, bell6, bell6 },
        { "at 50 %", makeState ({ makeBand (BandType::bell, 1000, 6, 1) }, 50), 48000, 1000, std::pow (10.0, 3.0 / 20), std::pow (10.0, 3.0 / 20) },
        { "0.04 dB is out", makeState ({ makeBand (BandType::bell, 1000, 0.04, 1) }), 48000, 1000, 1.0, 1.0 },
        { "0.05 dB is in", makeState ({ makeBand (BandType::bell, 1000, 0.05, 1) }), 48000, 1000, std::pow (10.0, 0.05 / 20), std::pow (10.0, 0.05 / 20) },
        { "-0.05 dB is in", makeState ({ makeBand (BandType::bell, 1000, -0.05, 1) }), 48000, 1000, std::pow (10.0, -0.05 / 20), std::pow (10.0, -0.05 / 20) },
        { "0.1 dB at 40 % is out", makeState ({ makeBand (BandType::bell, 1000, 0.1, 1) }, 40), 48000, 1000, 1.0, 1.0 },
        { "a low-pass in force cuts", makeState ({ makeBand (BandType::lowPass, 1000, 1, 0.7071) }), 48000, 1000, 0.7071, 0.7071 },
        { "a low-pass out of force does nothing", makeState ({ makeBand (BandType::lowPass, 1000, 0.04, 0.7071) }), 48000, 10000, 1.0, 1.0 },
        { "a band on the left only", makeState ({ makeBand (BandType::bell, 1000, 6, 1, true, false) }), 48000, 1000, bell6, 1.0 },
        { "a band on the right only", makeState ({ makeBand (BandType::bell, 1000, 6, 1, false, true) }), 48000, 1000, 1.0, bell6 },
        { "23 kHz at 44.1 kHz peaks at 0.49 fs", makeState ({ makeBand (BandType::bell, 23000, 6, 4) }), 44100, atClamp, bell6, bell6 },
        { "a slot past the count", pastCount, 48000, 1000, bell6, bell6 },
    };

    for (const auto& c : cases)
    {
        const DesignerEngine d (c.state, c.sampleRate);
        EXPECT_NEAR (d.engine.magnitudeAt (0, c.frequencyHz), c.left, 1e-4) << c.name;
        EXPECT_NEAR (d.engine.magnitudeAt (1, c.frequencyHz), c.right, 1e-4) << c.name;
    }

    // The low-pass acts at 10 kHz only while in force.
    const DesignerEngine lowPass (makeState ({ makeBand (BandType::lowPass, 1000, 1, 0.7071) }), 48000);
    EXPECT_LT (lowPass.engine.magnitudeAt (0, 10000), 0.02);

    // The clamped band is the band designed at 21609 Hz, at every frequency.
    const DesignerEngine clamped (makeState ({ makeBand (BandType::bell, 23000, 6, 4) }), 44100);
    const DesignerEngine atEdge (makeState ({ makeBand (BandType::bell, atClamp, 6, 4) }), 44100);
    for (double f : { 1000.0, 15000.0, 20000.0, 21000.0, 22000.0 })
        EXPECT_EQ (clamped.engine.magnitudeAt (0, f), atEdge.engine.magnitudeAt (0, f)) << f;
}

TEST (LinearPhaseDesign, ABandOnOneChannelLeavesTheOtherAtUnity)
{
    const auto leftOnly = makeState ({ makeBand (BandType::bell, 1000, 6, 1, true, false) });
    const auto k = design (leftOnly, 48000, FirQuality::low);
    const auto flat = design (CorrectionState {}, 48000, FirQuality::low);

    EXPECT_EQ (k.right, flat.right);
    EXPECT_NEAR (gainAt (k.left, 48000, 1000), std::pow (10.0, 6.0 / 20), 0.002);
    EXPECT_NEAR (gainAt (k.right, 48000, 1000), 1.0, 1e-4);
}

TEST (LinearPhaseDesign, TheLowPassShapesTheKernelOnlyWhileInForce)
{
    const auto inForce = design (makeState ({ makeBand (BandType::lowPass, 2000, 1, 0.7071) }), 48000, FirQuality::low);
    const auto outOfForce = design (makeState ({ makeBand (BandType::lowPass, 2000, 0.04, 0.7071) }), 48000, FirQuality::low);
    const auto flat = design (CorrectionState {}, 48000, FirQuality::low);

    EXPECT_LT (gainAt (inForce.left, 48000, 12000), 0.05);
    EXPECT_EQ (outOfForce.left, flat.left);
}

TEST (LinearPhaseDesign, MatchesTheBandByBandDesign)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    struct Case { FirQuality quality; double sampleRate; int bands; bool samePerChannel; };
    const Case cases[] = {
        { FirQuality::low, 48000, 24, true },
        { FirQuality::low, 48000, 24, false },
        { FirQuality::low, 44100, 3, false },
        { FirQuality::medium, 96000, 8, false },
        { FirQuality::high, 48000, 24, true },
        { FirQuality::high, 48000, 24, false },
    };

    for (const auto& c : cases)
    {
        const auto state = randomBands (random, c.bands, c.samePerChannel);
        const auto fast = design (state, c.sampleRate, c.quality);
        const int taps = (int) fast.left.size();

        for (int channel = 0; channel < 2; ++channel)
        {
            const auto& kernel = channel == 0 ? fast.left : fast.right;
            const auto reference = literalKernel (state, channel, c.sampleRate, taps);

            double largest = 0.0, worst = 0.0;
            for (int n = 0; n < taps; ++n)
            {
                largest = std::fmax (largest, std::abs (reference[(size_t) n]));
                worst = std::fmax (worst, std::abs (kernel[(size_t) n] - reference[(size_t) n]));
            }

            EXPECT_LE (worst, 1e-12 * largest) << taps << " taps at " << c.sampleRate << ", " << c.bands
                                               << " bands, channel " << channel << (c.samePerChannel ? ", same" : ", differing");
        }
    }
}

TEST (LinearPhaseDesign, ExtremeCascadesStayFiniteAndMatchTheBandByBandDesign)
{
    const auto filled = [] (CorrectionBand band)
    {
        CorrectionState state;
        state.bandCount = CorrectionState::maxBands;
        state.bands.fill (band);
        return CorrectionState::sanitized (state);
    };

    const struct { const char* name; CorrectionState state; double tolerance; } cases[] = {
        // Products of 24 deep cuts fall below the smallest double long before the top bin.
        { "24 low-passes at 10 Hz", filled (makeBand (BandType::lowPass, 10, 1, 0.1)), 1e-12 },
        { "24 band-passes at 10 Hz", filled (makeBand (BandType::bandPass, 10, 1, 24)), 1e-12 },
        { "24 narrow +12 dB bells at 10 Hz", filled (makeBand (BandType::bell, 10, 12, 24)), 1e-12 },
        { "24 -30 dB high shelves", filled (makeBand (BandType::highShelf, 100, -30, 0.1)), 1e-12 },
        // 24 equal resonances 20 Hz wide at 0.49 fs, 660 dB high: each band's rounding near its
        // pole comes back 24 times over, in either order of the arithmetic.
        { "24 high-passes at 24 kHz", filled (makeBand (BandType::highPass, 24000, 1, 24)), 1e-10 },
    };

    for (const auto& c : cases)
    {
        const auto fast = design (c.state, 48000, FirQuality::low);
        const auto reference = literalKernel (c.state, 0, 48000, (int) fast.left.size());

        double largest = 0.0, worst = 0.0;
        for (size_t n = 0; n < reference.size(); ++n)
        {
            ASSERT_TRUE (std::isfinite (fast.left[n])) << c.name << " tap " << n;
            largest = std::fmax (largest, std::abs (reference[n]));
            worst = std::fmax (worst, std::abs (fast.left[n] - reference[n]));
        }

        EXPECT_LE (worst, c.tolerance * largest) << c.name;
        EXPECT_EQ (fast.left, fast.right) << c.name;
    }
}

TEST (LinearPhaseDesign, TheMagnitudeIsTheBandByBandOne)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    std::uniform_real_distribution<double> frequency (0.0, 24000.0);

    const auto state = randomBands (random, 24, false);
    const DesignerEngine d (state, 48000);

    for (int i = 0; i < 200; ++i)
    {
        const double f = frequency (random);
        for (int channel = 0; channel < 2; ++channel)
        {
            const double expected = literalMagnitude (state, channel, 48000, f);
            EXPECT_NEAR (d.engine.magnitudeAt (channel, f), expected, 1e-12 * expected) << f << " channel " << channel;
        }
    }
}

TEST (LinearPhaseDesign, AnExitTestThatSaysStopAbandonsTheDesignAtOnce)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto state = randomBands (random, 24, false);
    const int taps = firLengthFor (FirQuality::high, 48000);
    std::vector<double> left ((size_t) taps), right ((size_t) taps);

    LinearPhaseDesign designer;
    designer.prepare();

    // Never true: asked all through both channels, at least every 4096 of 131072 frequencies
    // and all through the inverse transform of 262144 points.
    int asked = 0;
    EXPECT_EQ (designer.design (state, 48000, taps, left.data(), right.data(), [&] { ++asked; return false; }), Outcome::designed);
    EXPECT_GE (asked, 2 * (131072 / 4096 + 262144 / 2 * 18 / 20000)) << asked;
    const auto whole = std::make_pair (left, right);

    // True at the k-th question: the design stops there and asks nothing more.
    for (int stopAt : { 1, 2, asked / 2, asked - 1, asked })
    {
        int questions = 0;
        const auto outcome = designer.design (state, 48000, taps, left.data(), right.data(),
                                              [&] { return ++questions >= stopAt; });
        EXPECT_EQ (outcome, Outcome::abandoned) << stopAt;
        EXPECT_EQ (questions, stopAt);
    }

    // An abandoned design leaves nothing behind that spoils the next one.
    EXPECT_EQ (designer.design (state, 48000, taps, left.data(), right.data()), Outcome::designed);
    EXPECT_EQ (std::make_pair (left, right), whole);
}

TEST (LinearPhaseDesign, LengthsAndRatesItCannotTakeAreRefused)
{
    LinearPhaseDesign designer;
    designer.prepare();
    std::vector<double> left (70000, 7.0), right (70000, 7.0);

    struct Case { int taps; double sampleRate; };
    for (const auto& c : { Case { 0, 48000 }, Case { 1000, 48000 }, Case { 4097, 48000 }, Case { 66560, 48000 },
                           Case { 4096, 0 }, Case { 4096, -48000 }, Case { 4096, std::nan ("") } })
    {
        EXPECT_EQ (designer.design (CorrectionState {}, c.sampleRate, c.taps, left.data(), right.data()), Outcome::refused)
            << c.taps << " taps at " << c.sampleRate;
    }

    EXPECT_EQ (designer.design (CorrectionState {}, 48000, 4096, nullptr, right.data()), Outcome::refused);
    EXPECT_EQ (left, std::vector<double> (70000, 7.0));
    EXPECT_EQ (right, std::vector<double> (70000, 7.0));
}

TEST (LinearPhaseDesign, TheIdentityKernelIsAPureDelayOfHalfItsLength)
{
    for (double rate : { 44100.0, 96000.0, 192000.0 })
    {
        const int taps = firLengthFor (FirQuality::medium, rate);
        std::vector<double> kernel ((size_t) taps, 3.0);
        fillIdentityKernel (kernel.data(), taps);

        std::vector<double> expected ((size_t) taps, 0.0);
        expected[(size_t) taps / 2] = 1.0;
        EXPECT_EQ (kernel, expected) << rate;
    }
}

} // namespace brindle::test
