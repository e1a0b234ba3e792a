// Band limiter: an infinite-ratio band compressor with its own pre-gain and look-ahead line.
#pragma once

#include "dsp/band_dynamics.h"
#include "dsp/band_samples.h"
#include "dsp/db.h"
#include "dsp/lane_width.h"
#include "dsp/live_params.h"
#include "dsp/lookahead_line.h"
#include "dsp/simd_pair.h"

// Block constants from "Limiter.*", per band.
struct LimiterBlock {
    double preGain[kBandCount];    // linear, applied before the line
    double threshold[kBandCount];  // linear level: 10^(dB/20) x 0.2 (peak) or x 0.1 (RMS)
    double attack[kBandCount];     // smoothing coefficients, 1 = at once
    double release[kBandCount];
    int lookahead[kBandCount];     // frames the detector reads ahead of the output, 0 ... 3969
    bool peakMode;                 // "Limiter.PeakDetect"
    // 1 - attack, 1 - release: the terms the per-frame smoothing uses, computed once
    double oneMinusAttack[kBandCount];
    double oneMinusRelease[kBandCount];
    DbToLinearMemo gainMemo[kBandCount], thresholdMemo[kBandCount];
};

// Static gain, no state: min(1, threshold / level). The level carries the 1e-05 floor in both
// detection modes, so it never divides by zero.
inline double limiterGain(double threshold, double level) {
    const double g = threshold / level;
    return g < 1 ? g : 1;
}

// limiterGain on two bands (lanes j, j + 1): minpd(g, 1) is g < 1 ? g : 1.
inline Pair limiterGainPair(Pair threshold, Pair level) { return _mm_min_pd(_mm_div_pd(threshold, level), splat(1.0)); }

// State glossary (index 0 = band 1): as the band compressor's, with a line of its own: 4,095 frames
// of delay, a power or peak follower at the band detector rate, a linear gain that starts at 0 on
// load and is never cleared.
struct BandLimiter {
    LookaheadLine line;
    double level[kBandCount];
    double gain[kBandCount];
    double meter[kBandCount];  // gain reduction in dB (positive), written by the audio thread
    LimiterBlock block;
};

void prepareBlock(BandLimiter& limiter, const LimiterParams& params);

// One frame in place through the line (4,095 frames of delay); on the first frame of a block
// writes the meters.
void limitBands(BandLimiter& limiter, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock);
// n consecutive frames, exactly as n calls of limitBands (firstOfBlock applies to frame 0).
// `lanes` picks two or four bands per register; the bits are the same.
void limitFrames(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n, bool firstOfBlock,
                 LaneWidth lanes = widestLanes());
// Clears the line; followers, gains and the line's counter are left alone.
void idleReset(BandLimiter& limiter);
