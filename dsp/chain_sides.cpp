// The two sides of the chain over runs of frames: input stages and split, then band stages to the output.
#include "dsp/chain_sides.h"

#include <cmath>
#include <cstring>

#include "dsp/chain.h"
#include "dsp/db.h"
#include "dsp/derived_parameters.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"
#include "dsp/simd_pair.h"
#include "platform/platform.h"

namespace {

constexpr double kInputScale = 0.000030517578125;  // 2^-15
constexpr double kNoiseStep = 1.1920928955078125e-07;  // 2^-23
constexpr double kOutputScale = 32768.0;

// Saturates (L, R) to the output range: the limits where reached, else the value; a value that
// is not a number leaves as silence (0) rather than reaching the integer conversion.
inline Pair clampOutput(Pair x) {
    const Pair limit = splat(kOutputLimit), lowest = splat(-kOutputLimit);
    const Pair high = _mm_cmpge_pd(x, limit), low = _mm_cmple_pd(x, lowest), number = _mm_cmpord_pd(x, x);
    const Pair inside = _mm_andnot_pd(_mm_or_pd(high, low), x);
    const Pair clamped = _mm_or_pd(inside, _mm_or_pd(_mm_and_pd(high, limit), _mm_and_pd(low, lowest)));
    return _mm_and_pd(number, clamped);
}

// The chain's 16-bit input is the sample value x 2^-15; its output leaves after the clamp, at the
// 16-bit scale, truncated toward zero.
inline void readFrame(const Pcm16Io& io, int frame, double& L, double& R) {
    const short* pair = io.samples + 2 * frame;
    L = pair[0] * kInputScale;
    R = pair[1] * kInputScale;
}
// (L, R) inside the output range, both truncated toward zero at once.
inline void writeFrame(const Pcm16Io& io, int frame, Pair clamped) {
    const __m128i words = _mm_cvttpd_epi32(_mm_mul_pd(clamped, splat(kOutputScale)));
    const int packed = _mm_cvtsi128_si32(_mm_packs_epi32(words, words));
    std::memcpy(io.samples + 2 * frame, &packed, sizeof packed);
}

// Floating-point samples: taken to the 16-bit scale (x 32768) and into the chain (x 2^-15), and
// back out, the value is unchanged: both factors are powers of two and cancel exactly, so the
// samples enter and leave the chain as they are, without the 16-bit rounding and truncation. One
// channel is processed as L = R and returned as L.
template <class Sample>
inline void readFrame(const FloatIo<Sample>& io, int frame, double& L, double& R) {
    const Sample* at = io.samples + io.channels * frame;
    L = static_cast<double>(at[0]);
    R = io.channels == 1 ? L : static_cast<double>(at[1]);
}
template <class Sample>
inline void writeFrame(const FloatIo<Sample>& io, int frame, double L, double R) {
    Sample* at = io.samples + io.channels * frame;
    at[0] = static_cast<Sample>(L);
    if (io.channels != 1) at[1] = static_cast<Sample>(R);
}
template <class Sample>
inline void writeFrame(const FloatIo<Sample>& io, int frame, Pair clamped) {
    writeFrame(io, frame, lowLane(clamped), highLane(clamped));
}

inline uint8_t tenBandRoute(const GeneralParams& general) {
    if (!isOn(general.processorActive)) return 0;
    const BandStageSwitches on = readBandStageSwitches(general);
    return static_cast<uint8_t>(1 | on.dynamicEq << 1 | on.compressor << 2 | on.expander << 3 | on.limiter << 4 |
                                on.saturator << 5 | on.tenBandEq << 6);
}

inline BandStageSwitches bandStagesOf(uint8_t tenBand) {
    return {(tenBand & 2) != 0, (tenBand & 4) != 0, (tenBand & 8) != 0, (tenBand & 16) != 0, (tenBand & 32) != 0,
            (tenBand & 64) != 0};
}

// The end of the run of frames from `first` on whose entries (routes, stage bits) agree by `same`.
template <class Entry, class Same>
inline int runEnd(const Entry* entries, int first, int frames, Same same) {
    int end = first + 1;
    while (end < frames && same(entries[end], entries[first])) ++end;
    return end;
}

// The band stages run inside processBands, which records them through a pointer (null: none).
inline StageTrace* stageTraceOf(StageTrace& trace) { return &trace; }
inline StageTrace* stageTraceOf(NoStageTrace&) { return nullptr; }

inline bool sameTenBand(const FrameRoute& a, const FrameRoute& b) { return a.tenBand == b.tenBand; }
inline bool sameLowpass(const FrameRoute& a, const FrameRoute& b) { return a.lowpass == b.lowpass; }

}  // namespace

