#pragma once

#include <atomic>
#include <cstdint>

namespace brindle
{

class AudioFifo;

/** The queue fill that the drift control steers on: what the queue holds when an output block
    starts, plus the frames the input device has captured since its last block and not yet
    delivered, less half an input block.

    The input arrives a whole block at a time, so the bare fill seen at each output block
    follows a staircase: it holds still while the two clocks' phase slides and then jumps by a
    block. The staircase's slope cancels the clocks' difference, and for small differences its
    steps come tens of seconds apart, slower than the loop responds: a loop steering on it sits
    near no correction between the steps and swings towards its limit at each one. Counting the
    captured frames from the two callbacks' time stamps (at most one block either way, so a
    stalled or stopped input does not read as a full queue) gives a fill that moves with the
    clocks alone. Taking off half a block keeps its average where the bare fill's is, so the
    prefill of the target plus half an input block reads as the target from the first block on.

    Before the first input block, the input is taken to have started with the output's first
    block (the router starts the two devices one after the other).

    Threading: reset() on the message thread while no device runs. beginInputBlock() and
    endInputBlock() on the input device's thread, around its write into the queue; measure() on
    the output device's thread. The input publishes its time stamp under a sequence count, so
    the output reads the queue's fill and the stamp of the block that fill includes, or, while
    a write is under way, falls back to the bare fill. No lock, no allocation. */
class TimedQueueFill
{
public:
    struct Measurement
    {
        int queuedFrames = 0;       // the queue's fill as it stands
        double timedFrames = 0.0;   // counting the frames captured but not yet delivered
    };

    /** [message thread, devices stopped] Forgets every time stamp. */
    void reset (double inputRateHz, int inputBlockFrames) noexcept;

    /** [input thread] Before the block's frames are written into the queue. */
    void beginInputBlock() noexcept;

    /** [input thread] After they were written: the block's time stamp and length. */
    void endInputBlock (std::int64_t timeNs, int frames) noexcept;

    /** [output thread] The fill of `queue` for an output block stamped `timeNs`. Stamps are
        nanoseconds on one clock shared by both devices. */
    Measurement measure (const AudioFifo& queue, std::int64_t timeNs) noexcept;

private:
    // Frames captured between an input block stamped `sinceNs` and `timeNs`, within
    // -`frames`..`frames`.
    double capturedSince (std::int64_t sinceNs, std::int64_t timeNs, int frames) const noexcept;

    static constexpr int readAttempts = 3;

    // Message thread, fixed while the devices run.
    double framesPerNs = 48000.0e-9;
    int nominalBlockFrames = 0;

    // Written by the input thread only: odd while a block is being written.
    std::atomic<std::uint32_t> sequence { 0 };
    std::atomic<std::int64_t> lastInputNs { 0 };
    std::atomic<int> lastInputFrames { 0 };         // 0: no input block yet

    // Output thread only.
    std::int64_t firstOutputNs = 0;
    bool outputStarted = false;
};

} // namespace brindle
