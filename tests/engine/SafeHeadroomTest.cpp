#include "engine/SafeHeadroom.h"

#include <gtest/gtest.h>

namespace brindle::test
{

namespace
{
    CorrectionState withBands (std::initializer_list<CorrectionBand> bands, double pct = 100)
    {
        CorrectionState state;
        state.correctionPct = pct;
        for (const auto& band : bands)
            state.bands[(size_t) state.bandCount++] = band;
        return state;
    }

    CorrectionBand band (BandType type, double freqHz, double gainDb, double q, bool left = true, bool right = true)
    {
        CorrectionBand b;
        b.type = type;
        b.freqHz = freqHz;
        b.gainDb = gainDb;
        b.q = q;
        b.left = left;
        b.right = right;
        return b;
    }
}

TEST (SafeHeadroom, FiguresForKnownCorrections)
{
    struct Case { const char* name; CorrectionState state; double sampleRate; double expectedDb; };

    const Case cases[] = {
        { "+6 dB bell", withBands ({ band (BandType::bell, 1000, 6, 1) }), 48000, -6.0 },
        { "+6 dB bell at 65 %", withBands ({ band (BandType::bell, 1000, 6, 1) }, 65), 48000, -3.9 },
        { "two overlapping +3 dB bells add",
          withBands ({ band (BandType::bell, 1000, 3, 4.32), band (BandType::bell, 1259.92, 3, 4.32) }), 48000, -3.62 },
        { "a low shelf counts", withBands ({ band (BandType::lowShelf, 100, 3, 0.707) }), 48000, -3.0 },
        { "designed at 0.49 of 32 kHz, measured below 16 kHz",
          withBands ({ band (BandType::bell, 20000, 6, 1) }), 32000, -1.28 },
        { "cuts only", withBands ({ band (BandType::bell, 100, -6, 2), band (BandType::highShelf, 5000, -3, 0.7) }), 48000, 0.0 },
        { "nothing in force", withBands ({ band (BandType::bell, 1000, 0.04, 1) }), 48000, 0.0 },
        { "the louder channel sets it",
          withBands ({ band (BandType::bell, 1000, 2, 1, true, false), band (BandType::bell, 1000, 5, 1, false, true) }), 48000, -5.0 },
        { "a band on neither channel", withBands ({ band (BandType::bell, 1000, 6, 1, false, false) }), 48000, 0.0 },
        { "no bands", CorrectionState {}, 48000, 0.0 },
    };

    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ (headroomDbFor (c.sampleRate, c.state), c.expectedDb) << c.name;
}

TEST (SafeHeadroom, BypassLeavesNothingToGuard)
{
    auto state = withBands ({ band (BandType::bell, 1000, 6, 1) });
    state.bypass = true;
    EXPECT_EQ (headroomDbFor (48000, state), 0.0);
}

TEST (SafeHeadroom, UnusedSlotsDoNotCount)
{
    auto state = withBands ({ band (BandType::bell, 1000, 2, 1) });
    state.bands[1] = band (BandType::bell, 1000, 12, 1); // past bandCount
    EXPECT_DOUBLE_EQ (headroomDbFor (48000, state), -2.0);
}

TEST (SafeHeadroom, TheGridStopsBelowHalfTheSampleRate)
{
    struct Case { double sampleRate; int points; };
    const Case cases[] = { { 192000, 128 }, { 96000, 128 }, { 48000, 128 }, { 44100, 128 },
                           { 32000, 123 }, { 22050, 117 }, { 16000, 111 }, { 8000, 98 } };

    for (const auto& c : cases)
        EXPECT_EQ (headroomGridPoints (c.sampleRate), c.points) << c.sampleRate;
}

} // namespace brindle::test
