#include "DriftResampler.h"

#include "AudioFifo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brindle
{

namespace
{
    constexpr double pi = 3.141592653589793;

    // The last tap reads history[ip + 16], so a block whose last read position has the integer
    // part ip needs ip + 17 frames of history.
    constexpr int framesNeededBeyondIp = DriftResampler::tapCount - DriftResampler::tapsBeforeCentre;

    // Margin beyond the frames a block spans: the 31 frames of the taps plus room for the
    // fractional read position and the rounding of the step.
    constexpr int historyMarginFrames = 51;

    double clampedRatio (double value) noexcept
    {
        if (! std::isfinite (value))
            return 1.0;

        return std::clamp (value, DriftResampler::smallestRatio, DriftResampler::largestRatio);
    }
}

void DriftResampler::prepare (int maxBlockFrames, double nominalRatio, double largestStepRatio)
{
    channels = 2;
    ratio = clampedRatio (nominalRatio);
    maxStep = ratio * (largestStepRatio > 1.0 && std::isfinite (largestStepRatio) ? largestStepRatio : 1.0);
    maxBlock = std::max (1, maxBlockFrames);
    capacity = static_cast<std::int32_t> (std::ceil (maxBlock * maxStep)) + historyMarginFrames;

    for (auto& channel : history)
        channel.assign ((std::size_t) capacity, 0.0f);

    buildTable();
    reset();
}

void DriftResampler::buildTable()
{
    table.assign ((std::size_t) rowCount * tapCount, 0.0);

    // For an input faster than the output the passband shrinks to the output's band.
    const double cutoff = std::min (1.0 / ratio, 1.0);

    for (int row = 0; row < rowCount; ++row)
    {
        double* coefficients = table.data() + (std::size_t) row * tapCount;
        const double centre = (double) row / phaseCount + tapsBeforeCentre;
        double sum = 0.0;

        for (int tap = 0; tap < tapCount; ++tap)
        {
            const double x = (tap - centre) * cutoff * pi;
            const double sinc = std::abs (x) < 1e-12 ? 1.0 : std::sin (x) / x;
            const double window = 0.42 - 0.5 * std::cos (2.0 * pi * tap / (tapCount - 1))
                                       + 0.08 * std::cos (4.0 * pi * tap / (tapCount - 1));
            coefficients[tap] = window * sinc;
            sum += coefficients[tap];
        }

        // Each row sums to 1, so a constant passes unchanged at every phase.
        for (int tap = 0; tap < tapCount; ++tap)
            coefficients[tap] /= sum;
    }
}

void DriftResampler::reset() noexcept
{
    for (auto& channel : history)
        std::fill (channel.begin(), channel.end(), 0.0f);

    position = tapsBeforeCentre;
    count = tapCount - 1;
}

int DriftResampler::process (AudioFifo& queue, float* const* outputs, int frames, double step) noexcept
{
    if (frames < 1 || history[0].empty())
        return 0;

    if (! std::isfinite (step))
        step = ratio;

    step = std::clamp (step, smallestRatio, maxStep);

    // The history holds what one block of up to maxBlock frames needs; a longer block (which
    // the router never passes) is played in pieces rather than read beyond the history.
    int silentFrames = 0;

    for (int done = 0; done < frames;)
    {
        const int piece = std::min (maxBlock, frames - done);
        float* pieceOutputs[2] = { outputs[0] != nullptr ? outputs[0] + done : nullptr,
                                   outputs[1] != nullptr ? outputs[1] + done : nullptr };
        silentFrames += processPiece (queue, pieceOutputs, piece, step);
        done += piece;
    }

    return silentFrames;
}

int DriftResampler::processPiece (AudioFifo& queue, float* const* outputs, int frames, double step) noexcept
{
    const double lastPosition = (frames - 1) * step + position;
    const int wanted = std::min (capacity, static_cast<int> (std::floor (lastPosition)) + framesNeededBeyondIp);
    const int deficit = wanted - count;
    const int silentFrames = deficit > 0 ? pullInto (queue, deficit) : 0;

    interpolate (outputs, frames, step);
    discardConsumed();
    return silentFrames;
}

int DriftResampler::pullInto (AudioFifo& queue, int deficit) noexcept
{
    for (int channel = 0; channel < channels; ++channel)
        pullPointers[(std::size_t) channel] = history[(std::size_t) channel].data() + count;

    const int pulled = queue.read (pullPointers.data(), deficit);
    const int missing = deficit - pulled;

    for (int channel = 0; channel < channels; ++channel)
        std::fill (pullPointers[(std::size_t) channel] + pulled, pullPointers[(std::size_t) channel] + deficit, 0.0f);

    count += deficit;
    return missing;
}

void DriftResampler::interpolate (float* const* outputs, int frames, double step) noexcept
{
    const float* left = history[0].data();
    const float* right = history[1].data();
    double read = position;

    for (int k = 0; k < frames; ++k)
    {
        const int ip = static_cast<int> (read);
        const double phase = (read - ip) * phaseCount;
        const int row = static_cast<int> (phase);
        const double t = phase - row;

        const double* lower = table.data() + (std::size_t) row * tapCount;
        const double* upper = lower + tapCount;
        const float* l = left + (ip - tapsBeforeCentre);
        const float* r = right + (ip - tapsBeforeCentre);

        // Four partial sums per channel, so that the additions do not wait on each other.
        double sumLeft[4] {}, sumRight[4] {};

        for (int tap = 0; tap < tapCount; tap += 4)
        {
            for (int lane = 0; lane < 4; ++lane)
            {
                const int j = tap + lane;
                const double c = lower[j] + (upper[j] - lower[j]) * t;
                sumLeft[lane] += c * l[j];
                sumRight[lane] += c * r[j];
            }
        }

        if (outputs[0] != nullptr)
            outputs[0][k] = static_cast<float> ((sumLeft[0] + sumLeft[1]) + (sumLeft[2] + sumLeft[3]));

        if (outputs[1] != nullptr)
            outputs[1][k] = static_cast<float> ((sumRight[0] + sumRight[1]) + (sumRight[2] + sumRight[3]));

        read += step;
    }

    position = read;
}

void DriftResampler::discardConsumed() noexcept
{
    const int drop = std::clamp (static_cast<int> (std::floor (position)) - tapsBeforeCentre, 0, count);

    if (drop <= 0)
        return;

    for (int channel = 0; channel < channels; ++channel)
    {
        float* frames = history[(std::size_t) channel].data();
        std::memmove (frames, frames + drop, (std::size_t) (count - drop) * sizeof (float));
    }

    count -= drop;
    position -= drop;
}

} // namespace brindle
