// The engine's tables: windows, console stages and parameters (see engine_model.h).
#include "params/engine_model.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "params/slider_math.h"

namespace model {

namespace {

using L = LiveParams;
using S = ProcessorState;

// The ten-band windows' first slider row (thresholds, saturation levels, equaliser bands) skips
// 1003 and keeps 1004/1005 for labels, hence the irregular start.
constexpr int32_t kFirstRowSliders[] = {1001, 1002, 1006, 1008, 1010, 1012, 1014, 1016, 1018, 1020};
constexpr int32_t kFirstRowLabels[] = {1004, 1005, 1007, 1009, 1011, 1013, 1015, 1017, 1019, 1021};

constexpr Steps kGainDb = {1, 6.0, 0.1, 3.0};
constexpr Steps kWideGainDb = {1, 12.0, 0.1, 3.0};  // ticks every 12 dB
constexpr Steps kRatio = {1, 1.0, 0.1, 1.0};
constexpr Steps kLookaheadMs = {0, 45.0, 1.0, 10.0};
constexpr Steps kShortTimeMs = {0, 200.0, 1.0, 10.0};  // times up to 1 s
constexpr Steps kLongTimeMs = {0, 1000.0, 1.0, 10.0};  // times up to 5 s
constexpr Steps kDetectMs = {0, 125.0, 1.0, 10.0};
constexpr Steps kAgcDetectMs = {0, 100.0, 1.0, 10.0};
constexpr Steps kAgcTimeMs = {0, 1000.0, 1.0, 100.0};
constexpr Steps kAgcPercent = {0, 10.0, 1.0, 10.0};
constexpr Steps kPercent = {0, 25.0, 1.0, 10.0};
constexpr Steps kEnhanceDb = {0, 6.0, 1.0, 3.0};
// Logarithmic sliders step in positions: ticks every octave, arrow keys one position.
constexpr Steps logSlider(double pageSteps) { return {kLogarithmic, kLogSliderStepsPerOctave, 1.0, pageSteps}; }

constexpr int32_t V = VerticalSlider;
constexpr int32_t H = HorizontalSlider;
constexpr int32_t C = CheckBox;
constexpr int32_t M = Meter;
constexpr Unit dB = Unit::kDecibel;
constexpr Unit ms = Unit::kMillisecond;
constexpr Unit pct = Unit::kPercent;
constexpr Unit Hz = Unit::kHertz;
constexpr Storage kNowhere = Storage::kNowhere;

}  // namespace

const WindowRow kWindows[] = {
    {"Main", "Drelvant", 101, true, 0},
    {"Advanced", "Drelvant - Advanced Settings", 121, true, 1048},
    {"Highpass_Filter", "Highpass Filter", 117, true, 1039},
    {"Stereo_Processor", "Drelvant - Stereo Image Processor", 118, true, 1041},
    {"2_Band_AGC", "Drelvant - 2 Band AGC / Equalizer", 109, true, 1021},
    {"3_Band_EQ", "Drelvant - 3 Band Equalizer", 108, true, 1019},
    {"10_Band_Processor", "Drelvant - 10 Band Processor", 111, true, 1024},
    {"10_Band_Dynamic_EQ", "Drelvant - 10 Band Dynamic Equalizer", 122, true, 1053},
    {"10_Band_Compressor", "Drelvant - 10 Band Compressor", 110, true, 1017},
    {"10_Band_Expander", "Drelvant - 10 Band Expander", 112, true, 1026},
    {"10_Band_Limiter", "Drelvant - 10 Band Limiter", 113, true, 1028},
    {"10_Band_Saturator", "Drelvant - 10 Band Saturator / Clipper", 120, true, 1046},
    {"10_Band_EQ", "Drelvant - 10 Band Graphic Equalizer", 103, true, 1002},
    {"Final_Limiter", "Drelvant - Final Wideband Limiter", 115, true, 1034},
    {"Final_Clipper", "Drelvant - Final Clipper", 116, true, 1036},
    {"Lowpass_Filter", "Lowpass Filter", 114, true, 1032},
    {"Test_Tones", "Test Tone Gen", 104, false, 1011},
    {"SpectrumAnalyzer", "Drelvant - Spectrum Analyzer", 106, false, 1012},
    {"Oscilloscope", "Drelvant - Oscilloscope", 105, false, 1013},
    {"Freq_Response", "Drelvant - Frequency Response Plot", 107, false, 1015},
    {"Documentation", "Drelvant - Documentation", 119, false, 1037},
};
const int kWindowCount = static_cast<int>(sizeof kWindows / sizeof kWindows[0]);

const StageRow kStages[] = {
    {"Highpass_Filter", "General.HighpassFilter.Active", "Highpass_Filter", "Highpass Filter", false},
    {"Stereo_Processor", "General.StereoImageProc.Active", "Stereo_Processor", "Stereo Image Processor", false},
    {"2_Band_AGC", "General.AGC.Active", "2_Band_AGC", "2-Band AGC / EQ", false},
    {"3_Band_EQ", "General.3BandEQ.Active", "3_Band_EQ", "3-Band Equalizer", false},
    {"10_Band_Processor", "General.Processor.Active", "10_Band_Processor", "10-Band Processor", false},
    {"10_Band_Dynamic_EQ", "General.DynamicEQ.Active", "10_Band_Dynamic_EQ", "- Dynamic EQ", true},
    {"10_Band_Compressor", "General.Compressor.Active", "10_Band_Compressor", "- Compressor", true},
    {"10_Band_Expander", "General.Expander.Active", "10_Band_Expander", "- Expander", true},
    {"10_Band_Limiter", "General.Limiter.Active", "10_Band_Limiter", "- Limiter", true},
    {"10_Band_Saturator", "General.Saturator.Active", "10_Band_Saturator", "- Saturator / Clipper", true},
    {"10_Band_EQ", "General.10BandEQ.Active", "10_Band_EQ", "- Equalizer", true},
    {"Final_Limiter", "General.FinalLimiter.Active", "Final_Limiter", "Final Wideband Limiter", false},
    {"Final_Clipper", "General.FinalClipper.Active", "Final_Clipper", "Final Clipper", false},
    {"Lowpass_Filter", "General.LowpassFilter.Active", "Lowpass_Filter", "Lowpass Filter", false},
    {"Quantization_Dither", "General.QuantizationDither.Active", nullptr, "Quantization Dither", false},
};
const int kStageCount = static_cast<int>(sizeof kStages / sizeof kStages[0]);

// clang-format off
const ParamRow kParams[] = {
    // ---- Main: the console's switches, gains and peak meters ----
    {.window = "Main", .kind = C, .key = "General.MainBypass", .control = one(1001),
     .value = [](L& p, S&, int) -> void* { return &p.general.mainBypass; }},
    {.window = "Main", .kind = C, .key = "General.HighpassFilter.Active", .control = one(1038),
     .value = [](L& p, S&, int) -> void* { return &p.general.highpassActive; }, .lv2Symbol = "highpass", .lv2Name = "Highpass filter"},
    {.window = "Main", .kind = C, .key = "General.StereoImageProc.Active", .control = one(1040),
     .value = [](L& p, S&, int) -> void* { return &p.general.stereoImageActive; }, .lv2Symbol = "stereo_image", .lv2Name = "Stereo image"},
    {.window = "Main", .kind = C, .key = "General.AGC.Active", .control = one(1020),
     .value = [](L& p, S&, int) -> void* { return &p.general.agcActive; }, .lv2Symbol = "agc", .lv2Name = "AGC"},
    {.window = "Main", .kind = C, .key = "General.3BandEQ.Active", .control = one(1018),
     .value = [](L& p, S&, int) -> void* { return &p.general.threeBandEqActive; }, .lv2Symbol = "eq3", .lv2Name = "3-band EQ"},
    {.window = "Main", .kind = C, .key = "General.Processor.Active", .control = one(1022),
     .value = [](L& p, S&, int) -> void* { return &p.general.processorActive; }, .lv2Symbol = "processor", .lv2Name = "10-band processor"},
    {.window = "Main", .kind = C, .key = "General.DynamicEQ.Active", .control = one(1052),
     .value = [](L& p, S&, int) -> void* { return &p.general.dynamicEqActive; }, .lv2Symbol = "dynamic_eq", .lv2Name = "Dynamic EQ"},
    {.window = "Main", .kind = C, .key = "General.Compressor.Active", .control = one(1016),
     .value = [](L& p, S&, int) -> void* { return &p.general.compressorActive; }, .lv2Symbol = "compressor", .lv2Name = "Compressor"},
    {.window = "Main", .kind = C, .key = "General.Expander.Active", .control = one(1025),
     .value = [](L& p, S&, int) -> void* { return &p.general.expanderActive; }, .lv2Symbol = "expander", .lv2Name = "Expander"},
    {.window = "Main", .kind = C, .key = "General.Limiter.Active", .control = one(1027),
     .value = [](L& p, S&, int) -> void* { return &p.general.limiterActive; }, .lv2Symbol = "limiter", .lv2Name = "Band limiter"},
    {.window = "Main", .kind = C, .key = "General.Saturator.Active", .control = one(1045),
     .value = [](L& p, S&, int) -> void* { return &p.general.saturatorActive; }, .lv2Symbol = "saturator", .lv2Name = "Saturator"},
    {.window = "Main", .kind = C, .key = "General.10BandEQ.Active", .control = one(1000),
     .value = [](L& p, S&, int) -> void* { return &p.general.tenBandEqActive; }, .lv2Symbol = "eq10", .lv2Name = "10-band EQ"},
    {.window = "Main", .kind = C, .key = "General.FinalLimiter.Active", .control = one(1033),
     .value = [](L& p, S&, int) -> void* { return &p.general.finalLimiterActive; }, .lv2Symbol = "final_limiter", .lv2Name = "Final limiter"},
    {.window = "Main", .kind = C, .key = "General.FinalClipper.Active", .control = one(1035),
     .value = [](L& p, S&, int) -> void* { return &p.general.finalClipperActive; }, .lv2Symbol = "final_clipper", .lv2Name = "Final clipper"},
    {.window = "Main", .kind = C, .key = "General.LowpassFilter.Active", .control = one(1029),
     .value = [](L& p, S&, int) -> void* { return &p.general.lowpassActive; }, .lv2Symbol = "lowpass", .lv2Name = "Lowpass filter"},
    {.window = "Main", .kind = C, .key = "General.QuantizationDither.Active", .switchDefault = 1.0,
     .control = one(1014), .value = [](L& p, S&, int) -> void* { return &p.general.ditherActive; },
     .lv2Symbol = "dither", .lv2Name = "Quantization dither"},
    {.window = "Main", .kind = H, .guard = &kDensityDriveDb, .unit = dB, .steps = kGainDb, .control = one(1050),
     .label = one(1049), .value = [](L& p, S&, int) -> void* { return &p.general.densityDriveDb; },
     .lv2Symbol = "density_drive", .lv2Name = "Density drive"},
    {.window = "Main", .kind = H, .guard = &kPostAmpDb, .unit = dB, .steps = kGainDb, .control = one(1043),
     .label = one(1044), .value = [](L& p, S&, int) -> void* { return &p.general.postAmpDb; },
     .lv2Symbol = "post_amp", .lv2Name = "Post amp"},
    {.window = "Main", .kind = M, .meterMax = 100.0, .control = one(1006), .label = one(1030),
     .value = [](L&, S& s, int) -> void* { return &s.inputMeter; }, .storage = kNowhere},
    {.window = "Main", .kind = M, .meterMax = 100.0, .control = one(1007), .label = one(1031),
     .value = [](L&, S& s, int) -> void* { return &s.outputMeter; }, .storage = kNowhere},

    // ---- Advanced: detector time constants ----
    {.window = "Advanced", .kind = V, .guard = kProcessorDetectMs, .perMemberGuard = true, .count = kBandCount,
     .unit = ms, .steps = kDetectMs, .control = run(1085, 2), .label = run(1086, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.processor.detectMs[b]; }},
    {.window = "Advanced", .kind = V, .guard = &kAgcDetectLowBandMs, .unit = ms, .steps = kAgcDetectMs,
     .control = one(1044), .label = one(1045), .value = [](L& p, S&, int) -> void* { return &p.agc.detectLowMs; }},
    {.window = "Advanced", .kind = V, .guard = &kAgcDetectHighBandMs, .unit = ms, .steps = kAgcDetectMs,
     .control = one(1048), .label = one(1049), .value = [](L& p, S&, int) -> void* { return &p.agc.detectHighMs; }},
    {.window = "Advanced", .kind = V, .guard = &kFinalLimiterDetectMs, .unit = ms, .steps = kDetectMs,
     .control = one(1059), .label = one(1060),
     .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.detectMs; }},

