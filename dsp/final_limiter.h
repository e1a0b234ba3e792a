// Final wideband limiter: stereo-linked, lookahead, peak or RMS detection, 4,095 frames of delay.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"

constexpr int kLimiterRingFrames = 4096;

struct FinalLimiter {
    double leftRing[kLimiterRingFrames];   // driven input
    double rightRing[kLimiterRingFrames];
    uint32_t counter;   // n: counts every pair processed; low 12 bits index the rings
    double envelope;    // E
    double gain;        // g
    double meterDb;     // reduction meter, written on the first pair of a block
    // block constants
    double drive, attack, release, detect, threshold;
    int lookaheadFrames;
    bool peakMode;
};

void prepareBlock(FinalLimiter& limiter, const FinalLimiterParams& params);
void processSample(FinalLimiter& limiter, double& L, double& R, bool firstOfBlock);
void idleReset(FinalLimiter& limiter);
