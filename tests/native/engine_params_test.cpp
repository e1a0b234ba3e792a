// The engine's description: the registry registers exactly what the tables describe, the host API
// describes exactly what the registry holds, and settings apply as a preset file's keys apply.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dsp/chain.h"
#include "host/engine_api.h"
#include "host/engine_params.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/engine_model.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params_rig.h"

using paramsrig::BuiltRegistry;

namespace {

struct EngineDeleter {
    void operator()(Engine* engine) const { destroyEngine(engine); }
};
using EnginePtr = std::unique_ptr<Engine, EngineDeleter>;

std::vector<const ParamEntry*> registered() {
    std::vector<const ParamEntry*> entries;
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next) {
        for (const ParamEntry* p = w->params; p != nullptr; p = p->next) entries.push_back(p);
    }
    return entries;
}

// A deterministic programme: a few tones at changing levels, interleaved 16-bit stereo.
std::vector<int16_t> programme(int frames) {
    std::vector<int16_t> samples(2 * frames);
    for (int i = 0; i < frames; ++i) {
        const double level = 0.05 + 0.6 * (i % 11025) / 11025.0;
        const double v = level * (std::sin(i * 0.031) + 0.5 * std::sin(i * 0.29));
        samples[2 * i] = static_cast<int16_t>(12000.0 * v);
        samples[2 * i + 1] = static_cast<int16_t>(11000.0 * v * std::cos(i * 0.0007));
    }
    return samples;
}

std::vector<int16_t> processed(Engine& engine, int frames) {
    std::vector<int16_t> samples = programme(frames);
    for (int start = 0; start < frames; start += 576) processBlock16(engine, samples.data() + 2 * start, std::min(576, frames - start));
    return samples;
}

}  // namespace

TEST(EngineDescription, TheRegistryHoldsWhatTheApiDescribes) {
    BuiltRegistry registry;
    const std::vector<const ParamEntry*> entries = registered();
    const std::vector<EngineParamInfo>& params = engineParams();
    ASSERT_EQ(params.size(), entries.size());
    ASSERT_EQ(static_cast<int>(params.size()), model::parameterCount());
    for (int r = 0; r < model::kParamRowCount; ++r) {
        EXPECT_NE(model::findWindow(model::kParams[r].window), nullptr) << "a row of no window: " << model::kParams[r].window;
    }
    std::set<std::string> windowNames;
    for (const EngineWindowInfo& w : engineWindows()) windowNames.insert(w.name);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const EngineParamInfo& p = params[i];
        const ParamEntry& e = *entries[i];
        EXPECT_EQ(p.key, e.key) << i;
        EXPECT_EQ(p.controlId, e.controlId) << p.key;
        EXPECT_EQ(p.labelId, e.labelId) << p.key;
        EXPECT_EQ(p.defaultValue, e.defaultValue) << p.key;
        EXPECT_EQ(windowNames.count(p.window), 1u) << p.key;
        EXPECT_EQ(p.kind == EngineParamKind::kSwitch, e.kind == CheckBox) << p.key;
        EXPECT_EQ(p.kind == EngineParamKind::kMeter, e.kind == Meter) << p.key;
        EXPECT_EQ(p.logarithmic, e.decimals < 0) << p.key;
        if (!p.logarithmic && p.kind != EngineParamKind::kSwitch) {
            EXPECT_EQ(p.minimum, e.minValue) << p.key;
            EXPECT_EQ(p.maximum, e.maxValue) << p.key;
        }
        if (p.logarithmic) {  // the top position is the range's top frequency, to 1/100 octave
            EXPECT_EQ(e.maxValue, std::round(100.0 * std::log2(p.maximum / p.minimum))) << p.key;
        }
        if (p.kind == EngineParamKind::kSlider && !p.logarithmic) { EXPECT_EQ(p.decimals, e.decimals) << p.key; }
        EXPECT_EQ(p.storage == EngineParamStorage::kNowhere, p.key.empty() || p.kind == EngineParamKind::kMeter)
            << p.key;
        if (!p.key.empty()) { EXPECT_EQ(engineParamIndex(p.key), static_cast<int>(i)); }
    }
}

