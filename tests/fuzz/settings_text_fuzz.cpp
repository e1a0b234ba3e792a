// Fuzz target: arbitrary bytes as a settings file, then every lookup and ApplyText over the
// registry, then the preset text built from what was applied, which must read back the same.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/live_params.h"
#include "dsp/shared_value.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool isSlider(const ParamEntry& param) { return param.kind == VerticalSlider || param.kind == HorizontalSlider; }

bool isStoredKey(const ParamEntry& param) {
    return param.key[0] != '\0' && param.value != nullptr && std::strlen(param.key) <= kSettingsKeyMaxLength &&
           (isSlider(param) || param.kind == CheckBox);
}

// A saved slider carries max(decimals, 0) digits and is read back in single precision.
bool readsBackAs(double written, double read, int decimals) {
    const int digits = decimals > 0 ? decimals : 0;
    const double allowed = 0.5 * std::pow(10.0, -digits) * (1 + 1e-9) + std::fabs(written) * 0x1p-23;
    return std::fabs(read - written) <= allowed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restoreInitialSettingsState();
    writeFile(fuzzSettingsDirectory() + "fuzz.ini", data, size);
    fuzzCheck(ReadTextFile(PluginEngine().text, "fuzz.ini"), "an existing file reads");
    fuzzCheck(PluginEngine().text.text[kSettingsTextSize - 1] == '\0', "the settings text ends with a NUL after reading");
    char text[32];
    for (WindowEntry* window = PluginEngine().registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->key[0] == '\0') continue;
            HasKey(PluginEngine().text, param->key);
            GetNumber(PluginEngine().text, param->key, param->defaultValue);
            GetString(PluginEngine().text, param->key, text);
            fuzzCheck(text[31] == '\0', "GetString leaves a terminated text");
        }
    }
    GetString(PluginEngine().text, "General.Name", text);
    GetNumber(PluginEngine().text, "General.StartupPreset", 0);
    ApplyText(PluginEngine(), size % 2 == 0);

    // What was applied, saved and applied again, gives the same values (to the digits saved).
    static LiveParams applied;
    applied = PluginEngine().live;
    BuildPresetText(PluginEngine(), "DV_Preset01.ini");
    fuzzCheck(PluginEngine().text.text[kSettingsTextSize - 1] == '\0', "the settings text ends with a NUL after building");
    std::memset(&PluginEngine().live, 0, sizeof PluginEngine().live);
    ApplyText(PluginEngine(), true);
    fuzzCheck(std::memcmp(PluginEngine().live.presetName, applied.presetName, sizeof applied.presetName) == 0,
              "the preset name reads back");
    for (WindowEntry* window = PluginEngine().registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (!isStoredKey(*param)) continue;
            fuzzCheck(HasKey(PluginEngine().text, param->key), "every stored key is in the built text");
            const std::ptrdiff_t offset = static_cast<const char*>(param->value) - reinterpret_cast<const char*>(&PluginEngine().live);
            const char* before = reinterpret_cast<const char*>(&applied) + offset;
            if (param->kind == CheckBox) {
                const bool wasOn = *reinterpret_cast<const uint8_t*>(before) != 0;
                fuzzCheck(isOn(*static_cast<const uint8_t*>(param->value)) == wasOn, "a check box reads back");
            } else {
                double written;
                std::memcpy(&written, before, sizeof written);
                fuzzCheck(readsBackAs(written, loadShared(*static_cast<const double*>(param->value)), param->decimals),
                          "a slider reads back to the digits saved");
            }
        }
    }
    return 0;
}
