#include "platform/simulation/SimulatedClock.h"
#include "platform/simulation/SimulatedStream.h"

#include "MessageLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace brindle::test
{

namespace
{
    using namespace std::chrono_literals;

    // A stream with a fixed period that logs its name and the clock's time at each block.
    struct PeriodicStream final : SimulatedStream
    {
        PeriodicStream (SimulatedClock& c, char streamName, std::int64_t periodNs, std::vector<std::string>* logTo = nullptr)
            : clock (c), name (streamName), period (periodNs), log (logTo)
        {
        }

        std::int64_t nextDueNs() const noexcept override { return halted ? never : (blocks + 1) * period; }

        void runBlock() noexcept override
        {
            if (log != nullptr)
                log->push_back (name + std::to_string (clock.nowNs() / 1'000'000));

            thread = std::this_thread::get_id();
            ++blocks;

            if (onBlock)
                onBlock();
        }

        SimulatedClock& clock;
        char name;
        std::int64_t period;
        std::vector<std::string>* log;
        std::atomic<std::int64_t> blocks { 0 };
        bool halted = false;
        std::thread::id thread;
        std::function<void()> onBlock;
    };
}

TEST (SimulatedClock, ManualTimeMovesOnlyWhenAdvanced)
{
    SimulatedClock clock (SimulatedClock::Mode::manual);
    EXPECT_EQ (clock.nowNs(), 0);

    clock.advance (1500ms);
    EXPECT_EQ (clock.nowNs(), 1'500'000'000);

    clock.advance (-1s);
    EXPECT_EQ (clock.nowNs(), 1'500'000'000) << "time never runs backwards";
}

TEST (SimulatedClock, DueBlocksRunInTimeOrderAndTiesInTheOrderOfAttaching)
{
    SimulatedClock clock (SimulatedClock::Mode::manual);
    std::vector<std::string> log;
    PeriodicStream a (clock, 'A', 3'000'000, &log), b (clock, 'B', 2'000'000, &log), c (clock, 'C', 3'000'000, &log);
    clock.attach (a);
    clock.attach (b);
    clock.attach (c);
    clock.attach (a);   // a second attach changes nothing

    EXPECT_EQ (clock.advance (12ms), 14) << "a block due at the new time runs";
    EXPECT_EQ (log, (std::vector<std::string> { "B2", "A3", "C3", "B4", "A6", "B6", "C6", "B8", "A9", "C9", "B10", "A12", "B12", "C12" }));

    clock.detach (a);
    clock.detach (b);
    clock.detach (c);
}

TEST (SimulatedClock, SlicingTheTimeDifferentlyRunsTheSameBlocks)
{
    std::vector<std::string> whole, sliced;

    for (auto* log : { &whole, &sliced })
    {
        SimulatedClock clock (SimulatedClock::Mode::manual);
        PeriodicStream a (clock, 'A', 1'300'000, log), b (clock, 'B', 700'001, log);
        clock.attach (a);
        clock.attach (b);

        if (log == &whole)
            clock.advance (100ms);
        else
            for (auto slice : { 1ms, 0ms, 33ms, 7ms, 59ms })
                clock.advance (slice);

        clock.detach (a);
        clock.detach (b);
    }

    EXPECT_EQ (whole.size(), 76u + 142u);
    EXPECT_EQ (whole, sliced);
}

TEST (SimulatedClock, StreamsMayLeaveOrJoinFromWithinABlock)
{
    SimulatedClock clock (SimulatedClock::Mode::manual);
    std::vector<std::string> log;
    PeriodicStream a (clock, 'A', 2'000'000, &log), b (clock, 'B', 5'000'000, &log), c (clock, 'C', 3'000'000, &log);
    clock.attach (a);
    clock.attach (b);

    // At 4 ms, A drops B and brings in C; C's first due time (3 ms) is already past, so it
    // runs at once, without moving time backwards, and then keeps its own schedule.
    a.onBlock = [&] { if (a.blocks == 2) { clock.detach (b); clock.attach (c); } };
    clock.advance (7ms);

    EXPECT_EQ (log, (std::vector<std::string> { "A2", "A4", "C4", "A6", "C6" }));
    EXPECT_FALSE (clock.isAttached (b));
    clock.detach (a);
    clock.detach (c);
}

TEST (SimulatedClock, AHaltedStreamIsPassedOver)
{
    SimulatedClock clock (SimulatedClock::Mode::manual);
    PeriodicStream a (clock, 'A', 1'000'000);
    clock.attach (a);
    clock.advance (3ms);
    a.halted = true;

    EXPECT_EQ (clock.advance (1s), 0);
    EXPECT_EQ (a.blocks, 3);
    clock.detach (a);
}

TEST (SimulatedClock, InRealTimeEachStreamRunsOnItsOwnThreadUntilDetached)
{
    SimulatedClock clock (SimulatedClock::Mode::realTime);
    PeriodicStream a (clock, 'A', 1'000'000), b (clock, 'B', 2'000'000);

    EXPECT_EQ (clock.advance (1s), 0) << "real time cannot be advanced";

    clock.attach (a);
    clock.attach (b);
    EXPECT_TRUE (pumpUntil ([&] { return a.blocks >= 5 && b.blocks >= 5; }, 10'000));
    clock.detach (a);
    clock.detach (b);

    const auto blocksAtDetach = a.blocks.load();
    std::this_thread::sleep_for (20ms);
    EXPECT_EQ (a.blocks, blocksAtDetach) << "no block after detach returned";
    EXPECT_NE (a.thread, std::this_thread::get_id());
    EXPECT_NE (a.thread, b.thread);
    EXPECT_GT (clock.nowNs(), 0);
}

} // namespace brindle::test
