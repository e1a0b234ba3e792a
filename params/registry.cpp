// The registry: every window with its saved place and every parameter with its control, key and range.
#include "params/registry.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "params/settings_text.h"
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

// Range, resolution, steps and default of a slider, in value units.
struct SliderSpec {
    int32_t decimals;
    double minValue, maxValue;
    double tickSpacing, lineStep, pageStep;
    double defaultValue;
};

constexpr SliderSpec kBandGainDb = {1, -24.0, 24.0, 6.0, 0.1, 3.0, 0.0};
constexpr SliderSpec kRatio = {1, 1.0, 10.0, 1.0, 0.1, 1.0, 5.0};
constexpr SliderSpec kLookaheadMs = {0, 0.0, 90.0, 45.0, 1.0, 10.0, 5.0};
constexpr SliderSpec kAttackMs = {0, 0.0, 1000.0, 200.0, 1.0, 10.0, 10.0};
constexpr SliderSpec kReleaseMs = {0, 0.0, 5000.0, 1000.0, 1.0, 10.0, 500.0};
constexpr SliderSpec kDetectMs = {0, 1.0, 500.0, 125.0, 1.0, 10.0, 0.0};

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

void slider(WindowEntry* window, int32_t controlId, int32_t labelId, const SliderSpec& spec, double* value,
            const char* key, double defaultValue) {
    RegisterParam(window, VerticalSlider, spec.decimals, controlId, labelId, spec.minValue, spec.maxValue,
                  spec.tickSpacing, spec.lineStep, spec.pageStep, value, key, defaultValue);
}

void slider(WindowEntry* window, int32_t controlId, int32_t labelId, const SliderSpec& spec, double* value,
            const char* key) {
    slider(window, controlId, labelId, spec, value, key, spec.defaultValue);
}

// Logarithmic frequency slider: maxValue is the number of 1/100-octave steps above 20 Hz; the
// other range fields are not used by the arithmetic and hold the usual octave steps.
void frequencySlider(WindowEntry* window, int32_t controlId, int32_t labelId, double steps, double pageSteps,
                     double* value, const char* key, double defaultHz) {
    RegisterParam(window, VerticalSlider, -1, controlId, labelId, 0.0, steps, 100.0, 1.0, pageSteps, value, key,
                  defaultHz);
}

void checkBox(WindowEntry* window, int32_t controlId, uint8_t* value, const char* key, double defaultValue = 0.0) {
    RegisterParam(window, CheckBox, 0, controlId, 0, 0.0, 0.0, 0.0, 0.0, 0.0, value, key, defaultValue);
}

void meter(WindowEntry* window, int32_t controlId, int32_t labelId, double minValue, double maxValue, double* value) {
    RegisterParam(window, Meter, 0, controlId, labelId, minValue, maxValue, 0.0, 0.0, 0.0, value, "", 0.0);
}

