#include "ReleaseHold.h"

#include <algorithm>

namespace brindle
{

void ReleaseHold::prepare (int longestHold)
{
    longest = std::max (0, longestHold);
    // The window holds hold + 1 samples, and one more is in before the oldest leaves.
    ring.assign ((std::size_t) longest + 2, Entry {});
    reset();
}

void ReleaseHold::reset() noexcept
{
    head = count = 0;
    now = 0;
    hold = targetHold = 0;
}

void ReleaseHold::setHold (int samples) noexcept
{
    targetHold = std::clamp (samples, 0, longest);

    // With nothing held yet no window can lose a sample by growing at once.
    if (count == 0)
        hold = targetHold;
}

void ReleaseHold::moveHold (int samples) noexcept
{
    hold = hold < targetHold ? std::min (targetHold, hold + samples) : std::max (targetHold, hold - samples);
}

double ReleaseHold::process (double gain) noexcept
{
    if (ring.empty())
        return gain;

    ++now;
    moveHold (1);

    // A gain at or above the new one can never be the lowest again while the new one is held.
    while (count > 0 && entry (count - 1).gain >= gain)
        --count;

    entry (count++) = { now, gain };

    while (entry (0).at < now - hold)
    {
        head = (head + 1) % ring.size();
        --count;
    }

    return entry (0).gain;
}

bool ReleaseHold::skipSteady (double gain, int samples) noexcept
{
    // The lowest gain held is this one, so it stays the lowest throughout, and every entry
    // but the newest would give way to it.
    if (ring.empty() || count == 0 || entry (0).gain != gain)
        return false;

    now += samples;
    moveHold (samples);
    count = 1;
    entry (0).at = now;
    return true;
}

} // namespace brindle
