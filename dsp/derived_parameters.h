// Filter designs and equaliser gains that follow the live parameters, and their hand-over.
#pragma once

#include "dsp/live_params.h"
#include "dsp/processor_state.h"

// Initial designs at start-up. With reset they go straight into the live filters and clear them
// (no audio runs then); without reset they are published for the audio thread.
void DesignHighpass(ProcessorState& state, bool reset, double cutoffHz);
void DesignLowpass(ProcessorState& state, bool reset, double cutoffHz);
void DesignAgcCrossover(ProcessorState& state, bool reset, double crossoverHz);
void DesignThreeBandEq(ProcessorState& state, bool clear, double lowMidHz, double midHighHz);
void designBank(ProcessorState& state, bool resetStates, bool cascaded, bool narrow);

// Redesigns what changed (everything when forced), recomputes both equalisers' gains, zeroes the
// meters of stages that do not run, and publishes the result to the audio thread.
void UpdateDerivedParameters(ProcessorState& state, const LiveParams& params, bool force);

// Audio thread, at block start: puts the newest published design in place.
void applyPendingDesigns(ProcessorState& state);

// A design frequency the filters can take: values inside (0, fs/2) are used as they are, anything
// else (NaN, 0 or less, Nyquist or above) is clamped to the registered range.
double usableDesignFrequency(double frequencyHz, double minHz, double maxHz);
