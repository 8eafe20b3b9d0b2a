// The cost of the minimum-phase correction on the audio thread: 24 bands in force, 48 kHz
// stereo, for three device block sizes: settled, with a new state in every block (a new state
// computes the safe headroom in the callback that takes it), and gliding, where the room is
// loaded and unloaded in turn every eight blocks and the trim moves with it (the sections are
// designed at knots inside the block), without safe headroom so that the glide's own cost
// shows.
#include "engine/CorrectionEngine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace
{
    constexpr double sampleRate = 48000.0;

    brindle::CorrectionState twentyFourBands (double amountPct)
    {
        brindle::CorrectionState state;
        state.bandCount = 24;
        state.correctionPct = amountPct;
        state.safeHeadroom = true;
        state.delayRightMs = 0.354;

        for (int j = 0; j < 24; ++j)
        {
            auto& band = state.bands[(size_t) j];
            band.freqHz = 25.0 * std::pow (1.32, j);
            band.gainDb = j % 3 == 0 ? 3.0 : -4.0;
            band.q = 2.0 + j % 3;
        }
        return state;
    }

    enum class Load { steady, newStateEveryBlock, gliding };

    /** The room loaded, then unloaded with the trim lowered. */
    brindle::CorrectionState glidingRoom (int change)
    {
        auto state = twentyFourBands (100);
        state.safeHeadroom = false;

        if (change % 2 == 1)
        {
            state.bandCount = 0;
            state.outputDb = -6;
        }
        return state;
    }

    void process (benchmark::State& run, Load load)
    {
        const int blockSize = (int) run.range (0);
        brindle::CorrectionEngine engine;
        engine.prepare (sampleRate, std::max (blockSize, 2048));
        engine.audioStates.publish (twentyFourBands (100));

        std::vector<float> left ((size_t) blockSize), right ((size_t) blockSize);
        for (int i = 0; i < blockSize; ++i)
            left[(size_t) i] = right[(size_t) i] = (float) std::sin (0.05 * i);

        int block = 0;
        const auto started = std::chrono::steady_clock::now();

        for (auto _ : run)
        {
            if (load == Load::newStateEveryBlock)
                engine.audioStates.publish (twentyFourBands (60 + (block % 40)));
            else if (load == Load::gliding && block % 8 == 0)
                engine.audioStates.publish (glidingRoom (block / 8));

            ++block;

            engine.process (left.data(), right.data(), blockSize);
            benchmark::DoNotOptimize (left.data());
            benchmark::ClobberMemory();
        }

        const double seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();
        const double frames = (double) run.iterations() * blockSize;

        run.counters["ns_per_frame"] = seconds * 1e9 / frames;            // one stereo frame
        run.counters["us_per_block"] = seconds * 1e6 / (double) run.iterations();
        // Share of one core that real-time playback costs: processing time per second of audio.
        run.counters["core_pct"] = 100.0 * seconds / (frames / sampleRate);
    }

    void steadyState (benchmark::State& run) { process (run, Load::steady); }
    void newStateEveryBlock (benchmark::State& run) { process (run, Load::newStateEveryBlock); }
    void gliding (benchmark::State& run) { process (run, Load::gliding); }
}

BENCHMARK (steadyState)->Arg (64)->Arg (256)->Arg (1024);
BENCHMARK (newStateEveryBlock)->Arg (64)->Arg (256)->Arg (1024);
BENCHMARK (gliding)->Arg (64)->Arg (256)->Arg (1024);

BENCHMARK_MAIN();
