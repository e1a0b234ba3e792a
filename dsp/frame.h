// The processing frame: format gate, idle reset, per-block constants and the chain, frame by frame.
#pragma once

#include <cstdint>

#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"

constexpr uint32_t kPollIntervalMs = 2000;
constexpr uint32_t kIdleResetMs = 6000;
constexpr double kOutputLimit = 0.9999;
constexpr int kSilenceFramesBeforeNoise = 100;

// Processes one host block in place; returns numsamples on every path.
int ProcessBlock(short* samples, int numsamples, int bps, int nch, int srate, ProcessorState& state,
                 const LiveParams& params, EngineRandom& random);

// The high-resolution path: `frames` interleaved frames of `channels` (1 or 2) samples, full scale
// 1.0, processed in place as a 44,100 Hz 16-bit stereo block is, but entering the chain without
// the 16-bit rounding and leaving after the clamp without the truncation. One channel is
// processed as L = R. Other channel counts are left untouched.
void ProcessFloatBlock(float* samples, int frames, int channels, ProcessorState& state, const LiveParams& params,
                       EngineRandom& random);
void ProcessFloatBlock(double* samples, int frames, int channels, ProcessorState& state, const LiveParams& params,
                       EngineRandom& random);

// Clears what the chain table lists for a pause of more than 6,000 ms (also after a preset load).
void IdleReset(ProcessorState& state);

// Peak meter in percent: follows rises at once, falls by 0.01 per frame.
double followPeakMeter(double meter, double mono);

// One random dither or silence-guard value: ((rand() AND 255) - 128) * 2^-23.
double smallNoise(EngineRandom& random);

// Frames the chain delays its output with the switches and options of `params`: 8,192 per
// reverse-cascade filter in the path, 4,095 per lookahead line, 32 for the complex clipper's
// quadrature filter and 3 for the three-band equaliser's crossover.
int ProcessingDelayFrames(const LiveParams& params);
