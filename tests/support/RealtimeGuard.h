#pragma once

#include <cstdint>

namespace brindle::test
{

/** Counts, on the calling thread and while it exists, every heap allocation made through
    operator new and every mutex lock taken through pthread_mutex_lock. Used around code that
    must be safe on the audio thread.

    Only available in binaries that link RealtimeGuard.cpp, which replaces the global operator
    new and interposes pthread_mutex_lock; such binaries are not built with sanitisers, which
    hook the same functions. */
class RealtimeGuard
{
public:
    RealtimeGuard() noexcept;
    ~RealtimeGuard();

    RealtimeGuard (const RealtimeGuard&) = delete;
    RealtimeGuard& operator= (const RealtimeGuard&) = delete;

    std::uint64_t allocations() const noexcept;
    std::uint64_t locks() const noexcept;

private:
    std::uint64_t allocationsAtStart, locksAtStart;
};

} // namespace brindle::test
