// ProcessBlock: one host block through the gate, the idle reset and the chain.
#include "dsp/frame.h"

#include "dsp/block_driver.h"

namespace {

// Both sides on the calling thread: each run's output side right after its input side.
template <class Io>
struct InlineOutputSide {
    const Io& io;
    ProcessorState& state;
    const LiveParams& params;
    RunHandoff run;  // left uninitialised: the driver fills each run before use

    InlineOutputSide(const Io& io, ProcessorState& state, const LiveParams& params)
        : io(io), state(state), params(params) {}
    void beforeBlock(bool) {}
    RunHandoff& nextRun() {
        run.bands = state.tenBand.runBands;
        return run;
    }
    void handOver(RunHandoff& handed) { finishRun(io, state, params, handed); }
};

template <class Io>
void runBlock(const Io& io, int frames, const BlockStart& start, ProcessorState& state, const LiveParams& params,
              EngineRandom& random) {
    InlineOutputSide<Io> outputSide(io, state, params);
    driveBlock(io, frames, start, state, params, random, outputSide);
}

}  // namespace

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
