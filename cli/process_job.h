// One input through the hosted module into one output: the work behind `process` and `demo`.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_common.h"
#include "cli/loudness.h"

namespace cli {

struct ProcessJob {
    std::string input;
    std::string output;
    PresetChoice preset;
    std::string settingsDirectory;  // empty: the module's own lookup
    bool fixSeed = false;
    uint32_t seed = 0;
    int blockFrames = kDefaultBlockFrames;
    bool keepLatency = false;
    bool showProgress = true;
};

// Opens the input, starts the module (Init), loads the preset, opens the output, feeds every
// block through ModifySamples, flushes the processing delay with silence (unless the latency is
// kept), finishes the output and stops the module (Quit). Errors are printed as one line; the
// result is the exit status. On success `report` holds the figures.
int runProcessJob(const ProcessJob& job, ProcessReport* report);

}  // namespace cli
