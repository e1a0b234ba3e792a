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
// Its steps: the designer's snapshot (state.designs.designer) without publishing it, and the meters.
void ComputeDerivedDesign(ProcessorState& state, const LiveParams& params, bool force);
void ZeroIdleMeters(ProcessorState& state, const LiveParams& params);

// Audio thread, at block start: puts the newest published design in place.
void applyPendingDesigns(ProcessorState& state);
// Audio thread: puts one design snapshot in place (the groups whose generation changed, and the
// equaliser gains).
void InstallDesign(ProcessorState& state, const DerivedDesign& design);

// The start-up designs every engine begins with, before its first preset: they differ from the
// registered defaults (30 Hz highpass, 400 Hz crossover, 18 kHz lowpass, ...) because the plug-in
// has always begun from these, and the first preset load redesigns every filter anyway. With them
// go cleared filter memories and the final clipper's cleared quadrature lines.
constexpr double kStartupHighpassHz = 25.0;
constexpr double kStartupAgcCrossoverHz = 300.0;
constexpr double kStartupThreeBandLowMidHz = 880.0;
constexpr double kStartupThreeBandMidHighHz = 5000.0;
constexpr double kStartupLowpassHz = 1000.0;
void DesignStartupFilters(ProcessorState& state);

