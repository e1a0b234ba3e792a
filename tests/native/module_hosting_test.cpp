// The module driven as a Winamp-style host drives it: header, module, Init, ModifySamples blocks, Quit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "dsp/chain.h"
#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params_rig.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kSeed = 12345;
constexpr int kFrames = 2 * 44100;  // well beyond F1's 20,477 frames of delay

uint32_t fixedClock() { return 1000000; }

// Music-like test signal: two chords of partials that differ between the channels, a loud
// stretch, noise bursts, a stretch where only the left channel is silent and one of digital
// silence (silence guard), all deterministic.
std::vector<short> testSignal() {
    std::vector<short> samples(2 * kFrames);
    uint32_t noise = 1;
    for (int n = 0; n < kFrames; ++n) {
        const double t = n / 44100.0;
        const double level = n < kFrames / 3 ? 0.05 : (n < 2 * kFrames / 3 ? 0.6 : 0.2);
        noise = noise * 1664525u + 1013904223u;
        const double burst = (n % 11025) < 800 ? ((noise >> 9) / 4194304.0 - 1.0) * 0.3 : 0.0;
        double left = level * (std::sin(6.283185307179586 * 110 * t) + 0.5 * std::sin(6.283185307179586 * 440 * t) +
                               0.3 * std::sin(6.283185307179586 * 3520 * t)) / 1.8 + burst;
        double right = level * (std::sin(6.283185307179586 * 165 * t) + 0.4 * std::sin(6.283185307179586 * 660 * t) +
                                0.3 * std::sin(6.283185307179586 * 7040 * t)) / 1.7 - burst;
        if (n >= 40000 && n < 41000) left = 0.0;                 // one channel silent
        if (n >= 60000 && n < 62000) left = right = 0.0;          // digital silence
        samples[2 * n] = static_cast<short>(std::lround(std::clamp(left, -1.0, 0.99996) * 32768));
        samples[2 * n + 1] = static_cast<short>(std::lround(std::clamp(right, -1.0, 0.99996) * 32768));
    }
    return samples;
}

}  // namespace

TEST(ModuleHosting, F1OutputIsTheSameWhateverTheHostsBlockSize) {
    static_assert(std::is_trivially_copyable_v<ProcessorState>, "the engine state is one plain block");
    paramsrig::ScratchFolder folder;
    platform::setTickSourceForTesting(&fixedClock);
    initDone = false;
    setRandomSeedOverride(true, kSeed);

    winampDSPHeader* header = winampDSPGetHeader2();
    ASSERT_NE(header, nullptr);
    winampDSPModule* module = header->getModule(0);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(module->Init(module), 0);
    ASSERT_TRUE(LoadPreset(PluginEngine(), 0));
    ASSERT_EQ(PluginEngine().live.general.processorActive, 1) << "F1 switches the ten-band processor on";
    ASSERT_EQ(PluginEngine().live.general.ditherActive, 1) << "F1 dithers, so the seed matters";

    // Every run starts from the state the preset load left, and the same random sequence.
    auto start = std::make_unique<ProcessorState>();
    std::memcpy(start.get(), &PluginEngine().state, sizeof(ProcessorState));
    const EngineRandom random = PluginEngine().random;

    const std::vector<short> input = testSignal();
    std::vector<std::vector<short>> outputs;
    for (const int blockFrames : {576, 1, 7, 4096}) {
        std::memcpy(&PluginEngine().state, start.get(), sizeof(ProcessorState));
        PluginEngine().random = random;
        std::vector<short> samples = input;
        for (int frame = 0; frame < kFrames; frame += blockFrames) {
            const int count = std::min(blockFrames, kFrames - frame);
            ASSERT_EQ(module->ModifySamples(module, samples.data() + 2 * frame, count, 16, 2, 44100), count);
        }
        outputs.push_back(samples);
    }
    module->Quit(module);
    platform::setTickSourceForTesting(nullptr);
    setRandomSeedOverride(false, 0);
    ClearProcessorState(PluginEngine().state);
    initDone = false;

    // The first F1 output frames are the chain's delay; after it the audio is processed.
    const int delay = ProcessingDelayFrames(PluginEngine().live);
    EXPECT_EQ(delay, 8192 + 4095 + 4095 + 4095);
    for (int n = 0; n < delay - 4096; ++n) {
        ASSERT_LE(std::abs(outputs[0][2 * n]), 1) << "frame " << n << " lies inside the delay";
    }
    int changed = 0;
    for (int n = delay; n < kFrames; ++n) changed += outputs[0][2 * n] != input[2 * (n - delay)];
    EXPECT_GT(changed, (kFrames - delay) / 2) << "F1 processes the audio";

    for (size_t run = 1; run < outputs.size(); ++run) {
        int differing = 0, first = -1;
        for (size_t i = 0; i < input.size(); ++i) {
            if (outputs[run][i] != outputs[0][i]) {
                if (first < 0) first = static_cast<int>(i / 2);
                ++differing;
            }
        }
        EXPECT_EQ(differing, 0) << "run " << run << " differs first at frame " << first;
    }
}
