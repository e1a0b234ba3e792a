// Triple-buffer hand-over of derived designs between the designer and the audio thread.
#include "dsp/design_exchange.h"

#include <cstring>

void initDesignExchange(DesignExchange& exchange) {
    exchange.back = 0;
    exchange.middle = 1;
    exchange.front = 2;
}

void publishDesign(DesignExchange& exchange) {
    exchange.slots[exchange.back] = exchange.designer;
    const uint8_t published = static_cast<uint8_t>(exchange.back | kFreshBit);
    const uint8_t previous = std::atomic_ref<uint8_t>(exchange.middle).exchange(published, std::memory_order_acq_rel);
    exchange.back = static_cast<uint8_t>(previous & 3);
}

const DerivedDesign* takeDesign(DesignExchange& exchange) {
    std::atomic_ref<uint8_t> middle(exchange.middle);
    if ((middle.load(std::memory_order_relaxed) & kFreshBit) == 0) return nullptr;
    const uint8_t previous = middle.exchange(exchange.front, std::memory_order_acq_rel);
    exchange.front = static_cast<uint8_t>(previous & 3);
    return &exchange.slots[exchange.front];
}
