// The chain's two sides on two threads, runs of frames handed over through a ring of slots.
#include "host/block_pipeline.h"

#include <emmintrin.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "dsp/block_driver.h"
#include "host/engine_api.h"
#include "host/sample_guard.h"
#include "host/thread_judge.h"
#include "params/engine.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kSlotCount = 32;  // runs the worker may trail by: 2,048 frames
// A side that finds nothing to do spins at most this long, and only while the other side is at
// work on what it waits for (about two runs' work); then it sleeps until woken.
constexpr Clock::duration kSpinLimit = std::chrono::microseconds(30);
constexpr int kPausesPerClockRead = 32;

struct Slot {
    RunHandoff run;
    short* pcm;       // the block's samples: 16-bit stereo, or else
    double* stereo;   // floating-point stereo
    BandSamples bands[kBandRunFrames];
};

int64_t nanoseconds(Clock::duration span) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(span).count();
}

}  // namespace

struct BlockPipeline {
    Engine* engine = nullptr;
    std::unique_ptr<Slot[]> slots;
    // Runs handed over and runs finished; each side writes one and reads the other. Apart so the
    // two cores do not share a cache line for them.
    alignas(64) std::atomic<uint64_t> submitted{0};
    alignas(64) std::atomic<uint64_t> finished{0};
    // The worker's side: asleep for want of a run; nanoseconds it waited so far, counted from
    // twoThreadsSinceNs on (its sleep while the calling thread ran alone is no waiting of theirs,
    // the judge having started afresh when two threads began).
    alignas(64) std::atomic<bool> workerSleeping{false};
    std::atomic<int64_t> workerWaitedNs{0};
    std::atomic<int64_t> twoThreadsSinceNs{0};  // the steady clock's
    // The calling thread's side: filling runs (the worker may spin for the next one); the run
    // count it sleeps for, 0 while awake.
    alignas(64) std::atomic<bool> filling{false};
    std::atomic<uint64_t> callerAwaits{0};
    std::atomic<bool> stopping{false};
    std::mutex sleepLock;
    std::condition_variable wakeWorker;
    std::condition_variable wakeCaller;
    std::thread worker;
    // The calling thread's own: how the blocks run now, and what the judge weighs.
    alignas(64) int threads = 1;
    bool pinned = false;  // kept to `threads` by pinPipelineThreads, no judging
    long processors = sysconf(_SC_NPROCESSORS_ONLN);  // online, for the judge
    ThreadJudge judge;
    int64_t frames = 0;          // submitted so far
    int64_t callerWaitedNs = 0;  // waited for the worker so far
};

