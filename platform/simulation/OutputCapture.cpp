#include "OutputCapture.h"

#include <algorithm>

namespace brindle
{

OutputCapture::OutputCapture (int numChannels, std::int64_t capacityFrames)
    : channels (std::max (0, numChannels)),
      capacity (std::max<std::int64_t> (0, capacityFrames)),
      samples ((std::size_t) (channels * capacity), 0.0f)
{
}

void OutputCapture::restart() noexcept
{
    framesKept.store (0, std::memory_order_release);
}

void OutputCapture::append (const float* const* source, int numChannels, int numFrames) noexcept
{
    const auto kept = framesKept.load (std::memory_order_relaxed);
    const auto count = std::min<std::int64_t> (numFrames, capacity - kept);

    if (count <= 0)
        return;

    for (int c = 0; c < channels; ++c)
    {
        float* destination = samples.data() + (std::size_t) (c * capacity + kept);
        const float* from = c < numChannels ? source[c] : nullptr;

        if (from != nullptr)
            std::copy (from, from + count, destination);
        else
            std::fill (destination, destination + count, 0.0f);
    }

    framesKept.store (kept + count, std::memory_order_release);
}

float OutputCapture::getSample (int channel, std::int64_t frame) const noexcept
{
    if (channel < 0 || channel >= channels || frame < 0 || frame >= getNumFrames())
        return 0.0f;

    return samples[(std::size_t) (channel * capacity + frame)];
}

std::vector<float> OutputCapture::getChannel (int channel) const
{
    if (channel < 0 || channel >= channels)
        return {};

    const auto begin = samples.begin() + (std::ptrdiff_t) (channel * capacity);
    return std::vector<float> (begin, begin + (std::ptrdiff_t) getNumFrames());
}

} // namespace brindle
