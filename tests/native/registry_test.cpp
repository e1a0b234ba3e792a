// Registry: window order and saved places, parameter table, slider and meter arithmetic, shut-down records.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <set>
#include <string>

#include "dsp/derived_parameters.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/engine_model.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "params/slider_math.h"
#include "params_rig.h"

using paramsrig::BuiltRegistry;
using paramsrig::crlf;
using paramsrig::findParam;

namespace {

struct WindowRow {
    const char* name;
    int32_t templateId;
    bool marks;
};

constexpr WindowRow kWindowTable[] = {
    {"Main", 101, true},
    {"Advanced", 121, true},
    {"Highpass_Filter", 117, true},
    {"Stereo_Processor", 118, true},
    {"2_Band_AGC", 109, true},
    {"3_Band_EQ", 108, true},
    {"10_Band_Processor", 111, true},
    {"10_Band_Dynamic_EQ", 122, true},
    {"10_Band_Compressor", 110, true},
    {"10_Band_Expander", 112, true},
    {"10_Band_Limiter", 113, true},
    {"10_Band_Saturator", 120, true},
    {"10_Band_EQ", 103, true},
    {"Final_Limiter", 115, true},
    {"Final_Clipper", 116, true},
    {"Lowpass_Filter", 114, true},
    {"Test_Tones", 104, false},
    {"SpectrumAnalyzer", 106, false},
    {"Oscilloscope", 105, false},
    {"Freq_Response", 107, false},
    {"Documentation", 119, false},
};

// A parameter entry built by hand for the arithmetic tests.
ParamEntry entry(int32_t kind, int32_t decimals, double minValue, double maxValue, double tick, double line,
                 double page) {
    ParamEntry p{};
    p.kind = kind;
    p.decimals = decimals;
    p.minValue = minValue;
    p.maxValue = maxValue;
    p.tickSpacing = tick;
    p.lineStep = line;
    p.pageStep = page;
    return p;
}

std::string label(const ParamEntry& p, double value) {
    char text[64];
    formatParamLabel(p, value, text, sizeof text);
    return text;
}

}  // namespace

TEST(RegistryWindows, WindowsInOrderCascadingWithoutSettings) {
    BuiltRegistry registry;
    int index = 0;
    int listed = 0;  // the windows of the table above, met in its order
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next, ++index) {
        ASSERT_LT(index, model::kWindowCount);
        EXPECT_STREQ(w->name, model::kWindows[index].name);
        if (listed < static_cast<int>(std::size(kWindowTable)) && w->name == std::string(kWindowTable[listed].name)) {
            const WindowRow& row = kWindowTable[listed++];
            EXPECT_EQ(w->templateId, row.templateId) << row.name;
            EXPECT_EQ(w->marksSettingsChanged, row.marks) << row.name;
        }
        EXPECT_EQ(w->x, 32 + 20 * index) << w->name;
        EXPECT_EQ(w->y, 32 + 20 * index) << w->name;
        EXPECT_FALSE(w->visible) << w->name;
        EXPECT_EQ(w->hwnd, nullptr);
        EXPECT_EQ(w->dialogProc, PluginEngine().registry.dialogProc);
    }
    EXPECT_EQ(index, model::kWindowCount);
    EXPECT_EQ(listed, static_cast<int>(std::size(kWindowTable)));
    EXPECT_EQ(PluginEngine().registry.windows->x, 32);
    EXPECT_EQ(FindWindowByTemplate(PluginEngine().registry, 121)->name, std::string("Advanced"));
    EXPECT_EQ(FindWindowByTemplate(PluginEngine().registry, 102), nullptr);  // the template window is never registered
}

TEST(RegistryWindows, SavedShowAndPositionsComeFromTheSettingsText) {
    std::memset(PluginEngine().text.text, 0, sizeof PluginEngine().text.text);
    const std::string text = crlf(
        "Drelvant\nh\nh\nh\n"
        "Window.Main.Show               = 0.6\n"
        "Window.Main.X                  = -5000\n"
        "Window.Advanced.Show           = 0.5\n"
        "Window.Advanced.Y              = 300.9\n"
        "Window.Highpass_Filter.X       = 1e30\n");
    std::memcpy(PluginEngine().text.text, text.data(), text.size());
    PluginEngine().registry.cascadePosition = kFirstCascadePosition;
    WindowEntry* main = RegisterWindow(PluginEngine().registry, PluginEngine().text, "Main", 101, true);
    WindowEntry* advanced = RegisterWindow(PluginEngine().registry, PluginEngine().text, "Advanced", 121, true);
    WindowEntry* highpass = RegisterWindow(PluginEngine().registry, PluginEngine().text, "Highpass_Filter", 117, true);
    EXPECT_TRUE(main->visible);
    EXPECT_EQ(main->x, -5000);  // used unchanged at start-up
    EXPECT_EQ(main->y, 32);
    EXPECT_FALSE(advanced->visible);
    EXPECT_EQ(advanced->x, 52);
    EXPECT_EQ(advanced->y, 300);  // truncated
    EXPECT_EQ(highpass->y, 72);   // the cascade moves on whether or not a position was stored
    EXPECT_EQ(highpass->x, INT32_MAX);  // an absurd stored value stays a defined integer
    BeginText(PluginEngine().text, "dsp_unused.ini");
    SaveWindowRecordsAndRelease(PluginEngine().registry, PluginEngine().text);
    EXPECT_EQ(PluginEngine().registry.windows, nullptr);
}