// One family of ten band sliders, band 1 first; keyFormat takes the band number.
void sliderFamily(WindowEntry* window, const char* keyFormat, const BandIds& controls, const BandIds& labels,
                  const SliderSpec& spec, double* values) {
    for (int band = 0; band < kBandCount; ++band) {
        char key[sizeof ParamEntry::key];
        std::snprintf(key, sizeof key, keyFormat, band + 1);
        slider(window, controls[band], labels[band], spec, &values[band], key);
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
    RegisterParam(w, HorizontalSlider, 1, 1050, 1049, -12.0, 36.0, 6.0, 0.1, 3.0, &g.densityDriveDb,
                  "General.DensityDrive.dB", 0.0);
    RegisterParam(w, HorizontalSlider, 1, 1043, 1044, -24.0, 24.0, 6.0, 0.1, 3.0, &g.postAmpDb, "General.PostAmp.dB",
                  0.0);
    meter(w, 1006, 1030, 0.0, 100.0, &state.inputMeter);
    meter(w, 1007, 1031, 0.0, 100.0, &state.outputMeter);
}

void registerAdvanced(Registrar& r, LiveParams& p) {
    constexpr double kProcessorDetectDefaults[kBandCount] = {20, 10, 8, 7, 6, 5, 4, 3, 2, 1};
    constexpr SliderSpec kAgcDetectMs = {0, 1.0, 500.0, 100.0, 1.0, 10.0, 0.0};
    WindowEntry* w = window(r, "Advanced", 121, true);
    for (int band = 0; band < kBandCount; ++band) {
        char key[sizeof ParamEntry::key];
        std::snprintf(key, sizeof key, "Processor.Detect%d.msec", band + 1);
        slider(w, 1085 + 2 * band, 1086 + 2 * band, kDetectMs, &p.processor.detectMs[band], key,
               kProcessorDetectDefaults[band]);
    }
    slider(w, 1044, 1045, kAgcDetectMs, &p.agc.detectLowMs, "AGC.Detect.LowBand.msec", 250.0);
    slider(w, 1048, 1049, kAgcDetectMs, &p.agc.detectHighMs, "AGC.Detect.HighBand.msec", 150.0);
    slider(w, 1059, 1060, kDetectMs, &p.finalLimiter.detectMs, "FinalLimiter.Detect.msec", 20.0);
}

void registerStereo(Registrar& r, LiveParams& p, ProcessorState& state) {
    StereoImageParams& s = p.stereoImage;
    WindowEntry* w = window(r, "Stereo_Processor", 118, true);
    checkBox(w, 1107, &s.mono, "StereoImageProc.Mono");
    slider(w, 1108, 1109, {0, 1.0, 100.0, 25.0, 1.0, 10.0, 50.0}, &s.amountPercent, "StereoImageProc.Amount.%");
    slider(w, 1110, 1111, {0, 1.0, 500.0, 100.0, 1.0, 10.0, 50.0}, &s.detect1Ms, "StereoImageProc.Detect1.msec");
    slider(w, 1063, 1064, {0, 1.0, 2000.0, 500.0, 1.0, 10.0, 500.0}, &s.detect2Ms, "StereoImageProc.Detect2.msec");
    slider(w, 1116, 1117, {0, 1.0, 18.0, 6.0, 1.0, 3.0, 6.0}, &s.maxEnhanceDb, "StereoImageProc.MaxEnhance.dB");
    meter(w, 1112, 1113, 0.0, 18.0, &state.stereoImage.meterDb);
}

void registerAgc(Registrar& r, LiveParams& p, ProcessorState& state) {
    constexpr SliderSpec kAgcTimeMs = {0, 0.0, 5000.0, 1000.0, 1.0, 100.0, 1000.0};
    AgcParams& a = p.agc;
    WindowEntry* w = window(r, "2_Band_AGC", 109, true);
    slider(w, 1046, 1047, {0, 0.0, 100.0, 10.0, 1.0, 10.0, 90.0}, &a.levelPercent, "AGC.Level.%");
    slider(w, 1042, 1043, {0, 0.0, 40.0, 10.0, 1.0, 3.0, 25.0}, &a.maxGainDb, "AGC.MaxGain.dB");
    frequencySlider(w, 1040, 1041, 700.0, 50.0, &a.crossoverHz, "AGC.Crossover", 400.0);
    slider(w, 1048, 1049, {0, 0.0, 100.0, 10.0, 1.0, 10.0, 50.0}, &a.bandLinkPercent, "AGC.BandLink.%");
    meter(w, 1053, 1052, 0.0, 40.0, &state.agc.meterLowDb);
    meter(w, 1056, 1057, 0.0, 40.0, &state.agc.meterHighDb);
    meter(w, 1062, 1063, 0.0, 9.0, &state.agc.meterReductionDb);
    slider(w, 1114, 1118, kAgcTimeMs, &a.attackLowMs, "AGC.Attack.LowBand.msec");
    slider(w, 1115, 1119, kAgcTimeMs, &a.releaseLowMs, "AGC.Release.LowBand.msec");
    slider(w, 1058, 1059, kBandGainDb, &a.gainLowDb, "AGC.Gain.LowBand.dB");
    slider(w, 1116, 1065, kAgcTimeMs, &a.attackHighMs, "AGC.Attack.HighBand.msec");
    slider(w, 1117, 1067, kAgcTimeMs, &a.releaseHighMs, "AGC.Release.HighBand.msec");
    slider(w, 1060, 1061, kBandGainDb, &a.gainHighDb, "AGC.Gain.HighBand.dB");
    checkBox(w, 1120, &a.singleBand, "AGC.SingleBand");
}

void registerThreeBandEq(Registrar& r, LiveParams& p) {
    ThreeBandEqParams& e = p.threeBandEq;
    WindowEntry* w = window(r, "3_Band_EQ", 108, true);
    slider(w, 1001, 1004, kBandGainDb, &e.bandDb[0], "3BandEQ.Band1.dB");
    slider(w, 1002, 1005, kBandGainDb, &e.bandDb[1], "3BandEQ.Band2.dB");
    slider(w, 1006, 1007, kBandGainDb, &e.bandDb[2], "3BandEQ.Band3.dB");
    checkBox(w, 1022, &e.bandMute[0], "3BandEQ.Band1.Mute");
    checkBox(w, 1023, &e.bandMute[1], "3BandEQ.Band2.Mute");
    checkBox(w, 1024, &e.bandMute[2], "3BandEQ.Band3.Mute");
    frequencySlider(w, 1031, 1032, 850.0, 50.0, &e.crossoverLowMidHz, "3BandEQ.Crossover.L-M", 880.0);
    frequencySlider(w, 1033, 1034, 850.0, 50.0, &e.crossoverMidHighHz, "3BandEQ.Crossover.M-H", 5000.0);
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
    slider(w, 1135, 1136, {0, 200.0, 8000.0, 1000.0, 1.0, 100.0, 2000.0}, &d.speedMs, "DynamicEQ.Speed.msec");
    slider(w, 1108, 1109, {0, 0.0, 100.0, 25.0, 1.0, 10.0, 50.0}, &d.amountPercent, "DynamicEQ.Amount.%");
    slider(w, 1116, 1117, {0, 0.0, 24.0, 6.0, 1.0, 3.0, 9.0}, &d.maxEnhanceDb, "DynamicEQ.MaxEnhance.dB");
    meterRow(w, 1137, -12.0, 12.0, state.tenBand.dynamicEq.meter);
}

void registerCompressor(Registrar& r, LiveParams& p) {
    CompressorParams& c = p.compressor;
    WindowEntry* w = window(r, "10_Band_Compressor", 110, true);
    sliderFamily(w, "Compressor.Gain%d.dB", idRow(1085, 2), idRow(1086, 2), kBandGainDb, c.gainDb);
    sliderFamily(w, "Compressor.Ratio%d", idRow(1106, 2), idRow(1107, 2), kRatio, c.ratio);
    sliderFamily(w, "Compressor.Threshold%d.dB", kFirstRowSliders, kFirstRowLabels, {1, -24.0, 24.0, 6.0, 0.1, 3.0, -6.0},
                 c.thresholdDb);
    sliderFamily(w, "Compressor.Lookahead%d.msec", idRow(1065, 2), idRow(1066, 2), kLookaheadMs, c.lookaheadMs);
    sliderFamily(w, "Compressor.Attack%d.msec", idRow(1025, 2), idRow(1026, 2), kAttackMs, c.attackMs);
    sliderFamily(w, "Compressor.Release%d.msec", idRow(1045, 2), idRow(1046, 2), kReleaseMs, c.releaseMs);
    checkBox(w, 1105, &c.peakDetect, "Compressor.PeakDetect");
}

void registerExpander(Registrar& r, LiveParams& p) {
    ExpanderParams& e = p.expander;
    WindowEntry* w = window(r, "10_Band_Expander", 112, true);
    sliderFamily(w, "Expander.Ratio%d", idRow(1085, 2), idRow(1086, 2), kRatio, e.ratio);
    sliderFamily(w, "Expander.Threshold%d.dB", kFirstRowSliders, kFirstRowLabels, {1, -40.0, 6.0, 10.0, 0.1, 3.0, -6.0},
                 e.thresholdDb);
    sliderFamily(w, "Expander.Attack%d.msec", idRow(1025, 2), idRow(1026, 2), kAttackMs, e.attackMs);
    sliderFamily(w, "Expander.Release%d.msec", idRow(1045, 2), idRow(1046, 2), {0, 0.0, 1000.0, 200.0, 1.0, 10.0, 500.0},
                 e.releaseMs);
}

void registerLimiter(Registrar& r, LiveParams& p) {
    LimiterParams& l = p.limiter;
    WindowEntry* w = window(r, "10_Band_Limiter", 113, true);
    sliderFamily(w, "Limiter.Gain%d.dB", idRow(1085, 2), idRow(1086, 2), kBandGainDb, l.gainDb);
    sliderFamily(w, "Limiter.Threshold%d.dB", kFirstRowSliders, kFirstRowLabels, kBandGainDb, l.thresholdDb);
    sliderFamily(w, "Limiter.Lookahead%d.msec", idRow(1065, 2), idRow(1066, 2), kLookaheadMs, l.lookaheadMs);
    sliderFamily(w, "Limiter.Attack%d.msec", idRow(1025, 2), idRow(1026, 2), kAttackMs, l.attackMs);
    sliderFamily(w, "Limiter.Release%d.msec", idRow(1045, 2), idRow(1046, 2), kReleaseMs, l.releaseMs);
    checkBox(w, 1105, &l.peakDetect, "Limiter.PeakDetect");
}

void registerSaturator(Registrar& r, LiveParams& p) {
    SaturatorParams& s = p.saturator;
    WindowEntry* w = window(r, "10_Band_Saturator", 120, true);
    sliderFamily(w, "Saturator.Level%d.%%", kFirstRowSliders, kFirstRowLabels, {0, 0.0, 100.0, 25.0, 1.0, 10.0, 15.0},
                 s.levelPercent);
    sliderFamily(w, "Saturator.Gain%d.dB", idRow(1085, 2), idRow(1086, 2), kBandGainDb, s.gainDb);
    sliderFamily(w, "Saturator.Clip%d.dB", idRow(1105, 2), idRow(1106, 2), kBandGainDb, s.clipDb);
    checkBoxFamily(w, "Saturator.Clip%d.Enable", idRow(1125, 1), s.clipEnable);
    checkBox(w, 1076, &s.refilter, "Saturator.Refilter");
}

void registerTenBandEq(Registrar& r, LiveParams& p) {
    TenBandEqParams& e = p.tenBandEq;
    WindowEntry* w = window(r, "10_Band_EQ", 103, true);
    slider(w, 1000, 1003, kBandGainDb, &e.preampDb, "10BandEQ.Preamp.dB");
    sliderFamily(w, "10BandEQ.Band%d.dB", kFirstRowSliders, kFirstRowLabels, kBandGainDb, e.bandDb);
    checkBoxFamily(w, "10BandEQ.Band%d.Mute", idRow(1022, 1), e.bandMute);
}

void registerFinalLimiter(Registrar& r, LiveParams& p, ProcessorState& state) {
    FinalLimiterParams& l = p.finalLimiter;
    constexpr SliderSpec kWideGainDb = {1, -24.0, 24.0, 12.0, 0.1, 3.0, 0.0};
    WindowEntry* w = window(r, "Final_Limiter", 115, true);
    slider(w, 1003, 1022, kWideGainDb, &l.driveDb, "FinalLimiter.Drive.dB");
    slider(w, 1057, 1058, kWideGainDb, &l.thresholdDb, "FinalLimiter.Threshold.dB");
    slider(w, 1061, 1062, kLookaheadMs, &l.lookaheadMs, "FinalLimiter.Lookahead.msec");
    slider(w, 1063, 1064, kAttackMs, &l.attackMs, "FinalLimiter.Attack.msec");
    slider(w, 1065, 1066, kReleaseMs, &l.releaseMs, "FinalLimiter.Release.msec");
    meter(w, 1067, 1068, 0.0, 12.0, &state.finalLimiter.meterDb);
    checkBox(w, 1105, &l.peakDetect, "FinalLimiter.PeakDetect");
}

void registerFinalClipper(Registrar& r, LiveParams& p, ProcessorState& state) {
    FinalClipperParams& c = p.finalClipper;
    WindowEntry* w = window(r, "Final_Clipper", 116, true);
    checkBox(w, 1106, &c.complex, "FinalClipper.Complex");
    slider(w, 1003, 1022, {1, -24.0, 24.0, 12.0, 0.1, 3.0, 0.0}, &c.driveDb, "FinalClipper.Drive.dB");
    slider(w, 1057, 1058, {1, -12.0, 12.0, 6.0, 0.1, 3.0, -0.1}, &c.thresholdDb, "FinalClipper.Threshold.dB");
    meter(w, 1069, 1070, 0.0, 12.0, &state.finalClipper.meterDb);
}

void registerTestTones(Registrar& r, ProcessorState& state) {
    TestToneGenerator& tone = state.testTone;
    WindowEntry* w = window(r, "Test_Tones", 104, false);
    slider(w, 1027, 1028, {1, -60.0, 12.0, 12.0, 0.1, 3.0, 0.0}, &tone.levelDb, "");
    frequencySlider(w, 1001, 1029, 1000.0, 100.0, &tone.frequencyHz, "", 0.0);
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
    RegisterParam(window(r, "Highpass_Filter", 117, true), VerticalSlider, -1, 1055, 1056, 0.0, 400.0, 100.0, 1.0, 100.0,
                  &params.passFilters.highpassCutoffHz, "HighpassFilter.Cutoff.Hz", 30.0);
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
    RegisterParam(window(r, "Lowpass_Filter", 114, true), VerticalSlider, -1, 1055, 1056, 0.0, 1000.0, 100.0, 1.0, 100.0,
                  &params.passFilters.lowpassCutoffHz, "LowpassFilter.Cutoff.Hz", 18000.0);
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
