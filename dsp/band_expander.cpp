// Band expander: RMS follower, linear floor curve, attack/release smoothing.
#include "dsp/band_expander.h"

#include <cmath>

#include "dsp/band_dynamics.h"
#include "dsp/db.h"
#include "dsp/shared_value.h"
#include "dsp/ten_band_processor.h"

namespace {

constexpr ParamRange kThresholdRange = dbRange(-40, 6);
constexpr ParamRange kRatioRange = bandRatioRange(1, 10);
constexpr ParamRange kAttackRange = detectorTimeRange(0, 1000);
constexpr ParamRange kReleaseRange = detectorTimeRange(0, 1000);
constexpr double kThresholdScale = 0.1;

}  // namespace

void prepareExpander(ExpanderBlock& block, const ExpanderParams& params) {
    for (int j = 0; j < kBandCount; ++j) {
        block.floor[j] = 1 / guardedParam(loadShared(params.ratio[j]), kRatioRange);
        block.threshold[j] = DbToLinear(guardedParam(loadShared(params.thresholdDb[j]), kThresholdRange)) * kThresholdScale;
        block.attack[j] = smoothingCoefficient(loadShared(params.attackMs[j]), kAttackRange);
        block.release[j] = smoothingCoefficient(loadShared(params.releaseMs[j]), kReleaseRange);
    }
}

void expandBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock) {
    const ExpanderBlock& block = processor.expBlock;
    const BandDetectors& detectors = processor.detectors;
    for (int j = 0; j < kBandCount; ++j) {
        processor.expLevel[j] = followPower(processor.expLevel[j], bands.left[j], bands.right[j], detectors.detect[j],
                                            detectors.complement[j]);
        const double r = (std::sqrt(processor.expLevel[j]) + kLevelFloor) / block.threshold[j];
        const double g = expanderGain(r, block.floor[j]);
        const double gain = smoothGain(processor.expGain[j], g, block.attack[j], block.release[j]);
        processor.expGain[j] = gain;

        bands.left[j] = bands.left[j] * gain;
        bands.right[j] = bands.right[j] * gain;
        if (firstOfBlock) storeShared(processor.expMeter[j], -LinearToDb(gain));
    }
}
