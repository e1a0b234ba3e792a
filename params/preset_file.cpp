// Loading a preset file from any path, on top of the preset store's public operations.
#include "params/preset_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dsp/derived_parameters.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"

namespace {

constexpr const char* kNameKey = "General.Name";
constexpr const char* kBaseKey = "General.BaseFactoryPreset";
constexpr const char* kScratchName = "DV_Preset.ini";  // never written

// Reads the file into the settings text as a file of the host directory would be read: the text
// cleared first, at most kSettingsTextMaxFileBytes bytes.
bool readIntoSettingsText(const char* path) {
    std::memset(SettingsText, 0, sizeof SettingsText);
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::fread(SettingsText, 1, kSettingsTextMaxFileBytes, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) std::memset(SettingsText, 0, sizeof SettingsText);
    return !failed;
}

// The factory index of a base number; -1 (no resource, registered defaults) outside F1 ... F10.
int factoryIndexOfBase(double base) {
    const double truncated = std::trunc(base);
    if (!(truncated <= 0.0 && truncated >= kLowestPresetNumber)) return -1;
    return -static_cast<int>(truncated);
}

}  // namespace

bool LoadPresetFile(const char* path) {
    BeginText(kScratchName);
    if (!readIntoSettingsText(path)) return false;
    if (!HasKey(kNameKey) && !HasKey(kBaseKey)) return false;

    BaseFactoryPreset = GetNumber(kBaseKey, 0.0);
    LoadFactoryText(factoryIndexOfBase(BaseFactoryPreset));
    ApplyText(true);

    readIntoSettingsText(path);
    ApplyText(false);
    BaseFactoryPreset = GetNumber(kBaseKey, 0.0);

    storeShared(SettingsChanged, false);
    UpdateDerivedParameters(processorState, liveParams, true);
    storeShared(processorState.lastProcessTick, uint32_t{0});
    return true;
}
