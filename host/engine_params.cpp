// The engine's description through the host API, built once from the engine's tables.
#include "host/engine_params.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "dsp/chain.h"
#include "dsp/shared_value.h"
#include "host/engine_api.h"
#include "params/engine.h"
#include "params/engine_model.h"
#include "params/preset_store.h"
#include "params/settings_text.h"

namespace {

EngineParamKind kindOf(int32_t kind) {
    if (kind == CheckBox) return EngineParamKind::kSwitch;
    if (kind == Meter) return EngineParamKind::kMeter;
    return EngineParamKind::kSlider;
}

EngineParamStorage storageOf(model::Storage storage) {
    switch (storage) {
        case model::Storage::kSettingsOnly: return EngineParamStorage::kSettingsOnly;
        case model::Storage::kNowhere: return EngineParamStorage::kNowhere;
        case model::Storage::kPreset: break;
    }
    return EngineParamStorage::kPreset;
}

int consoleRowOf(const char* key) {
    for (int row = 0; row < model::kStageCount; ++row) {
        if (std::strcmp(model::kStages[row].switchKey, key) == 0) return row;
    }
    return -1;
}

void describeRow(const model::ParamRow& row, std::vector<EngineParamInfo>& params) {
    for (int member = 0; member < row.count; ++member) {
        const model::ExpandedParam p = model::expand(row, member);
        EngineParamInfo info;
        info.key = p.key;
        info.window = row.window;
        info.kind = kindOf(row.kind);
        info.unit = model::unitText(row.unit);
        info.minimum = p.minShown;
        info.maximum = p.maxShown;
        info.defaultValue = p.defaultValue;
        info.logarithmic = info.kind == EngineParamKind::kSlider && row.steps.decimals == model::kLogarithmic;
        info.decimals = info.logarithmic || info.kind != EngineParamKind::kSlider ? 0 : row.steps.decimals;
        info.tickSpacing = row.steps.tickSpacing;
        info.lineStep = row.steps.lineStep;
        info.pageStep = row.steps.pageStep;
        info.horizontal = row.kind == HorizontalSlider;
        info.controlId = p.controlId;
        info.labelId = p.labelId;
        info.consoleRow = info.kind == EngineParamKind::kSwitch && !info.key.empty() ? consoleRowOf(p.key) : -1;
        info.lv2Symbol = row.lv2Symbol != nullptr ? row.lv2Symbol : "";
        info.lv2Name = row.lv2Name != nullptr ? row.lv2Name : info.lv2Symbol;
        info.storage = p.key[0] == '\0' ? EngineParamStorage::kNowhere : storageOf(row.storage);
        params.push_back(info);
    }
}

// In registration order: window by window, each window's rows in table order.
std::vector<EngineParamInfo> describeParams() {
    std::vector<EngineParamInfo> params;
    for (int w = 0; w < model::kWindowCount; ++w) {
        for (int r = 0; r < model::kParamRowCount; ++r) {
            if (std::strcmp(model::kParams[r].window, model::kWindows[w].name) == 0) describeRow(model::kParams[r], params);
        }
    }
    return params;
}

std::string lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Levenshtein distance, case ignored.
std::size_t editDistance(const std::string& a, const std::string& b) {
    const std::string x = lowered(a);
    const std::string y = lowered(b);
    std::vector<std::size_t> row(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= x.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

const char* engineParamKindText(EngineParamKind kind) {
    switch (kind) {
        case EngineParamKind::kSwitch: return "switch";
        case EngineParamKind::kMeter: return "meter";
        case EngineParamKind::kSlider: break;
    }
    return "slider";
}

const char* engineParamStorageText(EngineParamStorage storage) {
    switch (storage) {
        case EngineParamStorage::kSettingsOnly: return "settings";
        case EngineParamStorage::kNowhere: return "none";
        case EngineParamStorage::kPreset: break;
    }
    return "preset";
}

const std::vector<EngineWindowInfo>& engineWindows() {
    static const std::vector<EngineWindowInfo> windows = [] {
        std::vector<EngineWindowInfo> list;
        for (int w = 0; w < model::kWindowCount; ++w) {
            const model::WindowRow& row = model::kWindows[w];
            list.push_back({row.name, row.title, row.templateId, row.openButton});
        }
        return list;
    }();
    return windows;
}

const std::vector<EngineStageInfo>& engineStages() {
    static const std::vector<EngineStageInfo> stages = [] {
        std::vector<EngineStageInfo> list;
        for (int s = 0; s < model::kStageCount; ++s) {
            const model::StageRow& row = model::kStages[s];
            EngineStageInfo info{row.chainName, row.switchKey, row.window != nullptr ? row.window : "", row.caption,
                                 row.indented, -1, false, false, {}};
            for (int c = 0; c < kChainStageCount; ++c) {
                if (std::strcmp(kChainStages[c].name, row.chainName) != 0) continue;
                info.chainPosition = c;
                info.pauseResets = kChainStages[c].idleReset != nullptr;
                info.addsLatency = kChainStages[c].delayFrames != nullptr;
            }
            list.push_back(info);
        }
        // A stage's meters are the ones its window shows (the registry binds each meter to a window).
        if (Engine* probe = createEngine(1)) {
            for (int m = 0; m < meterCount(); ++m) {
                const MeterInfo meter = meterInfo(*probe, m);
                for (EngineStageInfo& stage : list) {
                    if (!stage.window.empty() && stage.window == meter.window) stage.meters.push_back(meter.name);
                }
            }
            destroyEngine(probe);
        }
        return list;
    }();
    return stages;
}

int64_t stageLatencyFrames(const Engine& engine, int stage) {
    const std::vector<EngineStageInfo>& stages = engineStages();
    if (stage < 0 || stage >= static_cast<int>(stages.size()) || stages[stage].chainPosition < 0) return 0;
    const ChainStage& chain = kChainStages[stages[stage].chainPosition];
    const LiveParams& params = boundParams(engine);
    if (chain.delayFrames == nullptr || !stageRuns(chain, params)) return 0;
    return chain.delayFrames(params);
}

const std::vector<EngineParamInfo>& engineParams() {
    static const std::vector<EngineParamInfo> params = describeParams();
    return params;
}

int engineParamIndex(const std::string& key) {
    if (key.empty()) return -1;
    const std::vector<EngineParamInfo>& params = engineParams();
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i].key == key) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> nearestParamKeys(const std::string& key, int count) {
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const EngineParamInfo& param : engineParams()) {
        if (!param.key.empty()) ranked.emplace_back(editDistance(key, param.key), param.key);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < ranked.size() && static_cast<int>(i) < count; ++i) keys.push_back(ranked[i].second);
    return keys;
}

std::vector<double> paramValues(Engine& engine) {
    std::vector<double> values;
    for (WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->kind == CheckBox) {
                values.push_back(loadShared(*static_cast<const uint8_t*>(param->value)) != 0 ? 1.0 : 0.0);
            } else {
                values.push_back(loadShared(*static_cast<const double*>(param->value)));
            }
        }
    }
    return values;
}

