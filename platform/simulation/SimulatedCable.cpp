#include "SimulatedCable.h"

#include <algorithm>

namespace brindle
{

namespace
{
    // Two seconds at the cable's rate, plus room for the largest blocks either end may use.
    std::int64_t ringFramesFor (double sampleRateHz)
    {
        return (std::int64_t) (sampleRateHz * 2.0) + 32768;
    }
}

SimulatedCable::SimulatedCable (int numChannels, double rateHz, SimulatedSignal playedSignal)
    : channels (std::max (1, numChannels)),
      sampleRateHz (rateHz),
      capacity (ringFramesFor (rateHz)),
      ring (new std::atomic<float>[(std::size_t) (channels * capacity)]),
      played (std::move (playedSignal)),
      signalScratch (new float[(std::size_t) (channels * scratchFrames)]),
      signalPointers (new float*[(std::size_t) channels])
{
    for (std::int64_t i = 0; i < channels * capacity; ++i)
        ring[(std::size_t) i].store (0.0f, std::memory_order_relaxed);

    for (int c = 0; c < channels; ++c)
        signalPointers[(std::size_t) c] = signalScratch.get() + (std::size_t) c * scratchFrames;
}

std::atomic<float>& SimulatedCable::slot (int channel, std::int64_t frame) noexcept
{
    return ring[(std::size_t) (channel * capacity + frame % capacity)];
}

void SimulatedCable::write (std::int64_t firstFrame, const float* const* source, int numChannels, int numFrames) noexcept
{
    if (numFrames <= 0 || firstFrame < 0)
        return;

    const auto end = writtenTo.load (std::memory_order_relaxed);

    // A gap (the playback end was stopped, then started later) leaves the frames in between
    // unplayed; a restart that overlaps what was rendered ahead simply replaces it.
    if (firstFrame > end || firstFrame < writtenFrom.load (std::memory_order_relaxed))
        writtenFrom.store (firstFrame, std::memory_order_relaxed);

    for (int c = 0; c < channels; ++c)
    {
        const float* from = c < numChannels ? source[c] : nullptr;

        for (int k = 0; k < numFrames; ++k)
            slot (c, firstFrame + k).store (from != nullptr ? from[k] : 0.0f, std::memory_order_relaxed);
    }

    writtenTo.store (firstFrame + numFrames, std::memory_order_release);
}

void SimulatedCable::read (std::int64_t firstFrame, float* const* destination, int numChannels, int numFrames) noexcept
{
    if (numFrames <= 0)
        return;

    readPlayed (firstFrame, destination, numChannels, numFrames);
    mixSignal (firstFrame, destination, numChannels, numFrames);
}

void SimulatedCable::readPlayed (std::int64_t firstFrame, float* const* destination, int numChannels, int numFrames) noexcept
{
    const auto end = writtenTo.load (std::memory_order_acquire);
    const auto begin = std::max (writtenFrom.load (std::memory_order_relaxed), end - capacity);

    for (int c = 0; c < numChannels; ++c)
    {
        for (int k = 0; k < numFrames; ++k)
        {
            const auto frame = firstFrame + k;
            const bool wasPlayed = c < channels && frame >= begin && frame < end;
            destination[c][k] = wasPlayed ? slot (c, frame).load (std::memory_order_relaxed) : 0.0f;
        }
    }

    // Frames the playback end overwrote while they were read (a reader more than the ring's
    // length behind) are silence, not a mix of two passes.
    const auto overwrittenBefore = writtenTo.load (std::memory_order_acquire) - capacity;

    for (int c = 0; c < numChannels; ++c)
        for (int k = 0; k < numFrames && firstFrame + k < overwrittenBefore; ++k)
            destination[c][k] = 0.0f;
}

void SimulatedCable::mixSignal (std::int64_t firstFrame, float* const* destination, int numChannels, int numFrames) noexcept
{
    if (! played)
        return;

    const int signalChannels = std::min (numChannels, channels);

    for (int done = 0; done < numFrames;)
    {
        const int piece = std::min (scratchFrames, numFrames - done);
        played (signalPointers.get(), signalChannels, piece, firstFrame + done, sampleRateHz);

        for (int c = 0; c < signalChannels; ++c)
            for (int k = 0; k < piece; ++k)
                destination[c][done + k] += signalPointers[(std::size_t) c][k];

        done += piece;
    }
}

} // namespace brindle
