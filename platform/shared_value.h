// Relaxed single-value access for values shared between the playback and user-interface threads
// (the engine, its windows and its hosts alike).
#pragma once

#include <atomic>
#include <cstdint>

// Every value one thread writes while the other reads (live parameters, meters, the clip flag,
// the capture ring and its index) goes through these helpers: each access is one whole load or
// store, with no ordering promise beyond that, which is all the engine relies on.
template <typename T>
inline T loadShared(const T& value) {
    return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_relaxed);
}

template <typename T>
inline void storeShared(T& value, T newValue) {
    std::atomic_ref<T>(value).store(newValue, std::memory_order_relaxed);
}

// The two ends of a hand-over: everything the storing thread wrote before its storeRelease is
// visible to a thread whose loadAcquire reads the stored value (the console's window handle, by
// which the settings text passes to the playback thread and back).
template <typename T>
inline void storeRelease(T& value, T newValue) {
    std::atomic_ref<T>(value).store(newValue, std::memory_order_release);
}

template <typename T>
inline T loadAcquire(const T& value) {
    return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_acquire);
}

// A one-byte switch is on when its stored byte is non-zero.
inline bool isOn(const uint8_t& flag) { return loadShared(flag) != 0; }