namespace {

// Spins while `waiting()` holds and `worthSpinning()` too, at most kSpinLimit from `begin`.
template <class Waiting, class WorthSpinning>
void spinBriefly(Clock::time_point begin, const Waiting& waiting, const WorthSpinning& worthSpinning) {
    while (waiting() && worthSpinning()) {
        for (int i = 0; i < kPausesPerClockRead; ++i) _mm_pause();
        if (Clock::now() - begin >= kSpinLimit) return;
    }
}

// The worker's wait for run `next`; false when stopping with nothing left.
bool waitForRun(BlockPipeline& pipeline, uint64_t next) {
    const Clock::time_point begin = Clock::now();
    const auto noRun = [&] { return pipeline.submitted.load(std::memory_order_acquire) == next; };
    spinBriefly(begin, noRun, [&] { return pipeline.filling.load(std::memory_order_relaxed); });
    bool more = true;
    if (noRun()) {
        std::unique_lock<std::mutex> lock(pipeline.sleepLock);
        // Sequentially consistent with the caller's store of `submitted` and load of
        // `workerSleeping`: either it sees this flag and wakes the worker, or the worker sees its run.
        pipeline.workerSleeping.store(true);
        while (pipeline.submitted.load() == next && !pipeline.stopping.load()) pipeline.wakeWorker.wait(lock);
        pipeline.workerSleeping.store(false, std::memory_order_relaxed);
        more = pipeline.submitted.load() != next;
    }
    const int64_t fromNs = std::max(nanoseconds(begin.time_since_epoch()),
                                    pipeline.twoThreadsSinceNs.load(std::memory_order_relaxed));
    pipeline.workerWaitedNs.fetch_add(nanoseconds(Clock::now().time_since_epoch()) - fromNs,
                                      std::memory_order_relaxed);
    return more;
}

void runOutputSides(BlockPipeline& pipeline) {
    Engine& engine = *pipeline.engine;
    uint64_t next = 0;
    for (;;) {
        if (pipeline.submitted.load(std::memory_order_acquire) == next && !waitForRun(pipeline, next)) return;
        Slot& slot = pipeline.slots[next % kSlotCount];
        if (slot.pcm != nullptr) {
            finishRun(Pcm16Io{slot.pcm}, engine.state, engine.live, slot.run);
        } else {
            finishRun(FloatIo<double>{slot.stereo, 2}, engine.state, engine.live, slot.run);
        }
        ++next;
        pipeline.finished.store(next);  // sequentially consistent: see waitForFinished
        const uint64_t awaited = pipeline.callerAwaits.load();
        if (awaited != 0 && next >= awaited) {
            std::lock_guard<std::mutex> lock(pipeline.sleepLock);
            pipeline.wakeCaller.notify_one();
        }
    }
}

// The calling thread's wait until the worker has finished `runs` runs. The worker has them in
// hand, so a short spin; then sleep until the worker has them done.
void waitForFinished(BlockPipeline& pipeline, uint64_t runs) {
    const auto pending = [&] { return pipeline.finished.load(std::memory_order_acquire) < runs; };
    if (!pending()) return;
    const Clock::time_point begin = Clock::now();
    spinBriefly(begin, pending, [] { return true; });
    if (pending()) {
        std::unique_lock<std::mutex> lock(pipeline.sleepLock);
        // Sequentially consistent with the worker's store of `finished` and load of `callerAwaits`.
        pipeline.callerAwaits.store(runs);
        while (pipeline.finished.load() < runs) pipeline.wakeCaller.wait(lock);
        pipeline.callerAwaits.store(0, std::memory_order_relaxed);
    }
    pipeline.callerWaitedNs += nanoseconds(Clock::now() - begin);
}

void wakeWorkerIfAsleep(BlockPipeline& pipeline) {
    if (pipeline.workerSleeping.load()) {
        std::lock_guard<std::mutex> lock(pipeline.sleepLock);
        pipeline.wakeWorker.notify_one();
    }
}

// Both sides on the calling thread from now on, the worker left asleep once it has finished.
void fallBack(BlockPipeline& pipeline) {
    waitForFinished(pipeline, pipeline.submitted.load(std::memory_order_relaxed));
    pipeline.threads = 1;
}

// The worker's turn again from the next run on (published with it). The worker is started the
// first time, so a stream that never gets a free processor never has a second thread; where it
// cannot be started the blocks stay on the calling thread for good.
void resumeTwoThreads(BlockPipeline& pipeline) {
    pipeline.twoThreadsSinceNs.store(nanoseconds(Clock::now().time_since_epoch()), std::memory_order_relaxed);
    if (!pipeline.worker.joinable()) {
        try {
            pipeline.worker = std::thread(runOutputSides, std::ref(pipeline));
        } catch (...) {
            pipeline.pinned = true;
            return;
        }
    }
    pipeline.threads = 2;
}

// The input side's runs go to the worker through the ring of slots.
struct WorkerOutputSide {
    BlockPipeline& pipeline;
    short* pcm;
    double* stereo;
    uint64_t submittedBefore;  // runs submitted before this block
    uint64_t next;

