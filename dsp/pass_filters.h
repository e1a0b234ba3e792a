// Linear-phase highpass (head of the chain) and doubled lowpass (end of the chain).
#pragma once

#include "dsp/filters/biquad.h"

// One reverse-cascade high-pass section, 2 octaves wide (Q 0.667 per pass): 8,192 frames of delay.
struct HighpassFilter {
    ReverseCascadeFilter filter;
};

// Two identical reverse-cascade low-pass sections in series (four passes in all): 16,384 frames
// of delay. The bandwidth narrows as the cutoff rises, so high cutoffs rise slightly below it.
struct LowpassFilter {
    ReverseCascadeFilter first;
    ReverseCascadeFilter second;
};

// High-pass, 0 dB, 2 octaves, at cutoffHz.
BiquadCoefficients highpassCoefficients(double cutoffHz);
// Low-pass, 0 dB, bandwidth 2 - cutoffHz / 11,200 octaves; both sections take this design.
BiquadCoefficients lowpassCoefficients(double cutoffHz);

void processSample(HighpassFilter& highpass, double& L, double& R);
void processSample(LowpassFilter& lowpass, double& L, double& R);
// n consecutive frames in place, exactly as n calls of processSample: frame f's (L, R) is
// (pairs[2 f], pairs[2 f + 1]).
void processFrames(LowpassFilter& lowpass, double* pairs, int n);

void idleReset(HighpassFilter& highpass);
void idleReset(LowpassFilter& lowpass);
