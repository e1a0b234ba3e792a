// Fuzz target: arbitrary bytes as a settings file, then every lookup and ApplyText over the registry.
#include <cstdint>
#include <cstring>

#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restoreInitialEngineState();
    writeFile(fuzzSettingsDirectory() + "fuzz.ini", data, size);
    if (!ReadTextFile("fuzz.ini")) __builtin_trap();
    if (SettingsText[kSettingsTextSize - 1] != '\0') __builtin_trap();
    char text[32];
    for (WindowEntry* window = WindowList; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->key[0] == '\0') continue;
            HasKey(param->key);
            GetNumber(param->key, param->defaultValue);
            GetString(param->key, text);
            if (text[31] != '\0') __builtin_trap();
        }
    }
    GetString("General.Name", text);
    GetNumber("General.StartupPreset", 0);
    ApplyText(size % 2 == 0);
    return 0;
}
