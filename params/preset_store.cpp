// The preset store: factory texts from the module, user slot files, and how a preset is applied.
#include "params/preset_store.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/derived_parameters.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "params/engine.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "params/ui_seam.h"
#include "platform/platform.h"

static_assert(sizeof(LiveParams::presetName) == kPresetNameSize, "the current name fits a name slot");

namespace {

constexpr char kPresetFilePrefix[] = "DV_Preset";
constexpr std::size_t kPresetFilePrefixLength = sizeof kPresetFilePrefix - 1;
constexpr char kPresetFilePattern[] = "DV_Preset*.ini";
constexpr char kScratchFileName[] = "DV_Preset.ini";  // names the text while loading; never written

bool isSlider(const ParamEntry& param) { return param.kind == VerticalSlider || param.kind == HorizontalSlider; }

// The slot number in a file name "DV_PresetNN...": the two characters after the prefix read as a
// decimal number (leading blanks skipped, stopping at the first non-digit); false when they do
// not start with a number.
bool slotFromFileName(const char* name, int* slot) {
    if (std::strlen(name) < kPresetFilePrefixLength) return false;
    char digits[3] = {};
    std::strncpy(digits, name + kPresetFilePrefixLength, 2);
    const char* p = digits;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') return false;
    int value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
    *slot = negative ? -value : value;
    return true;
}

void visitPresetFile(const char* name, bool isDirectory, void* context) {
    if (isDirectory) return;
    Engine& engine = *static_cast<Engine*>(context);
    int slot = 0;
    if (!slotFromFileName(name, &slot) || slot < 1 || slot > kUserSlots) return;
    ReadTextFile(engine.text, name);
    GetString(engine.text, "General.Name", engine.presets.userNames[slot]);
}

// A user file names its base as a double; anything outside the factory numbers has no resource.
int factoryIndexOfBase(double base) {
    const double truncated = std::trunc(base);
    if (!(truncated <= 0.0 && truncated >= kLowestPresetNumber)) return -1;
    return -static_cast<int>(truncated);
}

void applySlider(const SettingsText& text, const ParamEntry& param, bool forceAll) {
    double* live = static_cast<double*>(param.value);
    if (forceAll) {
        storeShared(*live, GetNumber(text, param.key, param.defaultValue));
        return;
    }
    double value = 0.0;
    switch (LookupNumber(text, param.key, &value)) {
        case kNumberFound:
            storeShared(*live, value);
            break;
        case kNumberNonFinite:
            break;  // keep what the base preset gave: infinity or NaN would poison the engine
        case kNumberUnparsed:
            storeShared(*live, param.defaultValue);
            break;
        case kNumberAbsent:
            break;
    }
}

void applyCheckBox(const SettingsText& text, const ParamEntry& param, bool forceAll) {
    uint8_t* live = static_cast<uint8_t*>(param.value);
    if (forceAll) {
        storeShared(*live, static_cast<uint8_t>(GetNumber(text, param.key, param.defaultValue) != 0.0 ? 1 : 0));
        return;
    }
    double value = 0.0;
    switch (LookupNumber(text, param.key, &value)) {
        case kNumberFound:
            storeShared(*live, static_cast<uint8_t>(value != 0.0 ? 1 : 0));
            break;
        case kNumberNonFinite:
            break;
        case kNumberUnparsed:
            storeShared(*live, static_cast<uint8_t>(param.defaultValue != 0.0 ? 1 : 0));
            break;
        case kNumberAbsent:
            break;
    }
}

}  // namespace

void PresetFileName(int32_t slot, char out[kPresetFileNameSize]) {
    std::snprintf(out, kPresetFileNameSize, "DV_Preset%.2d.ini", static_cast<int>(slot));
}

void FormatDefaultLabel(int32_t number, char* out, std::size_t size) {
    if (number > 0) {
        std::snprintf(out, size, "Default: %d", static_cast<int>(number));
    } else {
        // 1 - number in 64 bits: the lowest 32-bit number has no positive 32-bit counterpart.
        std::snprintf(out, size, "Default: F%lld", 1LL - static_cast<long long>(number));
    }
}

int32_t StartupPreset(const Engine& engine) { return loadShared(engine.state.startupPreset); }

void SetStartupPreset(Engine& engine, int32_t number) { storeShared(engine.state.startupPreset, number); }

