// Final wideband limiter: stereo-linked, lookahead, peak or RMS detection, 4,095 frames of delay.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"

constexpr int kLimiterRingFrames = 4096;
constexpr uint32_t kLimiterRingMask = kLimiterRingFrames - 1;

// The driven input goes through the rings and leaves 4,095 frames later; the detector reads the
// rings `lookaheadFrames` ahead of the output. The gain moves toward threshold / level (never
// above 1). Counter, envelope and gain start at 0 on load and are never reset, so the output
// fades in over about the release time the first time the stage runs.
struct FinalLimiter {
    double leftRing[kLimiterRingFrames];   // driven input
    double rightRing[kLimiterRingFrames];
    uint32_t counter;   // n: counts every pair processed; low 12 bits index the rings
    double envelope;    // E: held peak (peak mode) or smoothed power (RMS mode)
    double gain;        // g, linear, at most 1
    double meterDb;     // reduction meter, written on the first pair of a block
    // block constants
    double drive, attack, release, detect, threshold;  // linear drive, ca, cr, cd, T
    int lookaheadFrames;                               // la, 0 ... 3969
    bool peakMode;
};

void prepareBlock(FinalLimiter& limiter, const FinalLimiterParams& params);
void processSample(FinalLimiter& limiter, double& L, double& R, bool firstOfBlock);
// n consecutive frames of (L, R) pairs in place, exactly as n calls of processSample
// (firstOfBlock applies to frame 0).
void processFrames(FinalLimiter& limiter, double* pairs, int n, bool firstOfBlock);
void idleReset(FinalLimiter& limiter);
