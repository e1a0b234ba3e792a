// The chain's two sides on two threads, runs of frames handed over through a ring of slots.
#include "host/block_pipeline.h"

#include <emmintrin.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "dsp/block_driver.h"
#include "host/sample_guard.h"
#include "params/engine.h"

namespace {

constexpr std::size_t kSlotCount = 32;  // runs the worker may trail by: 2,048 frames
constexpr int kSpinsBeforeSleep = 2000;  // pauses (tens of microseconds) before a waiting side sleeps or yields

struct Slot {
    RunHandoff run;
    short* pcm;       // the block's samples: 16-bit stereo, or else
    double* stereo;   // floating-point stereo
    BandSamples bands[kBandRunFrames];
};

}  // namespace

struct BlockPipeline {
    Engine* engine = nullptr;
    std::unique_ptr<Slot[]> slots;
    // Runs handed over and runs finished; each side writes one and reads the other. Apart so the
    // two cores do not share a cache line for them.
    alignas(64) std::atomic<uint64_t> submitted{0};
    alignas(64) std::atomic<uint64_t> finished{0};
    alignas(64) std::atomic<bool> workerSleeping{false};
    std::atomic<bool> stopping{false};
    std::mutex sleepLock;
    std::condition_variable wake;
    std::thread worker;
};

namespace {

void runOutputSides(BlockPipeline& pipeline) {
    Engine& engine = *pipeline.engine;
    uint64_t next = 0;
    for (;;) {
        int spins = 0;
        while (pipeline.submitted.load(std::memory_order_acquire) == next) {
            if (++spins < kSpinsBeforeSleep) {
                _mm_pause();
                continue;
            }
            std::unique_lock<std::mutex> lock(pipeline.sleepLock);
            pipeline.workerSleeping.store(true);
            while (pipeline.submitted.load() == next && !pipeline.stopping.load()) pipeline.wake.wait(lock);
            pipeline.workerSleeping.store(false);
            if (pipeline.submitted.load() == next) return;  // stopping with nothing left
            spins = 0;
        }
        Slot& slot = pipeline.slots[next % kSlotCount];
        if (slot.pcm != nullptr) {
            finishRun(Pcm16Io{slot.pcm}, engine.state, engine.live, slot.run);
        } else {
            finishRun(FloatIo<double>{slot.stereo, 2}, engine.state, engine.live, slot.run);
        }
        ++next;
        pipeline.finished.store(next, std::memory_order_release);
    }
}

void waitForFinished(BlockPipeline& pipeline, uint64_t runs) {
    for (int spins = 0; pipeline.finished.load(std::memory_order_acquire) < runs; ++spins) {
        _mm_pause();
        if (spins >= kSpinsBeforeSleep) std::this_thread::yield();
    }
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
        pipeline.submitted.store(next, std::memory_order_release);
        if (pipeline.workerSleeping.load()) {
            std::lock_guard<std::mutex> lock(pipeline.sleepLock);
            pipeline.wake.notify_one();
        }
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
    driveBlock(io, frames, start, engine.state, engine.live, engine.random, outputSide);
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
    try {
        pipeline->worker = std::thread(runOutputSides, std::ref(*pipeline));
    } catch (...) {
        delete pipeline;
        return nullptr;
    }
    return pipeline;
}

void stopBlockPipeline(BlockPipeline* pipeline) {
    if (pipeline == nullptr) return;
    waitForBlocks(*pipeline);
    {
        std::lock_guard<std::mutex> lock(pipeline->sleepLock);
        pipeline->stopping.store(true);
    }
    pipeline->wake.notify_one();
    pipeline->worker.join();
    delete pipeline;
}

void submitBlock16(BlockPipeline& pipeline, int16_t* interleaved, int frames) {
    short* samples = reinterpret_cast<short*>(interleaved);
    submitBlock(pipeline, Pcm16Io{samples}, samples, nullptr, samples != nullptr && frames > 0 ? frames : 0);
}

void submitBlockDouble(BlockPipeline& pipeline, double* interleaved, int frames) {
    if (frames > 0) silenceNonFinite(interleaved, 2 * static_cast<size_t>(frames));
    submitBlock(pipeline, FloatIo<double>{interleaved, 2}, nullptr, interleaved,
                interleaved != nullptr && frames > 0 ? frames : 0);
}

void waitForBlocks(BlockPipeline& pipeline) {
    waitForFinished(pipeline, pipeline.submitted.load(std::memory_order_relaxed));
}

uint64_t submittedMark(const BlockPipeline& pipeline) { return pipeline.submitted.load(std::memory_order_relaxed); }

void waitForMark(BlockPipeline& pipeline, uint64_t mark) { waitForFinished(pipeline, mark); }
