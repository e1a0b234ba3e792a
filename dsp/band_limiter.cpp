// Band limiter: detector on the look-ahead row, gain min(1, threshold / level), smoothing.
#include "dsp/band_limiter.h"

#include "dsp/band_kernels_avx2.h"
#include "dsp/band_line_pass.h"
#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kPeakThresholdScale = 0.2;
constexpr double kRmsThresholdScale = 0.1;

}  // namespace

void prepareBlock(BandLimiter& limiter, const LimiterParams& params) {
    LimiterBlock& block = limiter.block;
    block.peakMode = isOn(params.peakDetect);
    const double thresholdScale = block.peakMode ? kPeakThresholdScale : kRmsThresholdScale;
    for (int j = 0; j < kBandCount; ++j) {
        block.preGain[j] = DbToLinear(block.gainMemo[j], guardedParam(loadShared(params.gainDb[j]), kLimiterGainDb.range));
        const double thresholdDb = guardedParam(loadShared(params.thresholdDb[j]), kLimiterThresholdDb.range);
        block.threshold[j] = DbToLinear(block.thresholdMemo[j], thresholdDb) * thresholdScale;
        block.attack[j] = smoothingCoefficient(loadShared(params.attackMs[j]), kLimiterAttackMs.range);
        block.release[j] = smoothingCoefficient(loadShared(params.releaseMs[j]), kLimiterReleaseMs.range);
        block.lookahead[j] = lookaheadFrames(loadShared(params.lookaheadMs[j]), kLimiterLookaheadMs.range);
        block.oneMinusAttack[j] = 1 - block.attack[j];
        block.oneMinusRelease[j] = 1 - block.release[j];
    }
}

namespace {

// One band pair: the compressor's pass with the peak level floored too and gain min(1, threshold / level).
template <bool kPeakMode>
void limitPair(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n, int j,
               double* gainAfterFirst) {
    const LimiterBlock& block = limiter.block;
    const LinePass pass{limiter.line,         block.lookahead, block.preGain,        block.attack,
                        block.oneMinusAttack, block.release,   block.oneMinusRelease, detectors,
                        limiter.level,        limiter.gain};
    const Pair threshold = loadAdjacent(&block.threshold[j]);
    runLinePair<kPeakMode, true>(pass, bands, n, j, gainAfterFirst,
                                 [&](Pair level) { return limiterGainPair(threshold, level); });
}

}  // namespace

void limitBands(BandLimiter& limiter, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock) {
    limitFrames(limiter, detectors, &bands, 1, firstOfBlock);
}

void limitFrames(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n, bool firstOfBlock,
                 LaneWidth lanes) {
    if (n <= 0) return;
    double gainAfterFirst[kBandCount];
    int j = 0;
#if defined(DRELVANT_AVX2_KERNELS)
    if (fourLanes(lanes)) {
        band_avx2::limitBands(limiter, detectors, bands, n, gainAfterFirst);
        j = kBandCount;
    }
#else
    (void)lanes;
#endif
    for (; j < kBandCount; j += 2) {
        if (limiter.block.peakMode) {
            limitPair<true>(limiter, detectors, bands, n, j, &gainAfterFirst[j]);
        } else {
            limitPair<false>(limiter, detectors, bands, n, j, &gainAfterFirst[j]);
        }
    }
    limiter.line.counter += static_cast<uint32_t>(n);
    if (firstOfBlock) {
        for (int j = 0; j < kBandCount; ++j) storeShared(limiter.meter[j], -LinearToDb(gainAfterFirst[j]));
    }
}

void idleReset(BandLimiter& limiter) { clearLookaheadLine(limiter.line); }
