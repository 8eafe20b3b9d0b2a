#include "engine/BiquadDesign.h"

#include <gtest/gtest.h>

#include <cmath>

namespace brindle::test
{

namespace
{
    constexpr double fs = 48000.0;
    constexpr double pi = 3.141592653589793;

    /** Steady-state gain in dB of a section for a sine at `freqHz`, measured by running the
        difference equation in the time domain: independent of the design's own maths. */
    double measuredGainDb (const BiquadCoefficients& c, double freqHz)
    {
        const int settle = 48000, measure = 48000;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, inPower = 0, outPower = 0;

        for (int n = 0; n < settle + measure; ++n)
        {
            const double x = std::sin (2 * pi * freqHz * n / fs);
            const double y = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
            x2 = x1; x1 = x; y2 = y1; y1 = y;

            if (n >= settle)
            {
                inPower += x * x;
                outPower += y * y;
            }
        }

        return 10 * std::log10 (outPower / inPower);
    }
}

TEST (BiquadDesign, SectionsMeasureWhatTheirTypePromises)
{
    struct Case
    {
        const char* name;
        BandType type;
        double designHz, q, gainDb;
        double probeHz, expectedDb, toleranceDb;
    };

    const Case cases[] = {
        { "bell boost at its centre", BandType::bell, 1000, 1, 6, 1000, 6, 0.01 },
        { "bell cut at its centre", BandType::bell, 250, 4, -9, 250, -9, 0.01 },
        { "bell far from its centre", BandType::bell, 1000, 4, 6, 20, 0, 0.01 },
        { "low shelf below its corner", BandType::lowShelf, 100, 0.707, 3, 20, 3, 0.05 },
        { "low shelf at its midpoint", BandType::lowShelf, 100, 0.707, 4, 100, 2, 0.01 },
        { "high shelf above its corner", BandType::highShelf, 2000, 0.707, -5, 20000, -5, 0.05 },
        { "low-pass at cut-off, Q 1/sqrt2", BandType::lowPass, 1000, 0.70710678, 0, 1000, -3.0103, 0.01 },
        { "low-pass passes what lies far below", BandType::lowPass, 1000, 0.70710678, 0, 50, 0, 0.01 },
        { "high-pass, a decade below: 40 dB down", BandType::highPass, 200, 0.70710678, 0, 20, -40.0, 0.1 },
        { "high-pass at cut-off", BandType::highPass, 200, 0.70710678, 0, 200, -3.0103, 0.01 },
        { "band-pass peaks at 0 dB", BandType::bandPass, 3000, 2, 0, 3000, 0, 0.01 },
    };

    for (const auto& c : cases)
        EXPECT_NEAR (measuredGainDb (designBiquad (c.type, c.designHz, fs, c.q, c.gainDb), c.probeHz), c.expectedDb, c.toleranceDb)
            << c.name;
}

TEST (BiquadDesign, ZeroGainBellsAndShelvesPassTheSignalUnchanged)
{
    for (auto type : { BandType::bell, BandType::lowShelf, BandType::highShelf })
    {
        const auto c = designBiquad (type, 700, fs, 2.5, 0.0);
        EXPECT_NEAR (c.b0, 1.0, 1e-15);
        EXPECT_NEAR (c.b1, c.a1, 1e-15);
        EXPECT_NEAR (c.b2, c.a2, 1e-15);
    }
}

TEST (BiquadDesign, UnknownTypesAreBellsAndPassTypesIgnoreTheGain)
{
    const auto bell = designBiquad (BandType::bell, 1500, fs, 3, 4);

    for (int raw : { 6, -1 })
    {
        const auto c = designBiquad (static_cast<BandType> (raw), 1500, fs, 3, 4);
        EXPECT_EQ (c.b0, bell.b0);
        EXPECT_EQ (c.b1, bell.b1);
        EXPECT_EQ (c.b2, bell.b2);
        EXPECT_EQ (c.a1, bell.a1);
        EXPECT_EQ (c.a2, bell.a2);
    }

    for (auto type : { BandType::lowPass, BandType::highPass, BandType::bandPass })
    {
        const auto flat = designBiquad (type, 1500, fs, 3, 0);
        const auto loud = designBiquad (type, 1500, fs, 3, 12);
        EXPECT_EQ (flat.b0, loud.b0);
        EXPECT_EQ (flat.b1, loud.b1);
        EXPECT_EQ (flat.b2, loud.b2);
        EXPECT_EQ (flat.a1, loud.a1);
        EXPECT_EQ (flat.a2, loud.a2);
    }
}

TEST (BiquadDesign, TheDesignClampKeepsSectionsBuildable)
{
    EXPECT_EQ (clampDesignFrequency (30000, 48000), 0.49 * 48000);
    EXPECT_EQ (clampDesignFrequency (23520, 48000), 23520);
    EXPECT_EQ (clampDesignFrequency (0.5, 48000), 1.0);
    EXPECT_EQ (clampDesignFrequency (-10, 48000), 1.0);
    EXPECT_EQ (clampDesignFrequency (1, 48000), 1.0);

    EXPECT_EQ (clampDesignQ (50), 40.0);
    EXPECT_EQ (clampDesignQ (40), 40.0);
    EXPECT_EQ (clampDesignQ (0.01), 0.05);
    EXPECT_EQ (clampDesignQ (0.05), 0.05);
    EXPECT_EQ (clampDesignQ (1.5), 1.5);
}

TEST (BiquadDesign, MagnitudeAgreesWithTheMeasuredResponse)
{
    const auto c = designBiquad (BandType::highShelf, 3000, fs, 1.2, 7);

    for (double f : { 50.0, 1000.0, 3000.0, 9000.0, 18000.0 })
        EXPECT_NEAR (magnitudeDbAt (c, 2 * pi * f / fs), measuredGainDb (c, f), 0.01) << f;
}

} // namespace brindle::test
