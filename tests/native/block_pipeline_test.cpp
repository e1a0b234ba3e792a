// The engine over two threads against the engine on one: the same bytes for every factory preset,
// for block sizes that end runs of frames anywhere, on both paths, and with preset loads, value
// changes, filter redesigns and idle resets (asked for, or after a pause) arriving between blocks;
// and falling back to one thread mid-stream and going back to two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/block_pipeline.h"
#include "host/engine_api.h"
#include "params/engine.h"
#include "params/preset_store.h"

namespace {

constexpr int kFrames = 2 * 44100;

// The engines' clock: still, but for a jump past the idle-reset time where a test makes one.
uint32_t clockMs = 0;
uint32_t testClock() { return clockMs; }

struct EngineDeleter {
    void operator()(Engine* engine) const { destroyEngine(engine); }
};
using EnginePtr = std::unique_ptr<Engine, EngineDeleter>;

EnginePtr makeEngine(int factory) {
    EnginePtr engine(createEngine(11));
    clockMs = 5000000;
    engine->state.hooks.tickCount = testClock;
    std::string error;
    EXPECT_TRUE(loadFactoryPreset(*engine, factory, &error)) << error;
    return engine;
}

// Tones, hiss and a loud stretch, a silent left channel and digital silence (the silence guard's
// random draws), full scale 1.0.
std::vector<double> programme(int frames) {
    std::vector<double> samples(2 * static_cast<size_t>(frames));
    uint32_t noise = 7;
    for (int n = 0; n < frames; ++n) {
        const double t = n / 44100.0;
        const double level = n < frames / 3 ? 0.05 : (n < 2 * frames / 3 ? 0.8 : 0.2);
        noise = noise * 1664525u + 1013904223u;
        const double hiss = ((noise >> 9) / 4194304.0 - 1.0) * 0.05;
        double left = level * (std::sin(6.283185307179586 * 110 * t) + 0.4 * std::sin(6.283185307179586 * 2300 * t));
        double right = level * std::sin(6.283185307179586 * 165 * t) - hiss;
        if (n >= 30000 && n < 31000) left = 0.0;
        if (n >= 50000 && n < 52000) left = right = 0.0;
        samples[2 * n] = left + hiss;
        samples[2 * n + 1] = right;
    }
    return samples;
}

std::vector<int16_t> toShorts(const std::vector<double>& samples) {
    std::vector<int16_t> shorts(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        shorts[i] = static_cast<int16_t>(std::lround(std::fmin(std::fmax(samples[i], -1.0), 0.99996) * 32768));
    }
    return shorts;
}

// What happens between blocks: called with the engine and the index of the block about to start.
using BetweenBlocks = std::function<void(Engine&, int)>;

template <class Sample>
std::vector<Sample> runOneThread(int factory, std::vector<Sample> samples, int blockFrames,
                                 const BetweenBlocks& between) {
    EnginePtr engine = makeEngine(factory);
    const int frames = static_cast<int>(samples.size() / 2);
    for (int start = 0, block = 0; start < frames; start += blockFrames, ++block) {
        if (between) between(*engine, block);
        const int count = std::min(blockFrames, frames - start);
        if constexpr (sizeof(Sample) == 2) {
            processBlock16(*engine, samples.data() + 2 * start, count);
        } else {
            processBlockDouble(*engine, samples.data() + 2 * start, count, 2);
        }
    }
    return samples;
}

// What the test does to the pipeline between blocks, after BetweenBlocks.
using PipelineBetweenBlocks = std::function<void(BlockPipeline&, int)>;

template <class Sample>
std::vector<Sample> runTwoThreads(int factory, std::vector<Sample> samples, int blockFrames,
                                  const BetweenBlocks& between, const PipelineBetweenBlocks& steer = nullptr) {
    EnginePtr engine = makeEngine(factory);
    BlockPipeline* pipeline = startBlockPipeline(*engine);
    EXPECT_NE(pipeline, nullptr);
    if (pipeline == nullptr) return {};
    pinPipelineThreads(*pipeline, 2);  // both threads throughout, however busy the machine
    const int frames = static_cast<int>(samples.size() / 2);
    for (int start = 0, block = 0; start < frames; start += blockFrames, ++block) {
        if (between) between(*engine, block);
        if (steer) steer(*pipeline, block);
        const int count = std::min(blockFrames, frames - start);
        if constexpr (sizeof(Sample) == 2) {
            submitBlock16(*pipeline, samples.data() + 2 * start, count);
        } else {
            submitBlockDouble(*pipeline, samples.data() + 2 * start, count);
        }
    }
    stopBlockPipeline(pipeline);
    return samples;
}

// Index of the first sample that differs, -1 when none does.
template <class Sample>
long firstDifference(const std::vector<Sample>& a, const std::vector<Sample>& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(Sample)) != 0) return static_cast<long>(i);
    }
    return -1;
}

TEST(BlockPipeline, EveryFactoryPresetGivesTheOneThreadBytes) {
    const std::vector<int16_t> input = toShorts(programme(kFrames));
    for (int factory = 1; factory <= 7; ++factory) {
        const std::vector<int16_t> one = runOneThread(factory, input, 576, nullptr);
        const std::vector<int16_t> two = runTwoThreads(factory, input, 576, nullptr);
        EXPECT_EQ(firstDifference(one, two), -1) << "F" << factory;
        EXPECT_NE(firstDifference(one, input), -1) << "F" << factory << " left the audio untouched";
    }
}