    // ---- highpass filter ----
    {.window = "Highpass_Filter", .kind = V, .guard = &kHighpassCutoffHz, .unit = Hz, .steps = logSlider(100.0),
     .control = one(1055), .label = one(1056),
     .value = [](L& p, S&, int) -> void* { return &p.passFilters.highpassCutoffHz; }},

    // ---- stereo image processor ----
    {.window = "Stereo_Processor", .kind = C, .key = "StereoImageProc.Mono", .control = one(1107),
     .value = [](L& p, S&, int) -> void* { return &p.stereoImage.mono; }},
    {.window = "Stereo_Processor", .kind = V, .guard = &kStereoAmountPercent, .unit = pct, .steps = kPercent,
     .control = one(1108), .label = one(1109), .value = [](L& p, S&, int) -> void* { return &p.stereoImage.amountPercent; }},
    {.window = "Stereo_Processor", .kind = V, .guard = &kStereoDetect1Ms, .unit = ms, .steps = {0, 100.0, 1.0, 10.0},
     .control = one(1110), .label = one(1111), .value = [](L& p, S&, int) -> void* { return &p.stereoImage.detect1Ms; }},
    {.window = "Stereo_Processor", .kind = V, .guard = &kStereoDetect2Ms, .unit = ms, .steps = {0, 500.0, 1.0, 10.0},
     .control = one(1063), .label = one(1064), .value = [](L& p, S&, int) -> void* { return &p.stereoImage.detect2Ms; }},
    {.window = "Stereo_Processor", .kind = V, .guard = &kStereoMaxEnhanceDb, .unit = dB, .steps = kEnhanceDb,
     .control = one(1116), .label = one(1117), .value = [](L& p, S&, int) -> void* { return &p.stereoImage.maxEnhanceDb; }},
    {.window = "Stereo_Processor", .kind = M, .meterMax = 18.0, .control = one(1112), .label = one(1113),
     .value = [](L&, S& s, int) -> void* { return &s.stereoImage.meterDb; }, .storage = kNowhere},