TEST(RegistryParams, CountsKindsAndKeys) {
    BuiltRegistry registry;
    int total = 0;
    int keyed = 0;
    int meters = 0;
    std::set<std::string> keys;
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next) {
        for (ParamEntry* p = w->params; p != nullptr; p = p->next) {
            ++total;
            ASSERT_NE(p->value, nullptr);
            if (p->kind == Meter) {
                ++meters;
                EXPECT_STREQ(p->key, "");
            }
            if (p->key[0] == '\0') continue;
            ++keyed;
            EXPECT_LE(std::strlen(p->key), 40u) << p->key;
            EXPECT_EQ(std::strchr(p->key, ' '), nullptr) << p->key;
            EXPECT_TRUE(keys.insert(p->key).second) << "duplicate " << p->key;
        }
    }
    EXPECT_EQ(total, model::parameterCount());
    EXPECT_EQ(keyed, model::keyedCount());
    EXPECT_GE(meters, 58);
}

TEST(RegistryParams, EntriesCarryTheirControlsRangesAndDefaults) {
    BuiltRegistry registry;
    const ParamEntry* post = findParam("General.PostAmp.dB");
    ASSERT_NE(post, nullptr);
    EXPECT_EQ(post->kind, HorizontalSlider);
    EXPECT_EQ(post->controlId, 1043);
    EXPECT_EQ(post->labelId, 1044);
    EXPECT_EQ(post->decimals, 1);
    EXPECT_EQ(post->minValue, -24.0);
    EXPECT_EQ(post->maxValue, 24.0);
    EXPECT_EQ(post->value, &PluginEngine().live.general.postAmpDb);

    const ParamEntry* dither = findParam("General.QuantizationDither.Active");
    EXPECT_EQ(dither->kind, CheckBox);
    EXPECT_EQ(dither->controlId, 1014);
    EXPECT_EQ(dither->defaultValue, 1.0);

    const ParamEntry* highpass = findParam("HighpassFilter.Cutoff.Hz");
    EXPECT_EQ(highpass->decimals, -1);
    EXPECT_EQ(highpass->maxValue, 400.0);
    EXPECT_EQ(highpass->defaultValue, 30.0);
    EXPECT_EQ(highpass->controlId, 1055);
    EXPECT_EQ(findParam("LowpassFilter.Cutoff.Hz")->maxValue, 1000.0);
    EXPECT_EQ(findParam("AGC.Crossover")->maxValue, 700.0);
    EXPECT_EQ(findParam("3BandEQ.Crossover.M-H")->maxValue, 850.0);

    const ParamEntry* threshold3 = findParam("Compressor.Threshold3.dB");
    EXPECT_EQ(threshold3->controlId, 1006);
    EXPECT_EQ(threshold3->labelId, 1007);
    EXPECT_EQ(threshold3->defaultValue, -6.0);
    EXPECT_EQ(threshold3->value, &PluginEngine().live.compressor.thresholdDb[2]);
    EXPECT_EQ(findParam("Compressor.Ratio10")->controlId, 1124);
    EXPECT_EQ(findParam("Saturator.Clip10.Enable")->controlId, 1134);
    EXPECT_EQ(findParam("Saturator.Level2.%")->controlId, 1002);
    EXPECT_EQ(findParam("Processor.Detect10.msec")->labelId, 1104);
    EXPECT_EQ(findParam("Processor.Detect1.msec")->defaultValue, 20.0);
    EXPECT_EQ(findParam("10BandEQ.Preamp.dB")->controlId, 1000);
    EXPECT_EQ(findParam("FinalClipper.Threshold.dB")->defaultValue, -0.1);
    EXPECT_EQ(findParam("AGC.Detect.HighBand.msec")->tickSpacing, 100.0);
}

