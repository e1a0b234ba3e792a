// One initialised plug-in for the fuzz targets, with its engine state saved right after Init.
#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/settings_text.h"

namespace {

std::unique_ptr<ProcessorState> initialState;
std::unique_ptr<LiveParams> initialParams;

std::string initialise() {
    char pattern[] = "/tmp/drelvant-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    std::string directory = std::string(made) + "/";
    SetHostDirectory(directory);
    setRandomSeedOverride(true, 1);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    module->Init(module);
    initialState = std::make_unique<ProcessorState>();
    std::memcpy(initialState.get(), &processorState, sizeof(ProcessorState));
    initialParams = std::make_unique<LiveParams>(liveParams);
    return directory;
}

}  // namespace

const std::string& fuzzSettingsDirectory() {
    static const std::string directory = initialise();
    return directory;
}

void restoreInitialEngineState() {
    fuzzSettingsDirectory();
    std::memcpy(&processorState, initialState.get(), sizeof(ProcessorState));
    liveParams = *initialParams;
    seedEngineRandom(1);
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
}
