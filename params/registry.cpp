// The registry: every window with its saved place and every parameter with its control, key and range.
#include "params/registry.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsp/param_ranges.h"
#include "params/settings_text.h"
#include "params/slider_math.h"
#include "params/ui_seam.h"

namespace {

constexpr double kCascadeStep = 20.0;
constexpr double kShowThreshold = 0.5;
constexpr int32_t kLowestStoredCoordinate = -1000;  // exclusive bounds of a position worth keeping
constexpr int32_t kHighestStoredCoordinate = 8000;
constexpr int kWindowKeySize = 68;

using BandIds = std::array<int32_t, kBandCount>;

// Control ids of a row of ten: first, first + step, ...
constexpr BandIds idRow(int32_t first, int32_t step) {
    BandIds ids{};
    for (int band = 0; band < kBandCount; ++band) ids[band] = first + step * band;
    return ids;
}

// The ten-band windows' first slider row (thresholds, saturation levels, equaliser bands) skips
// 1003 and keeps 1004/1005 for labels, hence the irregular start.
constexpr BandIds kFirstRowSliders = {1001, 1002, 1006, 1008, 1010, 1012, 1014, 1016, 1018, 1020};
constexpr BandIds kFirstRowLabels = {1004, 1005, 1007, 1009, 1011, 1013, 1015, 1017, 1019, 1021};

// Resolution and steps of a slider, in value units; its key, range and default come from its row
// of the engine's table (dsp/param_ranges.h).
struct SliderSteps {
    int32_t decimals;
    double tickSpacing, lineStep, pageStep;
};

constexpr SliderSteps kGainDbSteps = {1, 6.0, 0.1, 3.0};
constexpr SliderSteps kWideGainDbSteps = {1, 12.0, 0.1, 3.0};  // ticks every 12 dB
constexpr SliderSteps kRatioSteps = {1, 1.0, 0.1, 1.0};
constexpr SliderSteps kLookaheadMsSteps = {0, 45.0, 1.0, 10.0};
constexpr SliderSteps kShortTimeMsSteps = {0, 200.0, 1.0, 10.0};  // times up to 1 s
constexpr SliderSteps kLongTimeMsSteps = {0, 1000.0, 1.0, 10.0};  // times up to 5 s
constexpr SliderSteps kDetectMsSteps = {0, 125.0, 1.0, 10.0};
constexpr SliderSteps kPercentSteps = {0, 25.0, 1.0, 10.0};

// Logarithmic sliders start at the bottom of their scale.
static_assert(kHighpassCutoffHz.range.min == kLogSliderBaseHz && kLowpassCutoffHz.range.min == kLogSliderBaseHz &&
                  kAgcCrossoverHz.range.min == kLogSliderBaseHz &&
                  kThreeBandCrossoverLowMidHz.range.min == kLogSliderBaseHz &&
                  kThreeBandCrossoverMidHighHz.range.min == kLogSliderBaseHz &&
                  kTestToneFrequencyHz.range.min == kLogSliderBaseHz,
              "frequency sliders start at 20 Hz");

double clampToCoordinate(double value) {
    if (value >= 2147483647.0) return 2147483647.0;
    if (value <= -2147483648.0) return -2147483648.0;
    return std::trunc(value);
}

void windowKey(char* key, const char* windowName, const char* field) {
    std::snprintf(key, kWindowKeySize, "Window.%s.%s", windowName, field);
}

void copyText(char* destination, std::size_t size, const char* source) {
    std::snprintf(destination, size, "%s", source != nullptr ? source : "");
}

void registerSlider(WindowEntry* window, int32_t kind, int32_t controlId, int32_t labelId, const SliderSteps& steps,
                    const RegisteredParam& row, const char* key, double* value) {
    RegisterParam(window, kind, steps.decimals, controlId, labelId, row.range.min, row.range.max, steps.tickSpacing,
                  steps.lineStep, steps.pageStep, value, key, row.defaultValue);
}

void slider(WindowEntry* window, int32_t controlId, int32_t labelId, const SliderSteps& steps,
            const RegisteredParam& row, double* value) {
    registerSlider(window, VerticalSlider, controlId, labelId, steps, row, row.key, value);
}

void horizontalSlider(WindowEntry* window, int32_t controlId, int32_t labelId, const SliderSteps& steps,
                      const RegisteredParam& row, double* value) {
    registerSlider(window, HorizontalSlider, controlId, labelId, steps, row, row.key, value);
}

// Logarithmic frequency slider: maxValue is the number of 1/100-octave steps from 20 Hz to the
// row's top frequency, to the nearest step (the three-band crossovers' 7241 Hz is 7240.77 Hz on the
// scale); the other range fields are not used by the arithmetic and hold the usual octave steps.
// The default stays in Hz.
void frequencySlider(WindowEntry* window, int32_t controlId, int32_t labelId, double pageSteps,
                     const RegisteredParam& row, double* value) {
    const double steps = std::round(kLogSliderStepsPerOctave * std::log2(row.range.max / kLogSliderBaseHz));
    RegisterParam(window, VerticalSlider, -1, controlId, labelId, 0.0, steps, kLogSliderStepsPerOctave, 1.0, pageSteps,
                  value, row.key, row.defaultValue);
}

void checkBox(WindowEntry* window, int32_t controlId, uint8_t* value, const char* key, double defaultValue = 0.0) {
    RegisterParam(window, CheckBox, 0, controlId, 0, 0.0, 0.0, 0.0, 0.0, 0.0, value, key, defaultValue);
}

void meter(WindowEntry* window, int32_t controlId, int32_t labelId, double minValue, double maxValue, double* value) {
    RegisterParam(window, Meter, 0, controlId, labelId, minValue, maxValue, 0.0, 0.0, 0.0, value, "", 0.0);
}

// One family of ten band sliders, band 1 first; the row's key takes the band number.
void sliderFamily(WindowEntry* window, const RegisteredParam& row, const BandIds& controls, const BandIds& labels,
                  const SliderSteps& steps, double* values) {
    for (int band = 0; band < kBandCount; ++band) {
        char key[sizeof ParamEntry::key];
        std::snprintf(key, sizeof key, row.key, band + 1);
        registerSlider(window, VerticalSlider, controls[band], labels[band], steps, row, key, &values[band]);
    }
}

void checkBoxFamily(WindowEntry* window, const char* keyFormat, const BandIds& controls, uint8_t* values) {
    for (int band = 0; band < kBandCount; ++band) {
        char key[sizeof ParamEntry::key];
        std::snprintf(key, sizeof key, keyFormat, band + 1);
        checkBox(window, controls[band], &values[band], key);
    }
}

void meterRow(WindowEntry* window, int32_t firstControl, double minValue, double maxValue, double* values) {
    for (int band = 0; band < kBandCount; ++band) meter(window, firstControl + band, 0, minValue, maxValue, &values[band]);
}

// The registry being built and the settings text the windows' places are read from.
struct Registrar {
    Registry& registry;
    const SettingsText& text;
};

WindowEntry* window(Registrar& r, const char* name, int32_t templateId, bool marksSettingsChanged) {
    return RegisterWindow(r.registry, r.text, name, templateId, marksSettingsChanged);
}

void registerMain(Registrar& r, LiveParams& p, ProcessorState& state) {
    GeneralParams& g = p.general;
    WindowEntry* w = window(r, "Main", 101, true);
    checkBox(w, 1001, &g.mainBypass, "General.MainBypass");
    checkBox(w, 1038, &g.highpassActive, "General.HighpassFilter.Active");
    checkBox(w, 1040, &g.stereoImageActive, "General.StereoImageProc.Active");
    checkBox(w, 1020, &g.agcActive, "General.AGC.Active");
    checkBox(w, 1018, &g.threeBandEqActive, "General.3BandEQ.Active");
    checkBox(w, 1022, &g.processorActive, "General.Processor.Active");
    checkBox(w, 1052, &g.dynamicEqActive, "General.DynamicEQ.Active");
    checkBox(w, 1016, &g.compressorActive, "General.Compressor.Active");
    checkBox(w, 1025, &g.expanderActive, "General.Expander.Active");
    checkBox(w, 1027, &g.limiterActive, "General.Limiter.Active");
    checkBox(w, 1045, &g.saturatorActive, "General.Saturator.Active");
    checkBox(w, 1000, &g.tenBandEqActive, "General.10BandEQ.Active");
    checkBox(w, 1033, &g.finalLimiterActive, "General.FinalLimiter.Active");
    checkBox(w, 1035, &g.finalClipperActive, "General.FinalClipper.Active");
    checkBox(w, 1029, &g.lowpassActive, "General.LowpassFilter.Active");
    checkBox(w, 1014, &g.ditherActive, "General.QuantizationDither.Active", 1.0);
    horizontalSlider(w, 1050, 1049, kGainDbSteps, kDensityDriveDb, &g.densityDriveDb);
    horizontalSlider(w, 1043, 1044, kGainDbSteps, kPostAmpDb, &g.postAmpDb);
    meter(w, 1006, 1030, 0.0, 100.0, &state.inputMeter);
    meter(w, 1007, 1031, 0.0, 100.0, &state.outputMeter);
}

void registerAdvanced(Registrar& r, LiveParams& p) {
    constexpr SliderSteps kAgcDetectMsSteps = {0, 100.0, 1.0, 10.0};
    WindowEntry* w = window(r, "Advanced", 121, true);
    for (int band = 0; band < kBandCount; ++band) {
        const int32_t control = 1085 + 2 * band;
        slider(w, control, control + 1, kDetectMsSteps, kProcessorDetectMs[band], &p.processor.detectMs[band]);
    }
    slider(w, 1044, 1045, kAgcDetectMsSteps, kAgcDetectLowBandMs, &p.agc.detectLowMs);
    slider(w, 1048, 1049, kAgcDetectMsSteps, kAgcDetectHighBandMs, &p.agc.detectHighMs);
    slider(w, 1059, 1060, kDetectMsSteps, kFinalLimiterDetectMs, &p.finalLimiter.detectMs);
}

void registerStereo(Registrar& r, LiveParams& p, ProcessorState& state) {
    StereoImageParams& s = p.stereoImage;
    WindowEntry* w = window(r, "Stereo_Processor", 118, true);
    checkBox(w, 1107, &s.mono, "StereoImageProc.Mono");
    slider(w, 1108, 1109, kPercentSteps, kStereoAmountPercent, &s.amountPercent);
    slider(w, 1110, 1111, {0, 100.0, 1.0, 10.0}, kStereoDetect1Ms, &s.detect1Ms);
    slider(w, 1063, 1064, {0, 500.0, 1.0, 10.0}, kStereoDetect2Ms, &s.detect2Ms);
    slider(w, 1116, 1117, {0, 6.0, 1.0, 3.0}, kStereoMaxEnhanceDb, &s.maxEnhanceDb);
    meter(w, 1112, 1113, 0.0, 18.0, &state.stereoImage.meterDb);
}

void registerAgc(Registrar& r, LiveParams& p, ProcessorState& state) {
    constexpr SliderSteps kAgcTimeMsSteps = {0, 1000.0, 1.0, 100.0};
    constexpr SliderSteps kAgcPercentSteps = {0, 10.0, 1.0, 10.0};
    AgcParams& a = p.agc;
    WindowEntry* w = window(r, "2_Band_AGC", 109, true);
    slider(w, 1046, 1047, kAgcPercentSteps, kAgcLevelPercent, &a.levelPercent);
    slider(w, 1042, 1043, {0, 10.0, 1.0, 3.0}, kAgcMaxGainDb, &a.maxGainDb);
    frequencySlider(w, 1040, 1041, 50.0, kAgcCrossoverHz, &a.crossoverHz);
    slider(w, 1048, 1049, kAgcPercentSteps, kAgcBandLinkPercent, &a.bandLinkPercent);
    meter(w, 1053, 1052, 0.0, 40.0, &state.agc.meterLowDb);
    meter(w, 1056, 1057, 0.0, 40.0, &state.agc.meterHighDb);
    meter(w, 1062, 1063, 0.0, 9.0, &state.agc.meterReductionDb);
    slider(w, 1114, 1118, kAgcTimeMsSteps, kAgcAttackLowBandMs, &a.attackLowMs);
    slider(w, 1115, 1119, kAgcTimeMsSteps, kAgcReleaseLowBandMs, &a.releaseLowMs);
    slider(w, 1058, 1059, kGainDbSteps, kAgcGainLowBandDb, &a.gainLowDb);
    slider(w, 1116, 1065, kAgcTimeMsSteps, kAgcAttackHighBandMs, &a.attackHighMs);
    slider(w, 1117, 1067, kAgcTimeMsSteps, kAgcReleaseHighBandMs, &a.releaseHighMs);
    slider(w, 1060, 1061, kGainDbSteps, kAgcGainHighBandDb, &a.gainHighDb);
    checkBox(w, 1120, &a.singleBand, "AGC.SingleBand");
}

void registerThreeBandEq(Registrar& r, LiveParams& p) {
    ThreeBandEqParams& e = p.threeBandEq;
    WindowEntry* w = window(r, "3_Band_EQ", 108, true);
    slider(w, 1001, 1004, kGainDbSteps, kThreeBandEqBandDb[0], &e.bandDb[0]);
    slider(w, 1002, 1005, kGainDbSteps, kThreeBandEqBandDb[1], &e.bandDb[1]);
    slider(w, 1006, 1007, kGainDbSteps, kThreeBandEqBandDb[2], &e.bandDb[2]);
    checkBox(w, 1022, &e.bandMute[0], "3BandEQ.Band1.Mute");
    checkBox(w, 1023, &e.bandMute[1], "3BandEQ.Band2.Mute");
    checkBox(w, 1024, &e.bandMute[2], "3BandEQ.Band3.Mute");
    frequencySlider(w, 1031, 1032, 50.0, kThreeBandCrossoverLowMidHz, &e.crossoverLowMidHz);
    frequencySlider(w, 1033, 1034, 50.0, kThreeBandCrossoverMidHighHz, &e.crossoverMidHighHz);
}

void registerProcessor(Registrar& r, LiveParams& p, ProcessorState& state) {
    constexpr double kReductionRangeDb = 24.0;
    constexpr double kClipRangeDb = 12.0;
    TenBandProcessor& bands = state.tenBand;
    WindowEntry* w = window(r, "10_Band_Processor", 111, true);
    checkBox(w, 1037, &p.processor.cascadedFilters, "Processor.CascadedFilters");
    checkBox(w, 1038, &p.processor.narrowBandwidth, "Processor.NarrowBandwidth");
    meterRow(w, 1054, 0.0, kReductionRangeDb, bands.compressor.meter);
    meterRow(w, 1064, 0.0, kReductionRangeDb, bands.expander.meter);
    meterRow(w, 1074, 0.0, kReductionRangeDb, bands.limiter.meter);
    meterRow(w, 1084, 0.0, kClipRangeDb, bands.saturator.meter);
}

void registerDynamicEq(Registrar& r, LiveParams& p, ProcessorState& state) {
    DynamicEqParams& d = p.dynamicEq;
    WindowEntry* w = window(r, "10_Band_Dynamic_EQ", 122, true);
    slider(w, 1135, 1136, {0, 1000.0, 1.0, 100.0}, kDynamicEqSpeedMs, &d.speedMs);
    slider(w, 1108, 1109, kPercentSteps, kDynamicEqAmountPercent, &d.amountPercent);
    slider(w, 1116, 1117, {0, 6.0, 1.0, 3.0}, kDynamicEqMaxEnhanceDb, &d.maxEnhanceDb);
    meterRow(w, 1137, -12.0, 12.0, state.tenBand.dynamicEq.meter);
}

void registerCompressor(Registrar& r, LiveParams& p) {
    CompressorParams& c = p.compressor;
    WindowEntry* w = window(r, "10_Band_Compressor", 110, true);
    sliderFamily(w, kCompressorGainDb, idRow(1085, 2), idRow(1086, 2), kGainDbSteps, c.gainDb);
    sliderFamily(w, kCompressorRatio, idRow(1106, 2), idRow(1107, 2), kRatioSteps, c.ratio);
    sliderFamily(w, kCompressorThresholdDb, kFirstRowSliders, kFirstRowLabels, kGainDbSteps, c.thresholdDb);
    sliderFamily(w, kCompressorLookaheadMs, idRow(1065, 2), idRow(1066, 2), kLookaheadMsSteps, c.lookaheadMs);
    sliderFamily(w, kCompressorAttackMs, idRow(1025, 2), idRow(1026, 2), kShortTimeMsSteps, c.attackMs);
    sliderFamily(w, kCompressorReleaseMs, idRow(1045, 2), idRow(1046, 2), kLongTimeMsSteps, c.releaseMs);
    checkBox(w, 1105, &c.peakDetect, "Compressor.PeakDetect");
}

void registerExpander(Registrar& r, LiveParams& p) {
    ExpanderParams& e = p.expander;
    WindowEntry* w = window(r, "10_Band_Expander", 112, true);
    sliderFamily(w, kExpanderRatio, idRow(1085, 2), idRow(1086, 2), kRatioSteps, e.ratio);
    sliderFamily(w, kExpanderThresholdDb, kFirstRowSliders, kFirstRowLabels, {1, 10.0, 0.1, 3.0}, e.thresholdDb);
    sliderFamily(w, kExpanderAttackMs, idRow(1025, 2), idRow(1026, 2), kShortTimeMsSteps, e.attackMs);
    sliderFamily(w, kExpanderReleaseMs, idRow(1045, 2), idRow(1046, 2), kShortTimeMsSteps, e.releaseMs);
}

void registerLimiter(Registrar& r, LiveParams& p) {
    LimiterParams& l = p.limiter;
    WindowEntry* w = window(r, "10_Band_Limiter", 113, true);
    sliderFamily(w, kLimiterGainDb, idRow(1085, 2), idRow(1086, 2), kGainDbSteps, l.gainDb);
    sliderFamily(w, kLimiterThresholdDb, kFirstRowSliders, kFirstRowLabels, kGainDbSteps, l.thresholdDb);
    sliderFamily(w, kLimiterLookaheadMs, idRow(1065, 2), idRow(1066, 2), kLookaheadMsSteps, l.lookaheadMs);
    sliderFamily(w, kLimiterAttackMs, idRow(1025, 2), idRow(1026, 2), kShortTimeMsSteps, l.attackMs);
    sliderFamily(w, kLimiterReleaseMs, idRow(1045, 2), idRow(1046, 2), kLongTimeMsSteps, l.releaseMs);
    checkBox(w, 1105, &l.peakDetect, "Limiter.PeakDetect");
}

void registerSaturator(Registrar& r, LiveParams& p) {
    SaturatorParams& s = p.saturator;
    WindowEntry* w = window(r, "10_Band_Saturator", 120, true);
    sliderFamily(w, kSaturatorLevelPercent, kFirstRowSliders, kFirstRowLabels, kPercentSteps, s.levelPercent);
    sliderFamily(w, kSaturatorGainDb, idRow(1085, 2), idRow(1086, 2), kGainDbSteps, s.gainDb);
    sliderFamily(w, kSaturatorClipDb, idRow(1105, 2), idRow(1106, 2), kGainDbSteps, s.clipDb);
    checkBoxFamily(w, "Saturator.Clip%d.Enable", idRow(1125, 1), s.clipEnable);
    checkBox(w, 1076, &s.refilter, "Saturator.Refilter");
}

void registerTenBandEq(Registrar& r, LiveParams& p) {
    TenBandEqParams& e = p.tenBandEq;
    WindowEntry* w = window(r, "10_Band_EQ", 103, true);
    slider(w, 1000, 1003, kGainDbSteps, kTenBandEqPreampDb, &e.preampDb);
    sliderFamily(w, kTenBandEqBandDb, kFirstRowSliders, kFirstRowLabels, kGainDbSteps, e.bandDb);
    checkBoxFamily(w, "10BandEQ.Band%d.Mute", idRow(1022, 1), e.bandMute);
}

void registerFinalLimiter(Registrar& r, LiveParams& p, ProcessorState& state) {
    FinalLimiterParams& l = p.finalLimiter;
    WindowEntry* w = window(r, "Final_Limiter", 115, true);
    slider(w, 1003, 1022, kWideGainDbSteps, kFinalLimiterDriveDb, &l.driveDb);
    slider(w, 1057, 1058, kWideGainDbSteps, kFinalLimiterThresholdDb, &l.thresholdDb);
    slider(w, 1061, 1062, kLookaheadMsSteps, kFinalLimiterLookaheadMs, &l.lookaheadMs);
    slider(w, 1063, 1064, kShortTimeMsSteps, kFinalLimiterAttackMs, &l.attackMs);
    slider(w, 1065, 1066, kLongTimeMsSteps, kFinalLimiterReleaseMs, &l.releaseMs);
    meter(w, 1067, 1068, 0.0, 12.0, &state.finalLimiter.meterDb);
    checkBox(w, 1105, &l.peakDetect, "FinalLimiter.PeakDetect");
}

void registerFinalClipper(Registrar& r, LiveParams& p, ProcessorState& state) {
    FinalClipperParams& c = p.finalClipper;
    WindowEntry* w = window(r, "Final_Clipper", 116, true);
    checkBox(w, 1106, &c.complex, "FinalClipper.Complex");
    slider(w, 1003, 1022, kWideGainDbSteps, kFinalClipperDriveDb, &c.driveDb);
    slider(w, 1057, 1058, kGainDbSteps, kFinalClipperThresholdDb, &c.thresholdDb);
    meter(w, 1069, 1070, 0.0, 12.0, &state.finalClipper.meterDb);
}

void registerTestTones(Registrar& r, ProcessorState& state) {
    TestToneGenerator& tone = state.testTone;
    WindowEntry* w = window(r, "Test_Tones", 104, false);
    slider(w, 1027, 1028, kWideGainDbSteps, kTestToneLevelDb, &tone.levelDb);
    frequencySlider(w, 1001, 1029, 100.0, kTestToneFrequencyHz, &tone.frequencyHz);
    checkBox(w, 1024, &tone.muteInput, "");
    checkBox(w, 1025, &tone.sine, "");
    checkBox(w, 1026, &tone.noise, "");
}

void releaseParams(WindowEntry& entry) {
    ParamEntry* param = entry.params;
    while (param != nullptr) {
        ParamEntry* next = param->next;
        delete param;
        param = next;
    }
    entry.params = nullptr;
}

}  // namespace