    // ---- two-band AGC ----
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcLevelPercent, .unit = pct, .steps = kAgcPercent,
     .control = one(1046), .label = one(1047), .value = [](L& p, S&, int) -> void* { return &p.agc.levelPercent; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcMaxGainDb, .unit = dB, .steps = {0, 10.0, 1.0, 3.0},
     .control = one(1042), .label = one(1043), .value = [](L& p, S&, int) -> void* { return &p.agc.maxGainDb; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcCrossoverHz, .unit = Hz, .steps = logSlider(50.0),
     .control = one(1040), .label = one(1041), .value = [](L& p, S&, int) -> void* { return &p.agc.crossoverHz; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcBandLinkPercent, .unit = pct, .steps = kAgcPercent,
     .control = one(1048), .label = one(1049), .value = [](L& p, S&, int) -> void* { return &p.agc.bandLinkPercent; }},
    {.window = "2_Band_AGC", .kind = M, .meterMax = 40.0, .control = one(1053), .label = one(1052),
     .value = [](L&, S& s, int) -> void* { return &s.agc.meterLowDb; }, .storage = kNowhere},
    {.window = "2_Band_AGC", .kind = M, .meterMax = 40.0, .control = one(1056), .label = one(1057),
     .value = [](L&, S& s, int) -> void* { return &s.agc.meterHighDb; }, .storage = kNowhere},
    {.window = "2_Band_AGC", .kind = M, .meterMax = 9.0, .control = one(1062), .label = one(1063),
     .value = [](L&, S& s, int) -> void* { return &s.agc.meterReductionDb; }, .storage = kNowhere},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcAttackLowBandMs, .unit = ms, .steps = kAgcTimeMs,
     .control = one(1114), .label = one(1118), .value = [](L& p, S&, int) -> void* { return &p.agc.attackLowMs; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcReleaseLowBandMs, .unit = ms, .steps = kAgcTimeMs,
     .control = one(1115), .label = one(1119), .value = [](L& p, S&, int) -> void* { return &p.agc.releaseLowMs; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcGainLowBandDb, .unit = dB, .steps = kGainDb,
     .control = one(1058), .label = one(1059), .value = [](L& p, S&, int) -> void* { return &p.agc.gainLowDb; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcAttackHighBandMs, .unit = ms, .steps = kAgcTimeMs,
     .control = one(1116), .label = one(1065), .value = [](L& p, S&, int) -> void* { return &p.agc.attackHighMs; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcReleaseHighBandMs, .unit = ms, .steps = kAgcTimeMs,
     .control = one(1117), .label = one(1067), .value = [](L& p, S&, int) -> void* { return &p.agc.releaseHighMs; }},
    {.window = "2_Band_AGC", .kind = V, .guard = &kAgcGainHighBandDb, .unit = dB, .steps = kGainDb,
     .control = one(1060), .label = one(1061), .value = [](L& p, S&, int) -> void* { return &p.agc.gainHighDb; }},
    {.window = "2_Band_AGC", .kind = C, .key = "AGC.SingleBand", .control = one(1120),
     .value = [](L& p, S&, int) -> void* { return &p.agc.singleBand; }},

    // ---- three-band equaliser ----
    {.window = "3_Band_EQ", .kind = V, .guard = kThreeBandEqBandDb, .perMemberGuard = true, .count = 3, .unit = dB,
     .steps = kGainDb, .control = listed(kFirstRowSliders), .label = listed(kFirstRowLabels),
     .value = [](L& p, S&, int b) -> void* { return &p.threeBandEq.bandDb[b]; }},
    {.window = "3_Band_EQ", .kind = C, .key = "3BandEQ.Band%d.Mute", .count = 3, .control = run(1022, 1),
     .value = [](L& p, S&, int b) -> void* { return &p.threeBandEq.bandMute[b]; }},
    {.window = "3_Band_EQ", .kind = V, .guard = &kThreeBandCrossoverLowMidHz, .unit = Hz, .steps = logSlider(50.0),
     .control = one(1031), .label = one(1032),
     .value = [](L& p, S&, int) -> void* { return &p.threeBandEq.crossoverLowMidHz; }},
    {.window = "3_Band_EQ", .kind = V, .guard = &kThreeBandCrossoverMidHighHz, .unit = Hz, .steps = logSlider(50.0),
     .control = one(1033), .label = one(1034),
     .value = [](L& p, S&, int) -> void* { return &p.threeBandEq.crossoverMidHighHz; }},

    // ---- ten-band processor: the bank's switches and the band meters ----
    {.window = "10_Band_Processor", .kind = C, .key = "Processor.CascadedFilters", .control = one(1037),
     .value = [](L& p, S&, int) -> void* { return &p.processor.cascadedFilters; }},
    {.window = "10_Band_Processor", .kind = C, .key = "Processor.NarrowBandwidth", .control = one(1038),
     .value = [](L& p, S&, int) -> void* { return &p.processor.narrowBandwidth; }},
    {.window = "10_Band_Processor", .kind = M, .count = kBandCount, .meterMax = 24.0, .control = run(1054, 1),
     .value = [](L&, S& s, int b) -> void* { return &s.tenBand.compressor.meter[b]; }, .storage = kNowhere},
    {.window = "10_Band_Processor", .kind = M, .count = kBandCount, .meterMax = 24.0, .control = run(1064, 1),
     .value = [](L&, S& s, int b) -> void* { return &s.tenBand.expander.meter[b]; }, .storage = kNowhere},
    {.window = "10_Band_Processor", .kind = M, .count = kBandCount, .meterMax = 24.0, .control = run(1074, 1),
     .value = [](L&, S& s, int b) -> void* { return &s.tenBand.limiter.meter[b]; }, .storage = kNowhere},
    {.window = "10_Band_Processor", .kind = M, .count = kBandCount, .meterMax = 12.0, .control = run(1084, 1),
     .value = [](L&, S& s, int b) -> void* { return &s.tenBand.saturator.meter[b]; }, .storage = kNowhere},

    // ---- ten-band dynamic equaliser ----
    {.window = "10_Band_Dynamic_EQ", .kind = V, .guard = &kDynamicEqSpeedMs, .unit = ms, .steps = {0, 1000.0, 1.0, 100.0},
     .control = one(1135), .label = one(1136), .value = [](L& p, S&, int) -> void* { return &p.dynamicEq.speedMs; }},
    {.window = "10_Band_Dynamic_EQ", .kind = V, .guard = &kDynamicEqAmountPercent, .unit = pct, .steps = kPercent,
     .control = one(1108), .label = one(1109), .value = [](L& p, S&, int) -> void* { return &p.dynamicEq.amountPercent; }},
    {.window = "10_Band_Dynamic_EQ", .kind = V, .guard = &kDynamicEqMaxEnhanceDb, .unit = dB, .steps = kEnhanceDb,
     .control = one(1116), .label = one(1117), .value = [](L& p, S&, int) -> void* { return &p.dynamicEq.maxEnhanceDb; }},
    {.window = "10_Band_Dynamic_EQ", .kind = M, .count = kBandCount, .meterMin = -12.0, .meterMax = 12.0,
     .control = run(1137, 1), .value = [](L&, S& s, int b) -> void* { return &s.tenBand.dynamicEq.meter[b]; },
     .storage = kNowhere},

    // ---- ten-band compressor ----
    {.window = "10_Band_Compressor", .kind = V, .guard = &kCompressorGainDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = run(1085, 2), .label = run(1086, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.compressor.gainDb[b]; }},
    {.window = "10_Band_Compressor", .kind = V, .guard = &kCompressorRatio, .count = kBandCount, .unit = Unit::kRatio,
     .steps = kRatio, .control = run(1106, 2), .label = run(1107, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.compressor.ratio[b]; }},
    {.window = "10_Band_Compressor", .kind = V, .guard = &kCompressorThresholdDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = listed(kFirstRowSliders), .label = listed(kFirstRowLabels),
     .value = [](L& p, S&, int b) -> void* { return &p.compressor.thresholdDb[b]; }},
    {.window = "10_Band_Compressor", .kind = V, .guard = &kCompressorLookaheadMs, .count = kBandCount, .unit = ms,
     .steps = kLookaheadMs, .control = run(1065, 2), .label = run(1066, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.compressor.lookaheadMs[b]; }},
    {.window = "10_Band_Compressor", .kind = V, .guard = &kCompressorAttackMs, .count = kBandCount, .unit = ms,
     .steps = kShortTimeMs, .control = run(1025, 2), .label = run(1026, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.compressor.attackMs[b]; }},
    {.window = "10_Band_Compressor", .kind = V, .guard = &kCompressorReleaseMs, .count = kBandCount, .unit = ms,
     .steps = kLongTimeMs, .control = run(1045, 2), .label = run(1046, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.compressor.releaseMs[b]; }},
    {.window = "10_Band_Compressor", .kind = C, .key = "Compressor.PeakDetect", .control = one(1105),
     .value = [](L& p, S&, int) -> void* { return &p.compressor.peakDetect; }},

    // ---- ten-band expander ----
    {.window = "10_Band_Expander", .kind = V, .guard = &kExpanderRatio, .count = kBandCount, .unit = Unit::kRatio,
     .steps = kRatio, .control = run(1085, 2), .label = run(1086, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.expander.ratio[b]; }},
    {.window = "10_Band_Expander", .kind = V, .guard = &kExpanderThresholdDb, .count = kBandCount, .unit = dB,
     .steps = {1, 10.0, 0.1, 3.0}, .control = listed(kFirstRowSliders), .label = listed(kFirstRowLabels),
     .value = [](L& p, S&, int b) -> void* { return &p.expander.thresholdDb[b]; }},
    {.window = "10_Band_Expander", .kind = V, .guard = &kExpanderAttackMs, .count = kBandCount, .unit = ms,
     .steps = kShortTimeMs, .control = run(1025, 2), .label = run(1026, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.expander.attackMs[b]; }},
    {.window = "10_Band_Expander", .kind = V, .guard = &kExpanderReleaseMs, .count = kBandCount, .unit = ms,
     .steps = kShortTimeMs, .control = run(1045, 2), .label = run(1046, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.expander.releaseMs[b]; }},

    // ---- ten-band limiter ----
    {.window = "10_Band_Limiter", .kind = V, .guard = &kLimiterGainDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = run(1085, 2), .label = run(1086, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.limiter.gainDb[b]; }},
    {.window = "10_Band_Limiter", .kind = V, .guard = &kLimiterThresholdDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = listed(kFirstRowSliders), .label = listed(kFirstRowLabels),
     .value = [](L& p, S&, int b) -> void* { return &p.limiter.thresholdDb[b]; }},
    {.window = "10_Band_Limiter", .kind = V, .guard = &kLimiterLookaheadMs, .count = kBandCount, .unit = ms,
     .steps = kLookaheadMs, .control = run(1065, 2), .label = run(1066, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.limiter.lookaheadMs[b]; }},
    {.window = "10_Band_Limiter", .kind = V, .guard = &kLimiterAttackMs, .count = kBandCount, .unit = ms,
     .steps = kShortTimeMs, .control = run(1025, 2), .label = run(1026, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.limiter.attackMs[b]; }},
    {.window = "10_Band_Limiter", .kind = V, .guard = &kLimiterReleaseMs, .count = kBandCount, .unit = ms,
     .steps = kLongTimeMs, .control = run(1045, 2), .label = run(1046, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.limiter.releaseMs[b]; }},
    {.window = "10_Band_Limiter", .kind = C, .key = "Limiter.PeakDetect", .control = one(1105),
     .value = [](L& p, S&, int) -> void* { return &p.limiter.peakDetect; }},

    // ---- ten-band saturator ----
    {.window = "10_Band_Saturator", .kind = V, .guard = &kSaturatorLevelPercent, .count = kBandCount, .unit = pct,
     .steps = kPercent, .control = listed(kFirstRowSliders), .label = listed(kFirstRowLabels),
     .value = [](L& p, S&, int b) -> void* { return &p.saturator.levelPercent[b]; }},
    {.window = "10_Band_Saturator", .kind = V, .guard = &kSaturatorGainDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = run(1085, 2), .label = run(1086, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.saturator.gainDb[b]; }},
    {.window = "10_Band_Saturator", .kind = V, .guard = &kSaturatorClipDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = run(1105, 2), .label = run(1106, 2),
     .value = [](L& p, S&, int b) -> void* { return &p.saturator.clipDb[b]; }},
    {.window = "10_Band_Saturator", .kind = C, .key = "Saturator.Clip%d.Enable", .count = kBandCount,
     .control = run(1125, 1), .value = [](L& p, S&, int b) -> void* { return &p.saturator.clipEnable[b]; }},
    {.window = "10_Band_Saturator", .kind = C, .key = "Saturator.Refilter", .control = one(1076),
     .value = [](L& p, S&, int) -> void* { return &p.saturator.refilter; }},

    // ---- ten-band equaliser ----
    {.window = "10_Band_EQ", .kind = V, .guard = &kTenBandEqPreampDb, .unit = dB, .steps = kGainDb,
     .control = one(1000), .label = one(1003), .value = [](L& p, S&, int) -> void* { return &p.tenBandEq.preampDb; }},
    {.window = "10_Band_EQ", .kind = V, .guard = &kTenBandEqBandDb, .count = kBandCount, .unit = dB,
     .steps = kGainDb, .control = listed(kFirstRowSliders), .label = listed(kFirstRowLabels),
     .value = [](L& p, S&, int b) -> void* { return &p.tenBandEq.bandDb[b]; }},
    {.window = "10_Band_EQ", .kind = C, .key = "10BandEQ.Band%d.Mute", .count = kBandCount, .control = run(1022, 1),
     .value = [](L& p, S&, int b) -> void* { return &p.tenBandEq.bandMute[b]; }},

    // ---- final limiter ----
    {.window = "Final_Limiter", .kind = V, .guard = &kFinalLimiterDriveDb, .unit = dB, .steps = kWideGainDb,
     .control = one(1003), .label = one(1022), .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.driveDb; }},
    {.window = "Final_Limiter", .kind = V, .guard = &kFinalLimiterThresholdDb, .unit = dB, .steps = kWideGainDb,
     .control = one(1057), .label = one(1058),
     .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.thresholdDb; }},
    {.window = "Final_Limiter", .kind = V, .guard = &kFinalLimiterLookaheadMs, .unit = ms, .steps = kLookaheadMs,
     .control = one(1061), .label = one(1062),
     .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.lookaheadMs; }},
    {.window = "Final_Limiter", .kind = V, .guard = &kFinalLimiterAttackMs, .unit = ms, .steps = kShortTimeMs,
     .control = one(1063), .label = one(1064), .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.attackMs; }},
    {.window = "Final_Limiter", .kind = V, .guard = &kFinalLimiterReleaseMs, .unit = ms, .steps = kLongTimeMs,
     .control = one(1065), .label = one(1066),
     .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.releaseMs; }},
    {.window = "Final_Limiter", .kind = M, .meterMax = 12.0, .control = one(1067), .label = one(1068),
     .value = [](L&, S& s, int) -> void* { return &s.finalLimiter.meterDb; }, .storage = kNowhere},
    {.window = "Final_Limiter", .kind = C, .key = "FinalLimiter.PeakDetect", .control = one(1105),
     .value = [](L& p, S&, int) -> void* { return &p.finalLimiter.peakDetect; }},

