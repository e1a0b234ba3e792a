// One input through one engine into one output: the work behind `process` and `demo`.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/audio_output.h"
#include "cli/cli_common.h"
#include "cli/hosting.h"
#include "cli/loudness.h"

namespace cli {

struct ProcessJob {
    std::string input;
    std::string output;
    PresetChoice preset;
    std::vector<std::string> settings;  // --set KEY=VALUE, applied over the preset
    std::string settingsDirectory;  // user slots and the startup preset; empty: none
    bool fixSeed = false;
    uint32_t seed = 0;
    int blockFrames = kDefaultBlockFrames;
    bool keepLatency = false;
    bool noPrime = false;   // start from rest, as the plug-in does (always so with keepLatency)
    bool overwriteInput = false;
    OutputRequest outputRequest;
    RawInput rawInput;      // what headerless input (standard input, *.raw) is taken to be
    bool showProgress = true;
    // Delivery after the processor: --ceiling (dBTP) and --target (LUFS; the ceiling then
    // defaults to kDefaultTargetCeilingDbtp).
    bool ceilingGiven = false;
    double ceilingDbtp = 0.0;
    bool targetGiven = false;
    double targetLufs = 0.0;
    int engineThreads = 1;  // 2: the engine's work shared with a second thread (same output bytes)
    bool measure = true;  // loudness figures for the report; nothing is measured without it
    bool strict = false;  // --strict: a warning about the file fails it (and leaves no output)
    // When given: the input's audio read so far, in microseconds, is added here as the job runs
    // (the overall progress of a batch).
    std::atomic<int64_t>* audioMicroseconds = nullptr;
    // When given (the console): called with the engine once it runs and the input's rate, and
    // with nullptr before the engine stops.
    std::function<void(HostedEngine* engine, int hostRate)> engineWatcher;
    // When given (the console): the engine's input and, once processed, its output, stereo at
    // 44,100 Hz, as they pass (never the priming). Called on the processing thread; must not wait.
    std::function<void(bool output, const double* stereo, size_t frames)> audioWatcher;
};

// Opens the input, starts an engine with the preset, opens the output in the format chosen for it,
// feeds every block through the engine (converting the input to 44,100 Hz stereo and the output
// back to its own format), removes the processing delay (unless the latency is kept) and
// finishes the output. Errors are printed as one line and leave no output behind; the result is
// the exit status. On success `report` holds the formats and, when measured, the figures.
int runProcessJob(const ProcessJob& job, ProcessReport* report);

// What became of one input, as the JSON report and the batch summary name it.
enum class Outcome { kProcessed, kProcessedWithWarnings, kFailed, kSkipped, kNotStarted };
constexpr int kOutcomeCount = 5;
// "processed", "processed-with-warnings", "failed", "skipped", "not-started".
const char* outcomeName(Outcome outcome);
// started: runProcessJob ran for it; skipped: --skip-existing found its output; status: what
// runProcessJob returned (or a refusal before it ran); report: its report, when it ran.
Outcome outcomeOf(bool started, bool skipped, int status, const ProcessReport* report);

}  // namespace cli
