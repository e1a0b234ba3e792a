// Fuzz target: `presets check` against the loader. Arbitrary bytes as a preset file: a file the
// check passes must load, under the name the check read.
#include <cstdint>
#include <string>

#include "cli/preset_check.h"
#include "host/engine_api.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzzSettingsDirectory() + "checked.ini";
    static Engine* const engine = createEngine(1);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool passed = cli::checkPresetBytes(bytes).empty();
    writeFile(path, data, size);
    std::string error;
    const bool loaded = loadPresetFile(*engine, path, &error);
    if (passed) fuzzCheck(loaded, "a preset file the check passes loads");
    return 0;
}
