// The console's engine model over the engine's host API: its description (windows, parameters
// and their values), settings applied whole, presets and the plug-in console's preset buttons,
// meters and the capture ring. The only console file that reaches the engine.
#include <cctype>
#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "analysis/spectrum_analysis.h"
#include "cli/files.h"
#include "cli/hosting.h"
#include "console/embedded_page.h"
#include "console/engine_model.h"
#include "host/engine_api.h"
#include "host/engine_params.h"
#include "platform/shared_value.h"

namespace console {

struct EngineModel {
    cli::HostedEngine* hosted = nullptr;
    Engine* engine = nullptr;
    std::string settingsDirectory;
    SpectrumWork spectrum;  // the analyser's work arrays
    uint16_t octaveTable[kOctaveTableSize];
    int32_t startupPreset = 0;  // after the last preset button pressed
};

namespace {

// The parameters a console shows and sets: every stored slider and switch.
bool isShown(const EngineParamInfo& param) {
    return !param.key.empty() && param.kind != EngineParamKind::kMeter && param.storage == EngineParamStorage::kPreset;
}

// "General.PostAmp.dB" -> "dB"; "Compressor.Ratio3" -> "".
std::string unitOfKey(const std::string& key) {
    const size_t dot = key.rfind('.');
    const size_t first = key.find('.');
    if (dot == std::string::npos || dot == first) return std::string();
    const std::string last = key.substr(dot + 1);
    if (last == "dB" || last == "msec" || last == "%" || last == "Hz") return last;
    return std::string();
}

// ---- captions from the dialog templates the windows are built from ----

struct TemplateTexts {
    std::map<int, std::string> titles;                   // template id -> caption
    std::map<std::pair<int, int>, std::string> captions; // (template, control id) -> text
};

std::string quotedText(const std::string& line) {
    const size_t open = line.find('"');
    const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    return close == std::string::npos ? std::string() : line.substr(open + 1, close - open - 1);
}

// Scale marks ("32", "1K", "-12") are not labels; words are.
bool isLabel(const std::string& text) {
    int letters = 0;
    for (const char c : text) letters += std::isalpha(static_cast<unsigned char>(c)) ? 1 : 0;
    return letters >= 2;
}

std::string withoutLineBreaks(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool lineBreak = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n';
        out += lineBreak ? ' ' : text[i];
        if (lineBreak) ++i;
    }
    return out;
}

// A slider is captioned by the last label or group title above it in its template; a check box
// by its own text (an "Active" box by its row's label).
TemplateTexts readTemplateTexts() {
    TemplateTexts texts;
    std::istringstream rc(std::string(kDialogTemplates, kDialogTemplatesSize));
    std::string line;
    int templateId = 0;
    std::string lastLabel;
    while (std::getline(rc, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        int id = 0;
        if (std::sscanf(line.c_str(), "%d DIALOGEX", &id) == 1 && line.find("DIALOGEX") != std::string::npos) {
            templateId = id;
            lastLabel.clear();
            continue;
        }
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const std::string body = line.substr(start);
        if (body.rfind("CAPTION ", 0) == 0) {
            texts.titles[templateId] = quotedText(body);
            continue;
        }
        const std::string text = quotedText(body);
        const size_t afterText = body.find('"', body.find('"') + 1);
        int controlId = -1;
        if (afterText != std::string::npos) std::sscanf(body.c_str() + afterText + 1, " , %d", &controlId);
        if (body.rfind("LTEXT ", 0) == 0 || body.rfind("CTEXT ", 0) == 0 || body.rfind("RTEXT ", 0) == 0 ||
            body.rfind("GROUPBOX ", 0) == 0) {
            if (isLabel(text)) lastLabel = withoutLineBreaks(text);
        } else if (body.rfind("AUTOCHECKBOX ", 0) == 0 && controlId > 0) {
            texts.captions[{templateId, controlId}] = text == "Active" && !lastLabel.empty() ? lastLabel : text;
        } else if (body.rfind("CONTROL ", 0) == 0 && controlId > 0 && !lastLabel.empty()) {
            texts.captions[{templateId, controlId}] = lastLabel;
        }
    }
    return texts;
}

const TemplateTexts& templateTexts() {
    static const TemplateTexts texts = readTemplateTexts();
    return texts;
}

// Presses one of the plug-in console's preset buttons with preset `number` selected.
PresetOutcome pressButton(EngineModel& model, int32_t number, PresetButton button, bool answerYes) {
    PresetOutcome outcome;
    if (model.settingsDirectory.empty()) {
        outcome.message = "there is no settings directory (set HOME or give --dir)";
        return outcome;
    }
    const PresetButtonAnswer answer =
        pressPresetButton(*model.engine, model.settingsDirectory, cli::startupPresetNumber(model.settingsDirectory),
                          number, button, answerYes);
    if (!answer.listed) {
        outcome.notFound = true;
        outcome.message = "there is no preset " + std::to_string(number);
        return outcome;
    }
    outcome.question = answer.asked && !answerYes;
    outcome.message = answer.message;
    outcome.ok = answer.done;
    model.startupPreset = answer.startupPreset;
    return outcome;
}

std::string presetNumberText(int32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, number <= 0 ? "F%d" : "%d", number <= 0 ? 1 - number : number);
    return text;
}

// "F3", "12" or a name, never a path.
bool choosePresetByName(EngineModel& model, const std::string& text, cli::PresetChoice* choice, std::string* error) {
    if (text.empty() || text.find('/') != std::string::npos || text.find('\\') != std::string::npos) {
        *error = "a preset is named by F1 ... F7, a user slot 1 ... 99 or its name, not a path";
        return false;
    }
    if (!cli::choosePreset(text, model.settingsDirectory, choice, error)) return false;
    if (choice->kind == cli::PresetChoice::kFile) {
        *error = "a preset is named by F1 ... F7, a user slot 1 ... 99 or its name, not a file";
        return false;
    }
    return true;
}

bool writeStartupPreset(const std::string& directory, int32_t number, std::string* error) {
    const std::string path = directory + "dsp_Drelvant.ini";
    std::string text;
    {
        std::ifstream file(path, std::ios::binary);
        if (file) {
            std::ostringstream content;
            content << file.rdbuf();
            text = presetFileText(content.str().data(), content.str().size());
        }
    }
    return cli::writeWholeFile(path, cli::withStartupPreset(text, number), error);
}

}  // namespace

