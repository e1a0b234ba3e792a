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
    }
}

void limitBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock) {
    const LimiterBlock& block = processor.limBlock;
    const BandDetectors& detectors = processor.detectors;
    LookaheadLine& line = processor.limiterLine;
    const LookaheadRows rows = advanceLookaheadLine(line);
    for (int j = 0; j < kBandCount; ++j) {
        line.left[rows.writeRow][j] = block.preGain[j] * bands.left[j];
        line.right[rows.writeRow][j] = block.preGain[j] * bands.right[j];

        const uint32_t detRow = detectorRow(rows.outRow, block.lookahead[j]);
        const double a = line.left[detRow][j];
        const double b = line.right[detRow][j];
        double level;
        if (block.peakMode) {
            processor.limLevel[j] = followPeak(processor.limLevel[j], a, b, detectors.complement[j]);
            level = processor.limLevel[j] + kLevelFloor;
        } else {
            processor.limLevel[j] =
                followPower(processor.limLevel[j], a, b, detectors.detect[j], detectors.complement[j]);
            level = std::sqrt(processor.limLevel[j]) + kLevelFloor;
        }

        const double g = limiterGain(block.threshold[j], level);
        const double gain = smoothGain(processor.limGain[j], g, block.attack[j], block.release[j]);
        processor.limGain[j] = gain;

        bands.left[j] = gain * line.left[rows.outRow][j];
        bands.right[j] = gain * line.right[rows.outRow][j];
        if (firstOfBlock) storeShared(processor.limMeter[j], -LinearToDb(gain));
    }
}
