// ProcessBlock: one host block through the gate, the idle reset and the chain.
#include "dsp/frame.h"

#include <cmath>

#include "dsp/db.h"
#include "dsp/derived_parameters.h"
#include "dsp/engine_random.h"
#include "dsp/param_guard.h"
#include "dsp/shared_value.h"
#include "platform/platform.h"

EngineRandom engineRandom = {0};

namespace {

constexpr ParamRange kDensityDriveRange = dbRange(-12, 36);
constexpr ParamRange kPostAmpRange = dbRange(-24, 24);
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

}  // namespace

double smallNoise() { return static_cast<double>((engineRand() & 255) - 128) * kNoiseStep; }

double followPeakMeter(double meter, double mono) {
    double m = std::fabs(mono) * 100;
    if (m < meter) m = meter - 0.01;
    return m < 0 ? 0.0 : m;
}

void IdleReset(ProcessorState& state) {
    idleReset(state.highpass);
    idleReset(state.agc);
    idleReset(state.tenBand);  // band filters, refilters, lookahead lines, dynamic-EQ gains
    idleReset(state.lowpass);
    idleReset(state.finalLimiter);
    idleReset(state.finalClipper);
}

int ProcessBlock(short* samples, int numsamples, int bps, int nch, int srate, ProcessorState& state,
                 const LiveParams& params) {
    const GeneralParams& general = params.general;
    const double densityGain = DbToLinear(guardedParam(loadShared(general.densityDriveDb), kDensityDriveRange));
    const double postGain = DbToLinear(guardedParam(loadShared(general.postAmpDb), kPostAmpRange));

    const uint32_t now = platform::tickCountMs();
    const FrameHooks& hooks = state.hooks;
    if (hooks.canPoll != nullptr && hooks.canPoll() && now > state.lastPollTick + kPollIntervalMs) {
        hooks.poll();
        state.lastPollTick = now;
    }

    if (!isProcessedFormat(bps, nch, srate) || isOn(general.mainBypass)) return numsamples;
    // A block without a buffer is processed as an empty one: the idle test still runs.
    const int frames = samples != nullptr && numsamples > 0 ? numsamples : 0;

    applyPendingDesigns(state);
    // A preset load sets lastProcessTick to 0 to ask for this reset. Taken literally, the
    // comparison would skip it while the tick counter is below 6,000 (a system, or a Wine
    // session, up for less than 6 s) and the first block after the load would start from stale
    // memories, so 0 always counts as a request.
    const uint32_t lastProcessTick = loadShared(state.lastProcessTick);
    if (lastProcessTick == 0 || now > lastProcessTick + kIdleResetMs) IdleReset(state);
    storeShared(state.lastProcessTick, platform::tickCountMs());

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
    for (int frame = 0; frame < frames; ++frame) {
        short* pair = samples + 2 * frame;
        double L = pair[0] * kInputScale;
        double R = pair[1] * kInputScale;

        processSample(state.testTone, L, R);

        if (L == 0.0 || R == 0.0) {
            ++state.silenceCount;
            if (state.silenceCount > kSilenceFramesBeforeNoise) {
                const double n = smallNoise();
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
        if (isOn(general.processorActive)) {
            processSample(state.tenBand, params, densityGain, L, R, frame == 0);
        } else {
            L = L * densityGain;
            R = R * densityGain;
        }
        if (isOn(general.finalLimiterActive)) processSample(state.finalLimiter, L, R, frame == 0);
        if (isOn(general.finalClipperActive)) processSample(state.finalClipper, params.finalClipper, L, R);
        if (isOn(general.lowpassActive)) processSample(state.lowpass, L, R);

        L = L * postGain;
        R = R * postGain;
        if (isOn(general.ditherActive)) {
            const double n = smallNoise();
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
        const uint16_t index = loadShared(state.capture.writeIndex);
        storeShared(state.capture.samples[index], mono);
        storeShared(state.capture.writeIndex, static_cast<uint16_t>(index + 1));

        pair[0] = static_cast<short>(L * kOutputScale);
        pair[1] = static_cast<short>(R * kOutputScale);

        outputMeter = followPeakMeter(outputMeter, mono);
    }
    storeShared(state.inputMeter, inputMeter);
    storeShared(state.outputMeter, outputMeter);

    if (isOn(general.stereoImageActive)) finishBlock(state.stereoImage, params.stereoImage);
    if (isOn(general.agcActive)) finishBlock(state.agc, params.agc);
    if (isOn(general.finalClipperActive)) finishBlock(state.finalClipper, blockMeterDecay);
    if (isOn(general.saturatorActive)) finishSaturatorBlock(state.tenBand, bandMeterDecay);
    return numsamples;
}
