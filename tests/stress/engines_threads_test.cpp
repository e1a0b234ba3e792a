// Two engines on two audio threads while a third thread loads presets, edits values and reads
// meters of both: no data race, nothing on the audio threads locks, waits or allocates, and the
// output stays finite and inside the clamp.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host/block_pipeline.h"
#include "host/engine_api.h"
#include "params/engine.h"
#include "tests/stress/audio_thread_probe.h"

namespace {

constexpr int kDefaultSeconds = 10;

int stressSeconds() {
    const char* text = std::getenv("DRELVANT_STRESS_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds / 2 + 1 : kDefaultSeconds;
}

struct AudioReport {
    long long blocks = 0;
    long long outsideClamp = 0;
    long long nonFinite = 0;
};

// Alternates the two paths in blocks of changing size, as a host with varying periods would.
void runAudio(Engine& engine, const std::atomic<bool>& stop, uint32_t noiseSeed, AudioReport* report) {
    std::vector<int16_t> pcm(2 * 2048);
    std::vector<float> floats(2 * 2048);
    uint32_t noise = noiseSeed;
    int frames = 1;
    while (!stop.load(std::memory_order_relaxed)) {
        for (int i = 0; i < 2 * frames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            pcm[i] = static_cast<int16_t>(noise >> 17);
            floats[i] = static_cast<float>(static_cast<int32_t>(noise) / 2147483648.0);
        }
        beginAudioSection();
        processBlock16(engine, pcm.data(), frames);
        processBlockFloat(engine, floats.data(), frames, 2);
        const EngineMeters meters = readMeters(engine);
        endAudioSection();
        (void)meters;
        for (int i = 0; i < 2 * frames; ++i) {
            if (pcm[i] > 32764 || pcm[i] < -32764) ++report->outsideClamp;
            if (!std::isfinite(floats[i])) ++report->nonFinite;
        }
        ++report->blocks;
        frames = frames * 7 % 2039 + 1;
    }
}

}  // namespace

TEST(EngineThreads, TwoEnginesPlayWhileAThirdThreadLoadsIntoBoth) {
    Engine* first = createEngine(1);
    Engine* second = createEngine(2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const AudioThreadEvidence before = audioThreadEvidence();

    std::atomic<bool> stop{false};
    AudioReport firstReport, secondReport;
    std::thread firstAudio(runAudio, std::ref(*first), std::cref(stop), 11u, &firstReport);
    std::thread secondAudio(runAudio, std::ref(*second), std::cref(stop), 23u, &secondReport);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(stressSeconds());
    long loads = 0;
    std::string error;
    const std::string text = presetText(*first);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        Engine& engine = round % 2 == 0 ? *first : *second;
        switch (round % 5) {
            case 0:
                EXPECT_TRUE(loadFactoryPreset(engine, 1 + round / 2 % 7, &error)) << error;
                break;
            case 1:
                EXPECT_TRUE(loadPresetText(engine, text.data(), text.size(), &error)) << error;
                break;
            case 2:
                EXPECT_TRUE(setValue(engine, "LowpassFilter.Cutoff.Hz", 4000 + round % 9 * 1500));
                EXPECT_TRUE(setValue(engine, "General.DensityDrive.dB", round % 13));
                break;
            case 3:
                requestIdleReset(engine);
                break;
            default: {
                double value = 0;
                EXPECT_TRUE(getValue(engine, "General.PostAmp.dB", &value));
                EXPECT_GE(latencyFrames(engine), 0);
                break;
            }
        }
        ++loads;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop.store(true);
    firstAudio.join();
    secondAudio.join();

    const AudioThreadEvidence after = audioThreadEvidence();
    EXPECT_GT(firstReport.blocks, 100);
    EXPECT_GT(secondReport.blocks, 100);
    EXPECT_GT(loads, 100);
    EXPECT_EQ(firstReport.outsideClamp + secondReport.outsideClamp, 0);
    EXPECT_EQ(firstReport.nonFinite + secondReport.nonFinite, 0);
    EXPECT_EQ(after.allocations - before.allocations, 0u) << "the audio threads allocated";
    EXPECT_EQ(after.locks - before.locks, 0u) << "the audio threads took a lock";
    EXPECT_EQ(after.waits - before.waits, 0u) << "the audio threads waited";
    EXPECT_EQ(first->state.nonFiniteFrames + second->state.nonFiniteFrames, 0u);
    destroyEngine(first);
    destroyEngine(second);
}

// One engine's stream over two threads while a control thread loads presets, edits values and
// asks for idle resets: no data race between the pipeline's two sides (starting the worker, falling
// back, resuming) or with the control thread, and the output stays finite and inside the clamp.
TEST(EngineThreads, APipelinedStreamPlaysWhileAnotherThreadLoads) {
    Engine* engine = createEngine(3);
    ASSERT_NE(engine, nullptr);
    BlockPipeline* pipeline = startBlockPipeline(*engine);
    ASSERT_NE(pipeline, nullptr);

    std::atomic<bool> stop{false};
    long long blocks = 0, outsideClamp = 0;
    std::thread stream([&] {
        std::vector<int16_t> buffers[2] = {std::vector<int16_t>(2 * 2048), std::vector<int16_t>(2 * 2048)};
        uint32_t noise = 5;
        int frames = 1;
        for (int which = 0; !stop.load(std::memory_order_relaxed); which ^= 1) {
            std::vector<int16_t>& pcm = buffers[which];
            waitForBlocks(*pipeline);  // the other buffer's frames are out: check them
            for (int16_t sample : buffers[which ^ 1]) {
                if (sample > 32764 || sample < -32764) ++outsideClamp;
            }
            for (int i = 0; i < 2 * frames; ++i) {
                noise = noise * 1664525u + 1013904223u;
                pcm[i] = static_cast<int16_t>(noise >> 17);
            }
            // Mostly on two threads, falling back and resuming now and then, whatever the machine.
            if (blocks % 64 == 0) pinPipelineThreads(*pipeline, blocks / 64 % 4 == 3 ? 1 : 2);
            submitBlock16(*pipeline, pcm.data(), frames);
            ++blocks;
            frames = frames * 7 % 2039 + 1;
        }
        waitForBlocks(*pipeline);
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(stressSeconds() / 2 + 1);
    long loads = 0;
    std::string error;
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        switch (round % 3) {
            case 0: EXPECT_TRUE(loadFactoryPreset(*engine, 1 + round % 7, &error)) << error; break;
            case 1: EXPECT_TRUE(setValue(*engine, "LowpassFilter.Cutoff.Hz", 4000 + round % 9 * 1500)); break;
            default: requestIdleReset(*engine); break;
        }
        ++loads;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    stop.store(true);
    stream.join();
    stopBlockPipeline(pipeline);

    EXPECT_GT(blocks, 100);
    EXPECT_GT(loads, 50);
    EXPECT_EQ(outsideClamp, 0);
    EXPECT_EQ(engine->state.nonFiniteFrames, 0u);
    destroyEngine(engine);
}