// The ranges, defaults and decimals the product publishes, for a few parameters of each kind.
TEST(EngineDescription, RangesDefaultsAndDecimalsAreThePublishedOnes) {
    struct Spec {
        const char* key;
        double min, max, defaultValue;
        int decimals;
        const char* unit;
    };
    const Spec specs[] = {
        {"General.DensityDrive.dB", -12, 36, 0, 1, "dB"},
        {"General.QuantizationDither.Active", 0, 1, 1, 0, ""},
        {"General.MainBypass", 0, 1, 0, 0, ""},
        {"Processor.Detect1.msec", 1, 500, 20, 0, "ms"},
        {"Processor.Detect10.msec", 1, 500, 1, 0, "ms"},
        {"HighpassFilter.Cutoff.Hz", 20, 320, 30, 0, "Hz"},
        {"LowpassFilter.Cutoff.Hz", 20, 20480, 18000, 0, "Hz"},
        {"StereoImageProc.Detect2.msec", 1, 2000, 500, 0, "ms"},
        {"AGC.Crossover", 20, 2560, 400, 0, "Hz"},
        {"3BandEQ.Crossover.M-H", 20, 7241, 5000, 0, "Hz"},
        {"DynamicEQ.Speed.msec", 200, 8000, 2000, 0, "ms"},
        {"Compressor.Ratio4", 1, 10, 5, 1, "ratio"},
        {"Compressor.Threshold10.dB", -24, 24, -6, 1, "dB"},
        {"Expander.Threshold3.dB", -40, 6, -6, 1, "dB"},
        {"Limiter.Release2.msec", 0, 5000, 500, 0, "ms"},
        {"Saturator.Level5.%", 0, 100, 15, 0, "%"},
        {"Saturator.Clip9.Enable", 0, 1, 0, 0, ""},
        {"FinalClipper.Threshold.dB", -12, 12, -0.1, 1, "dB"},
        {"FinalLimiter.Lookahead.msec", 0, 90, 5, 0, "ms"},
    };
    for (const Spec& spec : specs) {
        const int index = engineParamIndex(spec.key);
        ASSERT_GE(index, 0) << spec.key;
        const EngineParamInfo& p = engineParams()[index];
        EXPECT_EQ(p.minimum, spec.min) << spec.key;
        EXPECT_EQ(p.maximum, spec.max) << spec.key;
        EXPECT_EQ(p.defaultValue, spec.defaultValue) << spec.key;
        EXPECT_EQ(p.decimals, spec.decimals) << spec.key;
        EXPECT_EQ(p.unit, spec.unit) << spec.key;
        EXPECT_EQ(p.storage, EngineParamStorage::kPreset) << spec.key;
    }
}

TEST(EngineDescription, StageRowsNameTheConsoleSwitchesAndTheirWindows) {
    std::set<int> openButtons;
    for (int s = 0; s < model::kStageCount; ++s) {
        const model::StageRow& stage = model::kStages[s];
        const int index = engineParamIndex(stage.switchKey);
        ASSERT_GE(index, 0) << stage.switchKey;
        EXPECT_EQ(engineParams()[index].kind, EngineParamKind::kSwitch);
        EXPECT_EQ(engineParams()[index].window, "Main");
        EXPECT_EQ(engineParams()[index].consoleRow, s);
        if (stage.window != nullptr) { EXPECT_NE(model::findWindow(stage.window), nullptr) << stage.window; }
    }
    for (int w = 0; w < model::kWindowCount; ++w) {
        const int button = model::kWindows[w].openButton;
        if (button != 0) { EXPECT_TRUE(openButtons.insert(button).second) << button; }
    }
}

// The console's stages are rows of the chain table, in its order, each run by the switch the
// console shows for it.
TEST(EngineDescription, ConsoleStagesAreTheChainsSwitchedStagesInOrder) {
    BuiltRegistry registry;
    int previous = -1;
    for (const EngineStageInfo& stage : engineStages()) {
        ASSERT_GE(stage.chainPosition, 0) << stage.name << " is no stage of the chain";
        EXPECT_GT(stage.chainPosition, previous) << stage.name;
        previous = stage.chainPosition;
        const ChainStage& chain = kChainStages[stage.chainPosition];
        ASSERT_NE(chain.active, nullptr) << stage.name;
        const ParamEntry* console = paramsrig::findParam(stage.switchKey.c_str());
        ASSERT_NE(console, nullptr);
        EXPECT_EQ(console->value, &(PluginEngine().live.general.*chain.active)) << stage.name;
        EXPECT_EQ(stage.pauseResets, chain.idleReset != nullptr) << stage.name;
    }
    int switched = 0;  // every switched stage of the chain has its console row
    for (int c = 0; c < kChainStageCount; ++c) switched += kChainStages[c].active != nullptr ? 1 : 0;
    EXPECT_EQ(switched, static_cast<int>(engineStages().size()));
}

