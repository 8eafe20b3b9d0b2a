#include "RealtimeGuard.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

namespace
{
    thread_local int watchers = 0;
    thread_local std::uint64_t allocationCount = 0;
    thread_local std::uint64_t lockCount = 0;

    void* allocate (std::size_t size)
    {
        if (watchers > 0)
            ++allocationCount;

        if (void* p = std::malloc (size == 0 ? 1 : size))
            return p;

        throw std::bad_alloc();
    }

    using LockFunction = int (*) (pthread_mutex_t*);

    LockFunction realLock()
    {
        static const auto real = reinterpret_cast<LockFunction> (dlsym (RTLD_NEXT, "pthread_mutex_lock"));
        return real;
    }

    // Resolved before main, so that the first lock taken never has to look itself up.
    [[maybe_unused]] const LockFunction resolvedEarly = realLock();
}

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

extern "C" int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    if (watchers > 0)
        ++lockCount;

    return realLock() (mutex);
}

namespace brindle::test
{

RealtimeGuard::RealtimeGuard() noexcept
    : allocationsAtStart (allocationCount), locksAtStart (lockCount)
{
    ++watchers;
}

RealtimeGuard::~RealtimeGuard()
{
    --watchers;
}

std::uint64_t RealtimeGuard::allocations() const noexcept { return allocationCount - allocationsAtStart; }
std::uint64_t RealtimeGuard::locks() const noexcept { return lockCount - locksAtStart; }

} // namespace brindle::test
