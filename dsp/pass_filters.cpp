// STUB: replaced by the stage implementation.
#include "dsp/pass_filters.h"
BiquadCoefficients highpassCoefficients(double cutoffHz) { return DesignCoefficients(kHighPass, 0.0, cutoffHz, 44100, 2); }
BiquadCoefficients lowpassCoefficients(double cutoffHz) { return DesignCoefficients(kLowPass, 0.0, cutoffHz, 44100, 2); }
void processSample(HighpassFilter&, double&, double&) {}
void processSample(LowpassFilter&, double&, double&) {}
void idleReset(HighpassFilter& h) { Reset(h.filter); }
void idleReset(LowpassFilter& l) { Reset(l.first); Reset(l.second); }