// The stages' own latencies make up the engine's: under every factory preset, the latency left
// when they are taken away is what the engine reports with every stage switched off.
TEST(EngineDescription, StageLatenciesAddUpToTheEnginesLatency) {
    std::unique_ptr<Engine, EngineDeleter> engine(createEngine(1));
    ASSERT_TRUE(engine);
    const std::vector<EngineStageInfo>& stages = engineStages();
    std::string error;
    int presets = 0;
    for (int preset = 1; loadFactoryPreset(*engine, preset, &error); ++preset) {
        ++presets;
        int64_t sum = 0;
        for (int s = 0; s < static_cast<int>(stages.size()); ++s) {
            const int64_t frames = stageLatencyFrames(*engine, s);
            EXPECT_GE(frames, 0) << stages[s].name;
            if (!stages[s].addsLatency) { EXPECT_EQ(frames, 0) << stages[s].name; }
            sum += frames;
        }
        const int64_t total = latencyFrames(*engine);
        for (const EngineStageInfo& stage : stages) ASSERT_TRUE(setValue(*engine, stage.switchKey.c_str(), 0));
        for (int s = 0; s < static_cast<int>(stages.size()); ++s) EXPECT_EQ(stageLatencyFrames(*engine, s), 0);
        EXPECT_EQ(total - sum, latencyFrames(*engine)) << "preset " << preset;
    }
    EXPECT_GT(presets, 0);
}

// A stage's meters are meters of the host API shown in the stage's window, each named by one stage.
TEST(EngineDescription, StageMetersAreTheMetersOfTheirWindows) {
    std::unique_ptr<Engine, EngineDeleter> engine(createEngine(1));
    ASSERT_TRUE(engine);
    std::set<std::string> named;
    for (const EngineStageInfo& stage : engineStages()) {
        for (const std::string& meter : stage.meters) {
            const int index = findMeter(meter.c_str());
            ASSERT_GE(index, 0) << meter;
            EXPECT_EQ(std::string(meterInfo(*engine, index).window), stage.window) << meter;
            EXPECT_TRUE(named.insert(meter).second) << meter << " named twice";
        }
    }
    for (int m = 0; m < meterCount(); ++m) {
        const MeterInfo meter = meterInfo(*engine, m);
        bool stageWindow = false;
        for (const EngineStageInfo& stage : engineStages()) stageWindow = stageWindow || stage.window == meter.window;
        EXPECT_EQ(named.count(meter.name), stageWindow ? 1u : 0u) << meter.name;
    }
    EXPECT_FALSE(named.empty());
}

// Each window's title is the caption of its dialog template.
TEST(EngineDescription, WindowTitlesAreTheDialogCaptions) {
    std::ifstream in(std::string(DRELVANT_SOURCE_DIR) + "/resources/dialogs.rc", std::ios::binary);
    const std::string rc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(rc.empty());
    for (int w = 0; w < model::kWindowCount; ++w) {
        const model::WindowRow& window = model::kWindows[w];
        const std::string head = std::to_string(window.templateId) + " DIALOGEX";
        const std::size_t at = rc.find(head);
        ASSERT_NE(at, std::string::npos) << window.name;
        const std::size_t caption = rc.find("CAPTION \"", at);
        ASSERT_NE(caption, std::string::npos);
        EXPECT_EQ(rc.substr(caption + 9, rc.find('"', caption + 9) - caption - 9), window.title) << window.name;
    }
}

TEST(EngineSettings, UnknownKeysAreRefusedWithTheNearestAndNothingApplies) {
    EnginePtr engine(createEngine(3));
    ASSERT_NE(engine, nullptr);
    const std::vector<double> before = paramValues(*engine);
    std::string error;
    EXPECT_FALSE(applySettings(*engine, {{"Compressor.Ratio1", "2.5"}, {"Compressor.Ration2", "3"}}, &error));
    EXPECT_NE(error.find("Compressor.Ration2"), std::string::npos) << error;
    EXPECT_NE(error.find("Compressor.Ratio2"), std::string::npos) << error;
    EXPECT_EQ(paramValues(*engine), before);
    EXPECT_FALSE(applySettings(*engine, {{"Compressor.Ratio1", "loud"}}, &error));
    EXPECT_NE(error.find("number"), std::string::npos) << error;
    EXPECT_FALSE(applySettings(*engine, {{"General.Name", "x"}}, &error));  // a name is no parameter
    EXPECT_EQ(paramValues(*engine), before);
    EXPECT_EQ(nearestParamKeys("compressor.ratio11", 1), std::vector<std::string>{"Compressor.Ratio1"});

    SettingPair pair;
    EXPECT_TRUE(parseSettingPair(" AGC.Level.% = 70 ", &pair));
    EXPECT_EQ(pair, SettingPair("AGC.Level.%", "70"));
    EXPECT_FALSE(parseSettingPair("AGC.Level.%", &pair));
    EXPECT_FALSE(parseSettingPair("=3", &pair));
}

