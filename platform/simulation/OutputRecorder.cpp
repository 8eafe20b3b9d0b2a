#include "OutputRecorder.h"

#include <algorithm>
#include <chrono>

namespace brindle
{

namespace
{
    constexpr double ringSeconds = 4.0;
    constexpr auto writerPeriod = std::chrono::milliseconds (20);
}

OutputRecorder::OutputRecorder (const juce::File& fileToWrite, int numChannels, double maxSecondsToKeep)
    : file (fileToWrite),
      channels (std::max (1, numChannels)),
      maxSeconds (std::max (0.0, maxSecondsToKeep)),
      scratch ((std::size_t) channels * scratchFrames, 0.0f)
{
    for (int c = 0; c < channels; ++c)
        scratchPointers.push_back (scratch.data() + (std::size_t) c * scratchFrames);

    thread = std::thread ([this] { run(); });
}

OutputRecorder::~OutputRecorder()
{
    finish();
}

void OutputRecorder::prepareToStart (double sampleRate)
{
    const std::lock_guard<std::mutex> hold (lock);

    if (stopping || sampleRate <= 0)
        return;

    if (rate == 0.0)
    {
        rate = sampleRate;
        maxFrames = (std::int64_t) (maxSeconds * sampleRate);
        capacity = (std::int64_t) (ringSeconds * sampleRate) + 32768;
        ring.reset (new std::atomic<float>[(std::size_t) (channels * capacity)]);

        for (std::int64_t i = 0; i < channels * capacity; ++i)
            ring[(std::size_t) i].store (0.0f, std::memory_order_relaxed);

        writer = std::make_unique<WavFileWriter> (file, channels, sampleRate);

        if (writer->isOpen())
            accepting = true;
        else
            writer.reset();
    }
    else
    {
        drain();   // what the last run played

        if (sampleRate != rate)
            endRecording();
    }
}

void OutputRecorder::streamStarts (std::int64_t firstClockFrame) noexcept
{
    if (! accepting.load())
        return;

    // The run's start first: a writer that sees the new end sees it too.
    runStart.store (firstClockFrame, std::memory_order_relaxed);
    writtenTo.store (firstClockFrame, std::memory_order_release);
    recording.store (true, std::memory_order_release);
}

void OutputRecorder::append (std::int64_t clockFrame, const float* const* source, int numChannels, int numFrames) noexcept
{
    if (! recording.load (std::memory_order_acquire) || numFrames <= 0 || clockFrame < 0)
        return;

    for (int c = 0; c < channels; ++c)
    {
        const float* from = c < numChannels ? source[c] : nullptr;
        auto* slots = ring.get() + (std::size_t) c * (std::size_t) capacity;

        for (int k = 0; k < numFrames; ++k)
            slots[(std::size_t) ((clockFrame + k) % capacity)].store (from != nullptr ? from[k] : 0.0f, std::memory_order_relaxed);
    }

    writtenTo.store (clockFrame + numFrames, std::memory_order_release);
}

void OutputRecorder::drain()
{
    if (writer == nullptr)
        return;

    const auto end = std::min (writtenTo.load (std::memory_order_acquire), maxFrames);
    const auto start = runStart.load (std::memory_order_relaxed);
    auto at = writer->getFramesWritten();
    bool ok = true;

    // Before the running stream began, and whatever the ring no longer holds: silence.
    const auto silentUpTo = std::min (std::max (start, end - capacity), maxFrames);

    if (at < silentUpTo)
    {
        ok = writer->appendSilence (silentUpTo - at);
        at = silentUpTo;
    }

    while (ok && at < end)
    {
        const auto piece = (int) std::min<std::int64_t> (scratchFrames, end - at);

        for (int c = 0; c < channels; ++c)
        {
            const auto* slots = ring.get() + (std::size_t) c * (std::size_t) capacity;

            for (int k = 0; k < piece; ++k)
                scratch[(std::size_t) c * scratchFrames + (std::size_t) k] = slots[(std::size_t) ((at + k) % capacity)].load (std::memory_order_relaxed);
        }

        // Frames the stream wrote over while they were read (a writer a whole ring behind)
        // are silence, not a mix of two passes.
        const auto overwrittenBefore = writtenTo.load (std::memory_order_acquire) - capacity;

        for (int c = 0; c < channels; ++c)
            for (int k = 0; k < piece && at + k < overwrittenBefore; ++k)
                scratch[(std::size_t) c * scratchFrames + (std::size_t) k] = 0.0f;

        ok = writer->append (scratchPointers.data(), channels, piece);
        at += piece;
    }

    framesWritten.store (writer->getFramesWritten(), std::memory_order_release);

    if (! ok || at >= maxFrames)
        endRecording();
}

void OutputRecorder::endRecording()
{
    accepting = false;
    recording.store (false, std::memory_order_release);
    writer.reset();
}

void OutputRecorder::run()
{
    std::unique_lock<std::mutex> hold (lock);

    while (! stopping)
    {
        wake.wait_for (hold, writerPeriod, [this] { return stopping; });
        drain();
    }
}

void OutputRecorder::finish()
{
    {
        const std::lock_guard<std::mutex> hold (lock);

        if (! stopping)
        {
            stopping = true;
            drain();
            endRecording();
        }
    }

    wake.notify_all();

    if (thread.joinable())
        thread.join();
}

} // namespace brindle