EngineModel* openEngineModel(cli::HostedEngine& engine, const std::string& settingsDirectory) {
    EngineModel* model = new EngineModel;
    model->hosted = &engine;
    model->engine = cli::hostApiEngine(engine);
    model->settingsDirectory = settingsDirectory;
    BuildOctaveFrequencyTable(model->octaveTable);
    return model;
}

void closeEngineModel(EngineModel* model) { delete model; }

std::vector<WindowInfo> listWindows(EngineModel&) {
    std::vector<WindowInfo> windows;
    const TemplateTexts& texts = templateTexts();
    for (const EngineWindowInfo& window : engineWindows()) {
        WindowInfo info;
        info.name = window.name;
        const auto title = texts.titles.find(window.templateId);
        info.title = title != texts.titles.end() ? title->second : info.name;
        windows.push_back(info);
    }
    return windows;
}

std::vector<ParamInfo> listParams(EngineModel& model, const std::string& windowName) {
    std::vector<ParamInfo> params;
    const TemplateTexts& texts = templateTexts();
    std::map<std::string, int> templateOfWindow;
    for (const EngineWindowInfo& window : engineWindows()) templateOfWindow[window.name] = window.templateId;
    const std::vector<EngineParamInfo>& described = engineParams();
    const std::vector<double> values = paramValues(*model.engine);
    for (std::size_t i = 0; i < described.size(); ++i) {
        const EngineParamInfo& param = described[i];
        if (!isShown(param) || (!windowName.empty() && windowName != param.window)) continue;
        ParamInfo info;
        info.key = param.key;
        info.window = param.window;
        info.unit = unitOfKey(info.key);
        const auto caption = texts.captions.find({templateOfWindow[param.window], param.controlId});
        if (caption != texts.captions.end()) info.caption = caption->second;
        info.defaultValue = param.defaultValue;
        info.value = i < values.size() ? values[i] : param.defaultValue;
        if (param.kind == EngineParamKind::kSwitch) {
            info.kind = "switch";
            info.maxValue = 1;
            info.lineStep = info.pageStep = info.tickSpacing = 1;
            params.push_back(info);
            continue;
        }
        // A frequency slider's steps count positions of 1/100 octave.
        info.kind = param.logarithmic ? "frequency" : "slider";
        if (param.logarithmic) info.unit = "Hz";
        info.decimals = param.decimals;
        info.minValue = param.minimum;
        info.maxValue = param.maximum;
        info.tickSpacing = param.tickSpacing;
        info.lineStep = param.lineStep;
        info.pageStep = param.pageStep;
        params.push_back(info);
    }
    return params;
}

