#include "EngineFixtures.h"

#include "engine/SafeHeadroom.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (SafeHeadroom, FiguresForKnownCorrections)
{
    struct Case { const char* name; CorrectionState state; double sampleRate; double expectedDb; };

    const Case cases[] = {
        { "+6 dB bell", makeState ({ makeBand (BandType::bell, 1000, 6, 1) }), 48000, -6.0 },
        { "+6 dB bell at 65 %", makeState ({ makeBand (BandType::bell, 1000, 6, 1) }, 65), 48000, -3.9 },
        { "two overlapping +3 dB bells add",
          makeState ({ makeBand (BandType::bell, 1000, 3, 4.32), makeBand (BandType::bell, 1259.92, 3, 4.32) }), 48000, -3.62 },
        { "a low shelf counts", makeState ({ makeBand (BandType::lowShelf, 100, 3, 0.707) }), 48000, -3.0 },
        { "designed at 0.49 of 32 kHz, measured below 16 kHz",
          makeState ({ makeBand (BandType::bell, 20000, 6, 1) }), 32000, -1.28 },
        { "cuts only", makeState ({ makeBand (BandType::bell, 100, -6, 2), makeBand (BandType::highShelf, 5000, -3, 0.7) }), 48000, 0.0 },
        { "nothing in force", makeState ({ makeBand (BandType::bell, 1000, 0.04, 1) }), 48000, 0.0 },
        { "the louder channel sets it",
          makeState ({ makeBand (BandType::bell, 1000, 2, 1, true, false), makeBand (BandType::bell, 1000, 5, 1, false, true) }), 48000, -5.0 },
        { "a band on neither channel", makeState ({ makeBand (BandType::bell, 1000, 6, 1, false, false) }), 48000, 0.0 },
        { "no bands", CorrectionState {}, 48000, 0.0 },
    };

    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ (headroomDbFor (c.sampleRate, c.state), c.expectedDb) << c.name;
}

TEST (SafeHeadroom, BypassLeavesNothingToGuard)
{
    auto state = makeState ({ makeBand (BandType::bell, 1000, 6, 1) });
    state.bypass = true;
    EXPECT_EQ (headroomDbFor (48000, state), 0.0);
}

TEST (SafeHeadroom, UnusedSlotsDoNotCount)
{
    auto state = makeState ({ makeBand (BandType::bell, 1000, 2, 1) });
    state.bands[1] = makeBand (BandType::bell, 1000, 12, 1); // past bandCount
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