    // ---- final clipper ----
    {.window = "Final_Clipper", .kind = C, .key = "FinalClipper.Complex", .control = one(1106),
     .value = [](L& p, S&, int) -> void* { return &p.finalClipper.complex; }},
    {.window = "Final_Clipper", .kind = V, .guard = &kFinalClipperDriveDb, .unit = dB, .steps = kWideGainDb,
     .control = one(1003), .label = one(1022), .value = [](L& p, S&, int) -> void* { return &p.finalClipper.driveDb; }},
    {.window = "Final_Clipper", .kind = V, .guard = &kFinalClipperThresholdDb, .unit = dB, .steps = kGainDb,
     .control = one(1057), .label = one(1058),
     .value = [](L& p, S&, int) -> void* { return &p.finalClipper.thresholdDb; }},
    {.window = "Final_Clipper", .kind = M, .meterMax = 12.0, .control = one(1069), .label = one(1070),
     .value = [](L&, S& s, int) -> void* { return &s.finalClipper.meterDb; }, .storage = kNowhere},

    // ---- lowpass filter ----
    {.window = "Lowpass_Filter", .kind = V, .guard = &kLowpassCutoffHz, .unit = Hz, .steps = logSlider(100.0),
     .control = one(1055), .label = one(1056),
     .value = [](L& p, S&, int) -> void* { return &p.passFilters.lowpassCutoffHz; }},

