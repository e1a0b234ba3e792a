// Final clipper: soft cubic clipping or complex (Hilbert quadrature) clipping.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"

constexpr int kHilbertLength = 64;

// Circular buffer of the channel's input scaled by 0.6376356075826649, and its push counter.
struct HilbertDelayLine {
    double buffer[kHilbertLength];
    int32_t counter;
};

struct FinalClipper {
    HilbertDelayLine left;
    HilbertDelayLine right;
    double accumulator;  // A: largest recent positive reduction, decays per block
    double meterDb;
    // block constants
    double drive, threshold, k, K, thresholdSquared;
};

void clearHilbertLines(FinalClipper& clipper);
void prepareBlock(FinalClipper& clipper, const FinalClipperParams& params);
void processSample(FinalClipper& clipper, const FinalClipperParams& params, double& L, double& R);
void finishBlock(FinalClipper& clipper, double blockMeterDecay);
void idleReset(FinalClipper& clipper);
