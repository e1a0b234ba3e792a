// The chain table: order, switches, delays and idle resets of every stage.
#include "dsp/chain.h"

#include "dsp/filters/biquad.h"
#include "dsp/final_limiter.h"
#include "dsp/lookahead_line.h"
#include "dsp/shared_value.h"

namespace {

constexpr int kLookaheadLineDelay = kLookaheadRows - 1;     // 4,095 frames
constexpr int kFinalLimiterDelay = kLimiterRingFrames - 1;  // 4,095 frames
constexpr int kComplexClipperDelay = 32;                    // centre tap of the quadrature filter
constexpr int kThreeBandEqDelay = 3;                        // the crossover's summed output

int highpassDelay(const LiveParams&) { return kReverseCascadeDelay; }
// Single-band mode runs the detector filter beside the signal, not in its path.
int agcDelay(const LiveParams& p) { return isOn(p.agc.singleBand) ? 0 : kReverseCascadeDelay; }
int threeBandDelay(const LiveParams&) { return kThreeBandEqDelay; }
// Plain sections (the default bank) add no delay; cascaded ones are reverse-cascaded.
int bankDelay(const LiveParams& p) { return isOn(p.processor.cascadedFilters) ? kReverseCascadeDelay : 0; }
int lineDelay(const LiveParams&) { return kLookaheadLineDelay; }
// The refilters copy the bank, so they delay only when the bank is cascaded.
int saturatorDelay(const LiveParams& p) {
    return isOn(p.processor.cascadedFilters) && isOn(p.saturator.refilter) ? kReverseCascadeDelay : 0;
}
int finalLimiterDelay(const LiveParams&) { return kFinalLimiterDelay; }
int finalClipperDelay(const LiveParams& p) { return isOn(p.finalClipper.complex) ? kComplexClipperDelay : 0; }
int lowpassDelay(const LiveParams&) { return 2 * kReverseCascadeDelay; }

void resetHighpass(ProcessorState& s) { idleReset(s.highpass); }
void resetAgc(ProcessorState& s) { idleReset(s.agc); }
void resetTenBand(ProcessorState& s) { idleReset(s.tenBand); }  // both banks, both lines, dynamic-EQ gains
void resetFinalLimiter(ProcessorState& s) { idleReset(s.finalLimiter); }
void resetFinalClipper(ProcessorState& s) { idleReset(s.finalClipper); }
void resetLowpass(ProcessorState& s) { idleReset(s.lowpass); }

using G = GeneralParams;

}  // namespace

using S = ChainSide;

const ChainStage kChainStages[] = {
    {"Test_Tones", S::kInput, nullptr, false, nullptr, nullptr},
    {"Highpass_Filter", S::kInput, &G::highpassActive, false, highpassDelay, resetHighpass},
    {"Stereo_Processor", S::kInput, &G::stereoImageActive, false, nullptr, nullptr},
    {"2_Band_AGC", S::kInput, &G::agcActive, false, agcDelay, resetAgc},
    {"3_Band_EQ", S::kInput, &G::threeBandEqActive, false, threeBandDelay, nullptr},
    {"10_Band_Processor", S::kInput, &G::processorActive, false, bankDelay, resetTenBand},
    {"10_Band_Dynamic_EQ", S::kOutput, &G::dynamicEqActive, true, nullptr, nullptr},
    {"Density_Drive", S::kOutput, nullptr, false, nullptr, nullptr},
    {"10_Band_Compressor", S::kOutput, &G::compressorActive, true, lineDelay, nullptr},
    {"10_Band_Expander", S::kOutput, &G::expanderActive, true, nullptr, nullptr},
    {"10_Band_Limiter", S::kOutput, &G::limiterActive, true, lineDelay, nullptr},
    {"10_Band_Saturator", S::kOutput, &G::saturatorActive, true, saturatorDelay, nullptr},
    {"10_Band_EQ", S::kOutput, &G::tenBandEqActive, true, nullptr, nullptr},
    {"Final_Limiter", S::kOutput, &G::finalLimiterActive, false, finalLimiterDelay,
     resetFinalLimiter},
    {"Final_Clipper", S::kOutput, &G::finalClipperActive, false, finalClipperDelay,
     resetFinalClipper},
    {"Lowpass_Filter", S::kOutput, &G::lowpassActive, false, lowpassDelay, resetLowpass},
    {"Post_Amp", S::kOutput, nullptr, false, nullptr, nullptr},
    {"Quantization_Dither", S::kOutput, &G::ditherActive, false, nullptr, nullptr},
};
const int kChainStageCount = static_cast<int>(sizeof kChainStages / sizeof kChainStages[0]);

bool stageRuns(const ChainStage& stage, const LiveParams& params) {
    const GeneralParams& general = params.general;
    if (stage.insideProcessor && !isOn(general.processorActive)) return false;
    return stage.active == nullptr || isOn(general.*stage.active);
}

void IdleReset(ProcessorState& state) {
    for (int i = 0; i < kChainStageCount; ++i) {
        if (kChainStages[i].idleReset != nullptr) kChainStages[i].idleReset(state);
    }
}

int ProcessingDelayFrames(const LiveParams& params) {
    int frames = 0;
    for (int i = 0; i < kChainStageCount; ++i) {
        const ChainStage& stage = kChainStages[i];
        if (stage.delayFrames != nullptr && stageRuns(stage, params)) frames += stage.delayFrames(params);
    }
    return frames;
}
