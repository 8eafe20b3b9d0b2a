#pragma once

#include "AudioMeasures.h"
#include "engine/CorrectionEngine.h"

#include <cctype>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

namespace brindle::test
{

inline CorrectionBand makeBand (BandType type, double freqHz, double gainDb, double q, bool left = true, bool right = true)
{
    CorrectionBand band;
    band.type = type;
    band.freqHz = freqHz;
    band.gainDb = gainDb;
    band.q = q;
    band.left = left;
    band.right = right;
    return band;
}

inline CorrectionState makeState (std::initializer_list<CorrectionBand> bands, double pct = 100)
{
    CorrectionState state;
    state.correctionPct = pct;
    for (const auto& band : bands)
        state.bands[(size_t) state.bandCount++] = band;
    return state;
}

/** "unloaded, to minimum phase" becomes "UnloadedToMinimumPhase", "the bell's" "TheBells". */
inline std::string inOneWord (const std::string& words)
{
    std::string word;
    bool startOfWord = true;
    for (char c : words)
    {
        if (c == '\'')
            continue;
        if (std::isalnum ((unsigned char) c))
            word += startOfWord ? (char) std::toupper ((unsigned char) c) : c;
        startOfWord = ! std::isalnum ((unsigned char) c);
    }
    return word;
}

/** Opens a route on the engine as the router does with a state in force: the state applied,
    the engine prepared for blocks of at least 2048 samples, the state's kernels designed and
    every value at its target. What the engine played before is cleared (a slot out of force
    keeps only its shape, at 0 dB), so one engine serves a table of runs of one state after
    another without being built again for each: under the sanitisers building it costs more
    than a run. */
inline void openRouteWith (CorrectionEngine& engine, const CorrectionState& state, double sampleRate)
{
    engine.applyState (state);
    engine.prepare (sampleRate, 2048);
    engine.designerStates.publish (state);
    engine.designPendingKernel();
    engine.snapToTargets();
}

/** Feeds the engine with the same signal on both channels, block by block, and keeps what
    comes out. */
struct EngineRun
{
    CorrectionEngine& engine;
    int blockSize;
    std::vector<float> left, right;

    template <typename Signal>
    void run (Signal&& signal, int totalSamples)
    {
        std::vector<float> l ((size_t) blockSize), r ((size_t) blockSize);

        for (int done = 0; done < totalSamples; done += blockSize)
        {
            const int n = std::min (blockSize, totalSamples - done);
            for (int i = 0; i < n; ++i)
                l[(size_t) i] = r[(size_t) i] = signal (done + i);

            engine.process (l.data(), r.data(), n);
            left.insert (left.end(), l.begin(), l.begin() + n);
            right.insert (right.end(), r.begin(), r.begin() + n);
        }
    }
};

} // namespace brindle::test
