// Dynamic equaliser: per-band power follower, smoothed target gain, normalisation to a mean of 1.
#include "dsp/dynamic_eq.h"

#include <cmath>

#include "dsp/band_dynamics.h"
#include "dsp/db.h"
#include "dsp/shared_value.h"
#include "dsp/ten_band_processor.h"

namespace {

constexpr ParamRange kSpeedRange = detectorTimeRange(200, 8000);
// Inside 0 ... 100 % every applied gain stays positive, so the normalising sum cannot reach zero;
// beyond it a sum of 0 would make the normalisation infinite.
constexpr ParamRange kAmountRange = exactRange(0, 100);
constexpr ParamRange kMaxEnhanceRange = dbRange(0, 24);

}  // namespace

void prepareDynamicEq(DynamicEqBlock& block, const DynamicEqParams& params) {
    const double maxEnhanceDb = guardedParam(loadShared(params.maxEnhanceDb), kMaxEnhanceRange);
    // A speed of 0 or less follows at once, even though the registered range starts at 200 ms.
    const double speedMs = loadShared(params.speedMs);
    block.speed = speedMs <= 0 ? 1.0 : smoothingCoefficient(speedMs, kSpeedRange);
    block.amount = guardedParam(loadShared(params.amountPercent), kAmountRange) * 0.01;
    block.maxGain = DbToLinear(maxEnhanceDb);
    block.minGain = DbToLinear(-maxEnhanceDb);
}

void equalizeBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock) {
    const DynamicEqBlock& block = processor.deqBlock;
    const BandDetectors& detectors = processor.detectors;
    double applied[kBandCount];
    double sum = 0.0;
    for (int j = 0; j < kBandCount; ++j) {
        const double level = followPower(processor.deqLevel[j], bands.left[j], bands.right[j], detectors.detect[j],
                                         detectors.complement[j]);
        processor.deqLevel[j] = level;
        double target = kDynamicEqTargetLevel / (std::sqrt(level) + kLevelFloor);
        if (target < block.minGain) target = block.minGain;
        if (target > block.maxGain) target = block.maxGain;
        const double gain = (1 - block.speed) * processor.deqGain[j] + block.speed * target;
        processor.deqGain[j] = gain;
        applied[j] = (gain - 1) * block.amount + 1;
        sum += applied[j];
    }
    const double k = 1 / (0.1 * sum);
    for (int j = 0; j < kBandCount; ++j) {
        const double e = applied[j] * k;
        bands.left[j] = bands.left[j] * e;
        bands.right[j] = bands.right[j] * e;
        if (firstOfBlock) storeShared(processor.deqMeter[j], LinearToDb(e));
    }
}
