#include "engine/BandsInForce.h"

#include <gtest/gtest.h>

namespace brindle::test
{

namespace
{
    CorrectionState oneBand (double gainDb, double pct = 100)
    {
        CorrectionState state;
        state.bandCount = 1;
        state.correctionPct = pct;
        state.bands[0].gainDb = gainDb;
        return state;
    }
}

TEST (BandsInForce, AppliedGainRoundsToHundredthsWithHalvesUp)
{
    struct Case { double gainDb, pct, applied; bool inForce; };

    const Case cases[] = {
        { 1.625, 100, 1.63, true },
        { -1.625, 100, -1.62, true },     // halves toward +infinity, not away from zero
        { 0.0449, 100, 0.04, false },
        { 0.077, 65, 0.05, true },        // 0.05005 rounds onto the threshold
        { 10, 0.5, 0.05, true },
        { -0.05, 100, -0.05, true },
        { 0.0499, 100, 0.05, true },
        { 0.07, 60, 0.04, false },
        { 6, 65, 3.9, true },
        { 12, 0, 0, false },
    };

    for (const auto& c : cases)
    {
        EXPECT_DOUBLE_EQ (appliedGainDb (c.pct, c.gainDb), c.applied) << c.gainDb << " dB at " << c.pct << " %";
        EXPECT_EQ (isBandInForce (oneBand (c.gainDb, c.pct), 0, Channel::left), c.inForce) << c.gainDb << " dB at " << c.pct << " %";
    }
}

TEST (BandsInForce, BypassUnusedSlotsAndChannelFlagsTakeBandsOutOfForce)
{
    auto state = oneBand (3);
    EXPECT_TRUE (isBandInForce (state, 0, Channel::left));
    EXPECT_TRUE (isBandInForce (state, 0, Channel::right));

    EXPECT_FALSE (isBandInForce (state, 1, Channel::left)) << "slot past bandCount";
    EXPECT_FALSE (isBandInForce (state, -1, Channel::left));

    state.bands[0].left = false;
    EXPECT_FALSE (isBandInForce (state, 0, Channel::left));
    EXPECT_TRUE (isBandInForce (state, 0, Channel::right));

    state.bypass = true;
    EXPECT_FALSE (isBandInForce (state, 0, Channel::right));
}

TEST (BandsInForce, BandsAreDesignedWithReplacedAndClampedValues)
{
    auto same = [] (const BiquadCoefficients& a, const BiquadCoefficients& b) {
        return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
    };

    CorrectionBand band;
    band.gainDb = 4;

    band.freqHz = 0;
    band.q = -2;
    EXPECT_TRUE (same (designBandInForce (band, 100, 48000), designBiquad (BandType::bell, 1000, 48000, 1, 4)))
        << "a frequency or Q that is not above 0 takes 1000 Hz and Q 1";

    band.freqHz = 20000;
    band.q = 0.01;
    EXPECT_TRUE (same (designBandInForce (band, 50, 32000), designBiquad (BandType::bell, 15680, 32000, 0.05, 2)))
        << "clamped to 0.49 of the rate and Q 0.05, with the applied gain";
}

} // namespace brindle::test
