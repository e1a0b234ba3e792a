// STUB: replaced by the stage implementation.
#include "dsp/agc.h"
void agcCrossoverCoefficients(double, BiquadCoefficients& low, BiquadCoefficients& high) { low = {}; high = {}; }
void prepareBlock(TwoBandAgc&, const AgcParams&) {}
void processSample(TwoBandAgc&, const AgcParams&, double&, double&) {}
void finishBlock(TwoBandAgc&, const AgcParams&) {}
void idleReset(TwoBandAgc&) {}
