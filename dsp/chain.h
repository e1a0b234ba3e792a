// The chain in one table: the order of the stages, the side of the chain each runs on, their
// switches, the delay each adds and what the idle reset clears. The latency the engine reports and
// the idle reset are computed from this table; the two sides (chain_sides.h) run the stages in its
// order, which a test holds them to by tracing the stages a block runs (StageTrace).
#pragma once

#include <cstdint>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "dsp/stage_trace.h"

// The input side runs from the input to the filter bank's split, the output side from the band
// stages to the output (chain_sides.h).
enum class ChainSide : uint8_t { kInput, kOutput };

struct ChainStage {
    const char* name;                        // also what StageTrace records when the stage runs
    ChainSide side;
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