// Settings over F3 process to the bytes of a preset file with base F3 holding the same keys.
TEST(EngineSettings, SettingsGiveTheBytesOfAPresetFileWithTheSameKeys) {
    const std::vector<SettingPair> pairs = {
        {"Compressor.Ratio3", "7.5"}, {"General.Expander.Active", "0"}, {"FinalLimiter.Drive.dB", "-3.3"},
        {"LowpassFilter.Cutoff.Hz", "9000"}, {"Saturator.Level2.%", "150"}};  // beyond the slider, as a file may hold it
    EnginePtr set(createEngine(9));
    EnginePtr file(createEngine(9));
    ASSERT_TRUE(set && file);
    ASSERT_TRUE(loadFactoryPreset(*set, 3, nullptr));
    std::string error;
    ASSERT_TRUE(applySettings(*set, pairs, &error)) << error;
    EXPECT_EQ(presetName(*set), "FM Stereo Loud");  // the setting keeps its name
    std::string text = "Drelvant\nx\nx\n----\nGeneral.BaseFactoryPreset = -2\n";
    for (const SettingPair& pair : pairs) text += pair.first + " = " + pair.second + "\n";
    ASSERT_TRUE(loadPresetText(*file, text.data(), text.size(), &error)) << error;
    EXPECT_EQ(paramValues(*set), paramValues(*file));
    const int frames = 44100;
    EXPECT_EQ(processed(*set, frames), processed(*file, frames));
    double ratio = 0.0;
    ASSERT_TRUE(getValue(*set, "Compressor.Ratio3", &ratio));
    EXPECT_EQ(ratio, 7.5);
}

// Settings applied mid-stream with kKeepFilterMemories reach the audio as setValue hands values
// over (the filters run on); applied like a preset load they start from cleared memories.
TEST(EngineSettings, KeepingFilterMemoriesHandsOverAsSetValueDoes) {
    const std::vector<SettingPair> pairs = {
        {"Compressor.Ratio3", "7.5"}, {"LowpassFilter.Cutoff.Hz", "9000"}, {"General.PostAmp.dB", "-3.5"}};
    EnginePtr kept(createEngine(5));
    EnginePtr single(createEngine(5));
    EnginePtr loaded(createEngine(5));
    ASSERT_TRUE(kept && single && loaded);
    const int frames = 22050;
    for (Engine* engine : {kept.get(), single.get(), loaded.get()}) processed(*engine, frames);
    std::string error;
    ASSERT_TRUE(applySettings(*kept, pairs, &error, ApplyMode::kKeepFilterMemories)) << error;
    ASSERT_TRUE(applySettings(*loaded, pairs, &error, ApplyMode::kLikePresetLoad)) << error;
    for (const SettingPair& pair : pairs) ASSERT_TRUE(setValue(*single, pair.first.c_str(), std::stod(pair.second)));
    EXPECT_EQ(paramValues(*kept), paramValues(*single));
    EXPECT_EQ(paramValues(*kept), paramValues(*loaded));
    const std::vector<int16_t> keptOutput = processed(*kept, frames);
    EXPECT_EQ(keptOutput, processed(*single, frames));
    EXPECT_NE(keptOutput, processed(*loaded, frames));
}

namespace {

// The number written at `at`: "2,000" -> 2000, "+24" -> 24, "-0.1" -> -0.1 (a comma or point that
// no digit follows ends it).
double manualNumber(const std::string& text, std::size_t at) {
    std::string digits;
    for (std::size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        const bool digitFollows = i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]));
        if (std::isdigit(static_cast<unsigned char>(c)) || (i == at && (c == '-' || c == '+'))) {
            if (c != '+') digits += c;
        } else if ((c == ',' || c == '.') && digitFollows) {
            if (c == '.') digits += c;
        } else {
            break;
        }
    }
    return std::stod(digits);
}

bool isKeyList(const std::string& names) {
    for (char c : names) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::string(".%-, ").find(c) == std::string::npos) return false;
    }
    return names.find('.') != std::string::npos;
}

}  // namespace

