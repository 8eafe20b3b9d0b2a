#pragma once

#include <cstdint>
#include <limits>

namespace brindle
{

/** One running simulated device as the clock sees it: something that has a next block due at
    some simulated time and runs it when asked.

    Threading: both methods are called only on the stream's thread (the clock's thread for the
    device in real time, the thread that advances a manual clock), one call at a time. */
class SimulatedStream
{
public:
    static constexpr std::int64_t never = std::numeric_limits<std::int64_t>::max();

    virtual ~SimulatedStream() = default;

    /** [stream thread] Simulated time, in ns, at which the next block is due; `never` when
        the stream has halted. */
    virtual std::int64_t nextDueNs() const noexcept = 0;

    /** [stream thread] Runs the block that is due. */
    virtual void runBlock() noexcept = 0;
};

} // namespace brindle
