#include "BlockSchedule.h"

#include <algorithm>
#include <cmath>

namespace brindle
{

BlockSchedule::BlockSchedule (double sampleRateHz, double clockOffsetPpm, int blockFramesToUse, Timing timingToUse) noexcept
    : effectiveRateHz (std::max (1.0, sampleRateHz * (1.0 + clockOffsetPpm * 1e-6))),
      blockFrames (std::max (1, blockFramesToUse)),
      timing (timingToUse)
{
}

std::int64_t BlockSchedule::frameToNs (std::int64_t frame) const noexcept
{
    // Long double keeps sub-nanosecond precision over days of simulated time, so the rounding
    // decides exact boundaries (480048 frames at 48000 Hz + 100 ppm fall on 10 s exactly).
    return std::llround ((long double) frame * 1.0e9L / (long double) effectiveRateHz);
}

std::int64_t BlockSchedule::firstFrameAtOrAfter (std::int64_t timeNs) const noexcept
{
    auto frame = (std::int64_t) std::ceil ((long double) timeNs * (long double) effectiveRateHz / 1.0e9L);

    while (frame > 0 && frameToNs (frame - 1) >= timeNs)
        --frame;

    while (frameToNs (frame) < timeNs)
        ++frame;

    return frame;
}

void BlockSchedule::start (std::int64_t startNs) noexcept
{
    firstFrame = firstFrameAtOrAfter (startNs);
}

std::int64_t BlockSchedule::blockStartFrame (std::int64_t blockIndex) const noexcept
{
    return firstFrame + blockIndex * blockFrames;
}

std::int64_t BlockSchedule::dueNs (std::int64_t blockIndex) const noexcept
{
    const auto lead = timing == Timing::afterCapture ? blockFrames : 0;
    return frameToNs (blockStartFrame (blockIndex) + lead);
}

} // namespace brindle