bool applyValues(EngineModel& model, const std::vector<std::pair<std::string, double>>& values,
                 std::vector<std::pair<std::string, double>>* applied, std::string* badKey) {
    // Every value as a preset file line gives it; nothing is applied unless everything can be.
    std::vector<SettingPair> pairs;
    std::vector<int> indices;
    for (const auto& [key, value] : values) {
        const int index = engineParamIndex(key);
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", value);
        if (index < 0 || !isShown(engineParams()[index]) || !std::isfinite(value) || !checkSettings({{key, text}}, nullptr)) {
            *badKey = key;
            return false;
        }
        pairs.emplace_back(key, text);
        indices.push_back(index);
    }
    std::string error;
    if (!pairs.empty() && !applySettings(*model.engine, pairs, &error, ApplyMode::kKeepFilterMemories)) {
        *badKey = pairs.front().first;
        return false;
    }
    const std::vector<double> now = paramValues(*model.engine);
    applied->clear();
    for (std::size_t i = 0; i < pairs.size(); ++i) applied->emplace_back(pairs[i].first, now[static_cast<std::size_t>(indices[i])]);
    return true;
}

PresetList listPresets(EngineModel& model) {
    PresetList list;
    static const std::vector<std::string> factoryNames = [] {
        std::vector<std::string> names;
        Engine* probe = createEngine(1);
        for (int factory = 1; probe != nullptr && factory <= cli::kFactoryPresetCount; ++factory) {
            std::string error;
            names.push_back(loadFactoryPreset(*probe, factory, &error) ? presetName(*probe) : std::string());
        }
        destroyEngine(probe);
        return names;
    }();
    for (size_t i = 0; i < factoryNames.size(); ++i) {
        if (!factoryNames[i].empty()) list.factory.push_back({presetNumberText(-static_cast<int32_t>(i)), factoryNames[i]});
    }
    for (const cli::UserPreset& user : cli::userPresets(model.settingsDirectory)) {
        list.user.push_back({std::to_string(user.slot), user.name});
    }
    list.startup = presetNumberText(cli::startupPresetNumber(model.settingsDirectory));
    return list;
}

PresetOutcome loadPresetNamed(EngineModel& model, const std::string& preset) {
    PresetOutcome outcome;
    cli::PresetChoice choice;
    if (!choosePresetByName(model, preset, &choice, &outcome.message)) {
        outcome.notFound = true;
        return outcome;
    }
    outcome.ok = cli::loadPreset(*model.hosted, choice, &outcome.message);
    return outcome;
}

namespace {

// A slot number outside the user slots: the outcome that says so, else none.
std::optional<PresetOutcome> slotOutsideUserSlots(int slot) {
    if (slot >= 1 && slot <= cli::kUserSlotCount) return std::nullopt;
    PresetOutcome outcome;
    outcome.notFound = true;
    outcome.message = "user preset slots are 1 ... " + std::to_string(cli::kUserSlotCount);
    return outcome;
}

}  // namespace

PresetOutcome savePresetSlot(EngineModel& model, int slot, const std::string& name, bool overwrite) {
    if (std::optional<PresetOutcome> outside = slotOutsideUserSlots(slot)) return *outside;
    PresetOutcome outcome;
    const std::string previous = presetName(*model.engine);
    if (!setPresetName(*model.engine, name)) {
        outcome.message = "a preset name is one line of at most " + std::to_string(kLongestPresetName) + " characters";
        return outcome;
    }
    outcome = pressButton(model, slot, PresetButton::kSave, overwrite);
    if (!outcome.ok) setPresetName(*model.engine, previous);
    return outcome;
}

PresetOutcome deletePresetSlot(EngineModel& model, int slot) {
    if (std::optional<PresetOutcome> outside = slotOutsideUserSlots(slot)) return *outside;
    return pressButton(model, slot, PresetButton::kDelete, true);
}

