#include "RealTimeStreamThread.h"

#include "SimulatedStream.h"

#include <pthread.h>
#include <sched.h>

namespace brindle
{

RealTimeStreamThread::RealTimeStreamThread (SimulatedStream& streamToRun, std::chrono::steady_clock::time_point clockEpoch,
                                            bool driverPriority)
    : stream (streamToRun),
      epoch (clockEpoch),
      thread ([this] { run(); })
{
    // Set from here, before the thread's first block: a new thread on a busy machine can wait
    // long for its first turn. A refusal leaves it at normal priority.
    if (driverPriority)
    {
        sched_param priority {};
        priority.sched_priority = realTimePriority;
        pthread_setschedparam (thread.native_handle(), SCHED_FIFO, &priority);
    }
}

RealTimeStreamThread::~RealTimeStreamThread()
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        stopping = true;
    }

    wakeUp.notify_all();
    thread.join();
}

void RealTimeStreamThread::run()
{
    while (waitForNextBlock())
        stream.runBlock();
}

bool RealTimeStreamThread::waitForNextBlock()
{
    const auto due = stream.nextDueNs();
    std::unique_lock<std::mutex> lock (mutex);
    const auto shouldStop = [this] { return stopping; };

    if (due == SimulatedStream::never)
        wakeUp.wait (lock, shouldStop);
    else
        wakeUp.wait_until (lock, epoch + std::chrono::nanoseconds (due), shouldStop);

    return ! stopping;
}

} // namespace brindle