double smallNoise(EngineRandom& random) { return static_cast<double>((engineRand(random) & 255) - 128) * kNoiseStep; }

uint32_t readEngineClock(const FrameHooks& hooks) {
    return hooks.tickCount != nullptr ? hooks.tickCount() : platform::tickCountMs();
}

bool admitBlock(int bps, int nch, int srate, ProcessorState& state, const LiveParams& params, BlockStart* start) {
    const GeneralParams& general = params.general;
    start->densityGain = DbToLinear(guardedParam(loadShared(general.densityDriveDb), kDensityDriveDb.range));
    start->postGain = DbToLinear(guardedParam(loadShared(general.postAmpDb), kPostAmpDb.range));

    const FrameHooks& hooks = state.hooks;
    start->now = readEngineClock(hooks);
    if (hooks.canPoll != nullptr && hooks.canPoll() && start->now > state.lastPollTick + kPollIntervalMs) {
        hooks.poll();
        state.lastPollTick = start->now;
    }
    return bps == 16 && nch == 2 && srate == 44100 && !isOn(general.mainBypass);
}

bool idleResetDue(const ProcessorState& state, uint32_t now) {
    // A preset load sets lastProcessTick to 0 to ask for this reset. Taken literally, the
    // comparison would skip it while the tick counter is below 6,000 (a system, or a Wine
    // session, up for less than 6 s) and the first block after the load would start from stale
    // memories, so 0 always counts as a request.
    const uint32_t lastProcessTick = loadShared(state.lastProcessTick);
    return lastProcessTick == 0 || now > lastProcessTick + kIdleResetMs;
}

void beginInputSide(ProcessorState& state, const LiveParams& params, const DerivedDesign* design, bool resetDue) {
    if (design != nullptr) InstallDesign(state, *design);
    if (resetDue) IdleReset(state);
    storeShared(state.lastProcessTick, readEngineClock(state.hooks));
    prepareBlock(state.testTone);
    prepareBlock(state.stereoImage, params.stereoImage);
    prepareBlock(state.agc, params.agc);
}

void beginOutputSide(ProcessorState& state, const LiveParams& params) {
    prepareBlock(state.tenBand, params);
    prepareBlock(state.finalLimiter, params.finalLimiter);
    prepareBlock(state.finalClipper, params.finalClipper);
}

void endInputSide(ProcessorState& state, const LiveParams& params) {
    if (isOn(params.general.stereoImageActive)) finishBlock(state.stereoImage, params.stereoImage);
    if (isOn(params.general.agcActive)) finishBlock(state.agc, params.agc);
}

void endOutputSide(ProcessorState& state, const LiveParams& params, int blockFrames) {
    const double blockMeterDecay = (blockFrames / 2) * 0.00005;
    const double bandMeterDecay = blockMeterDecay * 0.1;
    if (isOn(params.general.finalClipperActive)) finishBlock(state.finalClipper, blockMeterDecay);
    if (isOn(params.general.saturatorActive)) finishBlock(state.tenBand.saturator, bandMeterDecay);
}

