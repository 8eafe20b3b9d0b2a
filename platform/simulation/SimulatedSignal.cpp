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

std::vector<float> pinkNoisePeriod (double rms)
{
    const auto frames = (std::size_t) pinkNoisePeriodFrames;
    std::vector<double> white (frames);
    std::uint32_t x = 2463534242u;

    for (auto& w : white)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        w = (double) x / 4294967296.0 * 2.0 - 1.0;
    }

    std::vector<double> pink (frames);
    double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;

    for (int pass = 0; pass < 2; ++pass)
    {
        for (std::size_t i = 0; i < frames; ++i)
        {
            const double w = white[i];
            b0 = 0.99886 * b0 + w * 0.0555179;
            b1 = 0.99332 * b1 + w * 0.0750759;
            b2 = 0.96900 * b2 + w * 0.1538520;
            b3 = 0.86650 * b3 + w * 0.3104856;
            b4 = 0.55000 * b4 + w * 0.5329522;
            b5 = -0.7616 * b5 - w * 0.0168980;
            pink[i] = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
            b6 = w * 0.115926;
        }
    }

    double mean = 0;
    for (auto p : pink)
        mean += p;
    mean /= (double) frames;

    double power = 0;
    for (auto& p : pink)
    {
        p -= mean;
        power += p * p;
    }

    const double scale = power > 0 ? rms / std::sqrt (power / (double) frames) : 0.0;
    std::vector<float> period (frames);

    for (std::size_t i = 0; i < frames; ++i)
        period[i] = (float) (pink[i] * scale);

    return period;
}

SimulatedSignal pinkNoiseSignal (double rms)
{
    // Shared, so that copies of the signal do not copy the period.
    auto period = std::make_shared<const std::vector<float>> (pinkNoisePeriod (rms));

    return [period] (float* const* channels, int numChannels, int numFrames, std::int64_t firstFrame, double)
    {
        const auto length = (std::int64_t) period->size();

        for (int k = 0; k < numFrames; ++k)
        {
            const auto at = ((firstFrame + k) % length + length) % length;
            const float value = (*period)[(std::size_t) at];

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
