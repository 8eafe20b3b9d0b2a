#include "StateBits.h"

#include "engine/CorrectionState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace brindle::test
{

namespace
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();

    CorrectionState withBands (int count)
    {
        CorrectionState state;
        state.bandCount = count;
        return state;
    }
}

TEST (CorrectionState, DefaultsAreTheDocumentedOnes)
{
    const CorrectionState state;

    EXPECT_EQ (state.bandCount, 0);
    EXPECT_EQ (state.correctionPct, 100.0);
    EXPECT_EQ (state.delayLeftMs, 0.0);
    EXPECT_EQ (state.delayRightMs, 0.0);
    EXPECT_EQ (state.outputDb, 0.0);
    EXPECT_TRUE (state.safeHeadroom);
    EXPECT_FALSE (state.bypass);
    EXPECT_EQ (state.phaseMode, PhaseMode::minimum);
    EXPECT_EQ (state.firQuality, FirQuality::medium);

    for (const auto& band : state.bands)
    {
        EXPECT_EQ (band.freqHz, 1000.0);
        EXPECT_EQ (band.gainDb, 0.0);
        EXPECT_EQ (band.q, 1.0);
        EXPECT_EQ (band.type, BandType::bell);
        EXPECT_TRUE (band.left && band.right);
    }

    EXPECT_TRUE (sameState (CorrectionState::sanitized (state), state));
}

struct GlobalCase
{
    const char* name;
    std::function<void (CorrectionState&)> set;
    std::function<double (const CorrectionState&)> get;
    double expected;
};

TEST (CorrectionState, SanitisingGlobalValuesFallsBackOrClamps)
{
    auto pct = [] (double v) { return [v] (CorrectionState& s) { s.correctionPct = v; }; };
    auto left = [] (double v) { return [v] (CorrectionState& s) { s.delayLeftMs = v; }; };
    auto right = [] (double v) { return [v] (CorrectionState& s) { s.delayRightMs = v; }; };
    auto out = [] (double v) { return [v] (CorrectionState& s) { s.outputDb = v; }; };
    auto getPct = [] (const CorrectionState& s) { return s.correctionPct; };
    auto getLeft = [] (const CorrectionState& s) { return s.delayLeftMs; };
    auto getRight = [] (const CorrectionState& s) { return s.delayRightMs; };
    auto getOut = [] (const CorrectionState& s) { return s.outputDb; };

    const GlobalCase cases[] = {
        { "amount NaN takes the page default, not 100", pct (nan), getPct, 65 },
        { "amount +inf", pct (inf), getPct, 65 },
        { "amount -inf", pct (-inf), getPct, 65 },
        { "amount above range", pct (150), getPct, 100 },
        { "amount below range", pct (-5), getPct, 0 },
        { "amount inside", pct (42.5), getPct, 42.5 },
        { "left delay NaN", left (nan), getLeft, 0 },
        { "left delay too long", left (25), getLeft, 20 },
        { "left delay exactly 20 stays", left (20), getLeft, 20 },
        { "right delay -inf", right (-inf), getRight, 0 },
        { "right delay negative", right (-1), getRight, 0 },
        { "output +inf", out (inf), getOut, 0 },
        { "output below range", out (-30), getOut, -24 },
        { "output exactly -24 stays", out (-24), getOut, -24 },
        { "output above range", out (13), getOut, 12 },
    };

    for (const auto& c : cases)
    {
        CorrectionState state;
        c.set (state);
        EXPECT_EQ (c.get (CorrectionState::sanitized (state)), c.expected) << c.name;
    }
}

TEST (CorrectionState, SanitisingBandsFallsBackOrClamps)
{
    struct BandCase
    {
        double freqHz, gainDb, q;
        double expectedFreqHz, expectedGainDb, expectedQ;
    };

    const BandCase cases[] = {
        { inf, nan, nan, 1000, 0, 1 },          // non-finite values take defaults, not bounds
        { -inf, -inf, inf, 1000, 0, 1 },
        { 5, -40, 0, 10, -30, 0.1 },            // below range
        { 30000, 20, 30, 24000, 12, 24 },       // above range
        { 24000, 12, 24, 24000, 12, 24 },       // the bounds stay
        { 10, -30, 0.1, 10, -30, 0.1 },
        { 440.5, -3.25, 2.5, 440.5, -3.25, 2.5 },
        { 5e-320, 5e-320, 5e-320, 10, 5e-320, 0.1 }, // subnormals are finite
    };

    for (const auto& c : cases)
    {
        auto state = withBands (1);
        state.bands[0].freqHz = c.freqHz;
        state.bands[0].gainDb = c.gainDb;
        state.bands[0].q = c.q;

        const auto band = CorrectionState::sanitized (state).bands[0];
        EXPECT_EQ (band.freqHz, c.expectedFreqHz) << "freq " << c.freqHz;
        EXPECT_EQ (band.gainDb, c.expectedGainDb) << "gain " << c.gainDb;
        EXPECT_EQ (band.q, c.expectedQ) << "q " << c.q;
    }
}

