// Safe headroom holds while a room glides: a full-scale tone at the room's own boost never
// leaves full scale, whichever way the room moves and whatever the device block size. In
// minimum phase the bands and the output gain have to move together inside every block for
// that, not only from one block to the next; in linear phase each kernel carries its own
// headroom, however late the designer hands it over.
#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace brindle::test
{

namespace
{
    constexpr double fs = 48000;
    constexpr double bellHz = 1000;

    CorrectionState room (int bells, double gainDb)
    {
        auto state = makeState ({});
        for (int j = 0; j < bells; ++j)
            state.bands[(size_t) state.bandCount++] = makeBand (BandType::bell, bellHz, gainDb, 1);
        state.safeHeadroom = true;
        return state;
    }

    struct Room
    {
        std::string key;   // the room's name in the tests' names
        const char* name;
        CorrectionState state;
        double boundDb;   // the headroom is computed on a grid and rounded, so it may fall a little short
        std::vector<double> tones;   // where the room boosts most, and where it boosts less
    };

    Room oneBell() { return { "OneBell", "one +12 dB bell", room (1, 12), 0.1, { bellHz, 2 * bellHz } }; }
    Room threeBells() { return { "ThreeBells", "three +6 dB bells", room (3, 6), 0.1, { bellHz, 2 * bellHz } }; }
    Room stackedBells() { return { "StackedBells", "24 stacked +12 dB bells", room (24, 12), 0.4, { bellHz, 2 * bellHz } }; }

    // A shelf's two poles lie close together, so its boost decays more slowly than one pole's
    // time constant says.
    Room shelfAndBell()
    {
        auto state = makeState ({ makeBand (BandType::lowShelf, 200, 12, 0.7), makeBand (BandType::bell, 3000, 9, 2) });
        state.safeHeadroom = true;
        return { "ShelfAndBell", "a +12 dB low shelf and a +9 dB bell", state, 0.1, { 100, 3000 } };
    }

    using RoomMaker = Room (*)();
    constexpr RoomMaker rooms[] = { oneBell, threeBells, stackedBells, shelfAndBell };

    // One test per room and move, so that they run side by side and each stays short, also
    // under the sanitisers on a busy machine.
    using RoomAndMove = std::tuple<RoomMaker, int>;

    /** The room and the move, out of the list that `movesOfRoom` makes for it, that a test's
        parameter names. */
    template <typename Moves>
    auto roomAndMove (const RoomAndMove& param, Moves movesOfRoom)
    {
        auto r = std::get<0> (param)();
        auto move = movesOfRoom (r.state)[(size_t) std::get<1> (param)];
        return std::make_pair (std::move (r), std::move (move));
    }

    template <typename Moves>
    std::string testNameOf (const RoomAndMove& param, Moves movesOfRoom)
    {
        const auto [r, move] = roomAndMove (param, movesOfRoom);
        return r.key + inOneWord (move.name);
    }

    template <typename Moves>
    auto everyRoomAndMove (Moves movesOfRoom)
    {
        return testing::Combine (testing::ValuesIn (rooms), testing::Range (0, (int) movesOfRoom (oneBell().state).size()));
    }

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
        engine settled on `from` and then `to` is published, `thirds` thirds of the tone's
        period after 0.1 s: how far a decaying boost overshoots depends on where in the period
        the change comes. */
    double peakDbfs (CorrectionEngine& engine, const Move& move, int blockSize, double toneHz, int thirds)
    {
        const int settleLength = 4800 + (int) (thirds * fs / toneHz / 3);
        openRouteWith (engine, move.from, fs);

        EngineRun settle { engine, blockSize, {}, {} };
        settle.run (sineAt (toneHz, fs), settleLength);

        engine.audioStates.publish (move.to);
        EngineRun run { engine, blockSize, {}, {} };
        run.run ([tone = sineAt (toneHz, fs), settleLength] (int n) { return tone (n + settleLength); }, 24000);

        float peak = 0;
        for (const auto* samples : { &settle.left, &run.left, &run.right })
            for (float s : *samples)
                peak = std::max (peak, std::abs (s));
        return 20 * std::log10 ((double) peak);
    }
}

class MinimumPhaseHeadroom : public testing::TestWithParam<RoomAndMove> {};

TEST_P (MinimumPhaseHeadroom, AGlidingRoomNeverDrivesAFullScaleToneBeyondFullScale)
{
    const auto [r, move] = roomAndMove (GetParam(), movesOf);
    auto engine = std::make_unique<CorrectionEngine>();

    for (double toneHz : r.tones)
        for (int thirds : { 0, 1, 2 })
            for (int blockSize : { 37, 64, 256, 1024, 2048 })
                EXPECT_LE (peakDbfs (*engine, move, blockSize, toneHz, thirds), r.boundDb)
                    << r.name << " " << move.name << ", " << toneHz << " Hz from " << thirds
                    << "/3 of its period, blocks of " << blockSize;
}

INSTANTIATE_TEST_SUITE_P (CorrectionEngineHeadroom, MinimumPhaseHeadroom, everyRoomAndMove (movesOf),
                          [] (const testing::TestParamInfo<RoomAndMove>& info) { return testNameOf (info.param, movesOf); });

namespace
{
    // In linear phase the bands reach the audio as a kernel, which the designer hands over a
    // while after its state (at once, or three blocks of the path's 1024 samples later, when
    // the output gain has glided most of the way) and which is crossfaded in over one block of
    // the path. A change of phase mode crossfades the two paths.
    constexpr int settleSamples = 10000;   // the low tier's kernel is filled and read out
    constexpr int changeSamples = 24000;   // a late kernel, or the medium tier's, is faded in and read out
    constexpr int nextCall = 1;            // a quarter of the glide is still to go

    CorrectionState inMode (CorrectionState state, PhaseMode mode)
    {
        state.phaseMode = mode;
        return state;
    }

    CorrectionState linearRoom (const CorrectionState& state)
    {
        auto linear = inMode (state, PhaseMode::linear);
        linear.firQuality = FirQuality::low;
        return linear;
    }

    /** A state published before the `call`-th device block of the change. */
    struct Publish
    {
        int call;
        CorrectionState state;
    };

    struct LinearMove
    {
        const char* name;
        CorrectionState from;
        std::vector<Publish> then;
    };

    std::vector<LinearMove> linearMovesOf (const CorrectionState& boostingRoom)
    {
        const auto boosting = linearRoom (boostingRoom);
        auto flat = linearRoom (makeState ({}));
        flat.safeHeadroom = true;
        auto bypassed = boosting;
        bypassed.bypass = true;
        auto trimmed = boosting;
        trimmed.outputDb = -12;
        auto finer = boosting;
        finer.firQuality = FirQuality::medium;

        const auto minimum = [] (const CorrectionState& s) { return inMode (s, PhaseMode::minimum); };

        return { { "loaded", flat, { { 0, boosting } } },
                 { "unloaded", boosting, { { 0, flat } } },
                 { "bypassed", boosting, { { 0, bypassed } } },
                 { "trim raised", trimmed, { { 0, boosting } } },
                 { "tier changed", boosting, { { 0, finer } } },
                 { "loaded, to minimum phase mid-glide", flat, { { 0, boosting }, { nextCall, minimum (boosting) } } },
                 { "unloaded, to minimum phase mid-glide", boosting, { { 0, flat }, { nextCall, minimum (flat) } } },
                 { "loaded in minimum phase, to linear mid-glide", minimum (flat),
                   { { 0, minimum (boosting) }, { nextCall, boosting } } },
                 { "unloaded in minimum phase, to linear mid-glide", minimum (boosting),
                   { { 0, minimum (flat) }, { nextCall, flat } } } };
    }

    /** The loudest sample, in dB of full scale, of a full-scale tone through the engine
        settled on the move's first state and then taking the states that follow. The test
        plays the kernel designer: before each device block, once `designLate` samples have
        passed since the last state was published, it runs a design pass. */
    double linearPeakDbfs (CorrectionEngine& engine, const LinearMove& move, int blockSize, int designLate, double toneHz)
    {
        openRouteWith (engine, move.from, fs);

        const auto tone = sineAt (toneHz, fs);
        std::vector<float> l ((size_t) blockSize), r ((size_t) blockSize);
        size_t next = 0;
        int lastPublished = 0;
        float peak = 0;

        for (int played = 0; played < settleSamples + changeSamples; played += blockSize)
        {
            for (; next < move.then.size() && played >= settleSamples + move.then[next].call * blockSize; ++next)
            {
                engine.audioStates.publish (move.then[next].state);
                engine.designerStates.publish (move.then[next].state);
                lastPublished = played;
            }

            if (played >= lastPublished + designLate)
                engine.designPendingKernel();

            for (int i = 0; i < blockSize; ++i)
                l[(size_t) i] = r[(size_t) i] = tone (played + i);

            engine.process (l.data(), r.data(), blockSize);

            for (int i = 0; i < blockSize; ++i)
                peak = std::max ({ peak, std::abs (l[(size_t) i]), std::abs (r[(size_t) i]) });
        }

        return 20 * std::log10 ((double) peak);
    }

}

class LinearPhaseHeadroom : public testing::TestWithParam<RoomAndMove> {};

TEST_P (LinearPhaseHeadroom, AGlidingRoomNeverDrivesAFullScaleToneBeyondFullScale)
{
    const auto [r, move] = roomAndMove (GetParam(), linearMovesOf);
    auto engine = std::make_unique<CorrectionEngine>();
    const struct { const char* name; int samples; } timings[] = { { "at once", 0 }, { "three blocks late", 3 * 1024 } };

    for (const auto& late : timings)
        for (double toneHz : r.tones)
            for (int blockSize : { 37, 64, 256, 1024, 2048 })
                EXPECT_LE (linearPeakDbfs (*engine, move, blockSize, late.samples, toneHz), r.boundDb)
                    << r.name << " " << move.name << ", kernel " << late.name << ", " << toneHz
                    << " Hz, blocks of " << blockSize;
}

INSTANTIATE_TEST_SUITE_P (CorrectionEngineHeadroom, LinearPhaseHeadroom, everyRoomAndMove (linearMovesOf),
                          [] (const testing::TestParamInfo<RoomAndMove>& info) { return testNameOf (info.param, linearMovesOf); });

} // namespace brindle::test
