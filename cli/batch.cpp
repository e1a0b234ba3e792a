// The batch: a queue of inputs taken by worker threads, each file through runProcessJob with an
// engine of its own, an overall progress line drawn by the calling thread.
#include "cli/batch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "cli/cli_common.h"
#include "cli/files.h"

namespace cli {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string hoursText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f h", seconds / 3600.0);
    return text;
}

struct BatchState {
    const BatchRequest* request = nullptr;
    std::vector<BatchFileResult>* results = nullptr;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<size_t> workersRunning{0};  // after a signal they stop before every file is done
    std::atomic<int64_t> audioMicroseconds{0};
    int engineThreads = 1;  // a second thread per engine only while one file runs at a time
    std::mutex finishing;
    BatchFileDone finished = nullptr;
    void* context = nullptr;
};

void takeFiles(BatchState& state) {
    for (;;) {
        if (interrupted()) return;
        const size_t index = state.next.fetch_add(1);
        if (index >= state.results->size()) return;
        BatchFileResult& result = (*state.results)[index];
        if (result.status == kExitOk && !result.skipped) {
            ProcessJob job = state.request->model;
            job.input = result.input;
            job.output = result.output;
            job.showProgress = false;
            job.audioMicroseconds = &state.audioMicroseconds;
            job.engineThreads = state.engineThreads;
            result.started = true;
            result.status = runProcessJob(job, &result.report);
        }
        state.done.fetch_add(1);
        if (state.finished != nullptr) {
            std::lock_guard<std::mutex> lock(state.finishing);
            state.finished(result, state.context);
        }
    }
}

void work(BatchState& state) {
    takeFiles(state);
    state.workersRunning.fetch_sub(1);
}

void drawProgress(const BatchState& state, size_t total, std::chrono::steady_clock::time_point started) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double audio = static_cast<double>(state.audioMicroseconds.load()) / 1e6;
    char line[160];
    std::snprintf(line, sizeof line, "\rbatch: %zu of %zu files, %s of audio, %.1fx real time\033[K", state.done.load(),
                  total, hoursText(audio).c_str(), elapsed > 0.2 ? audio / elapsed : 0.0);
    std::fputs(line, stderr);
    std::fflush(stderr);
}

}  // namespace

std::string batchOutputPath(const std::string& directory, const std::string& input, const std::string& extension) {
    std::string name = baseNameOf(input);
    if (!extension.empty()) {
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0) name.resize(dot);
        name += "." + extension;
    }
    std::string folder = directory;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + name;
}

int runBatch(const BatchRequest& request, std::vector<BatchFileResult>* results, BatchFileDone finished,
             void* context) {
    results->assign(request.inputs.size(), BatchFileResult());
    for (size_t i = 0; i < request.inputs.size(); ++i) {
        BatchFileResult& result = (*results)[i];
        result.input = request.inputs[i];
        result.output = batchOutputPath(request.directory, result.input, request.extension);
        // Two inputs of one name would write one output: the later ones are refused.
        for (size_t j = 0; j < i; ++j) {
            if ((*results)[j].output == result.output) {
                result.report.failure = "'" + result.input + "' would be written to '" + result.output + "' as '" +
                                        (*results)[j].input + "' is: not processed";
                printError("%s", result.report.failure.c_str());
                result.status = kExitFailure;
                break;
            }
        }
        if (result.status == kExitOk && request.skipExisting && fileExists(result.output)) result.skipped = true;
    }

    BatchState state;
    state.request = &request;
    state.results = results;
    state.finished = finished;
    state.context = context;
    const size_t workers = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(1, request.jobs)),
                                                                results->size()));
    state.engineThreads = workers == 1 ? engineThreadsToUse() : 1;
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    state.workersRunning = workers;
    for (size_t i = 0; i < workers; ++i) threads.emplace_back(work, std::ref(state));
    const bool drawing = request.showProgress && stderrIsTerminal();
    while (state.workersRunning.load() > 0) {
        if (interrupted()) {
            // The signal came to one thread; a worker blocked in open() or read() (a FIFO, a slow
            // disk) sees it only when it gets the signal itself: again each interval, for a worker
            // that was about to block when the last one came.
            for (std::thread& thread : threads) pthread_kill(thread.native_handle(), interruptedStatus() - kExitSignalBase);
        }
        if (drawing && !interrupted()) drawProgress(state, results->size(), started);
        std::this_thread::sleep_for(kProgressInterval);
    }
    for (std::thread& thread : threads) thread.join();
    if (drawing) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    if (interrupted()) return interruptedStatus();
    int status = kExitOk;
    for (const BatchFileResult& result : *results) {
        if (result.status != kExitOk) return kExitFailure;
        if (!result.skipped && !result.report.warnings.empty()) status = kExitWarnings;
    }
    return status;
}

}  // namespace cli