TEST(RegistryParams, TenBandWindowsRegisterFamilyByFamily) {
    BuiltRegistry registry;
    const WindowEntry* compressor = FindWindowByTemplate(PluginEngine().registry, 110);
    std::string order;
    int count = 0;
    for (const ParamEntry* p = compressor->params; p != nullptr && count < 12; p = p->next, ++count) {
        order += std::string(p->key) + " ";
    }
    EXPECT_EQ(order,
              "Compressor.Gain1.dB Compressor.Gain2.dB Compressor.Gain3.dB Compressor.Gain4.dB Compressor.Gain5.dB "
              "Compressor.Gain6.dB Compressor.Gain7.dB Compressor.Gain8.dB Compressor.Gain9.dB Compressor.Gain10.dB "
              "Compressor.Ratio1 Compressor.Ratio2 ");

    // Test tones: five keyless controls in a window that does not mark changes.
    const WindowEntry* tones = FindWindowByTemplate(PluginEngine().registry, 104);
    int tonesCount = 0;
    for (const ParamEntry* p = tones->params; p != nullptr; p = p->next, ++tonesCount) EXPECT_STREQ(p->key, "");
    EXPECT_EQ(tonesCount, 5);
    EXPECT_EQ(tones->params->value, &PluginEngine().state.testTone.levelDb);

    const WindowEntry* processor = FindWindowByTemplate(PluginEngine().registry, 111);
    int processorMeters = 0;
    for (const ParamEntry* p = processor->params; p != nullptr; p = p->next) processorMeters += p->kind == Meter;
    EXPECT_EQ(processorMeters, 40);
}

TEST(EngineStartup, StartupDesignsAreTheNamedOnes) {
    ClearProcessorState(PluginEngine().state);
    DesignStartupFilters(PluginEngine().state);
    EXPECT_EQ(PluginEngine().state.designRecord.highpassHz, 25.0);
    EXPECT_EQ(PluginEngine().state.designRecord.agcCrossoverHz, 300.0);
    EXPECT_EQ(PluginEngine().state.designRecord.threeBandF1, 880.0);
    EXPECT_EQ(PluginEngine().state.designRecord.threeBandF2, 5000.0);
    EXPECT_EQ(PluginEngine().state.designRecord.lowpassHz, 1000.0);
    EXPECT_EQ(PluginEngine().state.designRecord.bankCascaded, 0);
}

TEST(RegistryLookup, TemplateOfAnOpenWindowOnly) {
    BuiltRegistry registry;
    int fakeWindow = 0;
    FindWindowByTemplate(PluginEngine().registry, 113)->hwnd = &fakeWindow;
    EXPECT_EQ(TemplateIdOf(PluginEngine().registry, &fakeWindow), 113);
    EXPECT_EQ(TemplateIdOf(PluginEngine().registry, nullptr), 0);  // closed windows have no handle to match
    int other = 0;
    EXPECT_EQ(TemplateIdOf(PluginEngine().registry, &other), 0);
}

TEST(RegistryShutdown, WritesThreeLinesPerWindowAndEmptiesTheList) {
    std::string written;
    {
        BuiltRegistry registry;
        FindWindowByTemplate(PluginEngine().registry, 110)->visible = true;
        FindWindowByTemplate(PluginEngine().registry, 110)->x = -1200;
        BeginText(PluginEngine().text, "dsp_Drelvant.ini");
        SaveWindowRecordsAndRelease(PluginEngine().registry, PluginEngine().text);
        EXPECT_EQ(PluginEngine().registry.windows, nullptr);
        written = PluginEngine().text.text;
    }
    const std::vector<std::string> lines = paramsrig::lines(written);
    ASSERT_EQ(lines.size(), 4u + 3u * model::kWindowCount);
    EXPECT_EQ(lines[4], "Window.Main.Show               = 0");
    EXPECT_EQ(lines[5], "Window.Main.X                  = 32");
    EXPECT_EQ(lines[6], "Window.Main.Y                  = 32");
    int compressor = 0;
    while (std::string(model::kWindows[compressor].name) != "10_Band_Compressor") ++compressor;
    EXPECT_EQ(lines[4 + 3 * compressor], "Window.10_Band_Compressor.Show  = 1");
    EXPECT_EQ(lines[4 + 3 * compressor + 1], "Window.10_Band_Compressor.X    = -1200");
    // The last window cascades 20 further per window from 32.
    const std::string last = std::string("Window.") + model::kWindows[model::kWindowCount - 1].name + ".Y ";
    EXPECT_EQ(lines.back().rfind(last, 0), 0u) << lines.back();
    EXPECT_EQ(lines.back().substr(lines.back().find("= ") + 2), std::to_string(32 + 20 * (model::kWindowCount - 1)));
}

