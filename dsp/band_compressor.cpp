// Band compressor: detector on the look-ahead row, blended ratio curve, attack/release smoothing.
#include "dsp/band_compressor.h"

#include "dsp/band_kernels_avx2.h"
#include "dsp/band_line_pass.h"
#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kPeakThresholdScale = 0.2;
constexpr double kRmsThresholdScale = 0.1;

}  // namespace

void prepareBlock(BandCompressor& compressor, const CompressorParams& params) {
    CompressorBlock& block = compressor.block;
    block.peakMode = isOn(params.peakDetect);
    const double thresholdScale = block.peakMode ? kPeakThresholdScale : kRmsThresholdScale;
    for (int j = 0; j < kBandCount; ++j) {
        const double ratio = guardedParam(loadShared(params.ratio[j]), kCompressorRatio.range);
        block.preGain[j] = DbToLinear(block.gainMemo[j], guardedParam(loadShared(params.gainDb[j]), kCompressorGainDb.range));
        block.ratio[j] = ratio;
        block.blend[j] = compressorBlend(ratio);
        const double thresholdDb = guardedParam(loadShared(params.thresholdDb[j]), kCompressorThresholdDb.range);
        block.threshold[j] = DbToLinear(block.thresholdMemo[j], thresholdDb) * thresholdScale;
        block.attack[j] = smoothingCoefficient(loadShared(params.attackMs[j]), kCompressorAttackMs.range);
        block.release[j] = smoothingCoefficient(loadShared(params.releaseMs[j]), kCompressorReleaseMs.range);
        block.lookahead[j] = lookaheadFrames(loadShared(params.lookaheadMs[j]), kCompressorLookaheadMs.range);
        block.oneMinusBlend[j] = 1 - block.blend[j];
        block.oneMinusAttack[j] = 1 - block.attack[j];
        block.oneMinusRelease[j] = 1 - block.release[j];
    }
}

namespace {

// One band pair with the ratio curves its two bands take.
template <bool kPeakMode, RatioCurves kCurves>
void compressPair(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                  double* gainAfterFirst) {
    const CompressorBlock& block = compressor.block;
    const LinePass pass{compressor.line,      block.lookahead, block.preGain,        block.attack,
                        block.oneMinusAttack, block.release,   block.oneMinusRelease, detectors,
                        compressor.level,     compressor.gain};
    const Pair threshold = loadAdjacent(&block.threshold[j]);
    const Pair ratio = loadAdjacent(&block.ratio[j]);
    const Pair blend = loadAdjacent(&block.blend[j]);
    const Pair oneMinusBlend = loadAdjacent(&block.oneMinusBlend[j]);
    runLinePair<kPeakMode, false>(pass, bands, n, j, gainAfterFirst, [&](Pair level) {
        return compressorGainPair<kCurves>(_mm_div_pd(level, threshold), ratio, blend, oneMinusBlend);
    });
}

template <bool kPeakMode>
void compressPair(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                  double* gainAfterFirst) {
    const CompressorBlock& block = compressor.block;
    const bool lowGentle = block.ratio[j] < 2;
    const bool highGentle = block.ratio[j + 1] < 2;
    if (lowGentle && highGentle) {
        compressPair<kPeakMode, RatioCurves::kGentle>(compressor, detectors, bands, n, j, gainAfterFirst);
    } else if (!lowGentle && !highGentle) {
        compressPair<kPeakMode, RatioCurves::kSteep>(compressor, detectors, bands, n, j, gainAfterFirst);
    } else {
        compressPair<kPeakMode, RatioCurves::kMixed>(compressor, detectors, bands, n, j, gainAfterFirst);
    }
}

}  // namespace

void compressBands(BandCompressor& compressor, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock) {
    compressFrames(compressor, detectors, &bands, 1, firstOfBlock);
}

void compressFrames(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n,
                    bool firstOfBlock, LaneWidth lanes) {
    if (n <= 0) return;
    double gainAfterFirst[kBandCount];
    int j = 0;
#if defined(DRELVANT_AVX2_KERNELS)
    if (fourLanes(lanes)) {
        band_avx2::compressBands(compressor, detectors, bands, n, gainAfterFirst);
        j = kBandCount;
    }
#else
    (void)lanes;
#endif
    for (; j < kBandCount; j += 2) {
        if (compressor.block.peakMode) {
            compressPair<true>(compressor, detectors, bands, n, j, &gainAfterFirst[j]);
        } else {
            compressPair<false>(compressor, detectors, bands, n, j, &gainAfterFirst[j]);
        }
    }
    compressor.line.counter += static_cast<uint32_t>(n);
    if (firstOfBlock) {
        for (int j = 0; j < kBandCount; ++j) storeShared(compressor.meter[j], -LinearToDb(gainAfterFirst[j]));
    }
}

void idleReset(BandCompressor& compressor) { clearLookaheadLine(compressor.line); }