TEST (CorrectionState, UnknownEnumerationsTakeTheirDefaults)
{
    for (int raw : { 6, -1, 1000 })
    {
        auto state = withBands (1);
        state.bands[0].type = static_cast<BandType> (raw);
        EXPECT_EQ (CorrectionState::sanitized (state).bands[0].type, BandType::bell) << raw;
    }

    for (int raw : { 0, 1, 2, 3, 4, 5 })
    {
        auto state = withBands (1);
        state.bands[0].type = static_cast<BandType> (raw);
        EXPECT_EQ (CorrectionState::sanitized (state).bands[0].type, static_cast<BandType> (raw));
    }

    for (int raw : { 2, -1 })
    {
        CorrectionState state;
        state.phaseMode = static_cast<PhaseMode> (raw);
        EXPECT_EQ (CorrectionState::sanitized (state).phaseMode, PhaseMode::minimum) << raw;
    }

    for (int raw : { 3, -1 })
    {
        CorrectionState state;
        state.phaseMode = PhaseMode::linear;
        state.firQuality = static_cast<FirQuality> (raw);
        const auto clean = CorrectionState::sanitized (state);
        EXPECT_EQ (clean.firQuality, FirQuality::medium) << raw;
        EXPECT_EQ (clean.phaseMode, PhaseMode::linear);
    }
}

TEST (CorrectionState, OnlySlotsInUseAreSanitised)
{
    auto state = withBands (2);
    for (auto& band : state.bands)
        band.freqHz = nan;

    const auto clean = CorrectionState::sanitized (state);
    EXPECT_EQ (clean.bands[0].freqHz, 1000.0);
    EXPECT_EQ (clean.bands[1].freqHz, 1000.0);
    EXPECT_TRUE (std::isnan (clean.bands[2].freqHz)) << "an unused slot is carried as it is";

    state.bandCount = 30;
    const auto all = CorrectionState::sanitized (state);
    EXPECT_EQ (all.bandCount, 24);
    for (const auto& band : all.bands)
        EXPECT_EQ (band.freqHz, 1000.0);

    state.bandCount = -3;
    const auto none = CorrectionState::sanitized (state);
    EXPECT_EQ (none.bandCount, 0);
    EXPECT_TRUE (std::isnan (none.bands[0].freqHz));
}

TEST (CorrectionState, FlagsAreNeverTouched)
{
    auto state = withBands (1);
    state.bypass = true;
    state.safeHeadroom = false;
    state.bands[0].left = false;
    state.bands[0].right = false;

    const auto clean = CorrectionState::sanitized (state);
    EXPECT_TRUE (clean.bypass);
    EXPECT_FALSE (clean.safeHeadroom);
    EXPECT_FALSE (clean.bands[0].left);
    EXPECT_FALSE (clean.bands[0].right);
}

TEST (CorrectionState, SanitisingIsIdempotentOverRandomRecords)
{
    const unsigned seed = 20261210;
    std::mt19937 random (seed);
    const double specials[] = { nan, inf, -inf, 0.0, -0.0, 5e-320, 1e300, -1e300, 24000, 20, -24, 12 };

    auto anyDouble = [&] {
        if (random() % 3 == 0)
            return specials[random() % std::size (specials)];
        return std::uniform_real_distribution<double> (-50000, 50000) (random);
    };

    for (int i = 0; i < 2000; ++i)
    {
        CorrectionState state;
        state.bandCount = (int) (random() % 40) - 8;
        state.correctionPct = anyDouble();
        state.delayLeftMs = anyDouble();
        state.delayRightMs = anyDouble();
        state.outputDb = anyDouble();
        state.phaseMode = static_cast<PhaseMode> ((int) (random() % 5) - 1);
        state.firQuality = static_cast<FirQuality> ((int) (random() % 6) - 1);

        for (auto& band : state.bands)
        {
            band.freqHz = anyDouble();
            band.gainDb = anyDouble();
            band.q = anyDouble();
            band.type = static_cast<BandType> ((int) (random() % 9) - 1);
        }

        const auto once = CorrectionState::sanitized (state);
        const auto twice = CorrectionState::sanitized (once);
        ASSERT_TRUE (sameState (once, twice)) << "record " << i << ", seed " << seed;

        EXPECT_GE (once.correctionPct, 0.0);
        EXPECT_LE (once.correctionPct, 100.0);
        for (int slot = 0; slot < once.bandCount; ++slot)
            ASSERT_TRUE (std::isfinite (once.bands[(size_t) slot].freqHz)) << "record " << i << ", seed " << seed;
    }
}

} // namespace brindle::test