TEST(SliderMath, LinearHorizontalPostAmp) {
    const ParamEntry post = entry(HorizontalSlider, 1, -24.0, 24.0, 6.0, 0.1, 3.0);
    const TrackbarSetup setup = trackbarSetup(post);
    EXPECT_EQ(setup.rangeMax, 480);
    EXPECT_EQ(setup.tickFrequency, 60);
    EXPECT_EQ(setup.lineSize, 1);
    EXPECT_EQ(setup.pageSize, 30);
    const double readBack = static_cast<double>(-0.1f);  // -0.100000001490116 from a preset file
    EXPECT_EQ(sliderPosition(post, readBack), 239);
    EXPECT_EQ(sliderValue(post, 240), 0.0);  // one step right lands exactly on zero
    EXPECT_EQ(sliderPosition(post, 0.0), 240);
    EXPECT_EQ(sliderPosition(post, 99.0), 480);  // shown at the end of the range
    EXPECT_EQ(label(post, 99.0), "24.0");
    EXPECT_EQ(label(post, readBack), "-0.1");
    EXPECT_EQ(sliderPosition(post, std::nan("")), 0);
}

TEST(SliderMath, LinearVerticalRunsTopDown) {
    const ParamEntry ratio = entry(VerticalSlider, 1, 1.0, 10.0, 1.0, 0.1, 1.0);
    EXPECT_EQ(trackbarSetup(ratio).rangeMax, 90);
    EXPECT_EQ(sliderPosition(ratio, 10.0), 0);
    EXPECT_EQ(sliderPosition(ratio, 1.0), 90);
    EXPECT_EQ(sliderPosition(ratio, static_cast<double>(2.7f)), 73);
    EXPECT_DOUBLE_EQ(sliderValue(ratio, 73), 2.7);
    const ParamEntry detect = entry(VerticalSlider, 0, 1.0, 500.0, 125.0, 1.0, 10.0);
    EXPECT_EQ(trackbarSetup(detect).rangeMax, 499);
    EXPECT_EQ(trackbarSetup(detect).tickFrequency, 125);
    EXPECT_EQ(trackbarSetup(detect).pageSize, 10);
    EXPECT_EQ(label(detect, 50.0), "50");
}

TEST(SliderMath, LogarithmicFrequencySliders) {
    const ParamEntry highpass = entry(VerticalSlider, -1, 0.0, 400.0, 100.0, 1.0, 100.0);
    const TrackbarSetup setup = trackbarSetup(highpass);
    EXPECT_EQ(setup.rangeMax, 400);
    EXPECT_EQ(setup.tickFrequency, 100);
    EXPECT_EQ(setup.lineSize, 1);
    EXPECT_EQ(setup.pageSize, 100);
    EXPECT_EQ(sliderPosition(highpass, 30.0), 341);          // 20 * 2^0.59 is the first step >= 30 Hz
    EXPECT_NEAR(sliderValue(highpass, 341), 30.105, 0.001);  // back on the grid
    EXPECT_EQ(sliderPosition(highpass, 20.0), 400);
    EXPECT_EQ(sliderPosition(highpass, 5.0), 400);
    EXPECT_EQ(sliderPosition(highpass, 320.0), 0);
    EXPECT_EQ(sliderPosition(highpass, 321.0), -1);          // above the top of the scale
    const ParamEntry crossover = entry(VerticalSlider, -1, 0.0, 850.0, 100.0, 1.0, 50.0);
    EXPECT_EQ(sliderPosition(crossover, 880.0), 850 - 546);  // 20 * 2^5.46 = 880.4 Hz
    EXPECT_EQ(label(crossover, sliderValue(crossover, 0)), "7241");
    EXPECT_EQ(label(crossover, 99999.0), "99999");  // the live value, not clamped
}

TEST(SliderMath, MetersClampToTheirScale) {
    const ParamEntry percent = entry(Meter, 0, 0.0, 100.0, 0, 0, 0);
    EXPECT_EQ(meterPosition(percent, -5.0), 0);
    EXPECT_EQ(meterPosition(percent, 150.0), 1000);
    EXPECT_EQ(meterPosition(percent, 25.05), 250);
    EXPECT_EQ(meterPosition(percent, std::nan("")), 0);
    EXPECT_EQ(label(percent, 150.0), "150");
    const ParamEntry eq = entry(Meter, 0, -12.0, 12.0, 0, 0, 0);
    EXPECT_EQ(meterPosition(eq, 0.0), 500);
    EXPECT_EQ(meterPosition(eq, -12.0), 0);
}

