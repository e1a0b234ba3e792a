// Band expander: RMS follower, linear floor curve, attack/release smoothing.
#include "dsp/band_expander.h"

#include <cmath>

#include "dsp/band_kernels_avx2.h"
#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kThresholdScale = 0.1;

}  // namespace

void prepareBlock(BandExpander& expander, const ExpanderParams& params) {
    ExpanderBlock& block = expander.block;
    for (int j = 0; j < kBandCount; ++j) {
        block.floor[j] = 1 / guardedParam(loadShared(params.ratio[j]), kExpanderRatio.range);
        const double thresholdDb = guardedParam(loadShared(params.thresholdDb[j]), kExpanderThresholdDb.range);
        block.threshold[j] = DbToLinear(block.thresholdMemo[j], thresholdDb) * kThresholdScale;
        block.attack[j] = smoothingCoefficient(loadShared(params.attackMs[j]), kExpanderAttackMs.range);
        block.release[j] = smoothingCoefficient(loadShared(params.releaseMs[j]), kExpanderReleaseMs.range);
        block.oneMinusFloor[j] = 1 - block.floor[j];
        block.oneMinusAttack[j] = 1 - block.attack[j];
        block.oneMinusRelease[j] = 1 - block.release[j];
    }
}

void expandBands(BandExpander& expander, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock) {
    expandFrames(expander, detectors, &bands, 1, firstOfBlock);
}

void expandFrames(BandExpander& expander, const BandDetectors& detectors, BandSamples* bands, int n, bool firstOfBlock,
                  LaneWidth lanes) {
    if (n <= 0) return;
    const ExpanderBlock& block = expander.block;
    const Pair levelFloor = splat(kLevelFloor);
    double gainAfterFirst[kBandCount];
    int j = 0;
#if defined(DRELVANT_AVX2_KERNELS)
    if (fourLanes(lanes)) {
        band_avx2::expandBands(expander, detectors, bands, n, gainAfterFirst);
        j = kBandCount;
    }
#else
    (void)lanes;
#endif
    // Bands j and j + 1 side by side, over all frames with their constants and state in registers
    // (the bands are independent of each other).
    for (; j < kBandCount; j += 2) {
        const Pair detect = loadAdjacent(&detectors.detect[j]);
        const Pair complement = loadAdjacent(&detectors.complement[j]);
        const Pair threshold = loadAdjacent(&block.threshold[j]);
        const Pair floor = loadAdjacent(&block.floor[j]);
        const Pair oneMinusFloor = loadAdjacent(&block.oneMinusFloor[j]);
        const SmoothingPair smoothing =
            smoothingPair(loadAdjacent(&block.attack[j]), loadAdjacent(&block.oneMinusAttack[j]),
                          loadAdjacent(&block.release[j]), loadAdjacent(&block.oneMinusRelease[j]));
        Pair power = loadAdjacent(&expander.level[j]);
        Pair gain = loadAdjacent(&expander.gain[j]);
        for (int f = 0; f < n; ++f) {
            const Pair left = loadAdjacent(&bands[f].left[j]);
            const Pair right = loadAdjacent(&bands[f].right[j]);
            power = followPowerPair(power, left, right, detect, complement);
            const Pair r = _mm_div_pd(_mm_add_pd(_mm_sqrt_pd(power), levelFloor), threshold);
            gain = smoothGainPair(gain, expanderGainPair(r, floor, oneMinusFloor), smoothing);
            if (f == 0) storeAdjacent(&gainAfterFirst[j], gain);
            storeAdjacent(&bands[f].left[j], _mm_mul_pd(left, gain));
            storeAdjacent(&bands[f].right[j], _mm_mul_pd(right, gain));
        }
        storeAdjacent(&expander.level[j], power);
        storeAdjacent(&expander.gain[j], gain);
    }
    if (firstOfBlock) {
        for (int j = 0; j < kBandCount; ++j) storeShared(expander.meter[j], -LinearToDb(gainAfterFirst[j]));
    }
}
