// One initialised plug-in for the fuzz targets, with its engine state saved right after Init.
#include "tests/fuzz/fuzz_support.h"
#include "host/plugin.h"
#include "params/engine.h"

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "params/settings_text.h"
#include "platform/platform.h"

// The string interceptor of AddressSanitizer measures the whole haystack of every strstr, and a
// preset load makes about a thousand lookups in a text of 11 KB: that check alone halved the rate
// of every target that loads presets. The settings text is a fixed global buffer whose last byte
// is always NUL (the settings-text target asserts it), so the check finds nothing there; the
// libFuzzer hook on strstr, which learns the keys, stays on. ASAN_OPTIONS overrides this.
extern "C" const char* __asan_default_options() { return "intercept_strstr=0"; }

namespace {

constexpr uint32_t kFirstTickMs = 1000000;  // the clock of every input starts here

std::unique_ptr<ProcessorState> initialState;
std::unique_ptr<LiveParams> initialParams;
uint32_t fuzzClockMs = kFirstTickMs;

// A clock that moves one millisecond per reading, from the same start for every input, so that
// an input replays exactly (polls and idle resets happen at the same blocks).
uint32_t fuzzClock() { return fuzzClockMs++; }

std::string madeDirectory;

// The temporary folder and what the targets wrote into it (no subfolders), at the end of a run.
void removeMadeDirectory() {
    if (madeDirectory.empty()) return;
    if (DIR* folder = opendir(madeDirectory.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                unlink((madeDirectory + entry->d_name).c_str());
            }
        }
        closedir(folder);
    }
    rmdir(madeDirectory.c_str());
}

std::string initialise() {
    char pattern[] = "/tmp/drelvant-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    std::string directory = std::string(made) + "/";
    madeDirectory = directory;
    std::atexit(removeMadeDirectory);
    SetHostDirectory(PluginEngine().text, directory);
    setRandomSeedOverride(true, 1);
    platform::setTickSourceForTesting(fuzzClock);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    module->Init(module);
    initialState = std::make_unique<ProcessorState>();
    std::memcpy(initialState.get(), &PluginEngine().state, sizeof(ProcessorState));
    initialParams = std::make_unique<LiveParams>(PluginEngine().live);
    return directory;
}

void copyRange(std::size_t from, std::size_t to) {
    std::memcpy(reinterpret_cast<char*>(&PluginEngine().state) + from,
                reinterpret_cast<const char*>(initialState.get()) + from, to - from);
}

}  // namespace

const std::string& fuzzSettingsDirectory() {
    static const std::string directory = initialise();
    return directory;
}

void restoreInitialEngineState() {
    fuzzSettingsDirectory();
    std::memcpy(&PluginEngine().state, initialState.get(), sizeof(ProcessorState));
    PluginEngine().live = *initialParams;
    seedEngineRandom(PluginEngine().random, 1);
    fuzzClockMs = kFirstTickMs;
}

void restoreInitialSettingsState() {
    fuzzSettingsDirectory();
    // Lifecycle, timing, meters and counters come before the stages; the design records and the
    // design hand-over after the capture ring.
    copyRange(0, offsetof(ProcessorState, testTone));
    copyRange(offsetof(ProcessorState, designRecord), sizeof(ProcessorState));
    PluginEngine().live = *initialParams;
    seedEngineRandom(PluginEngine().random, 1);
    fuzzClockMs = kFirstTickMs;
}

void fuzzFailure(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
}
