// Many inputs into one output folder, several jobs at once, one engine each.
#pragma once

#include <string>
#include <vector>

#include "cli/loudness.h"
#include "cli/process_job.h"

namespace cli {

struct BatchRequest {
    std::vector<std::string> inputs;
    std::string directory;   // where the outputs go (must exist)
    std::string extension;   // the outputs' container ("flac"); empty: each input's own extension
    int jobs = 1;            // files processed at once
    bool skipExisting = false;
    bool showProgress = true;  // the overall progress line (drawn only on a terminal)
    ProcessJob model;          // the options every file is processed with; input and output are set per file
};

struct BatchFileResult {
    std::string input;
    std::string output;
    int status = 0;        // runProcessJob's exit status
    bool skipped = false;  // --skip-existing found the output
    bool started = false;  // runProcessJob ran for it (not so for files a signal came before)
    ProcessReport report;  // filled when the status is 0 and the file was not skipped; `failure` otherwise
};

// DIRECTORY/NAME.EXT for an input: the input's file name with its extension replaced by
// `extension` when one is given.
std::string batchOutputPath(const std::string& directory, const std::string& input, const std::string& extension);

// Runs every input through its own engine on up to `jobs` threads. A file that fails is reported
// (by runProcessJob, on standard error) and the others go on. `finished`, when given, is called
// (one call at a time, from the worker threads) as each file ends. Results are in input order.
// Returns the interrupted status after a signal, kExitFailure when a file failed, kExitWarnings
// when a file was processed with warnings, kExitOk otherwise.
using BatchFileDone = void (*)(const BatchFileResult& result, void* context);
int runBatch(const BatchRequest& request, std::vector<BatchFileResult>* results, BatchFileDone finished,
             void* context);

}  // namespace cli
