// Fuzz target: arbitrary preset text applied as a user slot, then arbitrary audio through the chain.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    restoreInitialEngineState();
    // The first two bytes give the length of the preset text; the rest is audio.
    size_t presetSize = (static_cast<size_t>(data[0]) << 8 | data[1]);
    data += 2;
    size -= 2;
    if (presetSize > size) presetSize = size;
    writeFile(fuzzSettingsDirectory() + "DV_Preset01.ini", data, presetSize);
    LoadPreset(PluginEngine(), 1);

    const uint8_t* audio = data + presetSize;
    const size_t audioBytes = size - presetSize;
    constexpr int kFrames = 576;
    std::vector<short> block(2 * kFrames);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    for (int round = 0; round < 4; ++round) {
        for (size_t i = 0; i < block.size(); ++i) {
            if (audioBytes >= 2) {
                const size_t at = (2 * (i + round * block.size())) % (audioBytes - audioBytes % 2);
                block[i] = static_cast<short>(audio[at] | audio[at + 1] << 8);
            } else {
                block[i] = 0;
            }
        }
        const std::vector<short> sent = block;
        fuzzCheck(module->ModifySamples(module, block.data(), kFrames, 16, 2, 44100) == kFrames,
                  "ModifySamples returns the frame count");
        // A preset may switch the main bypass on ("General.MainBypass" = any non-zero number):
        // then the block passes untouched, otherwise every sample is inside the clamp.
        if (PluginEngine().live.general.mainBypass != 0) {
            fuzzCheck(block == sent, "with the main bypass on a block comes back untouched");
        } else {
            for (short s : block) fuzzCheck(s <= 32764 && s >= -32764, "processed samples stay inside the clamp");
        }
    }
    fuzzCheck(PluginEngine().state.nonFiniteFrames == 0, "the chain never produces infinities or NaN");
    return 0;
}
