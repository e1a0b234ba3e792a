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
    }
}

void compressBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock) {
    const CompressorBlock& block = processor.compBlock;
    const BandDetectors& detectors = processor.detectors;
    LookaheadLine& line = processor.compressorLine;
    const LookaheadRows rows = advanceLookaheadLine(line);
    for (int j = 0; j < kBandCount; ++j) {
        line.left[rows.writeRow][j] = block.preGain[j] * bands.left[j];
        line.right[rows.writeRow][j] = block.preGain[j] * bands.right[j];

        const uint32_t detRow = detectorRow(rows.outRow, block.lookahead[j]);
        const double a = line.left[detRow][j];
        const double b = line.right[detRow][j];
        double level;
        if (block.peakMode) {
            processor.compLevel[j] = followPeak(processor.compLevel[j], a, b, detectors.complement[j]);
            level = processor.compLevel[j];
        } else {
            processor.compLevel[j] =
                followPower(processor.compLevel[j], a, b, detectors.detect[j], detectors.complement[j]);
            level = std::sqrt(processor.compLevel[j]) + kLevelFloor;
        }

        const double g = compressorGain(level / block.threshold[j], block.ratio[j], block.blend[j]);
        const double gain = smoothGain(processor.compGain[j], g, block.attack[j], block.release[j]);
        processor.compGain[j] = gain;

        bands.left[j] = gain * line.left[rows.outRow][j];
        bands.right[j] = gain * line.right[rows.outRow][j];
        if (firstOfBlock) storeShared(processor.compMeter[j], -LinearToDb(gain));
    }
}
