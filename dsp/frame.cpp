// ProcessBlock: one host block through the gate, the idle reset and the chain.
#include "dsp/frame.h"

#include <cmath>

#include "dsp/chain.h"
#include "dsp/db.h"
#include "dsp/derived_parameters.h"
#include "dsp/engine_random.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"
#include "platform/platform.h"

namespace {

constexpr double kInputScale = 0.000030517578125;  // 2^-15
constexpr double kOutputScale = 32768.0;
constexpr double kNoiseStep = 1.1920928955078125e-07;  // 2^-23


// Saturates to the output range; a value that is not a number leaves as silence rather than
// reaching the integer conversion.
inline double clampOutput(double x) {
    if (x >= kOutputLimit) return kOutputLimit;
    if (x <= -kOutputLimit) return -kOutputLimit;
    if (x != x) return 0.0;
    return x;
}

inline bool isProcessedFormat(int bps, int nch, int srate) { return bps == 16 && nch == 2 && srate == 44100; }

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

// The end of the run of frames from `first` on whose routes agree by `same`.
template <class Same>
inline int runEnd(const FrameRoute* route, int first, int frames, Same same) {
    int end = first + 1;
    while (end < frames && same(route[end], route[first])) ++end;
    return end;
}

// Where a block's samples come from and go to. The chain's input is the 16-bit value x 2^-15;
// its output leaves after the clamp, at the 16-bit scale, truncated toward zero.
struct Pcm16Io {
    short* samples;
    void read(int frame, double& L, double& R) const {
        const short* pair = samples + 2 * frame;
        L = pair[0] * kInputScale;
        R = pair[1] * kInputScale;
    }
    void write(int frame, double L, double R) const {
        short* pair = samples + 2 * frame;
        pair[0] = static_cast<short>(L * kOutputScale);
        pair[1] = static_cast<short>(R * kOutputScale);
    }
};

// Floating-point samples, full scale 1.0. Taken to the 16-bit scale (x 32768) and into the chain
// (x 2^-15), and back out, the value is unchanged: both factors are powers of two and cancel
// exactly, so the samples enter and leave the chain as they are, without the 16-bit rounding and
// truncation. One channel is processed as L = R and returned as L.
template <class Sample>
struct FloatIo {
    Sample* samples;
    int channels;
    void read(int frame, double& L, double& R) const {
        const Sample* at = samples + channels * frame;
        L = static_cast<double>(at[0]);
        R = channels == 1 ? L : static_cast<double>(at[1]);
    }
    void write(int frame, double L, double R) const {
        Sample* at = samples + channels * frame;
        at[0] = static_cast<Sample>(L);
        if (channels != 1) at[1] = static_cast<Sample>(R);
    }
};

inline uint32_t readClock(const FrameHooks& hooks) {
    return hooks.tickCount != nullptr ? hooks.tickCount() : platform::tickCountMs();
}

// The gains read at block start, before the poll (which may load a preset), and the block's tick.
struct BlockStart {
    double densityGain;
    double postGain;
    uint32_t now;
};

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

// Reads the gains, polls, gates the format and the master bypass; true when the block is to be
// processed.
static bool admitBlock(int bps, int nch, int srate, ProcessorState& state, const LiveParams& params,
                       BlockStart* start) {
    const GeneralParams& general = params.general;
    start->densityGain = DbToLinear(guardedParam(loadShared(general.densityDriveDb), kDensityDriveDb.range));
    start->postGain = DbToLinear(guardedParam(loadShared(general.postAmpDb), kPostAmpDb.range));

    const FrameHooks& hooks = state.hooks;
    start->now = readClock(hooks);
    if (hooks.canPoll != nullptr && hooks.canPoll() && start->now > state.lastPollTick + kPollIntervalMs) {
        hooks.poll();
        state.lastPollTick = start->now;
    }
    return isProcessedFormat(bps, nch, srate) && !isOn(general.mainBypass);
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

template <class Io>
void runBlock(const Io& io, int frames, const BlockStart& start, ProcessorState& state, const LiveParams& params,
              EngineRandom& random) {
    const GeneralParams& general = params.general;
    const double densityGain = start.densityGain;
    const double postGain = start.postGain;
    const uint32_t now = start.now;

    applyPendingDesigns(state);
    // A preset load sets lastProcessTick to 0 to ask for this reset. Taken literally, the
    // comparison would skip it while the tick counter is below 6,000 (a system, or a Wine
    // session, up for less than 6 s) and the first block after the load would start from stale
    // memories, so 0 always counts as a request.
    const uint32_t lastProcessTick = loadShared(state.lastProcessTick);
    if (lastProcessTick == 0 || now > lastProcessTick + kIdleResetMs) IdleReset(state);
    storeShared(state.lastProcessTick, readClock(state.hooks));

    prepareBlock(state.testTone);
    prepareBlock(state.stereoImage, params.stereoImage);
    prepareBlock(state.agc, params.agc);
    prepareBlock(state.tenBand, params);
    prepareBlock(state.finalLimiter, params.finalLimiter);
    prepareBlock(state.finalClipper, params.finalClipper);
    const double blockMeterDecay = (frames / 2) * 0.00005;
    const double bandMeterDecay = blockMeterDecay * 0.1;

    double inputMeter = state.inputMeter;
    double outputMeter = state.outputMeter;
    // Only this thread writes the capture ring, so its index is read once and kept here; each
    // frame still publishes its sample and the new index.
    uint16_t captureIndex = loadShared(state.capture.writeIndex);
    // The frames go through the chain kBandRunFrames at a time, one stretch of stages after the
    // other: the input side frame by frame, the ten-band processor stage by stage over runs of
    // frames, final limiter and clipper frame by frame, the lowpass over runs, the output side
    // frame by frame. A stage's frame depends only on its own state and that frame's input, so
    // this gives the result of running each frame through the whole chain alone: every stage sees
    // its frames in order and reads its switches once per frame. The dither value is drawn in the
    // input pass, right after the frame's silence guard, so rand() is called in the same order.
    // Until a frame needs the ten-band processor or the lowpass, frames finish the chain in the
    // input pass itself (all of them when neither runs), and the later passes start there.
    for (int runStart = 0; runStart < frames; runStart += kBandRunFrames) {
        const int runFrames = frames - runStart < kBandRunFrames ? frames - runStart : kBandRunFrames;
        double chain[2 * kBandRunFrames];  // (L, R) of each frame between the passes
        FrameRoute route[kBandRunFrames];
        int staged = runFrames;  // the first frame that goes through the later passes
        bool anyTenBand = false;
        bool anyLowpass = false;

        // Final limiter and clipper of one frame.
        auto finalStages = [&](int f, double& L, double& R) {
            if (isOn(general.finalLimiterActive)) processSample(state.finalLimiter, L, R, runStart + f == 0);
            if (isOn(general.finalClipperActive)) processSample(state.finalClipper, params.finalClipper, L, R);
        };

        // Post amp, dither, the output checks and the conversion of one frame.
        auto emit = [&](int f, double L, double R) {
            L = L * postGain;
            R = R * postGain;
            if (route[f].dither) {
                const double n = route[f].ditherNoise;
                L = L + n;
                R = R + n;
            }

            if (!std::isfinite(L) || !std::isfinite(R)) ++state.nonFiniteFrames;
            if (L <= -kOutputLimit || L >= kOutputLimit || R <= -kOutputLimit || R >= kOutputLimit) {
                storeShared(state.clipFlag, uint8_t{1});
            }
            L = clampOutput(L);
            R = clampOutput(R);

            const double mono = (L + R) * 0.5;
            storeShared(state.capture.samples[captureIndex], mono);
            captureIndex = static_cast<uint16_t>(captureIndex + 1);
            storeShared(state.capture.writeIndex, captureIndex);

            io.write(runStart + f, L, R);

            outputMeter = followPeakMeter(outputMeter, mono);
        };

        // Input side, frame by frame.
        for (int f = 0; f < runFrames; ++f) {
            double L, R;
            io.read(runStart + f, L, R);

            processSample(state.testTone, random, L, R);

            if (L == 0.0 || R == 0.0) {
                ++state.silenceCount;
                if (state.silenceCount > kSilenceFramesBeforeNoise) {
                    const double n = smallNoise(random);
                    L += n;
                    R += n;
                }
            } else {
                state.silenceCount = 0;
            }

            inputMeter = followPeakMeter(inputMeter, (L + R) * 0.5);

            if (isOn(general.highpassActive)) processSample(state.highpass, L, R);
            if (isOn(general.stereoImageActive)) processSample(state.stereoImage, params.stereoImage, L, R);
            if (isOn(general.agcActive)) processSample(state.agc, params.agc, L, R);
            if (isOn(general.threeBandEqActive)) processSample(state.threeBandEq, L, R);

            FrameRoute& r = route[f];
            r.tenBand = tenBandRoute(general);
            r.lowpass = isOn(general.lowpassActive);
            r.dither = isOn(general.ditherActive);
            r.ditherNoise = r.dither ? smallNoise(random) : 0.0;

            if (staged == runFrames && r.tenBand == 0 && !r.lowpass) {
                L = L * densityGain;
                R = R * densityGain;
                finalStages(f, L, R);
                emit(f, L, R);
                continue;
            }
            if (staged == runFrames) staged = f;
            chain[2 * f] = L;
            chain[2 * f + 1] = R;
            anyTenBand = anyTenBand || r.tenBand != 0;
            anyLowpass = anyLowpass || r.lowpass;
        }

        // The ten-band processor over runs of frames with the same switches; frames without it
        // take the density drive alone (in the next pass when no staged frame has it).
        for (int f = staged; anyTenBand && f < runFrames;) {
            const int end = runEnd(route, f, runFrames, [](const FrameRoute& a, const FrameRoute& b) {
                return a.tenBand == b.tenBand;
            });
            if (route[f].tenBand != 0) {
                processFrames(state.tenBand, bandStagesOf(route[f].tenBand), densityGain, &chain[2 * f], end - f,
                              runStart + f == 0);
            } else {
                for (int g = f; g < end; ++g) {
                    chain[2 * g] = chain[2 * g] * densityGain;
                    chain[2 * g + 1] = chain[2 * g + 1] * densityGain;
                }
            }
            f = end;
        }

        // Final limiter and clipper frame by frame; without the lowpass in any staged frame the
        // frame goes on to the output at once, else the lowpass runs over runs of frames first.
        for (int f = staged; f < runFrames; ++f) {
            double L = chain[2 * f];
            double R = chain[2 * f + 1];
            if (!anyTenBand) {
                L = L * densityGain;
                R = R * densityGain;
            }
            finalStages(f, L, R);
            if (anyLowpass) {
                chain[2 * f] = L;
                chain[2 * f + 1] = R;
            } else {
                emit(f, L, R);
            }
        }
        if (anyLowpass) {
            for (int f = staged; f < runFrames;) {
                const int end = runEnd(route, f, runFrames, [](const FrameRoute& a, const FrameRoute& b) {
                    return a.lowpass == b.lowpass;
                });
                if (route[f].lowpass) processFrames(state.lowpass, &chain[2 * f], end - f);
                f = end;
            }
            for (int f = staged; f < runFrames; ++f) emit(f, chain[2 * f], chain[2 * f + 1]);
        }
    }
    storeShared(state.inputMeter, inputMeter);
    storeShared(state.outputMeter, outputMeter);

    if (isOn(general.stereoImageActive)) finishBlock(state.stereoImage, params.stereoImage);
    if (isOn(general.agcActive)) finishBlock(state.agc, params.agc);
    if (isOn(general.finalClipperActive)) finishBlock(state.finalClipper, blockMeterDecay);
    if (isOn(general.saturatorActive)) finishBlock(state.tenBand.saturator, bandMeterDecay);
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
