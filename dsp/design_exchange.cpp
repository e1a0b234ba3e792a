// Triple-buffer hand-over of derived designs between the designer and the audio thread.
#include "dsp/design_exchange.h"

void initDesignExchange(DesignExchange& exchange) { initTripleBuffer(exchange.indices); }

void publishDesign(DesignExchange& exchange) {
    exchange.slots[exchange.indices.back] = exchange.designer;
    publishBack(exchange.indices);
}

const DerivedDesign* takeDesign(DesignExchange& exchange) {
    if (!takeFront(exchange.indices)) return nullptr;
    return &exchange.slots[exchange.indices.front];
}
