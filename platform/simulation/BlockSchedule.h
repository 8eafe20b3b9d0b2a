#pragma once

#include <cstdint>

namespace brindle
{

/** When each block of one simulated device falls due, in nanoseconds of simulated time.

    The device's clock produces `sampleRateHz` x (1 + `clockOffsetPpm` x 1e-6) frames per
    second of simulated time, counted from time 0, so two devices on one clock (the two ends of
    a cable) agree on frame numbers. A stream started at some time begins at the first whole
    frame at or after it; block k covers the frames firstFrame + k x blockFrames onwards.

    A device that renders output asks for a block when its first frame is about to play; a
    device that captures delivers a block once its last frame has been captured. Each due time
    is computed from the block's frame number, never accumulated, and rounded to the nearest
    nanosecond, so N seconds at any offset run exactly the blocks whose frames the clock has
    reached.

    Threading: a plain value; start() on the thread that starts the stream, the rest on the
    stream's thread. */
class BlockSchedule
{
public:
    enum class Timing
    {
        renderAhead,    // output only: a block runs when its first frame is due
        afterCapture,   // input or duplex: a block runs when its last frame has been captured
    };

    BlockSchedule() = default;
    BlockSchedule (double sampleRateHz, double clockOffsetPpm, int blockFrames, Timing timing) noexcept;

    /** Frames of this clock per second of simulated time. */

    /** Simulated time at which frame `frame` of this clock is due. */
    std::int64_t frameToNs (std::int64_t frame) const noexcept;

    /** The first frame of this clock due at or after `timeNs`. */
    std::int64_t firstFrameAtOrAfter (std::int64_t timeNs) const noexcept;

    /** Starts the block count at the first frame due at or after `startNs`. */
    void start (std::int64_t startNs) noexcept;

    /** The clock frame that block `blockIndex` (0 for the first after start) begins with. */
    std::int64_t blockStartFrame (std::int64_t blockIndex) const noexcept;

    /** Simulated time at which block `blockIndex` runs. */
    std::int64_t dueNs (std::int64_t blockIndex) const noexcept;

private:
    double effectiveRateHz = 48000.0;
    int blockFrames = 512;
    Timing timing = Timing::afterCapture;
    std::int64_t firstFrame = 0;
};

} // namespace brindle
