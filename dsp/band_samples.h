// The ten left and ten right band values of one frame inside the ten-band processor.
#pragma once

#include "dsp/live_params.h"

// Filled by the split, rewritten in place by every band stage, emptied by the sum; it lives for
// one frame only. Index 0 is band 1 (32 Hz), index 9 band 10 (16 kHz).
struct BandSamples {
    double left[kBandCount];
    double right[kBandCount];
};
