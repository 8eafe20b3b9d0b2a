// Safe headroom holds while a room glides: a full-scale tone at the room's own boost never
// leaves full scale, whichever way the room moves and whatever the device block size. The
// bands and the output gain have to move together inside every block for that, not only from
// one block to the next.
#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace brindle::test
{

namespace
{
    constexpr double fs = 48000;
    constexpr double toneHz = 1000;

    CorrectionState room (int bells, double gainDb)
    {
        auto state = makeState ({});
        for (int j = 0; j < bells; ++j)
            state.bands[(size_t) state.bandCount++] = makeBand (BandType::bell, toneHz, gainDb, 1);
        state.safeHeadroom = true;
        return state;
    }

    struct Room
    {
        const char* name;
        CorrectionState state;
        double boundDb;   // the headroom is computed on a grid and rounded, so it may fall a little short
    };

    struct Move
    {
        const char* name;
        CorrectionState from, to;
    };

    std::vector<Move> movesOf (const CorrectionState& boosting)
    {
        auto flat = makeState ({});
        flat.safeHeadroom = true;
        auto bypassed = boosting;
        bypassed.bypass = true;
        auto trimmed = boosting;
        trimmed.outputDb = -12;

        return { { "loaded", flat, boosting },
                 { "unloaded", boosting, flat },
                 { "bypassed", boosting, bypassed },
                 { "trim raised", trimmed, boosting } };
    }

    /** The loudest sample, in dB of full scale, while a full-scale tone plays through the
        engine settled on `from` and then `to` is published. */
    double peakDbfs (const Move& move, int blockSize)
    {
        // The router prepares the engine for blocks of at least 2048 samples.
        auto engine = std::make_unique<CorrectionEngine>();
        engine->prepare (fs, 2048);
        engine->applyState (move.from);
        engine->snapToTargets();

        EngineRun settle { *engine, blockSize, {}, {} };
        settle.run (sineAt (toneHz, fs), 4800);

        engine->audioStates.publish (move.to);
        EngineRun run { *engine, blockSize, {}, {} };
        run.run ([tone = sineAt (toneHz, fs)] (int n) { return tone (n + 4800); }, 24000);

        float peak = 0;
        for (const auto* samples : { &settle.left, &run.left, &run.right })
            for (float s : *samples)
                peak = std::max (peak, std::abs (s));
        return 20 * std::log10 ((double) peak);
    }
}

TEST (CorrectionEngineHeadroom, AGlidingRoomNeverDrivesAFullScaleToneBeyondFullScale)
{
    const Room rooms[] = { { "one +12 dB bell", room (1, 12), 0.1 },
                           { "three +6 dB bells", room (3, 6), 0.1 },
                           { "24 stacked +12 dB bells", room (24, 12), 0.4 } };

    for (const auto& r : rooms)
        for (const auto& move : movesOf (r.state))
            for (int blockSize : { 37, 64, 256, 1024, 2048 })
                EXPECT_LE (peakDbfs (move, blockSize), r.boundDb) << r.name << " " << move.name << ", blocks of " << blockSize;
}

} // namespace brindle::test