PresetOutcome setStartupPreset(EngineModel& model, const std::string& preset) {
    PresetOutcome outcome;
    cli::PresetChoice choice;
    if (!choosePresetByName(model, preset, &choice, &outcome.message)) {
        outcome.notFound = true;
        return outcome;
    }
    const int32_t number = choice.kind == cli::PresetChoice::kFactory ? 1 - choice.number : choice.number;
    outcome = pressButton(model, number, PresetButton::kDefault, true);
    if (outcome.ok && !writeStartupPreset(model.settingsDirectory, model.startupPreset, &outcome.message)) {
        outcome.ok = false;
    }
    return outcome;
}

EngineFacts engineFacts(EngineModel& model) {
    EngineFacts facts;
    facts.version = cli::versionText();
    const cli::PresetFacts preset = cli::loadedPresetFacts(*model.hosted);
    facts.presetNumber = preset.number;
    facts.presetName = preset.name;
    facts.latencyFrames = cli::latencyFrames(*model.hosted);
    facts.framesProcessed = cli::framesSubmitted(*model.hosted);
    return facts;
}

bool measureResponse(EngineModel& model, std::vector<double>* frequencyHz, std::vector<double>* amplitude) {
    cli::ResponseCurve curve;
    if (!cli::measureResponse(*model.hosted, &curve, nullptr, nullptr)) return false;
    *frequencyHz = curve.frequencyHz;
    *amplitude = curve.amplitude;
    return true;
}

std::vector<double> scopeSamples(EngineModel& model, int frames) {
    const CaptureRingView ring = captureRing(*model.engine);
    frames = std::max(0, std::min(frames, kCaptureRingFrames));
    const uint16_t end = loadShared(*ring.writeIndex);
    std::vector<double> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const uint16_t at = static_cast<uint16_t>(end - frames + i);
        samples[static_cast<size_t>(i)] = loadShared(ring.samples[at]);
    }
    return samples;
}

std::vector<std::pair<double, double>> spectrumBars(EngineModel& model) {
    AccumulateSpectrum(model.spectrum, captureRing(*model.engine));
    SpectrumBar bars[kSpectrumBarCount];
    SpectrumBars(model.spectrum.accumulator, model.octaveTable, bars);
    std::vector<std::pair<double, double>> result;
    for (int i = 0; i < kSpectrumBarCount; ++i) {
        result.emplace_back(model.octaveTable[i * kSpectrumBarStride], bars[i].height);
    }
    return result;
}

CeilingInfo ceilingState(EngineModel& model) {
    const TruePeakCeiling now = truePeakCeiling(*model.engine);
    return {now.on, now.ceilingDbtp, kLowestTruePeakCeilingDbtp, kHighestTruePeakCeilingDbtp};
}

CeilingInfo requestCeiling(EngineModel& model, bool on, double dBTP) {
    const double level = std::isfinite(dBTP) ? std::clamp(dBTP, kLowestTruePeakCeilingDbtp, kHighestTruePeakCeilingDbtp)
                                             : truePeakCeiling(*model.engine).ceilingDbtp;
    requestTruePeakCeiling(*model.engine, on, level);
    return {on, level, kLowestTruePeakCeilingDbtp, kHighestTruePeakCeilingDbtp};
}

uint64_t framesProcessed(const EngineModel& model) { return cli::framesSubmitted(*model.hosted); }

std::vector<std::pair<std::string, double>> readMeterValues(EngineModel& model) {
    const EngineMeters meters = readMeters(*model.engine);
    std::vector<std::pair<std::string, double>> values = {
        {"input_percent", meters.inputPercent},
        {"output_percent", meters.outputPercent},
        {"agc_low_db", meters.agcLowDb},
        {"agc_high_db", meters.agcHighDb},
        {"agc_reduction_db", meters.agcReductionDb},
        {"stereo_enhance_db", meters.stereoEnhanceDb},
    };
    constexpr int kBands = sizeof meters.bandCompressionDb / sizeof meters.bandCompressionDb[0];
    for (int band = 0; band < kBands; ++band) {
        values.emplace_back("band" + std::to_string(band + 1) + "_compression_db", meters.bandCompressionDb[band]);
    }
    for (int band = 0; band < kBands; ++band) {
        values.emplace_back("band" + std::to_string(band + 1) + "_limiting_db", meters.bandLimitingDb[band]);
    }
    values.emplace_back("final_limiter_db", meters.finalLimiterDb);
    values.emplace_back("final_clipper_db", meters.finalClipperDb);
    values.emplace_back("clipped", meters.clipped ? 1.0 : 0.0);
    return values;
}

}  // namespace console
