// Fuzz target: arbitrary bps / nch / srate / numsamples with a buffer of the matching size.
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/plugin.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    // Only a processed block changes the filter memories; after any other the cheap restore will do.
    static bool lastInputProcessed = true;
    if (lastInputProcessed) {
        restoreInitialEngineState();
    } else {
        restoreInitialSettingsState();
    }
    const int bps = data[0];
    const int nch = data[1] % 9;
    int32_t srate;
    std::memcpy(&srate, data + 2, sizeof srate);
    const int numsamples = (data[6] | data[7] << 8) % 4700;
    data += 8;
    size -= 8;

    const size_t bytesPerSample = bps >= 8 ? static_cast<size_t>(bps) / 8 : 1;
    std::vector<uint8_t> buffer(static_cast<size_t>(numsamples) * nch * bytesPerSample + 16);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = size > 0 ? data[i % size] : 0;
    const std::vector<uint8_t> original = buffer;

    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    const int returned = module->ModifySamples(module, reinterpret_cast<short*>(buffer.data()), numsamples, bps, nch, srate);
    fuzzCheck(returned == numsamples, "ModifySamples returns the frame count");
    const bool processed = bps == 16 && nch == 2 && srate == 44100;
    lastInputProcessed = processed;
    fuzzCheck(processed || buffer == original, "an unprocessed format comes back untouched");
    // The guard bytes after the block are never written.
    fuzzCheck(std::memcmp(buffer.data() + buffer.size() - 16, original.data() + original.size() - 16, 16) == 0,
              "nothing is written after the block");
    return 0;
}
