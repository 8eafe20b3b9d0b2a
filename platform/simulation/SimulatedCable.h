#pragma once

#include "SimulatedSignal.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace brindle
{

/** The wire inside a simulated virtual audio cable: a ring of the cable's recent frames,
    indexed by the frame numbers of the cable's one clock, which both of its ends share.

    The playback end writes each block at the frames it renders ahead of time, so by the time
    the capture end delivers a block, every frame in it has been written: a frame played for
    cable frame f is captured as cable frame f. Frames nobody played read as silence, and the
    computer's own `played` signal is mixed in at the cable's frame numbers (it plays from the
    cable's frame 0, whether or not anyone captures it).

    The ring holds two seconds plus room for large blocks; samples are relaxed atomics, so a
    reader that fell more than that far behind gets silence, never a torn or racing read.

    Threading: write() on the playback end's stream thread, read() on the capture end's; each
    side is one thread at a time. Allocation-free after construction. */
class SimulatedCable
{
public:
    SimulatedCable (int numChannels, double sampleRateHz, SimulatedSignal played);

    int getNumChannels() const noexcept { return channels; }
    double getSampleRate() const noexcept { return sampleRateHz; }

    /** [playback thread] Puts `numFrames` frames at cable frames `firstFrame` onwards; channels
        beyond getNumChannels() are ignored, missing ones play silence. */
    void write (std::int64_t firstFrame, const float* const* source, int numChannels, int numFrames) noexcept;

    /** [capture thread] Fills `numFrames` frames of cable frames `firstFrame` onwards: what was
        played there plus the computer's signal. */
    void read (std::int64_t firstFrame, float* const* destination, int numChannels, int numFrames) noexcept;

private:
    std::atomic<float>& slot (int channel, std::int64_t frame) noexcept;
    void readPlayed (std::int64_t firstFrame, float* const* destination, int numChannels, int numFrames) noexcept;
    void mixSignal (std::int64_t firstFrame, float* const* destination, int numChannels, int numFrames) noexcept;

    const int channels;
    const double sampleRateHz;
    const std::int64_t capacity;
    std::unique_ptr<std::atomic<float>[]> ring;
    std::atomic<std::int64_t> writtenFrom { 0 };     // the first frame of the latest run of writes
    std::atomic<std::int64_t> writtenTo { 0 };       // one past the last frame written
    SimulatedSignal played;
    std::unique_ptr<float[]> signalScratch;          // channels x scratchFrames
    std::unique_ptr<float*[]> signalPointers;
    static constexpr int scratchFrames = 1024;
};

} // namespace brindle
