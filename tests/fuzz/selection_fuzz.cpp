// Fuzz target: arbitrary "DV_Select.tmp" contents through the remote-selection poll.
#include <cstdint>

#include "params/remote_selection.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restoreInitialEngineState();
    writeFile(fuzzSettingsDirectory() + "DV_Select.tmp", data, size);
    PollRemoteSelection(nullptr);
    return 0;
}