// Frame by frame: test tone, silence guard, input meter, the switches, and the frame's route,
// with the dither value drawn right after the frame's silence guard so rand() is called in the
// chain's order; then high-pass, stereo image, AGC and three-band equaliser, each over the frames
// that take it (no input stage draws a random number). Frames up to the first that needs the
// ten-band processor or the lowpass are marked as finishing without them (run.staged). Then the
// bank splits the frames that take the processor, over the same runs of equal switches as the
// band stages will use.
template <class Io, class Trace>
void runInputSide(const Io& io, ProcessorState& state, const LiveParams& params, EngineRandom& random,
                  RunHandoff& run, Trace& trace) {
    const GeneralParams& general = params.general;
    double inputMeter = state.inputMeter;
    int32_t silenceCount = state.silenceCount;
    const int frames = run.frames;
    run.staged = frames;
    run.anyTenBand = false;
    run.anyLowpass = false;
    // The input stages each frame takes, read with its other switches; the stages then run one
    // after the other over the run (each frame through each stage in the chain's order, as frame
    // by frame), which keeps each stage's recursion in a short loop of its own.
    enum : uint8_t { kHighpass = 1, kStereoImage = 2, kAgc = 4, kThreeBandEq = 8 };
    uint8_t inputStages[kBandRunFrames];
    uint8_t anyInputStage = 0;
    for (int f = 0; f < frames; ++f) {
        double L, R;
        readFrame(io, run.offset + f, L, R);

        trace.record("Test_Tones");
        processSample(state.testTone, random, L, R);

        if (L == 0.0 || R == 0.0) {
            ++silenceCount;
            if (silenceCount > kSilenceFramesBeforeNoise) {
                const double n = smallNoise(random);
                L += n;
                R += n;
            }
        } else {
            silenceCount = 0;
        }

        inputMeter = followPeakMeter(inputMeter, (L + R) * 0.5);

        const uint8_t stages = static_cast<uint8_t>((isOn(general.highpassActive) ? kHighpass : 0) |
                                                    (isOn(general.stereoImageActive) ? kStereoImage : 0) |
                                                    (isOn(general.agcActive) ? kAgc : 0) |
                                                    (isOn(general.threeBandEqActive) ? kThreeBandEq : 0));
        inputStages[f] = stages;
        anyInputStage = static_cast<uint8_t>(anyInputStage | stages);

        FrameRoute& r = run.route[f];
        r.tenBand = tenBandRoute(general);
        r.lowpass = isOn(general.lowpassActive);
        r.dither = isOn(general.ditherActive);
        r.ditherNoise = r.dither ? smallNoise(random) : 0.0;

        run.chain[2 * f] = L;
        run.chain[2 * f + 1] = R;
        if (run.staged == frames && (r.tenBand != 0 || r.lowpass)) run.staged = f;
        run.anyTenBand = run.anyTenBand || r.tenBand != 0;
        run.anyLowpass = run.anyLowpass || r.lowpass;
    }
    state.silenceCount = silenceCount;
    storeShared(state.inputMeter, inputMeter);

    // Each input stage over the frames that take it.
    double* chain = run.chain;
    const auto eachFrameOf = [&](uint8_t stage, const char* name, auto step) {
        if ((anyInputStage & stage) == 0) return;
        trace.record(name);
        for (int f = 0; f < frames; ++f) {
            if ((inputStages[f] & stage) != 0) step(chain[2 * f], chain[2 * f + 1]);
        }
    };
    eachFrameOf(kHighpass, "Highpass_Filter", [&](double& L, double& R) { processSample(state.highpass, L, R); });
    eachFrameOf(kStereoImage, "Stereo_Processor",
                [&](double& L, double& R) { processSample(state.stereoImage, params.stereoImage, L, R); });
    eachFrameOf(kAgc, "2_Band_AGC", [&](double& L, double& R) { processSample(state.agc, params.agc, L, R); });
    eachFrameOf(kThreeBandEq, "3_Band_EQ", [&](double& L, double& R) { processSample(state.threeBandEq, L, R); });

    for (int f = run.staged; run.anyTenBand && f < frames;) {
        const int end = runEnd(run.route, f, frames, sameTenBand);
        if (run.route[f].tenBand != 0) {
            trace.record("10_Band_Processor");
            splitBands(state.tenBand, &run.chain[2 * f], &run.bands[f], end - f);
        }
        f = end;
    }
}

