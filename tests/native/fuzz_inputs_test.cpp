// Inputs the fuzz targets found, replayed the way the targets feed them, with what must hold.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params_rig.h"
#include "platform/platform.h"

namespace {

uint32_t fixedClock() { return 1000000; }

std::string corpusFile(const std::string& target, const std::string& name) {
    std::ifstream in(std::string(DRELVANT_SOURCE_DIR) + "/tests/fuzz/corpus/" + target + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// A hand-edited preset (mangled header and lines) whose "General.MainBypass" line reads 5, then
// audio with a full-scale sample: 5 counts as on, so every block comes back exactly as sent, the
// sample beyond +-32,764 included. (The fuzz target had wrongly expected every sample clamped.)
TEST(FuzzInputs, PresetWithMainBypassFiveLeavesEveryBlockUntouched) {
    const std::string input = corpusFile("preset_audio", "bypass_five_full_scale_input");
    ASSERT_GT(input.size(), 2u);
    const size_t presetSize = static_cast<unsigned char>(input[0]) << 8 | static_cast<unsigned char>(input[1]);
    ASSERT_LE(presetSize + 2, input.size());
    const std::string presetText = input.substr(2, presetSize);
    const std::string audio = input.substr(2 + presetSize);
    ASSERT_NE(presetText.find("General.MainBypass             = 5\r\n"), std::string::npos);

    paramsrig::ScratchFolder folder;
    platform::setTickSourceForTesting(&fixedClock);
    initDone = false;
    setRandomSeedOverride(true, 1);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    ASSERT_EQ(module->Init(module), 0);
    folder.write("DV_Preset01.ini", presetText);
    ASSERT_TRUE(LoadPreset(PluginEngine(), 1));
    EXPECT_NE(PluginEngine().live.general.mainBypass, 0);

    constexpr int kFrames = 576;
    const size_t usableBytes = audio.size() - audio.size() % 2;
    bool sawSampleBeyondClamp = false;
    for (int round = 0; round < 4; ++round) {
        std::vector<short> block(2 * kFrames);
        for (size_t i = 0; i < block.size(); ++i) {
            const size_t at = (2 * (i + round * block.size())) % usableBytes;
            block[i] = static_cast<short>(static_cast<unsigned char>(audio[at]) | static_cast<unsigned char>(audio[at + 1]) << 8);
            sawSampleBeyondClamp = sawSampleBeyondClamp || block[i] > 32764 || block[i] < -32764;
        }
        const std::vector<short> sent = block;
        ASSERT_EQ(module->ModifySamples(module, block.data(), kFrames, 16, 2, 44100), kFrames);
        EXPECT_EQ(block, sent) << "round " << round;
    }
    EXPECT_TRUE(sawSampleBeyondClamp) << "the input keeps its full-scale sample";
    EXPECT_EQ(PluginEngine().state.nonFiniteFrames, 0u);
    module->Quit(module);
    platform::setTickSourceForTesting(nullptr);
}
