// Two-band AGC: crossover design, block constants, the single- and two-band steps and meters.
#include "dsp/agc.h"

#include <cmath>

#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kCrossoverBandwidthOctaves = 1.9;
constexpr double kCrossoverBandwidthSlope = 1.923076923076923e-05;  // octaves per Hz: 1 / 52,000

constexpr double kTwoBandTarget = 0.4;
constexpr double kSingleBandTarget = 0.5;
constexpr double kWidebandCeiling = 0.5;
constexpr double kLevelFloor = 0.00001;

// Coefficient of the mean of two times: 1 / (((a + b) * 0.0005) * 44100); 1 when the sum is 0 or less.
double meanTimeCoefficient(double firstMs, double secondMs) {
    const double sumMs = firstMs + secondMs;
    if (sumMs <= 0) return 1.0;
    return 1 / ((sumMs * 0.0005) * 44100);
}

// Attack when the target is below the gain (gain falling), release otherwise.
inline double smoothGain(double gain, double target, double attack, double release) {
    if (target < gain) return target * attack + gain * (1 - attack);
    return target * release + gain * (1 - release);
}

void processSingleBand(TwoBandAgc& agc, double& L, double& R) {
    double hL = L, hR = R;
    BiquadStereo(agc.highBand.biquad, hL, hR);
    const double dL = agc.detectLow;
    agc.envelopeLow = (hR * hR + hL * hL) * dL + agc.envelopeLow * (1 - dL);

    const double maxGain = agc.maxGain;
    double t = (kSingleBandTarget / (std::sqrt(agc.envelopeLow) + kLevelFloor) - 1) * agc.level + 1;
    if (t > maxGain) t = maxGain;
    double g = smoothGain(agc.gainLow, t, agc.attackLow, agc.releaseLow);
    if (g > maxGain) g = maxGain;
    if (g < 1) g = 1;
    agc.gainLow = g;

    L = g * L * agc.boostLow;
    R = g * R * agc.boostLow;
}

void processTwoBand(TwoBandAgc& agc, double& L, double& R) {
    double lowL = L, lowR = R;
    double highL = L, highR = R;
    ReverseCascadeStereo(agc.lowBand, lowL, lowR);
    ReverseCascadeStereo(agc.highBand, highL, highR);

    const double dL = agc.detectLow;
    const double dH = agc.detectHigh;
    agc.envelopeLow = (lowR * lowR + lowL * lowL) * dL + agc.envelopeLow * (1 - dL);
    agc.envelopeHigh = (highR * highR + highL * highL) * dH + agc.envelopeHigh * (1 - dH);

    const double maxGain = agc.maxGain;
    double tL = (kTwoBandTarget / (std::sqrt(agc.envelopeLow) + kLevelFloor) - 1) * agc.level + 1;
    if (tL > maxGain) tL = maxGain;
    double tH = (kTwoBandTarget / (std::sqrt(agc.envelopeHigh) + kLevelFloor) - 1) * agc.level + 1;
    if (tH > maxGain) tH = maxGain;

    double gL = smoothGain(agc.gainLow, tL, agc.attackLow, agc.releaseLow);
    double gH = smoothGain(agc.gainHigh, tH, agc.attackHigh, agc.releaseHigh);
    if (gL > maxGain) gL = maxGain;
    if (gH > maxGain) gH = maxGain;
    if (gL < 1) gL = 1;
    if (gH < 1) gH = 1;
    agc.gainLow = gL;
    agc.gainHigh = gH;

    const double k = agc.link;
    const double gLo = gL * (1 - k) + gH * k;
    const double gHi = gH * (1 - k) + gL * k;
    lowL *= gLo;
    lowR *= gLo;
    highL *= gHi;
    highR *= gHi;

    const double sL = lowL + highL;
    const double sR = lowR + highR;
    const double dW = agc.detectWide;
    agc.envelopeWide = (sR * sR + sL * sL) * dW + agc.envelopeWide * (1 - dW);
    double tW = kWidebandCeiling / (std::sqrt(agc.envelopeWide) + kLevelFloor);
    if (tW > 1) tW = 1;
    // Reverse pairing: the cut deepens at the mean release rate and recovers at the mean attack rate.
    const double gW = smoothGain(agc.gainWide, tW, agc.releaseWide, agc.attackWide);
    agc.gainWide = gW;

    L = (lowL * agc.boostLow + highL * agc.boostHigh) * gW;
    R = (lowR * agc.boostLow + highR * agc.boostHigh) * gW;
}

}  // namespace

