// Linear-phase highpass (head of the chain) and doubled lowpass (end of the chain).
#pragma once

#include "dsp/filters/biquad.h"

// One reverse-cascade high-pass section, 2 octaves wide: 8,192 frames of delay.
struct HighpassFilter {
    ReverseCascadeFilter filter;
};

// Two identical reverse-cascade low-pass sections in series: 16,384 frames of delay.
struct LowpassFilter {
    ReverseCascadeFilter first;
    ReverseCascadeFilter second;
};

BiquadCoefficients highpassCoefficients(double cutoffHz);
BiquadCoefficients lowpassCoefficients(double cutoffHz);

void processSample(HighpassFilter& highpass, double& L, double& R);
void processSample(LowpassFilter& lowpass, double& L, double& R);

void idleReset(HighpassFilter& highpass);
void idleReset(LowpassFilter& lowpass);
