// Fuzz target: arbitrary preset text loaded through the host API, then blocks of both audio paths.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "params/engine.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// One engine for the whole run: a load replaces every value, and the checks hold for any state
// the filters are left in, so inputs need not start alike.
Engine& fuzzEngine() {
    static Engine* engine = createEngine(1);
    return *engine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Engine& engine = fuzzEngine();
    // The first two bytes give the length of the preset text; the rest is audio.
    size_t presetSize = (static_cast<size_t>(data[0]) << 8 | data[1]);
    data += 2;
    size -= 2;
    if (presetSize > size) presetSize = size;
    std::string error;
    const bool loaded = loadPresetText(engine, reinterpret_cast<const char*>(data), presetSize, &error);
    fuzzCheck(loaded || !error.empty(), "a refused text says why");
    requestIdleReset(engine);

    const uint8_t* audio = data + presetSize;
    const size_t audioBytes = size - presetSize;
    auto sample = [&](size_t i) -> int16_t {
        if (audioBytes < 2) return 0;
        const size_t at = (2 * i) % (audioBytes - audioBytes % 2);
        return static_cast<int16_t>(audio[at] | audio[at + 1] << 8);
    };
    const bool bypassed = engine.staging.general.mainBypass != 0;

    constexpr int kFrames = 300;
    std::vector<int16_t> block(2 * kFrames);
    std::vector<float> floats(2 * kFrames);
    std::vector<double> mono(kFrames);
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < block.size(); ++i) block[i] = sample(i + round * block.size());
        const std::vector<int16_t> sent = block;
        processBlock16(engine, block.data(), kFrames);
        if (bypassed) {
            fuzzCheck(block == sent, "with the main bypass on a block comes back untouched");
        } else {
            for (int16_t s : block) fuzzCheck(s <= 32764 && s >= -32764, "16-bit samples stay inside the clamp");
        }

        // Beyond full scale too: floats are not limited to the 16-bit range on the way in.
        for (size_t i = 0; i < floats.size(); ++i) floats[i] = sample(i + 7 * round) / 16384.0f;
        processBlockFloat(engine, floats.data(), kFrames, 2);
        for (float x : floats) {
            fuzzCheck(std::isfinite(x), "float output is finite");
            if (!bypassed) fuzzCheck(std::fabs(x) <= 0.9999f, "float output stays inside the clamp");
        }
        for (int i = 0; i < kFrames; ++i) mono[i] = sample(3 * i + round) / 32768.0;
        processBlockDouble(engine, mono.data(), kFrames, 1);
        for (double x : mono) {
            fuzzCheck(std::isfinite(x), "mono output is finite");
            if (!bypassed) fuzzCheck(std::fabs(x) <= 0.9999, "mono output stays inside the clamp");
        }
    }
    fuzzCheck(engine.state.nonFiniteFrames == 0, "the chain never produces infinities or NaN");
    fuzzCheck(latencyFrames(engine) >= 0 && latencyFrames(engine) < 100000, "latency is a plausible count");
    return 0;
}
