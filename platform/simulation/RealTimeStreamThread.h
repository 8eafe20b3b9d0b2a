#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace brindle
{

class SimulatedStream;

/** Runs one simulated stream at wall-clock pace on a thread of its own, as a sound card's
    driver would: it sleeps until the stream's next block is due (simulated time being the time
    since `epoch`) and then runs it. A thread that wakes late, because the machine stalled, runs
    the overdue blocks back to back, so the frame count keeps up with the clock on average.

    Threading: constructed and destroyed on a thread other than its own (normally the message
    thread); destruction stops the thread and returns only after the stream's last block. */
class RealTimeStreamThread
{
public:
    /** With `driverPriority`, the thread asks for real-time priority (SimulatedClock::useDriverPriority). */
    RealTimeStreamThread (SimulatedStream& stream, std::chrono::steady_clock::time_point epoch, bool driverPriority = false);
    ~RealTimeStreamThread();

    SimulatedStream& getStream() const noexcept { return stream; }

    /** True when called on this thread, i.e. from within one of the stream's blocks. */
    bool isCurrentThread() const noexcept { return std::this_thread::get_id() == thread.get_id(); }

private:
    void run();

    // Waits until the stream's next block is due or the thread is asked to stop; returns false
    // when it should stop.
    bool waitForNextBlock();

    static constexpr int realTimePriority = 20;

    SimulatedStream& stream;
    const std::chrono::steady_clock::time_point epoch;
    std::mutex mutex;
    std::condition_variable wakeUp;
    bool stopping = false;      // guarded by mutex
    std::thread thread;         // last, so that it starts once everything else is built

    RealTimeStreamThread (const RealTimeStreamThread&) = delete;
    RealTimeStreamThread& operator= (const RealTimeStreamThread&) = delete;
};

} // namespace brindle
