// Band saturator and clipper: square-root saturation, post gain, hard clip, optional re-filter.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/band_samples.h"
#include "dsp/live_params.h"

struct TenBandProcessor;

// A clip setting of 0 dB clips at this fraction of full scale.
constexpr double kClipScale = 0.2;
// clipPeak is held within 0 ... this at every block end.
constexpr double kClipPeakLimit = 30;

// Block constants from "Saturator.*", per band.
struct SaturatorBlock {
    double amount[kBandCount];  // lambda: share of the square-root curve, 0 ... 1
    double gain[kBandCount];    // G: linear post gain, drives the clipper
    double clip[kBandCount];    // C: clip level, 10^(dB/20) x 0.2, always positive
    bool clipEnable[kBandCount];
    bool refilter;              // "Saturator.Refilter"
};

// lambda s(x) + (1 - lambda) x with the sign-preserving square root s. Fixed points 0 and +-1,
// magnitudes below 1 raised (0.25 -> 0.5 at lambda 1, a level in dB halved); infinite slope at 0
// for lambda > 0, which is why the stage only calls it when lambda > 0.
inline double saturate(double x, double amount) {
    const double s = x >= 0 ? std::sqrt(x) : -std::sqrt(-x);
    return amount * s + (1 - amount) * x;
}

// Symmetric hard clip to +-clipLevel; slope 1 inside, 0 outside.
inline double hardClip(double x, double clipLevel) {
    if (x > clipLevel) return clipLevel;
    if (x < -clipLevel) return -clipLevel;
    return x;
}

void prepareSaturator(SaturatorBlock& block, const SaturatorParams& params);

// One frame in place: saturation, post gain and clip per band, then the re-filter when enabled,
// on the runtime path the bank was designed for. Raises clipPeak by positive overshoot only.
void saturateBands(TenBandProcessor& processor, BandSamples& bands);
