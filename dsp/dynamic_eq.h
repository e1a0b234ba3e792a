// Dynamic equaliser: moves each band slowly toward a common level; the ten gains average exactly 1.
#pragma once

#include "dsp/band_samples.h"
#include "dsp/live_params.h"

struct TenBandProcessor;

// Target level of every band, full scale 1.0.
constexpr double kDynamicEqTargetLevel = 0.05;

// Block constants from "DynamicEQ.*".
struct DynamicEqBlock {
    double speed;    // s: smoothing coefficient of the correction gain, both directions
    double amount;   // a: share of the correction applied, 0 ... 1
    double maxGain;  // gmax = 10^(MaxEnhance/20)
    double minGain;  // gmin = 10^(-MaxEnhance/20)
    double oneMinusSpeed;  // 1 - s, the per-frame formula's other weight, computed once
};

void prepareDynamicEq(DynamicEqBlock& block, const DynamicEqParams& params);

// One frame in place. Uses the band detector coefficients, deqLevel and deqGain of `processor`;
// on the first frame of a block writes deqMeter (applied gain in dB).
void equalizeBands(TenBandProcessor& processor, BandSamples& bands, bool firstOfBlock);
// n consecutive frames, exactly as n calls of equalizeBands (firstOfBlock applies to frame 0).
void equalizeFrames(TenBandProcessor& processor, BandSamples* bands, int n, bool firstOfBlock);