    // ---- test tone generator: working controls, never stored ----
    {.window = "Test_Tones", .kind = V, .guard = &kTestToneLevelDb, .unit = dB, .steps = kWideGainDb,
     .control = one(1027), .label = one(1028), .value = [](L&, S& s, int) -> void* { return &s.testTone.levelDb; },
     .storage = kNowhere},
    {.window = "Test_Tones", .kind = V, .guard = &kTestToneFrequencyHz, .unit = Hz, .steps = logSlider(100.0),
     .control = one(1001), .label = one(1029), .value = [](L&, S& s, int) -> void* { return &s.testTone.frequencyHz; },
     .storage = kNowhere},
    {.window = "Test_Tones", .kind = C, .key = "", .control = one(1024),
     .value = [](L&, S& s, int) -> void* { return &s.testTone.muteInput; }, .storage = kNowhere},
    {.window = "Test_Tones", .kind = C, .key = "", .control = one(1025),
     .value = [](L&, S& s, int) -> void* { return &s.testTone.sine; }, .storage = kNowhere},
    {.window = "Test_Tones", .kind = C, .key = "", .control = one(1026),
     .value = [](L&, S& s, int) -> void* { return &s.testTone.noise; }, .storage = kNowhere},
};
// clang-format on
const int kParamRowCount = static_cast<int>(sizeof kParams / sizeof kParams[0]);

