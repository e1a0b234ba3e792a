// The slot indices of a single-producer, single-consumer triple buffer.
#pragma once

#include <atomic>
#include <cstdint>

// The producer fills slot `back` and swaps it into the middle; the consumer swaps a fresh middle
// slot into `front`. Neither side ever waits, and the consumer never sees a half-written slot.
struct TripleBufferSlots {
    uint8_t back;    // producer's slot
    uint8_t front;   // consumer's slot
    uint8_t middle;  // low 2 bits: slot index; bit 2: fresh
};

constexpr uint8_t kFreshBit = 4;

inline void initTripleBuffer(TripleBufferSlots& slots) {
    slots.back = 0;
    slots.middle = 1;
    slots.front = 2;
}

// Producer: publishes slot `back` (already filled) and takes the old middle slot as its next.
inline void publishBack(TripleBufferSlots& slots) {
    const uint8_t published = static_cast<uint8_t>(slots.back | kFreshBit);
    const uint8_t previous = std::atomic_ref<uint8_t>(slots.middle).exchange(published, std::memory_order_acq_rel);
    slots.back = static_cast<uint8_t>(previous & 3);
}

// Consumer: true when a fresh slot was published since the last take; it is then slot `front`.
inline bool takeFront(TripleBufferSlots& slots) {
    std::atomic_ref<uint8_t> middle(slots.middle);
    if ((middle.load(std::memory_order_relaxed) & kFreshBit) == 0) return false;
    const uint8_t previous = middle.exchange(slots.front, std::memory_order_acq_rel);
    slots.front = static_cast<uint8_t>(previous & 3);
    return true;
}
