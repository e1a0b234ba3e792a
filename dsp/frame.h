// The processing frame: format gate, idle reset, per-block constants and the chain, frame by frame.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"

constexpr uint32_t kPollIntervalMs = 2000;
constexpr uint32_t kIdleResetMs = 6000;
constexpr double kOutputLimit = 0.9999;
constexpr int kSilenceFramesBeforeNoise = 100;

// Processes one host block in place; returns numsamples on every path.
int ProcessBlock(short* samples, int numsamples, int bps, int nch, int srate, ProcessorState& state,
                 const LiveParams& params);

// Clears the filter memories listed for a pause of more than 6,000 ms (also after a preset load).
void IdleReset(ProcessorState& state);

// Peak meter in percent: follows rises at once, falls by 0.01 per frame.
double followPeakMeter(double meter, double mono);

// One random dither or silence-guard value: ((rand() AND 255) - 128) * 2^-23.
double smallNoise();
