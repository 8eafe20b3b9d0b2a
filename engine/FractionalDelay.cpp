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
    setDelay (0.0);
}

int FractionalDelay::getLargestDelay() const noexcept
{
    return ring.empty() ? 0 : static_cast<int> (ring.size() - readSpan);
}

void FractionalDelay::setDelay (double samples) noexcept
{
    const double largest = getLargestDelay();
    double clamped = std::isnan (samples) ? 0.0 : samples;

    if (clamped < 0.0)
        clamped = 0.0;
    else if (clamped > largest)
        clamped = largest;

    integerDelay = static_cast<std::int32_t> (std::floor (clamped));
    const double fraction = clamped - integerDelay;

    if (std::abs (fraction - lastFraction) > 1e-12)
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

float FractionalDelay::processSample (float input) noexcept
{
    if (ring.empty())
        return input;

    const auto size = ring.size();
    ring[writeIndex] = input;

    // Tap k weights the sample written integerDelay + k samples before the newest.
    std::size_t read = writeIndex + size - (std::size_t) integerDelay;
    if (read >= size)
        read -= size;

    double acc = 0.0;

    if (read >= (std::size_t) tapCount - 1)
    {
        const float* newest = ring.data() + read;

        for (int k = 0; k < tapCount; ++k)
            acc += taps[(size_t) k] * newest[-k];
    }
    else
    {
        for (int k = 0; k < tapCount; ++k)
        {
            const std::size_t at = read >= (std::size_t) k ? read - (std::size_t) k : read + size - (std::size_t) k;
            acc += taps[(size_t) k] * ring[at];
        }
    }

    if (++writeIndex == size)
        writeIndex = 0;

    return static_cast<float> (acc);
}

} // namespace brindle
