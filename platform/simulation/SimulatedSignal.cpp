#include "SimulatedSignal.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace brindle
{

namespace
{
    constexpr double twoPi = 6.283185307179586;
}

SimulatedSignal sineSignal (double frequencyHz, float amplitude)
{
    return [frequencyHz, amplitude] (float* const* channels, int numChannels, int numFrames, std::int64_t firstFrame, double sampleRateHz)
    {
        const double cyclesPerFrame = frequencyHz / sampleRateHz;

        for (int k = 0; k < numFrames; ++k)
        {
            // The phase from the frame number, not accumulated, so hours in it stays exact.
            const double cycles = (double) (firstFrame + k) * cyclesPerFrame;
            const auto value = (float) (amplitude * std::sin (twoPi * (cycles - std::floor (cycles))));

            for (int c = 0; c < numChannels; ++c)
                channels[c][k] = value;
        }
    };
}

SimulatedSignal constantSignal (float value)
{
    return [value] (float* const* channels, int numChannels, int numFrames, std::int64_t, double)
    {
        for (int c = 0; c < numChannels; ++c)
            std::fill (channels[c], channels[c] + numFrames, value);
    };
}

SimulatedSignal recordedSignal (std::vector<std::vector<float>> channelSamples)
{
    // Shared, so that copies of the signal (every device made from the description holds one) do not
    // copy the samples.
    auto samples = std::make_shared<const std::vector<std::vector<float>>> (std::move (channelSamples));

    return [samples] (float* const* channels, int numChannels, int numFrames, std::int64_t firstFrame, double)
    {
        for (int c = 0; c < numChannels; ++c)
        {
            std::fill (channels[c], channels[c] + numFrames, 0.0f);

            if ((std::size_t) c >= samples->size())
                continue;

            const auto& source = (*samples)[(std::size_t) c];
            const auto available = (std::int64_t) source.size();

            for (int k = 0; k < numFrames && firstFrame + k < available; ++k)
                if (firstFrame + k >= 0)
                    channels[c][k] = source[(std::size_t) (firstFrame + k)];
        }
    };
}

} // namespace brindle
