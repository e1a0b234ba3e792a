// The per-frame pass of the band stages that work through a look-ahead line (band compressor and
// band limiter): pre-gain into the line, a level follower on the detector rows, a static gain,
// attack/release smoothing, and the gain applied to the row leaving the line.
#pragma once

#include <cstdint>

#include "dsp/band_dynamics.h"
#include "dsp/band_samples.h"
#include "dsp/lookahead_line.h"
#include "dsp/simd_pair.h"

// What the pass reads and keeps, per band: the stage's block constants, its line, and the level
// and gain it carries from frame to frame.
struct LinePass {
    LookaheadLine& line;
    const int* lookahead;  // frames the detector reads ahead of the output
    const double* preGain;  // linear
    const double* attack;
    const double* oneMinusAttack;
    const double* release;
    const double* oneMinusRelease;
    const BandDetectors& detectors;
    double* level;  // the followers
    double* gain;   // the smoothed gains
};

// One band pair (lanes j, j + 1) over n frames with its constants, level and gain in registers.
// kPeakMode picks the peak follower (otherwise the RMS follower, whose level is sqrt(power) plus
// the 1e-05 floor); kFloorPeak adds that floor to the peak level as well. staticGain(level) is the
// stage's gain target for the detected level. A band writes and reads only its own column of the
// line, so running the pairs one after the other over the frames is the same as running the
// frames one after the other. The frames go in stretches in which none of the four rows a frame
// touches wraps around the line, so that each row is a pointer moving one row per frame.
template <bool kPeakMode, bool kFloorPeak, class StaticGain>
inline void runLinePair(const LinePass& pass, BandSamples* bands, int n, int j, double* gainAfterFirst,
                        StaticGain staticGain) {
    LookaheadLine& line = pass.line;
    const Pair preGain = loadAdjacent(&pass.preGain[j]);
    const Pair detect = loadAdjacent(&pass.detectors.detect[j]);
    const Pair complement = loadAdjacent(&pass.detectors.complement[j]);
    const SmoothingPair smoothing =
        smoothingPair(loadAdjacent(&pass.attack[j]), loadAdjacent(&pass.oneMinusAttack[j]),
                      loadAdjacent(&pass.release[j]), loadAdjacent(&pass.oneMinusRelease[j]));
    const Pair levelFloor = splat(kLevelFloor);
    Pair level = loadAdjacent(&pass.level[j]);
    Pair gain = loadAdjacent(&pass.gain[j]);
    for (int f = 0; f < n;) {
        const LookaheadStretch rows =
            lookaheadStretch(line.counter + static_cast<uint32_t>(f), pass.lookahead[j], pass.lookahead[j + 1], n - f);
        // Rows of the stretch, each a pointer into the line moving one row per frame.
        double(*writeLeft)[kBandCount] = &line.left[rows.write];
        double(*writeRight)[kBandCount] = &line.right[rows.write];
        const double(*detectLeftLow)[kBandCount] = &line.left[rows.detectLow];
        const double(*detectLeftHigh)[kBandCount] = &line.left[rows.detectHigh];
        const double(*detectRightLow)[kBandCount] = &line.right[rows.detectLow];
        const double(*detectRightHigh)[kBandCount] = &line.right[rows.detectHigh];
        const double(*outLeft)[kBandCount] = &line.left[rows.out];
        const double(*outRight)[kBandCount] = &line.right[rows.out];
        for (int k = 0; k < rows.frames; ++k, ++f) {
            storeAdjacent(&writeLeft[k][j], _mm_mul_pd(preGain, loadAdjacent(&bands[f].left[j])));
            storeAdjacent(&writeRight[k][j], _mm_mul_pd(preGain, loadAdjacent(&bands[f].right[j])));

            const Pair a = loadPair(&detectLeftLow[k][j], &detectLeftHigh[k][j + 1]);
            const Pair b = loadPair(&detectRightLow[k][j], &detectRightHigh[k][j + 1]);
            Pair detected;
            if (kPeakMode) {
                level = followPeakPair(level, a, b, complement);
                detected = kFloorPeak ? _mm_add_pd(level, levelFloor) : level;
            } else {
                level = followPowerPair(level, a, b, detect, complement);
                detected = _mm_add_pd(_mm_sqrt_pd(level), levelFloor);
            }

            gain = smoothGainPair(gain, staticGain(detected), smoothing);
            if (f == 0) storeAdjacent(gainAfterFirst, gain);

            storeAdjacent(&bands[f].left[j], _mm_mul_pd(gain, loadAdjacent(&outLeft[k][j])));
            storeAdjacent(&bands[f].right[j], _mm_mul_pd(gain, loadAdjacent(&outRight[k][j])));
        }
    }
    storeAdjacent(&pass.level[j], level);
    storeAdjacent(&pass.gain[j], gain);
}
