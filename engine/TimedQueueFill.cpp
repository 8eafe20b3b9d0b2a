#include "TimedQueueFill.h"

#include "AudioFifo.h"

#include <algorithm>

namespace brindle
{

void TimedQueueFill::reset (double inputRateHz, int inputBlockFrames) noexcept
{
    framesPerNs = (inputRateHz > 0.0 ? inputRateHz : 48000.0) * 1.0e-9;
    nominalBlockFrames = std::max (0, inputBlockFrames);
    sequence.store (0, std::memory_order_relaxed);
    lastInputNs.store (0, std::memory_order_relaxed);
    lastInputFrames.store (0, std::memory_order_relaxed);
    firstOutputNs = 0;
    outputStarted = false;
}

void TimedQueueFill::beginInputBlock() noexcept
{
    // Odd: a reader that sees this, or any write after it, tries again.
    sequence.store (sequence.load (std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence (std::memory_order_release);
}

void TimedQueueFill::endInputBlock (std::int64_t timeNs, int frames) noexcept
{
    lastInputNs.store (timeNs, std::memory_order_relaxed);
    lastInputFrames.store (std::max (0, frames), std::memory_order_relaxed);
    sequence.store (sequence.load (std::memory_order_relaxed) + 1, std::memory_order_release);
}

double TimedQueueFill::capturedSince (std::int64_t sinceNs, std::int64_t timeNs, int frames) const noexcept
{
    // Negative when the input block is stamped after the output block: an output block that
    // ran late finds frames in the queue that were captured after its own time.
    return std::clamp ((double) (timeNs - sinceNs) * framesPerNs, (double) -frames, (double) frames);
}

TimedQueueFill::Measurement TimedQueueFill::measure (const AudioFifo& queue, std::int64_t timeNs) noexcept
{
    if (! outputStarted)
    {
        outputStarted = true;
        firstOutputNs = timeNs;
    }

    for (int attempt = 0; attempt < readAttempts; ++attempt)
    {
        const auto before = sequence.load (std::memory_order_acquire);

        if ((before & 1u) != 0)
            continue;

        const int queued = queue.getFill();
        const auto stampNs = lastInputNs.load (std::memory_order_relaxed);
        const int frames = lastInputFrames.load (std::memory_order_relaxed);
        std::atomic_thread_fence (std::memory_order_acquire);

        if (sequence.load (std::memory_order_relaxed) != before)
            continue;

        const int block = frames > 0 ? frames : nominalBlockFrames;
        const double captured = frames > 0 ? capturedSince (stampNs, timeNs, block)
                                           : capturedSince (firstOutputNs, timeNs, block);
        return { queued, queued + captured - 0.5 * block };
    }

    // A block is being written right now: the bare fill, which averages the same.
    const int queued = queue.getFill();
    return { queued, (double) queued };
}

} // namespace brindle
