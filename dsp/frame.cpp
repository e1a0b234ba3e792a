// ProcessBlock: one host block through the gate, the idle reset and the chain.
#include "dsp/frame.h"

#include <cmath>

#include "dsp/chain.h"
#include "dsp/chain_sides.h"
#include "dsp/engine_random.h"

namespace {

constexpr double kNoiseStep = 1.1920928955078125e-07;  // 2^-23

template <class Io>
void runBlock(const Io& io, int frames, const BlockStart& start, ProcessorState& state, const LiveParams& params,
              EngineRandom& random);

}  // namespace

double smallNoise(EngineRandom& random) { return static_cast<double>((engineRand(random) & 255) - 128) * kNoiseStep; }

double followPeakMeter(double meter, double mono) {
    double m = std::fabs(mono) * 100;
    if (m < meter) m = meter - 0.01;
    return m < 0 ? 0.0 : m;
}

void IdleReset(ProcessorState& state) {
    for (int i = 0; i < kChainStageCount; ++i) {
        if (kChainStages[i].idleReset != nullptr) kChainStages[i].idleReset(state);
    }
}

int ProcessBlock(short* samples, int numsamples, int bps, int nch, int srate, ProcessorState& state,
                 const LiveParams& params, EngineRandom& random) {
    BlockStart start;
    if (!admitBlock(bps, nch, srate, state, params, &start)) return numsamples;
    // A block without a buffer is processed as an empty one: the idle test still runs.
    const int frames = samples != nullptr && numsamples > 0 ? numsamples : 0;
    runBlock(Pcm16Io{samples}, frames, start, state, params, random);
    return numsamples;
}

template <class Sample>
static void processFloat(Sample* samples, int frames, int channels, ProcessorState& state, const LiveParams& params,
                         EngineRandom& random) {
    if (channels != 1 && channels != 2) return;
    BlockStart start;
    if (!admitBlock(16, 2, 44100, state, params, &start)) return;
    runBlock(FloatIo<Sample>{samples, channels}, samples != nullptr && frames > 0 ? frames : 0, start, state, params,
             random);
}

void ProcessFloatBlock(float* samples, int frames, int channels, ProcessorState& state, const LiveParams& params,
                       EngineRandom& random) {
    processFloat(samples, frames, channels, state, params, random);
}

void ProcessFloatBlock(double* samples, int frames, int channels, ProcessorState& state, const LiveParams& params,
                       EngineRandom& random) {
    processFloat(samples, frames, channels, state, params, random);
}

namespace {

// The block through both sides of the chain, kBandRunFrames frames at a time: the input side
// frame by frame, then the output side stage by stage over the run (see chain_sides.h).
template <class Io>
void runBlock(const Io& io, int frames, const BlockStart& start, ProcessorState& state, const LiveParams& params,
              EngineRandom& random) {
    const DerivedDesign* design = takeDesign(state.designs);
    const bool resetDue = idleResetDue(state, start.now);
    beginInputSide(state, params, design, resetDue);
    beginOutputSide(state, params);
    RunHandoff run;
    run.start = start;
    run.blockFrames = frames;
    run.bands = state.tenBand.runBands;
    for (int offset = 0; offset < frames; offset += kBandRunFrames) {
        run.offset = offset;
        run.frames = frames - offset < kBandRunFrames ? frames - offset : kBandRunFrames;
        runInputSide(io, state, params, random, run);
        runOutputSide(io, state, params, run);
    }
    endInputSide(state, params);
    endOutputSide(state, params, frames);
}

}  // namespace

int ProcessingDelayFrames(const LiveParams& params) {
    int frames = 0;
    for (int i = 0; i < kChainStageCount; ++i) {
        const ChainStage& stage = kChainStages[i];
        if (stage.delayFrames != nullptr && stageRuns(stage, params)) frames += stage.delayFrames(params);
    }
    return frames;
}
