// Two-band AGC: band gains toward a target level, linked, under a wideband ceiling.
#pragma once

#include "dsp/filters/biquad.h"
#include "dsp/live_params.h"

struct TwoBandAgc {
    ReverseCascadeFilter lowBand;   // low-pass split filter
    ReverseCascadeFilter highBand;  // high-pass split filter; plain detector filter in single-band mode
    double envelopeLow, envelopeHigh, envelopeWide;  // EL, EH, EW: smoothed powers
    double gainLow, gainHigh, gainWide;               // gL, gH, gW
    double meterLowDb, meterHighDb, meterReductionDb;
    // block constants
    double level, link, detectLow, detectHigh, detectWide;
    double attackLow, attackHigh, attackWide, releaseLow, releaseHigh, releaseWide;
    double boostLow, boostHigh, maxGain;
};

// Low-pass and high-pass split at crossoverHz with bandwidth 1.9 - f/52000 octaves.
void agcCrossoverCoefficients(double crossoverHz, BiquadCoefficients& low, BiquadCoefficients& high);

void prepareBlock(TwoBandAgc& agc, const AgcParams& params);
void processSample(TwoBandAgc& agc, const AgcParams& params, double& L, double& R);
void finishBlock(TwoBandAgc& agc, const AgcParams& params);
void idleReset(TwoBandAgc& agc);
