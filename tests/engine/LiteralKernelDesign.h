#pragma once

// The kernel design and its transform written out step by step in their plainest order: one
// stage of butterflies after another over the whole array, and a magnitude that designs every
// band in force again at every frequency and sums their levels in dB. Slow, and kept that way:
// it is what the engine's faster arrangement is held against, by the tests and the benchmark.

#include "LiteralFft.h"

#include "engine/BiquadDesign.h"
#include "engine/CorrectionState.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace brindle::test
{

/** One channel's (0 left, 1 right) magnitude at a frequency, band by band as the rule reads. */
inline double literalMagnitude (const CorrectionState& state, int channel, double fs, double frequencyHz)
{
    double sumDb = 0.0;

    for (int i = 0; i < CorrectionState::maxBands; ++i)
    {
        const auto& band = state.bands[(size_t) i];
        const double g = std::floor (state.correctionPct / 100.0 * band.gainDb * 100.0 + 0.5) / 100.0;
        const bool onChannel = channel == 0 ? band.left : band.right;

        if (! (i < state.bandCount && ! state.bypass && onChannel && std::abs (g) >= 0.05))
            continue;

        const double f = clampDesignFrequency (band.freqHz > 0 ? band.freqHz : 1000.0, fs);
        const double q = clampDesignQ (band.q > 0 ? band.q : 1.0);
        const auto c = designBiquad (band.type, f, fs, q, g);

        const double w = 2.0 * 3.141592653589793 * frequencyHz / fs;
        const double nRe = c.b0 + c.b1 * std::cos (w) + c.b2 * std::cos (2 * w);
        const double nIm = -(c.b1 * std::sin (w) + c.b2 * std::sin (2 * w));
        const double dRe = 1.0 + c.a1 * std::cos (w) + c.a2 * std::cos (2 * w);
        const double dIm = -(c.a1 * std::sin (w) + c.a2 * std::sin (2 * w));

        sumDb += 10.0 * std::log10 ((nRe * nRe + nIm * nIm) / (dRe * dRe + dIm * dIm));
    }

    return std::pow (10.0, sumDb / 20.0);
}

/** One channel's kernel of `taps` taps: frequency sampling, inverse transform, centring, taper. */
inline std::vector<double> literalKernel (const CorrectionState& state, int channel, double fs, int taps)
{
    int m = 4;
    while (m < 4 * taps)
        m *= 2;

    int order = 0;
    while ((1 << order) < m)
        ++order;

    const LiteralFft<double> fft (order);
    std::vector<double> re ((size_t) m, 0.0), im ((size_t) m, 0.0);

    for (int i = 0; i <= m / 2; ++i)
    {
        const double value = i == m / 2 ? 0.0 : literalMagnitude (state, channel, fs, i * fs / m);
        re[(size_t) i] = value;
        if (i > 0 && i < m / 2)
            re[(size_t) (m - i)] = value;
    }

    for (auto& v : im)
        v = -v;
    fft.forward (re.data(), im.data());
    for (int n = 0; n < m; ++n)
    {
        re[(size_t) n] = re[(size_t) n] * (1.0 / m);
        im[(size_t) n] = -im[(size_t) n] * (1.0 / m);
    }

    std::vector<double> kernel ((size_t) taps, 0.0);
    for (int n = 0; n < taps; ++n)
        kernel[(size_t) n] = n >= taps / 2 ? re[(size_t) (n - taps / 2)] : re[(size_t) (n - taps / 2 + m)];

    const double e = (taps - 1) * 0.25 * 0.5;
    for (int n = 0; n < taps; ++n)
    {
        if (n < e)
            kernel[(size_t) n] *= 0.5 * (1 + std::cos (3.141592653589793 * (n / e - 1)));
        else if (n > (taps - 1) - e)
            kernel[(size_t) n] *= 0.5 * (1 + std::cos (3.141592653589793 * (n - ((taps - 1) - e)) / e));
    }

    return kernel;
}

} // namespace brindle::test
