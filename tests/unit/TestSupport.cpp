#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>

extern "C" {
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void __libc_free (void*);
void* __libc_memalign (size_t, size_t);
}

namespace
{
thread_local int auditDepth = 0;
std::atomic<int> allocationCount { 0 };
std::atomic<int> freeCount { 0 };
std::atomic<int> lockCount { 0 };

void noteAllocation()
{
    if (auditDepth > 0)
        allocationCount.fetch_add (1, std::memory_order_relaxed);
}

void noteFree (void* p)
{
    if (auditDepth > 0 && p != nullptr)
        freeCount.fetch_add (1, std::memory_order_relaxed);
}

void noteLock()
{
    if (auditDepth > 0)
        lockCount.fetch_add (1, std::memory_order_relaxed);
}

template <typename Fn>
Fn next (const char* name)
{
    static_assert (sizeof (Fn) == sizeof (void*));
    return reinterpret_cast<Fn> (dlsym (RTLD_NEXT, name));
}

// The JUCE message thread lives for the whole test run, as it does inside a host.
struct JuceEnvironment : testing::Environment
{
    void SetUp() override { juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { juce.reset(); }
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juce;
};

[[maybe_unused]] const auto* environment = testing::AddGlobalTestEnvironment (new JuceEnvironment());
} // namespace

// Everything the process allocates goes through here, JUCE's HeapBlock (plain malloc) included.
extern "C" {
void* malloc (size_t n)
{
    noteAllocation();
    return __libc_malloc (n);
}
void* calloc (size_t count, size_t n)
{
    noteAllocation();
    return __libc_calloc (count, n);
}
void* realloc (void* p, size_t n)
{
    noteAllocation();
    return __libc_realloc (p, n);
}
void free (void* p)
{
    noteFree (p);
    __libc_free (p);
}
int posix_memalign (void** out, size_t alignment, size_t n)
{
    noteAllocation();
    *out = __libc_memalign (alignment, n);
    return *out != nullptr ? 0 : 12;
}
void* aligned_alloc (size_t alignment, size_t n)
{
    noteAllocation();
    return __libc_memalign (alignment, n);
}

int pthread_mutex_lock (pthread_mutex_t* m)
{
    noteLock();
    static const auto real = next<int (*) (pthread_mutex_t*)> ("pthread_mutex_lock");
    return real (m);
}
int pthread_cond_wait (pthread_cond_t* c, pthread_mutex_t* m)
{
    noteLock();
    static const auto real = next<int (*) (pthread_cond_t*, pthread_mutex_t*)> ("pthread_cond_wait");
    return real (c, m);
}
int sched_yield()
{
    noteLock(); // a contended spin lock yields: the audio thread must never get there
    static const auto real = next<int (*)()> ("sched_yield");
    return real();
}
}

namespace virltest
{

AudioThreadAudit::AudioThreadAudit()
    : startAllocations (allocationCount.load()), startFrees (freeCount.load()), startLocks (lockCount.load())
{
    ++auditDepth;
}

AudioThreadAudit::~AudioThreadAudit() { --auditDepth; }

int AudioThreadAudit::allocations() const { return allocationCount.load() - startAllocations; }
int AudioThreadAudit::frees() const { return freeCount.load() - startFrees; }
int AudioThreadAudit::locks() const { return lockCount.load() - startLocks; }

void pumpMessages (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

} // namespace virltest
