#include "RealtimeGuard.h"

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

// glibc's own allocator, under the names it exports for exactly this kind of interposition.
extern "C" void* __libc_malloc (size_t);
extern "C" void* __libc_calloc (size_t, size_t);
extern "C" void* __libc_realloc (void*, size_t);
extern "C" void* __libc_memalign (size_t, size_t);
extern "C" void __libc_free (void*);

namespace
{
    thread_local int watchers = 0;
    thread_local std::uint64_t allocationCount = 0;
    thread_local std::uint64_t lockCount = 0;

    void countAllocation() noexcept
    {
        if (watchers > 0)
            ++allocationCount;
    }

    void countLock() noexcept
    {
        if (watchers > 0)
            ++lockCount;
    }

    template <typename Function>
    Function real (const char* name)
    {
        return reinterpret_cast<Function> (dlsym (RTLD_NEXT, name));
    }

    using MutexFunction = int (*) (pthread_mutex_t*);
    using ReadWriteFunction = int (*) (pthread_rwlock_t*);
    using SpinFunction = int (*) (pthread_spinlock_t*);

    // Resolved before main, so that the first lock taken never has to look itself up.
    const auto realMutexLock = real<MutexFunction> ("pthread_mutex_lock");
    const auto realMutexTryLock = real<MutexFunction> ("pthread_mutex_trylock");
    const auto realReadLock = real<ReadWriteFunction> ("pthread_rwlock_rdlock");
    const auto realWriteLock = real<ReadWriteFunction> ("pthread_rwlock_wrlock");
    const auto realSpinLock = real<SpinFunction> ("pthread_spin_lock");

    void* allocate (std::size_t size)
    {
        if (void* p = std::malloc (size == 0 ? 1 : size))
            return p;

        throw std::bad_alloc();
    }

    void* allocateAligned (std::size_t size, std::align_val_t alignment)
    {
        void* p = nullptr;
        if (posix_memalign (&p, std::max ((std::size_t) alignment, sizeof (void*)), size == 0 ? 1 : size) == 0)
            return p;

        throw std::bad_alloc();
    }
}

// Every allocation in the process passes through these, the framework's own HeapBlock
// (malloc, calloc, realloc) as much as operator new.
extern "C" void* malloc (size_t size) { countAllocation(); return __libc_malloc (size); }
extern "C" void* calloc (size_t count, size_t size) { countAllocation(); return __libc_calloc (count, size); }
extern "C" void* realloc (void* p, size_t size) { countAllocation(); return __libc_realloc (p, size); }
extern "C" void free (void* p) { __libc_free (p); }
extern "C" void* aligned_alloc (size_t alignment, size_t size) { countAllocation(); return __libc_memalign (alignment, size); }
extern "C" void* memalign (size_t alignment, size_t size) { countAllocation(); return __libc_memalign (alignment, size); }
extern "C" int posix_memalign (void** out, size_t alignment, size_t size)
{
    countAllocation();
    void* p = __libc_memalign (alignment, size);
    if (p == nullptr)
        return ENOMEM;
    *out = p;
    return 0;
}

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t alignment) { return allocateAligned (size, alignment); }
void* operator new[] (std::size_t size, std::align_val_t alignment) { return allocateAligned (size, alignment); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return std::malloc (size == 0 ? 1 : size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return std::malloc (size == 0 ? 1 : size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

extern "C" int pthread_mutex_lock (pthread_mutex_t* mutex) { countLock(); return realMutexLock (mutex); }
extern "C" int pthread_mutex_trylock (pthread_mutex_t* mutex) { countLock(); return realMutexTryLock (mutex); }
extern "C" int pthread_rwlock_rdlock (pthread_rwlock_t* lock) { countLock(); return realReadLock (lock); }
extern "C" int pthread_rwlock_wrlock (pthread_rwlock_t* lock) { countLock(); return realWriteLock (lock); }
extern "C" int pthread_spin_lock (pthread_spinlock_t* lock) { countLock(); return realSpinLock (lock); }

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
