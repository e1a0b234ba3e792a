// Band compressor: one stereo-linked gain per band above its threshold, through a look-ahead line.
#pragma once

#include <cmath>

#include "dsp/band_dynamics.h"
#include "dsp/band_samples.h"
#include "dsp/db.h"
#include "dsp/lane_width.h"
#include "dsp/live_params.h"
#include "dsp/lookahead_line.h"
#include "dsp/simd_pair.h"

// Block constants from "Compressor.*", per band.
struct CompressorBlock {
    double preGain[kBandCount];    // linear, applied before the line
    double ratio[kBandCount];
    double blend[kBandCount];      // ratio - 1 below ratio 2, else 1 / (ratio - 1)
    double threshold[kBandCount];  // linear level: 10^(dB/20) x 0.2 (peak) or x 0.1 (RMS)
    double attack[kBandCount];     // smoothing coefficients, 1 = at once
    double release[kBandCount];
    int lookahead[kBandCount];     // frames the detector reads ahead of the output, 0 ... 3969
    bool peakMode;                 // "Compressor.PeakDetect"
    // 1 - blend, 1 - attack, 1 - release: the terms the per-frame formulas use, computed once
    double oneMinusBlend[kBandCount];
    double oneMinusAttack[kBandCount];
    double oneMinusRelease[kBandCount];
    DbToLinearMemo gainMemo[kBandCount], thresholdMemo[kBandCount];
};

// Blend weight of the ratio curve.
inline double compressorBlend(double ratio) { return ratio < 2 ? ratio - 1 : 1 / (ratio - 1); }

// Static gain at r = level / threshold, no state. Below the threshold 1; above it a blend of the
// exact gains of ratio 1 (1), ratio 2 (r^-1/2) and ratio infinity (1/r) instead of r^(1/ratio - 1):
// ratios 1 and 2 are exact, and the gain falls monotonically from 1 at r = 1.
inline double compressorGain(double r, double ratio, double blend) {
    if (r < 1) return 1;
    const double h = 1 / std::sqrt(r);
    if (ratio < 2) return blend * h + (1 - blend);
    return (1 - blend) / r + blend * h;
}

// Which of compressorGain's two curves the bands of a pair take: ratio < 2 picks the gentle one.
enum class RatioCurves { kGentle, kSteep, kMixed };

// compressorGain on two bands (lanes j, j + 1): the curves the pair may take and h are computed,
// then the ratio and threshold tests pick, so each lane holds exactly the scalar result. kCurves
// (a block constant per pair) only leaves out a curve that no lane takes.
template <RatioCurves kCurves = RatioCurves::kMixed>
inline Pair compressorGainPair(Pair r, Pair ratio, Pair blend, Pair oneMinusBlend) {
    const Pair one = splat(1.0);
    const Pair h = _mm_div_pd(one, _mm_sqrt_pd(r));
    Pair g;
    if (kCurves == RatioCurves::kGentle) {
        g = _mm_add_pd(_mm_mul_pd(blend, h), oneMinusBlend);
    } else if (kCurves == RatioCurves::kSteep) {
        g = _mm_add_pd(_mm_div_pd(oneMinusBlend, r), _mm_mul_pd(blend, h));
    } else {
        const Pair gentle = _mm_add_pd(_mm_mul_pd(blend, h), oneMinusBlend);
        const Pair steep = _mm_add_pd(_mm_div_pd(oneMinusBlend, r), _mm_mul_pd(blend, h));
        g = select(_mm_cmplt_pd(ratio, splat(2.0)), gentle, steep);
    }
    return select(_mm_cmplt_pd(r, one), one, g);
}

// State glossary (index 0 = band 1): the line delays every band by 4,095 frames; the level
// follower holds a power (RMS detection) or a peak amplitude, full scale 1.0, and moves at the band
// detector rate; the gain is linear, starts at 0 on load (the stage fades in at its release rate)
// and is never cleared.
struct BandCompressor {
    LookaheadLine line;
    double level[kBandCount];
    double gain[kBandCount];
    double meter[kBandCount];  // gain reduction in dB (positive), written by the audio thread
    CompressorBlock block;
};

void prepareBlock(BandCompressor& compressor, const CompressorParams& params);

// One frame in place: writes the pre-gained bands into the line and outputs the row written 4,095
// frames ago times the band gain; on the first frame of a block writes the meters.
void compressBands(BandCompressor& compressor, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock);
// n consecutive frames, exactly as n calls of compressBands (firstOfBlock applies to frame 0).
// `lanes` picks two or four bands per register; the bits are the same.
void compressFrames(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n,
                    bool firstOfBlock, LaneWidth lanes = widestLanes());
// Clears the line; followers, gains and the line's counter are left alone.
void idleReset(BandCompressor& compressor);
