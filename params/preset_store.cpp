// The preset store: factory texts from the module, user slot files, and how a preset is applied.
#include "params/preset_store.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/derived_parameters.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "platform/platform.h"

char FactoryPresetNames[kFactorySlots][kPresetNameSize];
char UserPresetNames[kUserSlots + 1][kPresetNameSize];
double BaseFactoryPreset = 0;

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

void visitPresetFile(const char* name, bool isDirectory, void*) {
    if (isDirectory) return;
    int slot = 0;
    if (!slotFromFileName(name, &slot) || slot < 1 || slot > kUserSlots) return;
    ReadTextFile(name);
    GetString("General.Name", UserPresetNames[slot]);
}

// A user file names its base as a double; anything outside the factory numbers has no resource.
int factoryIndexOfBase(double base) {
    const double truncated = std::trunc(base);
    if (!(truncated <= 0.0 && truncated >= kLowestPresetNumber)) return -1;
    return -static_cast<int>(truncated);
}

void applySlider(const ParamEntry& param, bool forceAll) {
    double* live = static_cast<double*>(param.value);
    if (forceAll) {
        storeShared(*live, GetNumber(param.key, param.defaultValue));
        return;
    }
    double value = 0.0;
    switch (LookupNumber(param.key, &value)) {
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

void applyCheckBox(const ParamEntry& param, bool forceAll) {
    uint8_t* live = static_cast<uint8_t*>(param.value);
    if (forceAll) {
        storeShared(*live, static_cast<uint8_t>(GetNumber(param.key, param.defaultValue) != 0.0 ? 1 : 0));
        return;
    }
    double value = 0.0;
    switch (LookupNumber(param.key, &value)) {
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
        std::snprintf(out, size, "Default: F%d", static_cast<int>(1 - number));
    }
}

int32_t StartupPreset() { return loadShared(processorState.startupPreset); }

void SetStartupPreset(int32_t number) { storeShared(processorState.startupPreset, number); }

void ScanPresets() {
    std::memset(FactoryPresetNames, 0, sizeof FactoryPresetNames);
    std::memset(UserPresetNames, 0, sizeof UserPresetNames);
    for (int index = 0; index < kFactorySlots; ++index) {
        if (LoadFactoryText(index)) GetString("General.Name", FactoryPresetNames[index]);
    }
    platform::findFiles(ResolvePath(kPresetFilePattern), visitPresetFile, nullptr);
}

bool LoadFactoryText(int index) {
    std::memset(SettingsText, 0, sizeof SettingsText);
    if (index < 0 || index >= kFactoryResources) return false;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource(kFactoryResourceType, kFirstFactoryResourceId + index, &data, &size)) return false;
    if (size < 1 || size > static_cast<std::size_t>(kSettingsTextMaxFileBytes)) return false;
    std::memcpy(SettingsText, data, size);
    return true;
}

void ApplyText(bool forceAll) {
    char name[kPresetNameSize];
    GetString("General.Name", name);
    std::memcpy(liveParams.presetName, name, sizeof liveParams.presetName);
    for (WindowEntry* window = WindowList; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->key[0] == '\0' || param->value == nullptr) continue;
            if (isSlider(*param)) {
                applySlider(*param, forceAll);
            } else if (param->kind == CheckBox) {
                applyCheckBox(*param, forceAll);
            }
        }
    }
}

bool LoadPreset(int32_t number) {
    BeginText(kScratchFileName);
    if (number >= kLowestPresetNumber && number <= 0) {
        LoadFactoryText(-number);
        ApplyText(true);
        BaseFactoryPreset = number;
    } else if (number >= 1 && number <= kUserSlots) {
        char fileName[kPresetFileNameSize];
        PresetFileName(number, fileName);
        ReadTextFile(fileName);
        BaseFactoryPreset = GetNumber("General.BaseFactoryPreset", 0.0);
        LoadFactoryText(factoryIndexOfBase(BaseFactoryPreset));
        ApplyText(true);
        ReadTextFile(fileName);
        ApplyText(false);
        BaseFactoryPreset = GetNumber("General.BaseFactoryPreset", 0.0);
    }
    storeShared(SettingsChanged, false);
    UpdateDerivedParameters(processorState, liveParams, true);
    storeShared(processorState.lastProcessTick, uint32_t{0});
    return true;
}

void BuildPresetText(const char* fileName) {
    BeginText(fileName);
    AppendString("General.Name", liveParams.presetName);
    AppendNumber("General.BaseFactoryPreset", 0, BaseFactoryPreset);
    for (WindowEntry* window = WindowList; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->key[0] == '\0' || param->value == nullptr) continue;
            if (isSlider(*param)) {
                AppendNumber(param->key, param->decimals > 0 ? param->decimals : 0,
                             loadShared(*static_cast<const double*>(param->value)));
            } else if (param->kind == CheckBox) {
                AppendNumber(param->key, 0, loadShared(*static_cast<const uint8_t*>(param->value)) != 0 ? 1.0 : 0.0);
            }
        }
    }
}

bool SavePreset(int32_t slot) {
    if (slot < 1 || slot > kUserSlots) return false;
    char fileName[kPresetFileNameSize];
    PresetFileName(slot, fileName);
    BuildPresetText(fileName);
    if (!WriteTextFile()) return false;
    std::memcpy(UserPresetNames[slot], liveParams.presetName, kPresetNameSize);
    storeShared(SettingsChanged, false);
    return true;
}

bool DeletePreset(int32_t slot) {
    if (slot < 1 || slot > kUserSlots) return false;
    char fileName[kPresetFileNameSize];
    PresetFileName(slot, fileName);
    if (!platform::deleteFile(ResolvePath(fileName))) return false;
    std::memset(UserPresetNames[slot], 0, kPresetNameSize);
    return true;
}
