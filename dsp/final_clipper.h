// Final clipper: soft cubic clipping or complex (Hilbert quadrature) clipping.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"

constexpr int kHilbertLength = 64;

// Circular buffer of the channel's input scaled by 0.6376356075826649, and its push counter.
// The quadrature output is a 63-tap antisymmetric FIR centred on the value pushed 32 samples
// ago; the in-phase output is that centre value, so both lag the input by 32 samples.
struct HilbertDelayLine {
    double buffer[kHilbertLength];
    int32_t counter;  // c: pushes so far; its low 6 bits give the next slot; wraps
};

// Soft mode: x = in * k, y = x - x^3 / 3 within |x| <= 1 (rails at +-2/3 beyond), out = y * K,
// so the slope is 1 at zero and 0 at +-1.5 T, where the output reaches +-T. Complex mode: the
// real part of (I, Q) is cut so that |I + jQ| <= T, and to 0 when |Q| >= T. The accumulator
// records the largest positive cut (driven input minus output) and decays per block.
struct FinalClipper {
    HilbertDelayLine left;
    HilbertDelayLine right;
    double accumulator;  // A: largest recent positive reduction, decays per block; never reset
    double meterDb;      // clip level meter, written at block end, read by the window
    // block constants
    double drive, threshold, k, K, thresholdSquared;  // linear drive, T, 2/3 / T, 1 / k, T^2
};

// Stores x * 0.6376356075826649 and returns the quadrature value Q of the line.
double hilbertPush(HilbertDelayLine& line, double x);
// The in-phase value I after a push: the value stored 32 pushes ago, scaled back.
double hilbertInPhase(const HilbertDelayLine& line);

void clearHilbertLines(FinalClipper& clipper);
void prepareBlock(FinalClipper& clipper, const FinalClipperParams& params);
// Reads the complex switch at every sample.
void processSample(FinalClipper& clipper, const FinalClipperParams& params, double& L, double& R);
// n consecutive frames of (L, R) pairs in place, exactly as n calls of processSample.
void processFrames(FinalClipper& clipper, const FinalClipperParams& params, double* pairs, int n);
// Called while the stage is active: meter from the accumulator, then its linear decay.
void finishBlock(FinalClipper& clipper, double blockMeterDecay);
void idleReset(FinalClipper& clipper);
