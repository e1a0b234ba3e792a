// Dynamic equaliser: per-band power follower, smoothed target gain, normalisation to a mean of 1.
#include "dsp/dynamic_eq.h"

#include <cmath>

#include "dsp/band_kernels_avx2.h"
#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

void prepareBlock(DynamicEq& eq, const DynamicEqParams& params) {
    DynamicEqBlock& block = eq.block;
    const double maxEnhanceDb = guardedParam(loadShared(params.maxEnhanceDb), kDynamicEqMaxEnhanceDb.range);
    // A speed of 0 or less follows at once, even though the registered range starts at 200 ms.
    const double speedMs = loadShared(params.speedMs);
    block.speed = speedMs <= 0 ? 1.0 : smoothingCoefficient(speedMs, kDynamicEqSpeedMs.range);
    block.amount = guardedParam(loadShared(params.amountPercent), kDynamicEqAmountPercent.range) * 0.01;
    block.maxGain = DbToLinear(maxEnhanceDb);
    block.minGain = DbToLinear(-maxEnhanceDb);
    block.oneMinusSpeed = 1 - block.speed;
}

void equalizeBands(DynamicEq& eq, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock) {
    equalizeFrames(eq, detectors, &bands, &bands, 1, firstOfBlock, 1.0);
}

void equalizeFrames(DynamicEq& eq, const BandDetectors& detectors, const BandSamples* in, BandSamples* out, int n,
                    bool firstOfBlock, double drive, LaneWidth lanes) {
#if defined(DRELVANT_AVX2_KERNELS)
    if (fourLanes(lanes)) {
        if (n <= 0) return;
        double firstApplied[kBandCount];
        band_avx2::equalizeFrames(eq, detectors, in, out, n, drive, firstApplied);
        if (firstOfBlock) {
            for (int j = 0; j < kBandCount; ++j) storeShared(eq.meter[j], LinearToDb(firstApplied[j]));
        }
        return;
    }
#else
    (void)lanes;
#endif
    const DynamicEqBlock& block = eq.block;
    const Pair targetLevel = splat(kDynamicEqTargetLevel);
    const Pair levelFloor = splat(kLevelFloor);
    const Pair minGain = splat(block.minGain);
    const Pair maxGain = splat(block.maxGain);
    const Pair speed = splat(block.speed);
    const Pair oneMinusSpeed = splat(block.oneMinusSpeed);
    const Pair amount = splat(block.amount);
    const Pair one = splat(1.0);
    const Pair driven = splat(drive);
    // The normalisation couples the bands within a frame, so frames run one after the other and
    // the bands of a frame two at a time.
    for (int f = 0; f < n; ++f) {
        const BandSamples& frame = in[f];
        double applied[kBandCount];
        for (int j = 0; j < kBandCount; j += 2) {
            const Pair level = followPowerPair(loadAdjacent(&eq.level[j]), loadAdjacent(&frame.left[j]),
                                               loadAdjacent(&frame.right[j]), loadAdjacent(&detectors.detect[j]),
                                               loadAdjacent(&detectors.complement[j]));
            storeAdjacent(&eq.level[j], level);
            Pair target = _mm_div_pd(targetLevel, _mm_add_pd(_mm_sqrt_pd(level), levelFloor));
            target = _mm_max_pd(minGain, target);  // gmin > target ? gmin : target
            target = _mm_min_pd(maxGain, target);  // gmax < target ? gmax : target
            const Pair gain =
                _mm_add_pd(_mm_mul_pd(oneMinusSpeed, loadAdjacent(&eq.gain[j])), _mm_mul_pd(speed, target));
            storeAdjacent(&eq.gain[j], gain);
            storeAdjacent(&applied[j], _mm_add_pd(_mm_mul_pd(_mm_sub_pd(gain, one), amount), one));
        }
        // The normalising sum runs band by band in order, as the scalar sum does.
        double sum = 0.0;
        for (int j = 0; j < kBandCount; ++j) sum += applied[j];
        const double k = 1 / (0.1 * sum);
        const Pair kk = splat(k);
        for (int j = 0; j < kBandCount; j += 2) {
            const Pair e = _mm_mul_pd(loadAdjacent(&applied[j]), kk);
            storeAdjacent(&out[f].left[j], _mm_mul_pd(_mm_mul_pd(loadAdjacent(&frame.left[j]), e), driven));
            storeAdjacent(&out[f].right[j], _mm_mul_pd(_mm_mul_pd(loadAdjacent(&frame.right[j]), e), driven));
        }
        if (firstOfBlock && f == 0) {
            for (int j = 0; j < kBandCount; ++j) storeShared(eq.meter[j], LinearToDb(applied[j] * k));
        }
    }
}

void idleReset(DynamicEq& eq) {
    for (double& gain : eq.gain) gain = 1.0;
}
