// The plug-in's engine state and live parameter blocks.
#include "dsp/processor_state.h"

#include <cstring>

ProcessorState processorState;
LiveParams liveParams;

void ClearProcessorState(ProcessorState& state) {
    std::memset(&state, 0, sizeof state);
    initDesignExchange(state.designs);
}
