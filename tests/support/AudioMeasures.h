#pragma once

#include <juce_core/juce_core.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace brindle::test
{

/** Level in dB, relative to a full-scale sine's power, of `sampleAt (i)` for i in [from, to). */
template <typename SampleAt>
double levelDb (SampleAt&& sampleAt, std::int64_t from, std::int64_t to)
{
    double power = 0;
    for (auto i = from; i < to; ++i)
    {
        const double sample = sampleAt (i);
        power += sample * sample;
    }
    return 10 * std::log10 (power / (double) (to - from) / 0.5);
}

/** Level in dB of the last `count` samples, relative to a full-scale sine's power. */
inline double sineLevelDb (const std::vector<float>& samples, size_t count)
{
    const auto end = (std::int64_t) samples.size();
    return levelDb ([&] (std::int64_t i) { return samples[(size_t) i]; }, end - (std::int64_t) count, end);
}

/** A sine of `freqHz` at `sampleRate`, as a function of the sample index. */
inline auto sineAt (double freqHz, double sampleRate)
{
    return [=] (int n) { return (float) std::sin (2 * 3.141592653589793 * freqHz * n / sampleRate); };
}

/** The first `count` channels, as a device's channel mask. */
inline juce::BigInteger channelMask (int count)
{
    juce::BigInteger mask;
    mask.setRange (0, count, true);
    return mask;
}

} // namespace brindle::test