bool parseSettingPair(const std::string& text, SettingPair* pair) {
    const std::size_t sign = text.find('=');
    if (sign == std::string::npos) return false;
    pair->first = trimmed(text.substr(0, sign));
    pair->second = trimmed(text.substr(sign + 1));
    return !pair->first.empty();
}

bool checkSettings(const std::vector<SettingPair>& pairs, std::string* error) {
    auto refuse = [&](const std::string& message) {
        if (error != nullptr) *error = message;
        return false;
    };
    for (const SettingPair& pair : pairs) {
        const int index = engineParamIndex(pair.first);
        if (index < 0 || engineParams()[index].storage != EngineParamStorage::kPreset) {
            std::string message = "unknown parameter \"" + pair.first + "\"; nearest:";
            const std::vector<std::string> nearest = nearestParamKeys(pair.first, 3);
            for (std::size_t i = 0; i < nearest.size(); ++i) message += (i == 0 ? " " : ", ") + nearest[i];
            return refuse(message);
        }
        double value = 0.0;
        if (ParseSinglePrecision(pair.second.c_str(), &value) != kNumberFound) {
            return refuse("\"" + pair.first + "\" needs a finite number, not \"" + pair.second + "\"");
        }
    }
    return true;
}

bool applySettings(Engine& engine, const std::vector<SettingPair>& pairs, std::string* error, ApplyMode mode) {
    if (!checkSettings(pairs, error)) return false;
    // The pairs as the keys of a preset file, applied over the bound values as a preset file's
    // keys are applied over its base.
    SettingsText& text = engine.text;
    BeginText(text, "");
    // Applying a text sets the name from it: the setting keeps its own.
    char name[kPresetNameSize];
    std::memcpy(name, boundParams(engine).presetName, sizeof name);
    name[kPresetNameSize - 1] = '\0';
    AppendString(text, "General.Name", name);
    for (const SettingPair& pair : pairs) {
        if (!AppendString(text, pair.first.c_str(), pair.second.c_str())) {
            if (error != nullptr) *error = "too many settings at once";
            return false;
        }
    }
    ApplyText(engine, false);
    if (mode == ApplyMode::kKeepFilterMemories) {
        CommitSettings(engine, false, false);
    } else {
        CommitSettings(engine, true, true);
    }
    return true;
}
