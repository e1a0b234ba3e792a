// The chain of one block in two sides: the input side (input stages and the filter bank's split)
// and the output side (band stages, final stages, lowpass and output), handing runs of up to
// kBandRunFrames frames from one to the other. ProcessBlock runs both sides of each run in turn;
// SplitChain runs them on two threads. The two sides share no stage, random draw or meter.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/band_samples.h"
#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "dsp/stage_trace.h"
#include "dsp/ten_band_processor.h"

constexpr uint32_t kPollIntervalMs = 2000;
constexpr uint32_t kIdleResetMs = 6000;
constexpr double kOutputLimit = 0.9999;
constexpr int kSilenceFramesBeforeNoise = 100;

// Peak meter in percent: follows rises at once, falls by 0.01 per frame.
inline double followPeakMeter(double meter, double mono) {
    double m = std::fabs(mono) * 100;
    if (m < meter) m = meter - 0.01;
    return m < 0 ? 0.0 : m;
}

// One random dither or silence-guard value: ((rand() AND 255) - 128) * 2^-23.
double smallNoise(EngineRandom& random);

// The gains read at block start, before the poll (which may load a preset), and the block's tick.
struct BlockStart {
    double densityGain;
    double postGain;
    uint32_t now;
};

// What the input pass decides for a frame's later passes. tenBand is 0 while the processor is off,
// else 1 plus the band-stage switches as bits 1 ... 6, so that runs compare one byte. The lowpass
// and dither switches are read here too, once per frame like all others; the dither value is
// drawn here to keep rand() in order.
struct FrameRoute {
    uint8_t tenBand;
    bool lowpass;
    bool dither;
    double ditherNoise;
};

// One run on its way from the input side to the output side.
struct RunHandoff {
    BlockStart start;
    int blockFrames;   // frames of the whole block
    int offset;        // the run's first frame within the block
    int frames;
    bool blockBegins;  // the output side starts the block with this run
    bool blockEnds;    // ... and finishes it after this one
    int staged;        // frames before this one need neither the ten-band processor nor the lowpass
    bool anyTenBand;
    bool anyLowpass;
    FrameRoute route[kBandRunFrames];
    double chain[2 * kBandRunFrames];  // (L, R) of each frame after the input stages
    BandSamples* bands;                // the bank's split of the frames that take the processor
};

// Where a block's samples come from and go to: 16-bit stereo (the plug-in's path) or floating
// point, one or two channels, full scale 1.0.
struct Pcm16Io {
    short* samples;
};
template <class Sample>
struct FloatIo {
    Sample* samples;
    int channels;
};

// The engine's millisecond tick: the hooks' clock when set, else the system's.
uint32_t readEngineClock(const FrameHooks& hooks);

// Reads the block's gains, polls, gates the format (16-bit stereo at 44,100 Hz) and the master
// bypass; true when the block is to be processed.
bool admitBlock(int bps, int nch, int srate, ProcessorState& state, const LiveParams& params, BlockStart* start);

// Block start. A design taken (takeDesign) or an idle reset due touch both sides: a caller running
// the sides apart has the output side idle before the input side begins such a block.
bool idleResetDue(const ProcessorState& state, uint32_t now);
void beginInputSide(ProcessorState& state, const LiveParams& params, const DerivedDesign* design, bool resetDue);
void beginOutputSide(ProcessorState& state, const LiveParams& params);
// Block end of each side: meter decays over the block's frames.
void endInputSide(ProcessorState& state, const LiveParams& params);
void endOutputSide(ProcessorState& state, const LiveParams& params, int blockFrames);

// The input side of frames [run.offset, run.offset + run.frames) of the block in `io`: reads
// them, runs the input stages and the split, fills `run` (run.bands must point to room for
// kBandRunFrames frames). `trace` records the stages as they run (StageTrace, for the test of
// the chain's order; NoStageTrace otherwise).
template <class Io, class Trace>
void runInputSide(const Io& io, ProcessorState& state, const LiveParams& params, EngineRandom& random,
                  RunHandoff& run, Trace& trace);
template <class Io>
inline void runInputSide(const Io& io, ProcessorState& state, const LiveParams& params, EngineRandom& random,
                         RunHandoff& run) {
    NoStageTrace none;
    runInputSide(io, state, params, random, run, none);
}
// The output side of a run: writes its frames to `io`.
template <class Io, class Trace>
void runOutputSide(const Io& io, ProcessorState& state, const LiveParams& params, RunHandoff& run, Trace& trace);
template <class Io>
inline void runOutputSide(const Io& io, ProcessorState& state, const LiveParams& params, RunHandoff& run) {
    NoStageTrace none;
    runOutputSide(io, state, params, run, none);
}

// The output side of a run with its block's start and end around it (run.blockBegins, run.blockEnds).
template <class Io>
inline void finishRun(const Io& io, ProcessorState& state, const LiveParams& params, RunHandoff& run) {
    if (run.blockBegins) beginOutputSide(state, params);
    runOutputSide(io, state, params, run);
    if (run.blockEnds) endOutputSide(state, params, run.blockFrames);
}