// The manual's parameter lines ("  - KEY: MIN to MAX unit, default D") give each slider the
// range and default the engine has, and every slider a preset stores has such a line.
TEST(EngineDescription, TheManualListsEverySliderWithItsRangeAndDefault) {
    std::ifstream in(std::string(DRELVANT_SOURCE_DIR) + "/resources/manual.txt", std::ios::binary);
    const std::string manual((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(manual.empty());
    std::set<std::string> described;  // keys as the manual writes them: "Compressor.RatioN", ...
    std::size_t at = 0;
    int checked = 0;
    while ((at = manual.find("\n  - ", at)) != std::string::npos) {
        at += 5;
        const std::string line = manual.substr(at, manual.find_first_of("\r\n", at) - at);
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos || !isKeyList(line.substr(0, colon))) continue;
        std::vector<std::string> keys;
        std::string names = line.substr(0, colon);
        for (std::size_t start = 0; start <= names.size();) {
            std::size_t end = names.find(", ", start);
            const std::size_t span = names.find(" to ", start);
            if (span != std::string::npos && (end == std::string::npos || span < end)) end = span;
            keys.push_back(names.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + (names.compare(end, 4, " to ") == 0 ? 4 : 2);
        }
        described.insert(keys.begin(), keys.end());
        const std::string rest = line.substr(colon + 2);
        const std::size_t to = rest.find(" to ");
        const auto numeric = [&](std::size_t i) {
            return i < rest.size() && (std::isdigit(static_cast<unsigned char>(rest[i])) || rest[i] == '-' || rest[i] == '+');
        };
        if (to == std::string::npos || !numeric(0) || !numeric(to + 4)) continue;  // a switch, or prose
        const std::size_t fallback = rest.find("default ");
        const double min = manualNumber(rest, 0);
        const double max = manualNumber(rest, to + 4);
        for (std::string key : keys) {
            const std::size_t n = key.find('N');
            if (n != std::string::npos && engineParamIndex(key) < 0) key.replace(n, 1, "1");  // a family's first member
            const int index = engineParamIndex(key);
            ASSERT_GE(index, 0) << "the manual names " << key;
            const EngineParamInfo& p = engineParams()[index];
            EXPECT_EQ(p.minimum, min) << key;
            EXPECT_EQ(p.maximum, max) << key;
            if (fallback != std::string::npos) {
                EXPECT_EQ(p.defaultValue, manualNumber(rest, fallback + 8)) << key;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 40);
    for (int r = 0; r < model::kParamRowCount; ++r) {
        const model::ParamRow& row = model::kParams[r];
        if (row.guard == nullptr || row.storage != model::Storage::kPreset) continue;
        const model::ExpandedParam first = model::expand(row, 0);
        std::string family = row.guard->key;
        const std::size_t band = family.find("%d");
        if (band != std::string::npos) family.replace(band, 2, "N");
        std::string shown;
        for (char c : family) {
            if (!(c == '%' && !shown.empty() && shown.back() == '%')) shown += c;  // "%%" is a percent sign
        }
        EXPECT_TRUE(described.count(first.key) == 1 || described.count(shown) == 1)
            << "no manual line for " << first.key;
    }
}

// A settings-only parameter (a row with Storage::kSettingsOnly) is neither written to a preset nor
// taken from one.
TEST(EngineDescription, SettingsOnlyParametersStayOutOfPresets) {
    BuiltRegistry registry;
    ParamEntry* mono = paramsrig::findParam("StereoImageProc.Mono");
    ASSERT_NE(mono, nullptr);
    mono->inPresets = false;
    BuildPresetText(PluginEngine(), "DV_Preset01.ini");
    EXPECT_EQ(std::string(PluginEngine().text.text).find("StereoImageProc.Mono"), std::string::npos);
    EXPECT_NE(std::string(PluginEngine().text.text).find("StereoImageProc.Amount.%"), std::string::npos);
    const std::string text = "Drelvant\r\nx\r\nx\r\n----\r\nStereoImageProc.Mono = 1\r\nStereoImageProc.Amount.% = 7\r\n";
    std::memset(PluginEngine().text.text, 0, sizeof PluginEngine().text.text);
    std::memcpy(PluginEngine().text.text, text.data(), text.size());
    ApplyText(PluginEngine(), false);
    EXPECT_EQ(PluginEngine().live.stereoImage.mono, 0);
    EXPECT_EQ(PluginEngine().live.stereoImage.amountPercent, 7.0);
}
