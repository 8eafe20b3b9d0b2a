#include "RealtimeGuard.h"

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <memory>
#include <shared_mutex>
#include <mutex>
#include <thread>
#include <vector>

namespace brindle::test
{

// Kept where the compiler cannot see it unused, so that no allocation is optimised away.
void* volatile kept = nullptr;

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

    // The framework's containers allocate with malloc and realloc, not operator new.
    juce::Array<int> items;
    items.add (1);
    juce::HeapBlock<float> block (256);
    kept = block.get();
    kept = std::calloc (4, 4);
    std::free (kept);
    EXPECT_EQ (guard.allocations(), 5u);

    std::shared_mutex shared;
    { std::shared_lock<std::shared_mutex> reading (shared); }
    { std::unique_lock<std::mutex> attempt (mutex, std::try_to_lock); }
    EXPECT_EQ (guard.locks(), 3u);

    std::thread other ([&] { std::vector<int> elsewhere (10); std::lock_guard<std::mutex> lock (mutex); });
    other.join();
    EXPECT_EQ (guard.locks(), 3u) << "another thread's lock is not ours";
}

} // namespace brindle::test
