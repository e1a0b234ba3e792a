// The chain in one table: the order of the stages, their switches, the delay each adds and what
// the idle reset clears. The frame runs the stages in this order; the latency the engine reports
// and the idle reset are computed from this table.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"

struct ChainStage {
    const char* name;
    uint8_t GeneralParams::*active;          // the stage's switch; nullptr: always runs
    bool insideProcessor;                    // runs only while "General.Processor.Active" is on
    int (*delayFrames)(const LiveParams&);   // frames the stage delays while it runs; nullptr: none
    void (*idleReset)(ProcessorState&);      // what a pause of more than 6 s clears; nullptr: nothing
};

extern const ChainStage kChainStages[];
extern const int kChainStageCount;

// Whether a stage runs with these switches.
bool stageRuns(const ChainStage& stage, const LiveParams& params);

// Clears what the chain table lists for a pause of more than 6,000 ms (also after a preset load).
void IdleReset(ProcessorState& state);

// Frames the chain delays its output with the switches and options of `params`: 8,192 per
// reverse-cascade filter in the path, 4,095 per lookahead line, 32 for the complex clipper's
// quadrature filter and 3 for the three-band equaliser's crossover.
int ProcessingDelayFrames(const LiveParams& params);
