#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace brindle
{

class RealTimeStreamThread;
class SimulatedStream;

/** Simulated time, and what drives the simulated devices' blocks through it.

    In real time, simulated time is the wall-clock time since the clock was made, and every
    running device gets a thread of its own that runs its blocks at its own pace, as a sound
    card would. In manual time, simulated time stands still until advance() moves it; advance()
    then runs every block that falls due, in the order of their due times (streams attached
    earlier first on a tie), on the calling thread. The manual mode is deterministic and does
    not depend on the machine's load: a test of drift control runs hours of audio in seconds
    and sees the same frames every time.

    Threading: nowNs() from any thread. In real time, attach() and detach() from any thread but
    a stream's own (normally the message thread). In manual time everything, advance()
    included, runs on one thread, normally the message thread; detach() may also be called from
    within a block that advance() runs. */
class SimulatedClock
{
public:
    enum class Mode
    {
        realTime,
        manual,
    };

    explicit SimulatedClock (Mode mode);
    ~SimulatedClock();


    /** [any thread] Simulated time in ns: the time advanced to (manual), or the wall-clock time
        since construction (real time). While advance() runs a block it is that block's due
        time. */
    std::int64_t nowNs() const noexcept;

    /** [the manual clock's thread] Moves simulated time on by `duration`, running every block
        that falls due up to and including the new time, in time order. Returns the number of
        blocks run. In real time it does nothing and returns 0. */
    std::int64_t advance (std::chrono::nanoseconds duration);

    /** [see class comment] The stream's blocks start to run: from the next advance() (manual)
        or on a new thread at once (real time). A stream attached twice runs once. */
    void attach (SimulatedStream& stream);

    /** [see class comment] After this returns the stream's blocks run no more. Does nothing for
        a stream that is not attached. */
    void detach (SimulatedStream& stream);

    bool isAttached (const SimulatedStream& stream) const noexcept;

    /** [before the first attach] In real time, the streams' threads ask for real-time priority,
        as a sound card's driver's do, so that a busy machine does not hold their blocks up.
        Granted where the system allows it (a privileged user, or a real-time limit); elsewhere
        they run at normal priority. Off by default: a test rig keeps to ordinary threads. */
    void useDriverPriority() noexcept { driverPriority = true; }

private:
    // The attached manual stream due first, or null when none is due by `limitNs`.
    SimulatedStream* nextDueManualStream (std::int64_t limitNs, std::int64_t& dueNs) const noexcept;

    const Mode mode;
    const std::chrono::steady_clock::time_point epoch;
    std::atomic<std::int64_t> manualNowNs { 0 };
    std::vector<SimulatedStream*> manualStreams;                  // in order of attachment
    std::vector<std::unique_ptr<RealTimeStreamThread>> threads;   // one per real-time stream
    bool advancing = false;
    bool driverPriority = false;

    SimulatedClock (const SimulatedClock&) = delete;
    SimulatedClock& operator= (const SimulatedClock&) = delete;
};

} // namespace brindle
