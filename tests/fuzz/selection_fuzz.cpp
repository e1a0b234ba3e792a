// Fuzz target: arbitrary "DV_Select.tmp" contents through the remote-selection poll.
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/remote_selection.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool containsDefIgnoringCase(const uint8_t* data, size_t size) {
    const size_t examined = size < 511 ? size : 511;
    for (size_t i = 0; i + 3 <= examined; ++i) {
        if (std::tolower(data[i]) == 'd' && std::tolower(data[i + 1]) == 'e' && std::tolower(data[i + 2]) == 'f') {
            // The text ends at its first NUL for the search.
            bool cut = false;
            for (size_t j = 0; j < i + 3; ++j) cut = cut || data[j] == 0;
            return !cut;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restoreInitialSettingsState();
    const std::string path = fuzzSettingsDirectory() + "DV_Select.tmp";
    writeFile(path, data, size);
    const int32_t startupBefore = StartupPreset(PluginEngine());
    PollRemoteSelection(PluginEngine(), nullptr);
    // The command is consumed whatever it held.
    struct stat info;
    fuzzCheck(stat(path.c_str(), &info) != 0, "the command file is deleted");
    // Only a text containing "def" may change the startup preset, and only to a preset number.
    const int32_t startupAfter = StartupPreset(PluginEngine());
    if (startupAfter != startupBefore) {
        fuzzCheck(containsDefIgnoringCase(data, size), "only a command with \"def\" sets the startup preset");
        fuzzCheck(startupAfter >= kLowestPresetNumber && startupAfter <= kUserSlots, "the startup preset is a preset number");
    }
    return 0;
}
