// The processing frame: format gate, idle reset, per-block constants and the chain, frame by frame.
#pragma once

#include <cstdint>

#include "dsp/chain.h"
#include "dsp/chain_sides.h"
#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"

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