void agcCrossoverCoefficients(double crossoverHz, BiquadCoefficients& low, BiquadCoefficients& high) {
    const double bandwidthOctaves = kCrossoverBandwidthOctaves - crossoverHz * kCrossoverBandwidthSlope;
    low = DesignCoefficients(kLowPass, 0.0, crossoverHz, kSampleRateHz, bandwidthOctaves);
    high = DesignCoefficients(kHighPass, 0.0, crossoverHz, kSampleRateHz, bandwidthOctaves);
}

void prepareBlock(TwoBandAgc& agc, const AgcParams& params) {
    const double detectLowMs = guardedParam(loadShared(params.detectLowMs), kAgcDetectLowBandMs.range);
    const double detectHighMs = guardedParam(loadShared(params.detectHighMs), kAgcDetectHighBandMs.range);
    const double attackLowMs = guardedSmoothingTime(loadShared(params.attackLowMs), kAgcAttackLowBandMs.range);
    const double attackHighMs = guardedSmoothingTime(loadShared(params.attackHighMs), kAgcAttackHighBandMs.range);
    const double releaseLowMs = guardedSmoothingTime(loadShared(params.releaseLowMs), kAgcReleaseLowBandMs.range);
    const double releaseHighMs = guardedSmoothingTime(loadShared(params.releaseHighMs), kAgcReleaseHighBandMs.range);

    agc.level = guardedParam(loadShared(params.levelPercent), kAgcLevelPercent.range) * 0.01;
    agc.link = guardedParam(loadShared(params.bandLinkPercent), kAgcBandLinkPercent.range) * 0.005;
    agc.detectLow = timeCoefficient(detectLowMs);
    agc.detectHigh = timeCoefficient(detectHighMs);
    agc.detectWide = 1 / (((detectHighMs + detectLowMs) * 0.0005) * 44100);
    agc.attackLow = timeCoefficient(attackLowMs);
    agc.attackHigh = timeCoefficient(attackHighMs);
    agc.attackWide = meanTimeCoefficient(attackHighMs, attackLowMs);
    agc.releaseLow = timeCoefficient(releaseLowMs);
    agc.releaseHigh = timeCoefficient(releaseHighMs);
    agc.releaseWide = meanTimeCoefficient(releaseHighMs, releaseLowMs);
    agc.boostLow = DbToLinear(guardedParam(loadShared(params.gainLowDb), kAgcGainLowBandDb.range));
    agc.boostHigh = DbToLinear(guardedParam(loadShared(params.gainHighDb), kAgcGainHighBandDb.range));
    agc.maxGain = DbToLinear(guardedParam(loadShared(params.maxGainDb), kAgcMaxGainDb.range));
}

void processSample(TwoBandAgc& agc, const AgcParams& params, double& L, double& R) {
    if (isOn(params.singleBand)) {
        processSingleBand(agc, L, R);
    } else {
        processTwoBand(agc, L, R);
    }
}

void finishBlock(TwoBandAgc& agc, const AgcParams& params) {
    const double gL = agc.gainLow;
    if (isOn(params.singleBand)) {
        storeShared(agc.meterLowDb, LinearToDb(gL + kLevelFloor));
        return;
    }
    const double gH = agc.gainHigh;
    const double k = agc.link;
    storeShared(agc.meterLowDb, LinearToDb(gL * (1 - k) + gH * k + kLevelFloor));
    storeShared(agc.meterHighDb, LinearToDb(gH * (1 - k) + gL * k + kLevelFloor));
    storeShared(agc.meterReductionDb, 0.0001 - LinearToDb(agc.gainWide + kLevelFloor));
}

void idleReset(TwoBandAgc& agc) {
    Reset(agc.lowBand);
    Reset(agc.highBand);
}
