// Band expander: one stereo-linked gain per band below its threshold, down to a floor of 1/ratio.
#pragma once

#include "dsp/band_samples.h"
#include "dsp/live_params.h"

struct TenBandProcessor;

// Block constants from "Expander.*", per band.
struct ExpanderBlock {
    double floor[kBandCount];      // 1 / ratio: the gain of a silent band
    double threshold[kBandCount];  // linear RMS level, 10^(dB/20) x 0.1
    double attack[kBandCount];     // smoothing coefficients, 1 = at once
    double release[kBandCount];
};

// Static gain at r = level / threshold, no state: 1 from the threshold up, falling linearly with r
// below it to `floor` at r = 0, so the largest reduction is 20 log10(ratio) dB.
inline double expanderGain(double r, double floor) {
    if (r <= 1) return r * (1 - floor) + floor;
    return 1;
}

void prepareExpander(ExpanderBlock& block, const ExpanderParams& params);

// One frame in place (RMS detection, no line, no delay); on the first frame of a block writes expMeter.
void expandBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock);