int32_t StartupPresetFromSettings(const SettingsText& text) {
    const double value = GetNumber(text, "General.StartupPreset", 0);
    if (!(value >= INT32_MIN)) return INT32_MIN;  // also NaN, which the reader never yields
    if (value > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(value);
}

void ScanPresets(Engine& engine) {
    PresetStore& store = engine.presets;
    std::memset(store.factoryNames, 0, sizeof store.factoryNames);
    std::memset(store.userNames, 0, sizeof store.userNames);
    for (int index = 0; index < kFactorySlots; ++index) {
        if (LoadFactoryText(engine.text, index)) GetString(engine.text, "General.Name", store.factoryNames[index]);
    }
    platform::findFiles(ResolvePath(engine.text, kPresetFilePattern), visitPresetFile, &engine);
}

bool LoadFactoryText(SettingsText& text, int index) {
    std::memset(text.text, 0, sizeof text.text);
    if (index < 0 || index >= kFactoryResources) return false;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource(kFactoryResourceType, kFirstFactoryResourceId + index, &data, &size)) return false;
    if (size < 1 || size > static_cast<std::size_t>(kSettingsTextMaxFileBytes)) return false;
    std::memcpy(text.text, data, size);
    return true;
}

void ApplyText(Engine& engine, bool forceAll) {
    const SettingsText& text = engine.text;
    char name[kPresetNameSize];
    GetString(text, "General.Name", name);
    std::memcpy(boundParams(engine).presetName, name, sizeof name);
    for (WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->key[0] == '\0' || param->value == nullptr || !param->inPresets) continue;
            if (isSlider(*param)) {
                applySlider(text, *param, forceAll);
            } else if (param->kind == CheckBox) {
                applyCheckBox(text, *param, forceAll);
            }
        }
    }
}

void ApplyPresetFile(Engine& engine, const char* file, std::size_t size) {
    SettingsText& text = engine.text;
    if (size > static_cast<std::size_t>(kSettingsTextMaxFileBytes)) size = kSettingsTextMaxFileBytes;
    auto readFile = [&] {
        std::memset(text.text, 0, sizeof text.text);
        std::memcpy(text.text, file, size);
    };
    readFile();
    double& base = engine.presets.baseFactoryPreset;
    base = GetNumber(text, "General.BaseFactoryPreset", 0.0);
    LoadFactoryText(text, factoryIndexOfBase(base));
    ApplyText(engine, true);
    readFile();
    ApplyText(engine, false);
    base = GetNumber(text, "General.BaseFactoryPreset", 0.0);
    storeShared(engine.registry.settingsChanged, false);
    CommitSettings(engine, true, true);
}

bool LoadPreset(Engine& engine, int32_t number) {
    SettingsText& text = engine.text;
    BeginText(text, kScratchFileName);
    if (number >= kLowestPresetNumber && number <= 0) {
        LoadFactoryText(text, -number);
        ApplyText(engine, true);
        engine.presets.baseFactoryPreset = number;
    } else if (number >= 1 && number <= kUserSlots) {
        char fileName[kPresetFileNameSize];
        PresetFileName(number, fileName);
        ReadTextFile(text, fileName);  // a missing file reads as an empty text
        char* file = engine.presets.fileCopy;
        std::memcpy(file, text.text, sizeof text.text);
        ApplyPresetFile(engine, file, std::strlen(file));
        return true;
    }
    storeShared(engine.registry.settingsChanged, false);
    CommitSettings(engine, true, true);
    return true;
}

void BuildPresetText(Engine& engine, const char* fileName) {
    SettingsText& text = engine.text;
    BeginText(text, fileName);
    AppendString(text, "General.Name", boundParams(engine).presetName);
    AppendNumber(text, "General.BaseFactoryPreset", 0, engine.presets.baseFactoryPreset);
    for (WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->key[0] == '\0' || param->value == nullptr || !param->inPresets) continue;
            if (isSlider(*param)) {
                AppendNumber(text, param->key, param->decimals > 0 ? param->decimals : 0,
                             loadShared(*static_cast<const double*>(param->value)));
            } else if (param->kind == CheckBox) {
                AppendNumber(text, param->key, 0,
                             loadShared(*static_cast<const uint8_t*>(param->value)) != 0 ? 1.0 : 0.0);
            }
        }
    }
}

bool SavePreset(Engine& engine, int32_t slot) {
    if (slot < 1 || slot > kUserSlots) return false;
    char fileName[kPresetFileNameSize];
    PresetFileName(slot, fileName);
    BuildPresetText(engine, fileName);
    if (!WriteTextFile(engine.text)) return false;
    std::memcpy(engine.presets.userNames[slot], boundParams(engine).presetName, kPresetNameSize);
    storeShared(engine.registry.settingsChanged, false);
    return true;
}

bool DeletePreset(Engine& engine, int32_t slot) {
    if (slot < 1 || slot > kUserSlots) return false;
    char fileName[kPresetFileNameSize];
    PresetFileName(slot, fileName);
    if (!platform::deleteFile(ResolvePath(engine.text, fileName))) return false;
    std::memset(engine.presets.userNames[slot], 0, kPresetNameSize);
    return true;
}
