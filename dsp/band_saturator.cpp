// Band saturator and clipper, the re-filter pass and the block-end clip meters.
#include "dsp/band_saturator.h"

#include "dsp/band_dynamics.h"
#include "dsp/db.h"
#include "dsp/filter_bank.h"
#include "dsp/shared_value.h"
#include "dsp/ten_band_processor.h"

namespace {

constexpr ParamRange kLevelRange = scaleRange(0, 100);
constexpr ParamRange kGainRange = dbRange(-24, 24);
constexpr ParamRange kClipRange = dbRange(-24, 24);  // keeps C finite and positive: the meter divides by it

// One band value through saturation, post gain and (when enabled) the clip.
inline double shapeValue(double x, double amount, double gain, bool clipEnabled, double clipLevel, double& clipPeak) {
    if (amount > 0) x = saturate(x, amount);
    x = x * gain;
    if (clipEnabled) {
        const double p = x;
        x = hardClip(p, clipLevel);
        // Below the negative rail p - x is negative and leaves the hold alone.
        const double overshoot = p - x;
        if (overshoot > clipPeak) clipPeak = overshoot;
    }
    return x;
}

}  // namespace

void prepareSaturator(SaturatorBlock& block, const SaturatorParams& params) {
    for (int j = 0; j < kBandCount; ++j) {
        block.amount[j] = guardedParam(loadShared(params.levelPercent[j]), kLevelRange) * 0.01;
        block.gain[j] = DbToLinear(guardedParam(loadShared(params.gainDb[j]), kGainRange));
        block.clip[j] = DbToLinear(guardedParam(loadShared(params.clipDb[j]), kClipRange)) * kClipScale;
        block.clipEnable[j] = isOn(params.clipEnable[j]);
    }
    block.refilter = isOn(params.refilter);
}

void saturateBands(TenBandProcessor& processor, BandSamples& bands) {
    const SaturatorBlock& block = processor.satBlock;
    for (int j = 0; j < kBandCount; ++j) {
        double& clipPeak = processor.clipPeak[j];
        bands.left[j] = shapeValue(bands.left[j], block.amount[j], block.gain[j], block.clipEnable[j], block.clip[j], clipPeak);
        bands.right[j] = shapeValue(bands.right[j], block.amount[j], block.gain[j], block.clipEnable[j], block.clip[j], clipPeak);
    }
    if (block.refilter) filterBands(processor.refilters, processor.designedCascaded != 0, bands);
}

void finishSaturatorBlock(TenBandProcessor& processor, double bandMeterDecay) {
    const SaturatorBlock& block = processor.satBlock;
    for (int j = 0; j < kBandCount; ++j) {
        double peak = processor.clipPeak[j];
        if (!(peak >= 0)) peak = 0;
        if (peak > kClipPeakLimit) peak = kClipPeakLimit;
        storeShared(processor.clipMeter[j], LinearToDb(peak / block.clip[j] + 1));
        processor.clipPeak[j] = peak - bandMeterDecay;
    }
}
