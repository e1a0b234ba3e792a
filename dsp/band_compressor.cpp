// Band compressor: detector on the look-ahead row, blended ratio curve, attack/release smoothing.
#include "dsp/band_compressor.h"

#include "dsp/band_dynamics.h"
#include "dsp/db.h"
#include "dsp/lookahead_line.h"
#include "dsp/shared_value.h"
#include "dsp/ten_band_processor.h"

namespace {

constexpr ParamRange kGainRange = dbRange(-24, 24);
constexpr ParamRange kThresholdRange = dbRange(-24, 24);
constexpr ParamRange kRatioRange = bandRatioRange(1, 10);
constexpr ParamRange kAttackRange = detectorTimeRange(0, 1000);
constexpr ParamRange kReleaseRange = detectorTimeRange(0, 5000);

constexpr double kPeakThresholdScale = 0.2;
constexpr double kRmsThresholdScale = 0.1;

}  // namespace

void prepareCompressor(CompressorBlock& block, const CompressorParams& params) {
    block.peakMode = isOn(params.peakDetect);
    const double thresholdScale = block.peakMode ? kPeakThresholdScale : kRmsThresholdScale;
    for (int j = 0; j < kBandCount; ++j) {
        const double ratio = guardedParam(loadShared(params.ratio[j]), kRatioRange);
        block.preGain[j] = DbToLinear(guardedParam(loadShared(params.gainDb[j]), kGainRange));
        block.ratio[j] = ratio;
        block.blend[j] = compressorBlend(ratio);
        block.threshold[j] = DbToLinear(guardedParam(loadShared(params.thresholdDb[j]), kThresholdRange)) * thresholdScale;
        block.attack[j] = smoothingCoefficient(loadShared(params.attackMs[j]), kAttackRange);
        block.release[j] = smoothingCoefficient(loadShared(params.releaseMs[j]), kReleaseRange);
        block.lookahead[j] = lookaheadFrames(loadShared(params.lookaheadMs[j]));
        block.oneMinusBlend[j] = 1 - block.blend[j];
        block.oneMinusAttack[j] = 1 - block.attack[j];
        block.oneMinusRelease[j] = 1 - block.release[j];
    }
}

namespace {

// One band pair (lanes j, j + 1) over n frames with its constants and its level and gain in
// registers. A band writes and reads only its own column of the line, so running the pairs one
// after the other over the frames is the same as running the frames one after the other. The
// frames go in stretches in which none of the four rows a frame touches wraps around the line,
// so that each row is a pointer moving one row per frame.
template <bool kPeakMode, RatioCurves kCurves>
void compressPair(TenBandProcessor& processor, BandSamples* bands, int n, int j, double* gainAfterFirst) {
    const CompressorBlock& block = processor.compBlock;
    const BandDetectors& detectors = processor.detectors;
    LookaheadLine& line = processor.compressorLine;
    const Pair preGain = loadAdjacent(&block.preGain[j]);
    const Pair detect = loadAdjacent(&detectors.detect[j]);
    const Pair complement = loadAdjacent(&detectors.complement[j]);
    const Pair threshold = loadAdjacent(&block.threshold[j]);
    const Pair ratio = loadAdjacent(&block.ratio[j]);
    const Pair blend = loadAdjacent(&block.blend[j]);
    const Pair oneMinusBlend = loadAdjacent(&block.oneMinusBlend[j]);
    const SmoothingPair smoothing =
        smoothingPair(loadAdjacent(&block.attack[j]), loadAdjacent(&block.oneMinusAttack[j]),
                      loadAdjacent(&block.release[j]), loadAdjacent(&block.oneMinusRelease[j]));
    const Pair levelFloor = splat(kLevelFloor);
    Pair level = loadAdjacent(&processor.compLevel[j]);
    Pair gain = loadAdjacent(&processor.compGain[j]);
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
                detected = level;
            } else {
                level = followPowerPair(level, a, b, detect, complement);
                detected = _mm_add_pd(_mm_sqrt_pd(level), levelFloor);
            }

            const Pair g = compressorGainPair<kCurves>(_mm_div_pd(detected, threshold), ratio, blend, oneMinusBlend);
            gain = smoothGainPair(gain, g, smoothing);
            if (f == 0) storeAdjacent(gainAfterFirst, gain);

            storeAdjacent(&bands[f].left[j], _mm_mul_pd(gain, loadAdjacent(&outLeft[k][j])));
            storeAdjacent(&bands[f].right[j], _mm_mul_pd(gain, loadAdjacent(&outRight[k][j])));
        }
    }
    storeAdjacent(&processor.compLevel[j], level);
    storeAdjacent(&processor.compGain[j], gain);
}

template <bool kPeakMode>
void compressPair(TenBandProcessor& processor, BandSamples* bands, int n, int j, double* gainAfterFirst) {
    const CompressorBlock& block = processor.compBlock;
    const bool lowGentle = block.ratio[j] < 2;
    const bool highGentle = block.ratio[j + 1] < 2;
    if (lowGentle && highGentle) {
        compressPair<kPeakMode, RatioCurves::kGentle>(processor, bands, n, j, gainAfterFirst);
    } else if (!lowGentle && !highGentle) {
        compressPair<kPeakMode, RatioCurves::kSteep>(processor, bands, n, j, gainAfterFirst);
    } else {
        compressPair<kPeakMode, RatioCurves::kMixed>(processor, bands, n, j, gainAfterFirst);
    }
}

}  // namespace

void compressBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock) {
    compressFrames(processor, &bands, 1, firstOfBlock);
}

void compressFrames(TenBandProcessor& processor, BandSamples* bands, int n, bool firstOfBlock) {
    if (n <= 0) return;
    double gainAfterFirst[kBandCount];
    for (int j = 0; j < kBandCount; j += 2) {
        if (processor.compBlock.peakMode) {
            compressPair<true>(processor, bands, n, j, &gainAfterFirst[j]);
        } else {
            compressPair<false>(processor, bands, n, j, &gainAfterFirst[j]);
        }
    }
    processor.compressorLine.counter += static_cast<uint32_t>(n);
    if (firstOfBlock) {
        for (int j = 0; j < kBandCount; ++j) storeShared(processor.compMeter[j], -LinearToDb(gainAfterFirst[j]));
    }
}
