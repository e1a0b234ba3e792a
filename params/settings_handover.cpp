// The triple buffer that hands whole settings to the audio thread.
#include "params/settings_handover.h"

#include <atomic>

void initSettingsHandover(SettingsHandover& handover) {
    handover.back = 0;
    handover.middle = 1;
    handover.front = 2;
    handover.resetsRequested = 0;
    handover.resetsTaken = 0;
}

void publishSettings(SettingsHandover& handover) {
    const uint8_t published = static_cast<uint8_t>(handover.back | kFreshBit);
    const uint8_t previous = std::atomic_ref<uint8_t>(handover.middle).exchange(published, std::memory_order_acq_rel);
    handover.back = static_cast<uint8_t>(previous & 3);
}

const HandedOverSettings* takeSettings(SettingsHandover& handover) {
    std::atomic_ref<uint8_t> middle(handover.middle);
    if ((middle.load(std::memory_order_relaxed) & kFreshBit) == 0) return nullptr;
    const uint8_t previous = middle.exchange(handover.front, std::memory_order_acq_rel);
    handover.front = static_cast<uint8_t>(previous & 3);
    return &handover.slots[handover.front];
}