TEST(PluginSettingsFile, InitRestoresWindowsAndQuitWritesThemBack) {
    paramsrig::ScratchFolder folder;
    folder.write("dsp_Drelvant.ini", crlf("Drelvant\nThis is a settings file for Drelvant v1.20\nFilename: dsp_Drelvant.ini\n"
                                          "-----------------------------------------\n"
                                          "Window.Main.Show               = 1\n"
                                          "Window.Advanced.X              = 500\n"
                                          "General.StartupPreset          = -3\n"));
    initDone = false;
    ASSERT_EQ(Init(&dspModule), 0);
    EXPECT_TRUE(initDone);
    EXPECT_EQ(PluginEngine().state.isRunning, 1);
    EXPECT_EQ(PluginEngine().state.startupPreset, -3);
    EXPECT_STREQ(PluginEngine().live.presetName, "AM Radio");
    ASSERT_NE(PluginEngine().registry.windows, nullptr);
    EXPECT_TRUE(PluginEngine().registry.windows->visible);
    EXPECT_EQ(PluginEngine().registry.windows->next->x, 500);
    EXPECT_EQ(PluginEngine().registry.windows->next->y, 52);

    Quit(&dspModule);
    EXPECT_EQ(PluginEngine().registry.windows, nullptr);
    EXPECT_EQ(PluginEngine().state.isRunning, 0);
    const std::vector<std::string> lines = paramsrig::lines(folder.read("dsp_Drelvant.ini"));
    const std::size_t windowLines = 3u * model::kWindowCount;
    ASSERT_EQ(lines.size(), 4u + windowLines + 1u);
    EXPECT_EQ(lines[1], "This is a settings file for Drelvant v1.20");
    EXPECT_EQ(lines[2], "Filename: dsp_Drelvant.ini");
    for (int window = 0; window < model::kWindowCount; ++window) {
        const std::string prefix = std::string("Window.") + model::kWindows[window].name + ".";
        EXPECT_EQ(lines[4 + 3 * window].rfind(prefix + "Show", 0), 0u) << lines[4 + 3 * window];
        EXPECT_EQ(lines[5 + 3 * window].rfind(prefix + "X", 0), 0u) << lines[5 + 3 * window];
        EXPECT_EQ(lines[6 + 3 * window].rfind(prefix + "Y", 0), 0u) << lines[6 + 3 * window];
    }
    EXPECT_EQ(lines[4], "Window.Main.Show               = 1");
    EXPECT_EQ(lines[8], "Window.Advanced.X              = 500");
    EXPECT_EQ(lines[4 + windowLines], "General.StartupPreset          = -3");

    // Leave the process as a fresh load would find it.
    ClearProcessorState(PluginEngine().state);
    initDone = false;
}

TEST(PluginSettingsFile, StartupPresetBeyondThirtyTwoBitsIsClampedAndNamesNoPreset) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {{"1e10", INT32_MAX}, {"-1e10", INT32_MIN}, {"-2147483648", INT32_MIN}, {"12.9", 12}};
    for (const Case& c : cases) {
        paramsrig::ScratchFolder folder;
        folder.write("dsp_Drelvant.ini", crlf(std::string("Drelvant\nThis is a settings file for Drelvant v1.20\n"
                                                          "Filename: dsp_Drelvant.ini\n"
                                                          "-----------------------------------------\n"
                                                          "General.StartupPreset          = ") +
                                              c.text + "\n"));
        initDone = false;
        ASSERT_EQ(Init(&dspModule), 0) << c.text;
        EXPECT_EQ(PluginEngine().state.startupPreset, c.expected) << c.text;
        Quit(&dspModule);
        EXPECT_NE(folder.read("dsp_Drelvant.ini").find("General.StartupPreset          = " +
                                                       std::to_string(c.expected)),
                  std::string::npos)
            << c.text;
        ClearProcessorState(PluginEngine().state);
        initDone = false;
    }
    char label[32];
    FormatDefaultLabel(INT32_MIN, label, sizeof label);
    EXPECT_STREQ(label, "Default: F2147483649");
    FormatDefaultLabel(-6, label, sizeof label);
    EXPECT_STREQ(label, "Default: F7");
    FormatDefaultLabel(INT32_MAX, label, sizeof label);
    EXPECT_STREQ(label, "Default: 2147483647");
}
