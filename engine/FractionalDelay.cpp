#include "FractionalDelay.h"

#include <cmath>

namespace brindle
{

namespace
{
    constexpr double pi = 3.141592653589793;

    // Samples the interpolator reads behind the integer delay (31) plus two of margin.
    constexpr std::size_t readSpan = FractionalDelay::tapCount + 2;
}

std::size_t FractionalDelay::ringSizeFor (double sampleRate) noexcept
{
    return static_cast<std::size_t> (sampleRate * 0.021) + 36;
}

void FractionalDelay::prepare (double sampleRate)
{
    ring.assign (ringSizeFor (sampleRate), 0.0f);
    writeIndex = 0;
    lastFraction = -1.0;
    fadeRemaining = 0;
    setDelay (0.0);
}

int FractionalDelay::getLargestDelay() const noexcept
{
    return ring.empty() ? 0 : static_cast<int> (ring.size() - readSpan);
}

void FractionalDelay::setDelay (double samples, int fadeSamples) noexcept
{
    const double largest = getLargestDelay();
    double clamped = std::isnan (samples) ? 0.0 : samples;

    if (clamped < 0.0)
        clamped = 0.0;
    else if (clamped > largest)
        clamped = largest;

    const auto newIntegerDelay = static_cast<std::int32_t> (std::floor (clamped));
    const double fraction = clamped - newIntegerDelay;
    const bool rebuild = std::abs (fraction - lastFraction) > 1e-12;

    if (rebuild || newIntegerDelay != integerDelay)
    {
        if (fadeSamples > 0 && ! ring.empty())
        {
            fadeTaps = taps;
            fadeIntegerDelay = integerDelay;
            fadeLength = fadeRemaining = fadeSamples;
        }
        else
        {
            fadeRemaining = 0;
        }
    }

    integerDelay = newIntegerDelay;

    if (rebuild)
        rebuildTaps (fraction);
}

void FractionalDelay::rebuildTaps (double fraction) noexcept
{
    double sum = 0.0;

    for (int i = 0; i < tapCount; ++i)
    {
        const double t = i - (fraction + centreSamples);
        const double sinc = std::abs (t) < 1e-12 ? 1.0 : std::sin (pi * t) / (pi * t);
        const double window = 0.42 - 0.5 * std::cos (2 * pi * i / (tapCount - 1))
                                   + 0.08 * std::cos (4 * pi * i / (tapCount - 1));
        taps[(size_t) i] = sinc * window;
        sum += taps[(size_t) i];
    }

    // Normalised so that DC passes at unity for every fraction.
    const double scale = 1.0 / sum;

    for (auto& tap : taps)
        tap *= scale;

    lastFraction = fraction;
}

// Inline: the reads are the line's whole cost, and as a call they cost the engine a tenth more.
inline double FractionalDelay::readAt (std::size_t newest, std::int32_t delay, const Taps& weights) const noexcept
{
    const auto size = ring.size();

    // Tap k weights the sample written delay + k samples before the newest.
    std::size_t read = newest + size - (std::size_t) delay;
    if (read >= size)
        read -= size;

    double acc = 0.0;

    if (read >= (std::size_t) tapCount - 1)
    {
        const float* first = ring.data() + read;

        // Unrolled: the sum keeps its order, but without the loop's branch the line's cost no
        // longer swings by a tenth with where the linker happens to place this code.
#pragma GCC unroll 32
        for (int k = 0; k < tapCount; ++k)
            acc += weights[(size_t) k] * first[-k];
    }
    else
    {
        for (int k = 0; k < tapCount; ++k)
        {
            const std::size_t at = read >= (std::size_t) k ? read - (std::size_t) k : read + size - (std::size_t) k;
            acc += weights[(size_t) k] * ring[at];
        }
    }

    return acc;
}

float FractionalDelay::processSample (float input) noexcept
{
    if (ring.empty())
        return input;

    ring[writeIndex] = input;
    double output = readAt (writeIndex, integerDelay, taps);

    if (fadeRemaining > 0)
    {
        // Linear in the samples, so that the fade itself adds the smallest possible slope.
        const double toNew = (double) (fadeLength - fadeRemaining + 1) / fadeLength;
        output = toNew * output + (1.0 - toNew) * readAt (writeIndex, fadeIntegerDelay, fadeTaps);
        --fadeRemaining;
    }

    if (++writeIndex == ring.size())
        writeIndex = 0;

    return static_cast<float> (output);
}

} // namespace brindle