TEST(BlockPipeline, BlockSizesThatEndRunsAnywhereGiveTheOneThreadBytes) {
    const std::vector<int16_t> input = toShorts(programme(kFrames / 2));
    for (const int blockFrames : {1, 7, 63, 64, 65, 4096, kFrames}) {
        const std::vector<int16_t> one = runOneThread(3, input, blockFrames, nullptr);
        const std::vector<int16_t> two = runTwoThreads(3, input, blockFrames, nullptr);
        EXPECT_EQ(firstDifference(one, two), -1) << "blocks of " << blockFrames;
    }
}

TEST(BlockPipeline, TheHighResolutionPathGivesTheOneThreadValues) {
    const std::vector<double> input = programme(kFrames);
    for (const int factory : {1, 6}) {
        const std::vector<double> one = runOneThread(factory, input, 333, nullptr);
        const std::vector<double> two = runTwoThreads(factory, input, 333, nullptr);
        EXPECT_EQ(firstDifference(one, two), -1) << "F" << factory;
    }
}

TEST(BlockPipeline, LoadsValuesRedesignsAndResetsBetweenBlocksTakeEffectAtTheSameBlock) {
    const BetweenBlocks events = [](Engine& engine, int block) {
        std::string error;
        switch (block) {
            case 20: EXPECT_TRUE(loadFactoryPreset(engine, 5, &error)) << error; break;
            case 40: EXPECT_TRUE(setValue(engine, "General.DensityDrive.dB", 4.5)); break;
            case 60: EXPECT_TRUE(setValue(engine, "HighpassFilter.Cutoff.Hz", 120.0)); break;
            case 80: requestIdleReset(engine); break;
            case 90: clockMs += 7000; break;  // a pause of the stream: the filters start afresh
            case 100: EXPECT_TRUE(setValue(engine, "LowpassFilter.Cutoff.Hz", 9000.0)); break;
            case 120: EXPECT_TRUE(loadFactoryPreset(engine, 2, &error)) << error; break;
            default: break;
        }
    };
    const std::vector<int16_t> input = toShorts(programme(kFrames));
    const std::vector<int16_t> one = runOneThread(1, input, 576, events);
    const std::vector<int16_t> two = runTwoThreads(1, input, 576, events);
    EXPECT_EQ(firstDifference(one, two), -1);
    // The events changed the output: without them it differs.
    EXPECT_NE(firstDifference(one, runOneThread(1, input, 576, nullptr)), -1);
}

// Falls back to one thread at `fallBackBlock`, while the worker may still hold runs of the blocks
// before, and goes back to two at `resumeBlock`, checking that each change took.
PipelineBetweenBlocks fallBackAndResume(int fallBackBlock, int resumeBlock) {
    return [=](BlockPipeline& pipeline, int block) {
        if (block == fallBackBlock) {
            pinPipelineThreads(pipeline, 1);
            EXPECT_EQ(pipelineThreads(pipeline), 1);
        }
        if (block == resumeBlock) {
            pinPipelineThreads(pipeline, 2);
            EXPECT_EQ(pipelineThreads(pipeline), 2);
        }
    };
}

TEST(BlockPipeline, FallingBackToOneThreadMidStreamAndBackGivesTheOneThreadBytes) {
    const std::vector<int16_t> input = toShorts(programme(kFrames));
    const int blocks = kFrames / 576;
    for (int factory = 1; factory <= kFactoryResources; ++factory) {
        const std::vector<int16_t> one = runOneThread(factory, input, 576, nullptr);
        const std::vector<int16_t> steered =
            runTwoThreads(factory, input, 576, nullptr, fallBackAndResume(blocks / 3, 2 * blocks / 3));
        EXPECT_EQ(firstDifference(one, steered), -1) << "F" << factory;
    }
}

TEST(BlockPipeline, FallingBackOnTheHighResolutionPathAndAmongEventsGivesTheOneThreadValues) {
    const std::vector<double> input = programme(kFrames);
    const std::vector<double> one = runOneThread(6, input, 333, nullptr);
    EXPECT_EQ(firstDifference(one, runTwoThreads(6, input, 333, nullptr, fallBackAndResume(50, 150))), -1);
    // Settings, a redesign and an idle reset while on one thread, and just after going back to two.
    const BetweenBlocks events = [](Engine& engine, int block) {
        std::string error;
        switch (block) {
            case 60: EXPECT_TRUE(loadFactoryPreset(engine, 5, &error)) << error; break;
            case 70: EXPECT_TRUE(setValue(engine, "HighpassFilter.Cutoff.Hz", 120.0)); break;
            case 80: requestIdleReset(engine); break;
            case 100: EXPECT_TRUE(setValue(engine, "LowpassFilter.Cutoff.Hz", 9000.0)); break;
            case 101: clockMs += 7000; break;
            default: break;
        }
    };
    const std::vector<double> oneWithEvents = runOneThread(1, input, 333, events);
    EXPECT_EQ(firstDifference(oneWithEvents, runTwoThreads(1, input, 333, events, fallBackAndResume(55, 100))), -1);
}

TEST(BlockPipeline, AnEngineThatPollsIsNotTaken) {
    EnginePtr engine = makeEngine(1);
    engine->state.hooks.canPoll = [] { return false; };
    EXPECT_EQ(startBlockPipeline(*engine), nullptr);
}

}  // namespace
