// Band limiter: detector on the look-ahead row, gain min(1, threshold / level), smoothing.
#include "dsp/band_limiter.h"

#include <cmath>

#include "dsp/band_dynamics.h"
#include "dsp/db.h"
#include "dsp/lookahead_line.h"
#include "dsp/shared_value.h"
#include "dsp/ten_band_processor.h"

namespace {

constexpr ParamRange kGainRange = dbRange(-24, 24);
constexpr ParamRange kThresholdRange = dbRange(-24, 24);
constexpr ParamRange kAttackRange = detectorTimeRange(0, 1000);
constexpr ParamRange kReleaseRange = detectorTimeRange(0, 5000);

constexpr double kPeakThresholdScale = 0.2;
constexpr double kRmsThresholdScale = 0.1;

}  // namespace

void prepareLimiter(LimiterBlock& block, const LimiterParams& params) {
    block.peakMode = isOn(params.peakDetect);
    const double thresholdScale = block.peakMode ? kPeakThresholdScale : kRmsThresholdScale;
    for (int j = 0; j < kBandCount; ++j) {
        block.preGain[j] = DbToLinear(guardedParam(loadShared(params.gainDb[j]), kGainRange));
        block.threshold[j] = DbToLinear(guardedParam(loadShared(params.thresholdDb[j]), kThresholdRange)) * thresholdScale;
        block.attack[j] = smoothingCoefficient(loadShared(params.attackMs[j]), kAttackRange);
        block.release[j] = smoothingCoefficient(loadShared(params.releaseMs[j]), kReleaseRange);
        block.lookahead[j] = lookaheadFrames(loadShared(params.lookaheadMs[j]));
        block.oneMinusAttack[j] = 1 - block.attack[j];
        block.oneMinusRelease[j] = 1 - block.release[j];
    }
}

namespace {

// One band pair (lanes j, j + 1) over n frames with its constants and its level and gain in
// registers; as in the compressor, each band keeps to its own column of the line, so the pairs
// can run one after the other over the frames, in stretches in which no row wraps.
template <bool kPeakMode>
void limitPair(TenBandProcessor& processor, BandSamples* bands, int n, int j, double* gainAfterFirst) {
    const LimiterBlock& block = processor.limBlock;
    const BandDetectors& detectors = processor.detectors;
    LookaheadLine& line = processor.limiterLine;
    const Pair preGain = loadAdjacent(&block.preGain[j]);
    const Pair detect = loadAdjacent(&detectors.detect[j]);
    const Pair complement = loadAdjacent(&detectors.complement[j]);
    const Pair threshold = loadAdjacent(&block.threshold[j]);
    const SmoothingPair smoothing =
        smoothingPair(loadAdjacent(&block.attack[j]), loadAdjacent(&block.oneMinusAttack[j]),
                      loadAdjacent(&block.release[j]), loadAdjacent(&block.oneMinusRelease[j]));
    const Pair levelFloor = splat(kLevelFloor);
    Pair level = loadAdjacent(&processor.limLevel[j]);
    Pair gain = loadAdjacent(&processor.limGain[j]);
    for (int f = 0; f < n;) {
        const LookaheadStretch rows = lookaheadStretch(line.counter + static_cast<uint32_t>(f), block.lookahead[j],
                                                       block.lookahead[j + 1], n - f);
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
                detected = _mm_add_pd(level, levelFloor);
            } else {
                level = followPowerPair(level, a, b, detect, complement);
                detected = _mm_add_pd(_mm_sqrt_pd(level), levelFloor);
            }

            gain = smoothGainPair(gain, limiterGainPair(threshold, detected), smoothing);
            if (f == 0) storeAdjacent(gainAfterFirst, gain);

            storeAdjacent(&bands[f].left[j], _mm_mul_pd(gain, loadAdjacent(&outLeft[k][j])));
            storeAdjacent(&bands[f].right[j], _mm_mul_pd(gain, loadAdjacent(&outRight[k][j])));
        }
    }
    storeAdjacent(&processor.limLevel[j], level);
    storeAdjacent(&processor.limGain[j], gain);
}

}  // namespace

void limitBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock) {
    limitFrames(processor, &bands, 1, firstOfBlock);
}

void limitFrames(TenBandProcessor& processor, BandSamples* bands, int n, bool firstOfBlock) {
    if (n <= 0) return;
    double gainAfterFirst[kBandCount];
    for (int j = 0; j < kBandCount; j += 2) {
        if (processor.limBlock.peakMode) {
            limitPair<true>(processor, bands, n, j, &gainAfterFirst[j]);
        } else {
            limitPair<false>(processor, bands, n, j, &gainAfterFirst[j]);
        }
    }
    processor.limiterLine.counter += static_cast<uint32_t>(n);
    if (firstOfBlock) {
        for (int j = 0; j < kBandCount; ++j) storeShared(processor.limMeter[j], -LinearToDb(gainAfterFirst[j]));
    }
}
