#include "SimulatedClock.h"

#include "RealTimeStreamThread.h"
#include "SimulatedStream.h"

#include <algorithm>
#include <cassert>

namespace brindle
{

namespace
{
    // Streams one test or the application starts at once; reserved so that attaching while
    // advance() runs (a block that starts another device) does not move the list.
    constexpr std::size_t expectedStreams = 32;
}

SimulatedClock::SimulatedClock (Mode modeToUse)
    : mode (modeToUse),
      epoch (std::chrono::steady_clock::now())
{
    manualStreams.reserve (expectedStreams);
}

SimulatedClock::~SimulatedClock()
{
    // Devices detach when they stop; a device still running here would outlive its clock.
    assert (manualStreams.empty() && threads.empty());
    threads.clear();
}

std::int64_t SimulatedClock::nowNs() const noexcept
{
    if (mode == Mode::manual)
        return manualNowNs.load (std::memory_order_acquire);

    return std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now() - epoch).count();
}

bool SimulatedClock::isAttached (const SimulatedStream& stream) const noexcept
{
    if (mode == Mode::manual)
        return std::find (manualStreams.begin(), manualStreams.end(), &stream) != manualStreams.end();

    return std::any_of (threads.begin(), threads.end(), [&] (const auto& thread) { return &thread->getStream() == &stream; });
}

void SimulatedClock::attach (SimulatedStream& stream)
{
    if (isAttached (stream))
        return;

    if (mode == Mode::manual)
        manualStreams.push_back (&stream);
    else
        threads.push_back (std::make_unique<RealTimeStreamThread> (stream, epoch, driverPriority));
}

void SimulatedClock::detach (SimulatedStream& stream)
{
    if (mode == Mode::manual)
    {
        manualStreams.erase (std::remove (manualStreams.begin(), manualStreams.end(), &stream), manualStreams.end());
        return;
    }

    const auto found = std::find_if (threads.begin(), threads.end(), [&] (const auto& thread) { return &thread->getStream() == &stream; });

    if (found == threads.end())
        return;

    // A stream's thread cannot wait for itself to finish.
    assert (! (*found)->isCurrentThread());
    threads.erase (found);
}

SimulatedStream* SimulatedClock::nextDueManualStream (std::int64_t limitNs, std::int64_t& dueNs) const noexcept
{
    SimulatedStream* first = nullptr;
    dueNs = limitNs;

    for (auto* stream : manualStreams)
    {
        const auto due = stream->nextDueNs();

        if (due <= limitNs && (first == nullptr || due < dueNs))
        {
            first = stream;
            dueNs = due;
        }
    }

    return first;
}

std::int64_t SimulatedClock::advance (std::chrono::nanoseconds duration)
{
    if (mode != Mode::manual || duration.count() < 0)
        return 0;

    // A block that advanced the clock again would run blocks out of order.
    assert (! advancing);
    advancing = true;

    const auto targetNs = manualNowNs.load (std::memory_order_relaxed) + duration.count();
    std::int64_t blocksRun = 0;
    std::int64_t dueNs = 0;

    while (auto* stream = nextDueManualStream (targetNs, dueNs))
    {
        // A stream whose due time lies in the past (it was attached after a block it would
        // have had) runs now rather than moving time backwards.
        if (dueNs > manualNowNs.load (std::memory_order_relaxed))
            manualNowNs.store (dueNs, std::memory_order_release);

        stream->runBlock();
        ++blocksRun;
    }

    manualNowNs.store (targetNs, std::memory_order_release);
    advancing = false;
    return blocksRun;
}

} // namespace brindle
