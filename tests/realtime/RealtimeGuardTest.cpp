#include "RealtimeGuard.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace brindle::test
{

// The guard must see what it is there to catch, or every test built on it proves nothing.
TEST (RealtimeGuard, SeesAllocationsAndLocksOnItsOwnThreadOnly)
{
    std::mutex mutex;
    RealtimeGuard guard;

    auto p = std::make_unique<int> (3);
    std::vector<float> v (100);
    { std::lock_guard<std::mutex> lock (mutex); }

    EXPECT_EQ (guard.allocations(), 2u);
    EXPECT_EQ (guard.locks(), 1u);

    std::thread other ([&] { std::vector<int> elsewhere (10); std::lock_guard<std::mutex> lock (mutex); });
    other.join();
    EXPECT_EQ (guard.locks(), 1u) << "another thread's lock is not ours";
}

} // namespace brindle::test
