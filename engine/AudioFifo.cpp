#include "AudioFifo.h"

#include <algorithm>
#include <cstring>

namespace brindle
{

void AudioFifo::prepare (int capacityFrames)
{
    capacity = std::max (0, capacityFrames);
    storage.assign ((std::size_t) channels * (std::size_t) capacity, 0.0f);
    writePos.store (0, std::memory_order_relaxed);
    readPos.store (0, std::memory_order_relaxed);
}

void AudioFifo::reset() noexcept
{
    std::fill (storage.begin(), storage.end(), 0.0f);
    writePos.store (0, std::memory_order_relaxed);
    readPos.store (0, std::memory_order_relaxed);
}

int AudioFifo::fillBetween (int write, int read, int ringFrames) noexcept
{
    if (ringFrames <= 0)
        return 0;

    const int difference = write - read;
    return difference >= 0 ? difference : difference + ringFrames;
}

int AudioFifo::getFill() const noexcept
{
    return fillBetween (writePos.load (std::memory_order_acquire), readPos.load (std::memory_order_acquire), capacity);
}

int AudioFifo::getFreeSpace() const noexcept
{
    return capacity > 0 ? capacity - 1 - getFill() : 0;
}

void AudioFifo::copyIntoRing (float* ring, int start, const float* source, int frames) noexcept
{
    const int first = std::min (frames, capacity - start);
    const int second = frames - first;

    if (source != nullptr)
    {
        std::memcpy (ring + start, source, (std::size_t) first * sizeof (float));
        std::memcpy (ring, source + first, (std::size_t) second * sizeof (float));
    }
    else
    {
        std::fill (ring + start, ring + start + first, 0.0f);
        std::fill (ring, ring + second, 0.0f);
    }
}

void AudioFifo::copyFromRing (const float* ring, int start, float* destination, int frames) const noexcept
{
    const int first = std::min (frames, capacity - start);
    const int second = frames - first;

    std::memcpy (destination, ring + start, (std::size_t) first * sizeof (float));
    std::memcpy (destination + first, ring, (std::size_t) second * sizeof (float));
}

int AudioFifo::write (const float* left, const float* right, int frames) noexcept
{
    if (capacity <= 0 || frames <= 0)
        return 0;

    const int start = writePos.load (std::memory_order_relaxed);
    const int free = capacity - 1 - fillBetween (start, readPos.load (std::memory_order_acquire), capacity);
    const int count = std::min (frames, free);

    if (count <= 0)
        return 0;

    copyIntoRing (channelRing (0), start, left, count);
    copyIntoRing (channelRing (1), start, right, count);

    writePos.store ((start + count) % capacity, std::memory_order_release);
    return count;
}

int AudioFifo::writeSilence (int frames) noexcept
{
    return write (nullptr, nullptr, frames);
}

int AudioFifo::read (float* const* destinations, int frames) noexcept
{
    if (capacity <= 0 || frames <= 0)
        return 0;

    const int start = readPos.load (std::memory_order_relaxed);
    const int count = std::min (frames, fillBetween (writePos.load (std::memory_order_acquire), start, capacity));

    if (count <= 0)
        return 0;

    for (int channel = 0; channel < channels; ++channel)
        if (destinations != nullptr && destinations[channel] != nullptr)
            copyFromRing (channelRing (channel), start, destinations[channel], count);

    readPos.store ((start + count) % capacity, std::memory_order_release);
    return count;
}

} // namespace brindle