const char* unitText(Unit unit) {
    switch (unit) {
        case Unit::kDecibel: return "dB";
        case Unit::kMillisecond: return "ms";
        case Unit::kPercent: return "%";
        case Unit::kHertz: return "Hz";
        case Unit::kRatio: return "ratio";
        case Unit::kNone: break;
    }
    return "";
}

const WindowRow* findWindow(const char* name) {
    for (const WindowRow& window : kWindows) {
        if (std::strcmp(window.name, name) == 0) return &window;
    }
    return nullptr;
}

ExpandedParam expand(const ParamRow& row, int member) {
    ExpandedParam p{};
    p.row = &row;
    p.member = member;
    p.controlId = row.control.at(member);
    p.labelId = row.label.at(member);
    if (row.guard != nullptr) {
        const RegisteredParam& guard = row.perMemberGuard ? row.guard[member] : row.guard[0];
        if (row.count > 1 && !row.perMemberGuard) {
            std::snprintf(p.key, sizeof p.key, guard.key, member + 1);
        } else {
            std::snprintf(p.key, sizeof p.key, "%s", guard.key);
        }
        p.minShown = guard.range.min;
        p.maxShown = guard.range.max;
        p.defaultValue = guard.defaultValue;
        p.minValue = guard.range.min;
        p.maxValue = guard.range.max;
        if (row.steps.decimals == kLogarithmic) {
            // 1/100-octave positions from 20 Hz to the top frequency, to the nearest position.
            p.minValue = 0.0;
            p.maxValue = std::round(kLogSliderStepsPerOctave * std::log2(guard.range.max / kLogSliderBaseHz));
        }
    } else {
        if (row.key != nullptr && row.count > 1) {
            std::snprintf(p.key, sizeof p.key, row.key, member + 1);
        } else if (row.key != nullptr) {
            std::snprintf(p.key, sizeof p.key, "%s", row.key);
        }  // meters have no key
        if (row.kind == Meter) {
            p.minValue = p.minShown = row.meterMin;
            p.maxValue = p.maxShown = row.meterMax;
        } else {
            p.maxShown = 1.0;  // a check box: 0 or 1
            p.defaultValue = row.switchDefault;
        }
    }
    return p;
}

namespace {
int countIf(bool (*wanted)(const ExpandedParam&)) {
    int n = 0;
    for (const ParamRow& row : kParams) {
        for (int member = 0; member < row.count; ++member) n += wanted(expand(row, member)) ? 1 : 0;
    }
    return n;
}
}  // namespace

int parameterCount() {
    return countIf([](const ExpandedParam&) { return true; });
}
int keyedCount() {
    return countIf([](const ExpandedParam& p) { return p.key[0] != '\0'; });
}
int presetKeyCount() {
    return countIf([](const ExpandedParam& p) { return p.key[0] != '\0' && p.row->storage == Storage::kPreset; });
}

}  // namespace model
