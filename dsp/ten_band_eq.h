// Ten-band equaliser: a fixed gain per band on the processor's own split, preamp and mutes included.
#pragma once

#include "dsp/band_samples.h"

// Both set by the derived-parameter update (handed over with the designs), not from the block
// constants; nothing here moves on the audio thread.
struct TenBandEq {
    double preamp;            // linear
    double gain[kBandCount];  // preamp included, 0 for a muted band
};

// bands x gain, both channels, of one frame (processBands applies the gains to its runs as it sums
// the bands).
void applyEqGains(const TenBandEq& eq, BandSamples& bands);