WindowEntry* RegisterWindow(Registry& registry, const SettingsText& text, const char* name, int32_t templateId,
                            bool marksSettingsChanged) {
    WindowEntry* entry = new (std::nothrow) WindowEntry{};
    if (entry == nullptr) return nullptr;  // out of memory: the window simply does not exist
    copyText(entry->name, sizeof entry->name, name);
    entry->templateId = templateId;
    entry->dialogProc = registry.dialogProc;
    entry->marksSettingsChanged = marksSettingsChanged;

    char key[kWindowKeySize];
    windowKey(key, entry->name, "Show");
    entry->visible = GetNumber(text, key, 0.0) > kShowThreshold;
    windowKey(key, entry->name, "X");
    entry->x = static_cast<int32_t>(clampToCoordinate(GetNumber(text, key, registry.cascadePosition)));
    windowKey(key, entry->name, "Y");
    entry->y = static_cast<int32_t>(clampToCoordinate(GetNumber(text, key, registry.cascadePosition)));
    registry.cascadePosition += kCascadeStep;

    WindowEntry** tail = &registry.windows;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = entry;
    return entry;
}

ParamEntry* RegisterParam(WindowEntry* window, int32_t kind, int32_t decimals, int32_t controlId, int32_t labelId,
                          double minValue, double maxValue, double tickSpacing, double lineStep, double pageStep,
                          void* value, const char* key, double defaultValue) {
    if (window == nullptr) return nullptr;
    ParamEntry* param = new (std::nothrow) ParamEntry{};
    if (param == nullptr) return nullptr;
    param->kind = kind;
    param->controlId = controlId;
    param->labelId = labelId;
    param->decimals = decimals;
    param->minValue = minValue;
    param->maxValue = maxValue;
    param->tickSpacing = tickSpacing;
    param->lineStep = lineStep;
    param->pageStep = pageStep;
    param->value = value;
    copyText(param->key, sizeof param->key, key);
    param->defaultValue = defaultValue;

    ParamEntry** tail = &window->params;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = param;
    return param;
}

