#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace brindle
{

/** The two-channel queue between the input device's callback and the output device's: a ring
    of `capacity` frames per channel with one producer and one consumer.

    One frame always stays empty, so equal positions always mean empty and a full queue holds
    `capacity` - 1 frames; neither side ever needs the other's count. Each side loads the other
    side's position with acquire ordering before it copies, and publishes its own with release
    ordering after the copy, so a frame is never read before it is written, nor overwritten
    before it is read.

    Threading: prepare() and reset() run on the message thread while no device runs. After
    that exactly one thread writes (write(); writeSilence() for the prefill, before the devices
    start) and exactly one other thread reads (read()). getFill() and getFreeSpace() may be
    called from any thread and give a value that was true at some instant during the call.
    Nothing but prepare() allocates; nothing takes a lock. */
class AudioFifo
{
public:
    static constexpr int channelCount = 2;

    /** No storage: capacity 0, both positions 0; every write and read moves 0 frames. */
    AudioFifo() = default;

    /** [message thread, devices stopped] Allocates `capacityFrames` zeroed frames per channel
        (none when it is below 1) and sets both positions to 0. */
    void prepare (int capacityFrames);

    /** [message thread, devices stopped] Zeroes the storage and sets both positions to 0. */
    void reset() noexcept;

    /** [producer] Copies up to `frames` frames from the two sources into the ring, as many as
        the free space allows, and returns how many it copied. A null source writes silence in
        its channel. */
    int write (const float* left, const float* right, int frames) noexcept;

    /** [producer; the message thread before the devices start] Writes up to `frames` frames of
        silence, as many as the free space allows, and returns how many it wrote. */
    int writeSilence (int frames) noexcept;

    /** [consumer] Copies up to `frames` frames, as many as the queue holds, into one destination
        per channel (`destinations[0]` and `destinations[1]`) and returns how many it copied. A
        null destination drops its channel's frames. */
    int read (float* const* destinations, int frames) noexcept;

    /** [any thread] Frames queued: (writePos - readPos) mod capacity; 0 without storage. */
    int getFill() const noexcept;

    /** [any thread] Frames that can still be written: capacity - 1 - fill; 0 without storage. */
    int getFreeSpace() const noexcept;

    int getCapacity() const noexcept { return capacity; }
    int getNumChannels() const noexcept { return channels; }

    /** [any thread] The raw positions, for the status read-out and tests. */
    int getWritePosition() const noexcept { return writePos.load (std::memory_order_acquire); }
    int getReadPosition() const noexcept { return readPos.load (std::memory_order_acquire); }

private:
    static int fillBetween (int write, int read, int capacity) noexcept;

    float* channelRing (int channel) noexcept { return storage.data() + (std::size_t) channel * (std::size_t) capacity; }

    // Copies `frames` samples (or zeros when `source` is null) into one channel's ring at
    // `start`, wrapping after the last frame of the ring.
    void copyIntoRing (float* ring, int start, const float* source, int frames) noexcept;

    // Copies `frames` samples out of one channel's ring from `start`, wrapping.
    void copyFromRing (const float* ring, int start, float* destination, int frames) const noexcept;

    std::vector<float> storage;         // channel c occupies [c * capacity, (c + 1) * capacity)
    std::atomic<std::int32_t> writePos { 0 };   // written by the producer only
    std::atomic<std::int32_t> readPos { 0 };    // written by the consumer only
    std::int32_t channels = channelCount;
    std::int32_t capacity = 0;
};

} // namespace brindle
