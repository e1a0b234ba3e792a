// Stereo image processor: block constants, the mid/side step and the enhancement meter.
#include "dsp/stereo_image.h"

#include <cmath>

#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kLevelFloor = 0.01;    // absolute term under A, 40 dB below full scale
constexpr double kMeterFloor = 0.00001;

}  // namespace

void prepareBlock(StereoImageProcessor& stage, const StereoImageParams& params) {
    stage.c1 = timeCoefficient(guardedParam(loadShared(params.detect1Ms), kStereoDetect1Ms.range));
    stage.c2 = timeCoefficient(guardedParam(loadShared(params.detect2Ms), kStereoDetect2Ms.range));
    stage.maxGain = DbToLinear(guardedParam(loadShared(params.maxEnhanceDb), kStereoMaxEnhanceDb.range));
    stage.sideGain = 1.0;
}

void processSample(StereoImageProcessor& stage, const StereoImageParams& params, double& L, double& R) {
    const double M = (R + L) * 0.5;
    if (isOn(params.mono)) {
        L = M;
        R = M;
        return;
    }
    const double S = (L - R) * 0.5;
    const double c1 = stage.c1;
    const double c2 = stage.c2;
    stage.fastPower = M * M * c1 + stage.fastPower * (1 - c1);
    const double F = std::sqrt(stage.fastPower);
    stage.slowLevel = stage.slowLevel * (1 - c2) + F * c2;

    const double amount = guardedParam(loadShared(params.amountPercent), kStereoAmountPercent.range);
    double g = F / (stage.slowLevel + kLevelFloor) * (amount * 5.0) * 0.01;
    if (g < 1) g = 1;
    if (g > stage.maxGain) g = stage.maxGain;
    stage.sideGain = g;

    L = M + g * S;
    R = M - g * S;
}

void finishBlock(StereoImageProcessor& stage, const StereoImageParams& params) {
    if (isOn(params.mono)) return;
    storeShared(stage.meterDb, LinearToDb(stage.sideGain + kMeterFloor));
}
