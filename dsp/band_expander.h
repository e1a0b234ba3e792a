// Band expander: one stereo-linked gain per band below its threshold, down to a floor of 1/ratio.
#pragma once

#include "dsp/band_dynamics.h"
#include "dsp/band_samples.h"
#include "dsp/db.h"
#include "dsp/lane_width.h"
#include "dsp/live_params.h"
#include "dsp/simd_pair.h"

// Block constants from "Expander.*", per band.
struct ExpanderBlock {
    double floor[kBandCount];      // 1 / ratio: the gain of a silent band
    double threshold[kBandCount];  // linear RMS level, 10^(dB/20) x 0.1
    double attack[kBandCount];     // smoothing coefficients, 1 = at once
    double release[kBandCount];
    // 1 - floor, 1 - attack, 1 - release: the terms the per-frame formulas use, computed once
    double oneMinusFloor[kBandCount];
    double oneMinusAttack[kBandCount];
    double oneMinusRelease[kBandCount];
    DbToLinearMemo thresholdMemo[kBandCount];
};

// Static gain at r = level / threshold, no state: 1 from the threshold up, falling linearly with r
// below it to `floor` at r = 0, so the largest reduction is 20 log10(ratio) dB.
inline double expanderGain(double r, double floor) {
    if (r <= 1) return r * (1 - floor) + floor;
    return 1;
}

// expanderGain on two bands (lanes j, j + 1); oneMinusFloor is 1 - floor.
inline Pair expanderGainPair(Pair r, Pair floor, Pair oneMinusFloor) {
    const Pair one = splat(1.0);
    return select(_mm_cmple_pd(r, one), _mm_add_pd(_mm_mul_pd(r, oneMinusFloor), floor), one);
}

// State glossary (index 0 = band 1): an RMS power follower at the band detector rate, full scale
// 1.0, and a linear gain that starts at 0 on load (the stage fades in at its release rate) and is
// never cleared. Nothing of it is touched by the idle reset.
struct BandExpander {
    double level[kBandCount];  // power
    double gain[kBandCount];
    double meter[kBandCount];  // gain reduction in dB (positive), written by the audio thread
    ExpanderBlock block;
};

void prepareBlock(BandExpander& expander, const ExpanderParams& params);

// One frame in place (RMS detection, no line, no delay); on the first frame of a block writes the meters.
void expandBands(BandExpander& expander, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock);
// n consecutive frames, exactly as n calls of expandBands (firstOfBlock applies to frame 0).
// `lanes` picks two or four bands per register; the bits are the same.
void expandFrames(BandExpander& expander, const BandDetectors& detectors, BandSamples* bands, int n, bool firstOfBlock,
                  LaneWidth lanes = widestLanes());
