#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace brindle
{

/** The first frames a simulated output played after it started, kept for a test to read.

    The buffer is sized once; the stream appends to it until it is full and publishes the
    number of frames kept after each block, so a reader on another thread sees whole frames
    that are never rewritten while the stream runs.

    Threading: append() on the stream's thread only, allocation-free. restart() while the
    stream is stopped (the device calls it on start). The read methods from any thread. */
class OutputCapture
{
public:
    OutputCapture (int numChannels, std::int64_t capacityFrames);

    /** [stream stopped] Forgets what was kept. */
    void restart() noexcept;

    /** [stream thread] Keeps as many of the frames as still fit; channels beyond
        getNumChannels() are ignored, missing ones are kept as silence. */
    void append (const float* const* channels, int numChannels, int numFrames) noexcept;

    int getNumChannels() const noexcept { return channels; }
    std::int64_t getCapacity() const noexcept { return capacity; }

    /** [any thread] Frames kept so far. */
    std::int64_t getNumFrames() const noexcept { return framesKept.load (std::memory_order_acquire); }

    /** [any thread] One kept sample; 0 for a frame or channel out of range. */
    float getSample (int channel, std::int64_t frame) const noexcept;

    /** [any thread] A copy of one channel's kept frames. */
    std::vector<float> getChannel (int channel) const;

private:
    const int channels;
    const std::int64_t capacity;
    std::vector<float> samples;                 // channel c at [c * capacity, (c + 1) * capacity)
    std::atomic<std::int64_t> framesKept { 0 };
};

} // namespace brindle