int32_t TemplateIdOf(const Registry& registry, void* hwnd) {
    if (hwnd == nullptr) return 0;  // a closed window has no handle; none matches "no window"
    for (WindowEntry* entry = registry.windows; entry != nullptr; entry = entry->next) {
        if (entry->hwnd == hwnd) return entry->templateId;
    }
    return 0;
}

WindowEntry* FindWindowByTemplate(const Registry& registry, int32_t templateId) {
    for (WindowEntry* entry = registry.windows; entry != nullptr; entry = entry->next) {
        if (entry->templateId == templateId) return entry;
    }
    return nullptr;
}

void RegisterAllWindows(Registry& registry, const SettingsText& text, LiveParams& params, ProcessorState& state) {
    Registrar r{registry, text};
    registerMain(r, params, state);
    registerAdvanced(r, params);
    frequencySlider(window(r, "Highpass_Filter", 117, true), 1055, 1056, 100.0, kHighpassCutoffHz,
                    &params.passFilters.highpassCutoffHz);
    registerStereo(r, params, state);
    registerAgc(r, params, state);
    registerThreeBandEq(r, params);
    registerProcessor(r, params, state);
    registerDynamicEq(r, params, state);
    registerCompressor(r, params);
    registerExpander(r, params);
    registerLimiter(r, params);
    registerSaturator(r, params);
    registerTenBandEq(r, params);
    registerFinalLimiter(r, params, state);
    registerFinalClipper(r, params, state);
    frequencySlider(window(r, "Lowpass_Filter", 114, true), 1055, 1056, 100.0, kLowpassCutoffHz,
                    &params.passFilters.lowpassCutoffHz);
    registerTestTones(r, state);
    window(r, "SpectrumAnalyzer", 106, false);
    window(r, "Oscilloscope", 105, false);
    window(r, "Freq_Response", 107, false);
    window(r, "Documentation", 119, false);
}

void SaveWindowRecordsAndRelease(Registry& registry, SettingsText& text) {
    WindowEntry* entry = registry.windows;
    while (entry != nullptr) {
        if (entry->hwnd != nullptr) {
            int left = 0;
            int top = 0;
            if (uiWindowPosition(entry->hwnd, &left, &top)) {
                if (left > kLowestStoredCoordinate && left < kHighestStoredCoordinate) entry->x = left;
                if (top > kLowestStoredCoordinate && top < kHighestStoredCoordinate) entry->y = top;
            }
        }
        char key[kWindowKeySize];
        windowKey(key, entry->name, "Show");
        AppendNumber(text, key, 0, entry->visible ? 1.0 : 0.0);
        windowKey(key, entry->name, "X");
        AppendNumber(text, key, 0, entry->x);
        windowKey(key, entry->name, "Y");
        AppendNumber(text, key, 0, entry->y);

        releaseParams(*entry);
        if (entry->hwnd != nullptr) uiDestroyWindow(*entry);
        WindowEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    registry.windows = nullptr;
    registry.cascadePosition = kFirstCascadePosition;  // an empty registry is as the module was loaded
}