    void beforeBlock(bool touchesBothSides) {
        if (touchesBothSides) waitForFinished(pipeline, submittedBefore);
    }
    RunHandoff& nextRun() {
        if (next >= kSlotCount) waitForFinished(pipeline, next - kSlotCount + 1);
        Slot& slot = pipeline.slots[next % kSlotCount];
        slot.run.bands = slot.bands;
        slot.pcm = pcm;
        slot.stereo = stereo;
        return slot.run;
    }
    void handOver(RunHandoff&) {
        ++next;
        pipeline.submitted.store(next);  // sequentially consistent: see waitForRun
        wakeWorkerIfAsleep(pipeline);
    }
};

// The input side of one block, each run handed to the worker as soon as it is filled.
template <class Io>
void submitBlock(BlockPipeline& pipeline, const Io& io, short* pcm, double* stereo, int frames) {
    Engine& engine = *pipeline.engine;
    const uint64_t submitted = pipeline.submitted.load(std::memory_order_relaxed);

    if (const HandedOverSettings* settings = takeSettings(engine.handover)) {
        waitForFinished(pipeline, submitted);
        ApplyHandedOverSettings(engine, *settings);
    }
    BlockStart start;
    if (!admitBlock(16, 2, 44100, engine.state, engine.live, &start)) return;
    WorkerOutputSide outputSide{pipeline, pcm, stereo, submitted, submitted};
    pipeline.filling.store(true, std::memory_order_relaxed);
    driveBlock(io, frames, start, engine.state, engine.live, engine.random, outputSide);
    pipeline.filling.store(false, std::memory_order_relaxed);
}

// Whether fewer tasks are running now than there are processors online, the calling thread
// counted. True where the system does not say, the judge's windows deciding then.
bool processorFreeNow(long processors) {
    const int file = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (file < 0) return true;
    char text[128];
    const ssize_t length = read(file, text, sizeof text - 1);
    close(file);
    if (length <= 0) return true;
    text[length] = '\0';
    return processorFreeByLoad(text, processors);
}

// The judge's turn at a block start; the totals are read only where it decides.
void judgeAtBlockStart(BlockPipeline& pipeline) {
    const int64_t nowNs = nanoseconds(Clock::now().time_since_epoch());
    if (!judgeDue(pipeline.judge, nowNs)) return;
    const PipelineTotals totals{nowNs, pipeline.frames,
                                pipeline.callerWaitedNs + pipeline.workerWaitedNs.load(std::memory_order_relaxed),
                                pipeline.threads == 1 && processorFreeNow(pipeline.processors)};
    const int threads = judgeThreads(pipeline.judge, totals);
    if (threads == 1 && pipeline.threads == 2) fallBack(pipeline);
    if (threads == 2 && pipeline.threads == 1) resumeTwoThreads(pipeline);
}

// Judges at the block's start; true when the block is for the calling thread alone.
bool onOneThread(BlockPipeline& pipeline, int frames) {
    if (!pipeline.pinned) judgeAtBlockStart(pipeline);
    pipeline.frames += frames > 0 ? frames : 0;
    return pipeline.threads == 1;
}

}  // namespace

BlockPipeline* startBlockPipeline(Engine& engine) {
    if (engine.state.hooks.canPoll != nullptr) return nullptr;
    BlockPipeline* pipeline = new (std::nothrow) BlockPipeline;
    if (pipeline == nullptr) return nullptr;
    pipeline->engine = &engine;
    pipeline->slots.reset(new (std::nothrow) Slot[kSlotCount]);
    if (!pipeline->slots) {
        delete pipeline;
        return nullptr;
    }
    return pipeline;
}

void stopBlockPipeline(BlockPipeline* pipeline) {
    if (pipeline == nullptr) return;
    waitForBlocks(*pipeline);
    if (pipeline->worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(pipeline->sleepLock);
            pipeline->stopping.store(true);
        }
        pipeline->wakeWorker.notify_one();
        pipeline->worker.join();
    }
    delete pipeline;
}

void submitBlock16(BlockPipeline& pipeline, int16_t* interleaved, int frames) {
    if (onOneThread(pipeline, frames)) {
        processBlock16(*pipeline.engine, interleaved, frames);
        return;
    }
    short* samples = reinterpret_cast<short*>(interleaved);
    submitBlock(pipeline, Pcm16Io{samples}, samples, nullptr, samples != nullptr && frames > 0 ? frames : 0);
}

void submitBlockDouble(BlockPipeline& pipeline, double* interleaved, int frames) {
    if (onOneThread(pipeline, frames)) {
        processBlockDouble(*pipeline.engine, interleaved, frames, 2);  // silences non-finite input itself
        return;
    }
    if (frames > 0 && interleaved != nullptr) silenceNonFinite(interleaved, 2 * static_cast<size_t>(frames));
    submitBlock(pipeline, FloatIo<double>{interleaved, 2}, nullptr, interleaved,
                interleaved != nullptr && frames > 0 ? frames : 0);
}

void waitForBlocks(BlockPipeline& pipeline) {
    waitForFinished(pipeline, pipeline.submitted.load(std::memory_order_relaxed));
}

uint64_t submittedMark(const BlockPipeline& pipeline) { return pipeline.submitted.load(std::memory_order_relaxed); }

void waitForMark(BlockPipeline& pipeline, uint64_t mark) { waitForFinished(pipeline, mark); }

int pipelineThreads(const BlockPipeline& pipeline) { return pipeline.threads; }

void pinPipelineThreads(BlockPipeline& pipeline, int threads) {
    pipeline.pinned = true;
    if (threads == 1 && pipeline.threads == 2) fallBack(pipeline);
    if (threads == 2 && pipeline.threads == 1) resumeTwoThreads(pipeline);
}
