// Evidence that the audio thread never locks, waits or allocates: the lock and wait functions of
// the threads library are wrapped here and count calls made inside an audio section; the
// sanitizer's allocation hooks count allocations; the thread's voluntary context switches count
// every time it blocked for any other reason (a futex, blocking input or output).
#include "tests/stress/audio_thread_probe.h"

#include <pthread.h>
#include <sanitizer/allocator_interface.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

thread_local bool inAudioSection = false;
thread_local long voluntarySwitchesAtStart = 0;
std::atomic<uint64_t> lockCount{0};
std::atomic<uint64_t> waitCount{0};
std::atomic<uint64_t> allocationCount{0};
std::atomic<uint64_t> blockedSectionCount{0};

void noteLock() {
    if (inAudioSection) lockCount.fetch_add(1, std::memory_order_relaxed);
}
void noteWait() {
    if (inAudioSection) waitCount.fetch_add(1, std::memory_order_relaxed);
}

void onAllocation(const volatile void*, size_t) {
    if (inAudioSection) allocationCount.fetch_add(1, std::memory_order_relaxed);
}
void onFree(const volatile void*) {
    if (inAudioSection) allocationCount.fetch_add(1, std::memory_order_relaxed);
}

long voluntarySwitches() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

const bool hooksInstalled = __sanitizer_install_malloc_and_free_hooks(onAllocation, onFree) != 0;

}  // namespace

void beginAudioSection() {
    voluntarySwitchesAtStart = voluntarySwitches();
    inAudioSection = true;
}

void endAudioSection() {
    inAudioSection = false;
    if (voluntarySwitches() != voluntarySwitchesAtStart) blockedSectionCount.fetch_add(1, std::memory_order_relaxed);
}

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define DRELVANT_LOCK_PROBE 1
#endif
#endif

#ifdef DRELVANT_LOCK_PROBE
// ThreadSanitizer defines these functions weakly and keeps its own bodies under the names below;
// each wrapper counts and passes the call on, so the sanitizer still sees every lock.
#define DRELVANT_WRAP(kind, ret, name, params, args)       \
    extern "C" ret __interceptor_##name params;             \
    extern "C" ret name params {                            \
        note##kind();                                       \
        return __interceptor_##name args;                   \
    }

DRELVANT_WRAP(Lock, int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
DRELVANT_WRAP(Lock, int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))
DRELVANT_WRAP(Lock, int, pthread_mutex_timedlock, (pthread_mutex_t * m, const timespec* t), (m, t))
DRELVANT_WRAP(Lock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
DRELVANT_WRAP(Lock, int, pthread_rwlock_tryrdlock, (pthread_rwlock_t * l), (l))
DRELVANT_WRAP(Lock, int, pthread_rwlock_timedrdlock, (pthread_rwlock_t * l, const timespec* t), (l, t))
DRELVANT_WRAP(Lock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
DRELVANT_WRAP(Lock, int, pthread_rwlock_trywrlock, (pthread_rwlock_t * l), (l))
DRELVANT_WRAP(Lock, int, pthread_rwlock_timedwrlock, (pthread_rwlock_t * l, const timespec* t), (l, t))
DRELVANT_WRAP(Lock, int, pthread_spin_lock, (pthread_spinlock_t * l), (l))
DRELVANT_WRAP(Lock, int, pthread_spin_trylock, (pthread_spinlock_t * l), (l))
DRELVANT_WRAP(Lock, int, sem_wait, (sem_t * s), (s))
DRELVANT_WRAP(Lock, int, sem_trywait, (sem_t * s), (s))
DRELVANT_WRAP(Lock, int, sem_timedwait, (sem_t * s, const timespec* t), (s, t))
DRELVANT_WRAP(Wait, int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
DRELVANT_WRAP(Wait, int, pthread_cond_timedwait, (pthread_cond_t * c, pthread_mutex_t* m, const timespec* t), (c, m, t))
DRELVANT_WRAP(Wait, int, pthread_cond_clockwait, (pthread_cond_t * c, pthread_mutex_t* m, clockid_t k, const timespec* t),
              (c, m, k, t))
DRELVANT_WRAP(Wait, int, pthread_barrier_wait, (pthread_barrier_t * b), (b))
DRELVANT_WRAP(Wait, int, pthread_join, (pthread_t t, void** r), (t, r))
DRELVANT_WRAP(Wait, int, nanosleep, (const timespec* d, timespec* r), (d, r))
DRELVANT_WRAP(Wait, int, usleep, (useconds_t u), (u))
DRELVANT_WRAP(Wait, unsigned, sleep, (unsigned s), (s))
#undef DRELVANT_WRAP
constexpr bool kLockProbeActive = true;
#else
constexpr bool kLockProbeActive = false;
#endif

AudioThreadEvidence audioThreadEvidence() {
    return {lockCount.load(), waitCount.load(), hooksInstalled ? allocationCount.load() : ~uint64_t{0},
            blockedSectionCount.load(), kLockProbeActive};
}