// The frames before run.staged, and all frames of a run without the ten-band processor, take the
// density drive alone. The rest: the ten-band processor's stages over runs of frames with the same
// switches (frames without it take the density drive). Then final limiter and clipper, each over
// the frames that take it (its switch read frame by frame), the lowpass over runs of frames, and
// the output: post amp, dither, the output checks, the capture ring, the conversion. A stage's
// frame depends only on its own state and that frame's input, so this gives the result of running
// each frame through the whole chain alone. The run's own frames are only read (the output side
// works in state.outputPairs), so another thread's memory is not written here.
template <class Io, class Trace>
void runOutputSide(const Io& io, ProcessorState& state, const LiveParams& params, RunHandoff& run, Trace& trace) {
    const GeneralParams& general = params.general;
    const double densityGain = run.start.densityGain;
    const double postGain = run.start.postGain;
    const int frames = run.frames;
    const int banded = run.anyTenBand ? run.staged : frames;  // frames from here on go to the processor
    const double* input = run.chain;
    double* chain = state.outputPairs;
    const FrameRoute* route = run.route;
    double outputMeter = state.outputMeter;
    // Only this side writes the capture ring, so its index is read once and kept here; each
    // frame still publishes its sample and the new index.
    uint16_t captureIndex = loadShared(state.capture.writeIndex);

    // Frames [from, to) that take the density drive alone.
    const auto driveOnly = [&](int from, int to) {
        trace.record("Density_Drive");
        for (int f = from; f < to; ++f) {
            chain[2 * f] = input[2 * f] * densityGain;
            chain[2 * f + 1] = input[2 * f + 1] * densityGain;
        }
    };
    if (banded > 0) driveOnly(0, banded);
    for (int f = banded; f < frames;) {
        const int end = runEnd(route, f, frames, sameTenBand);
        if (route[f].tenBand != 0) {
            processBands(state.tenBand, bandStagesOf(route[f].tenBand), densityGain, &run.bands[f], &chain[2 * f],
                         end - f, run.offset + f == 0, stageTraceOf(trace));
        } else {
            driveOnly(f, end);
        }
        f = end;
    }

    // The final stages each frame takes, then each stage over the runs of frames that take it.
    constexpr uint8_t kFinalLimiter = 1, kFinalClipper = 2;
    uint8_t finalStages[kBandRunFrames];
    uint8_t anyFinalStage = 0;
    for (int f = 0; f < frames; ++f) {
        finalStages[f] = static_cast<uint8_t>((isOn(general.finalLimiterActive) ? kFinalLimiter : 0) |
                                              (isOn(general.finalClipperActive) ? kFinalClipper : 0));
        anyFinalStage |= finalStages[f];
    }
    const auto eachRunOf = [&](uint8_t stage, const char* name, auto process) {
        if ((anyFinalStage & stage) == 0) return;
        trace.record(name);
        const auto sameSwitch = [stage](uint8_t a, uint8_t b) { return ((a ^ b) & stage) == 0; };
        for (int f = 0; f < frames;) {
            const int end = runEnd(finalStages, f, frames, sameSwitch);
            if ((finalStages[f] & stage) != 0) process(f, end - f);
            f = end;
        }
    };
    eachRunOf(kFinalLimiter, "Final_Limiter",
              [&](int f, int n) { processFrames(state.finalLimiter, &chain[2 * f], n, run.offset + f == 0); });
    eachRunOf(kFinalClipper, "Final_Clipper",
              [&](int f, int n) { processFrames(state.finalClipper, params.finalClipper, &chain[2 * f], n); });

    for (int f = run.staged; run.anyLowpass && f < frames;) {
        const int end = runEnd(route, f, frames, sameLowpass);
        if (route[f].lowpass) {
            trace.record("Lowpass_Filter");
            processFrames(state.lowpass, &chain[2 * f], end - f);
        }
        f = end;
    }

    // (L, R) side by side: post amp, dither, the checks and the clamp on both at once.
    if (frames > 0) trace.record("Post_Amp");
    const Pair post = splat(postGain), limit = splat(kOutputLimit), lowest = splat(-kOutputLimit);
    for (int f = 0; f < frames; ++f) {
        Pair v = _mm_mul_pd(loadAdjacent(&chain[2 * f]), post);
        if (route[f].dither) {
            trace.record("Quantization_Dither");
            v = _mm_add_pd(v, splat(route[f].ditherNoise));
        }

        // x - x is 0 for a finite x, NaN for an infinite one or a NaN.
        if (_mm_movemask_pd(_mm_cmpeq_pd(_mm_sub_pd(v, v), _mm_setzero_pd())) != 3) ++state.nonFiniteFrames;
        if (_mm_movemask_pd(_mm_or_pd(_mm_cmple_pd(v, lowest), _mm_cmpge_pd(v, limit))) != 0) {
            storeShared(state.clipFlag, uint8_t{1});
        }
        const Pair clamped = clampOutput(v);

        const double mono = (lowLane(clamped) + highLane(clamped)) * 0.5;
        storeShared(state.capture.samples[captureIndex], mono);
        captureIndex = static_cast<uint16_t>(captureIndex + 1);
        storeShared(state.capture.writeIndex, captureIndex);

        writeFrame(io, run.offset + f, clamped);

        outputMeter = followPeakMeter(outputMeter, mono);
    }
    storeShared(state.outputMeter, outputMeter);
}

template void runInputSide(const Pcm16Io&, ProcessorState&, const LiveParams&, EngineRandom&, RunHandoff&,
                           NoStageTrace&);
template void runInputSide(const FloatIo<float>&, ProcessorState&, const LiveParams&, EngineRandom&, RunHandoff&,
                           NoStageTrace&);
template void runInputSide(const FloatIo<double>&, ProcessorState&, const LiveParams&, EngineRandom&, RunHandoff&,
                           NoStageTrace&);
template void runInputSide(const Pcm16Io&, ProcessorState&, const LiveParams&, EngineRandom&, RunHandoff&,
                           StageTrace&);
template void runOutputSide(const Pcm16Io&, ProcessorState&, const LiveParams&, RunHandoff&, NoStageTrace&);
template void runOutputSide(const FloatIo<float>&, ProcessorState&, const LiveParams&, RunHandoff&, NoStageTrace&);
template void runOutputSide(const FloatIo<double>&, ProcessorState&, const LiveParams&, RunHandoff&, NoStageTrace&);
template void runOutputSide(const Pcm16Io&, ProcessorState&, const LiveParams&, RunHandoff&, StageTrace&);
