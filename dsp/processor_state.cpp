// Clearing the engine state block.
#include "dsp/processor_state.h"

#include <cstring>

void ClearProcessorState(ProcessorState& state) {
    std::memset(&state, 0, sizeof state);
    initDesignExchange(state.designs);
}
