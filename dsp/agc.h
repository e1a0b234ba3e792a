// Two-band AGC: band gains toward a target level, linked, under a wideband ceiling.
#pragma once

#include "dsp/filters/biquad.h"
#include "dsp/live_params.h"

// Levels are sqrt of the smoothed sum of left and right squares (full scale 1.0). Band gains
// move toward the gain that brings their band to 0.4 (two-band) or 0.5 (single-band), scaled by
// Level and bounded to [1, maxGain]; the wideband gain only cuts, toward a ceiling of 0.5, and
// is not bounded below (it starts at 0 and fades in). Envelopes and gains start at 0 on load and
// are never cleared; the idle reset clears only the two split filters.
struct TwoBandAgc {
    ReverseCascadeFilter lowBand;   // low-pass split filter
    ReverseCascadeFilter highBand;  // high-pass split filter; plain detector filter in single-band mode
    double envelopeLow, envelopeHigh, envelopeWide;  // EL, EH, EW: smoothed powers
    double gainLow, gainHigh, gainWide;               // gL, gH, gW (gL is the single gain in single-band mode)
    double meterLowDb, meterHighDb, meterReductionDb; // written at block end, read by the window
    // block constants
    double level, link, detectLow, detectHigh, detectWide;  // Lv, k, dL, dH, dW
    double attackLow, attackHigh, attackWide, releaseLow, releaseHigh, releaseWide;
    double boostLow, boostHigh, maxGain;                     // GL, GH, Gmax (linear)
};

// Low-pass and high-pass split at crossoverHz with bandwidth 1.9 - f/52000 octaves.
void agcCrossoverCoefficients(double crossoverHz, BiquadCoefficients& low, BiquadCoefficients& high);

void prepareBlock(TwoBandAgc& agc, const AgcParams& params);
// Reads the single-band switch at every sample; two-band mode delays by 8,192 frames.
void processSample(TwoBandAgc& agc, const AgcParams& params, double& L, double& R);
// Called while the AGC is active.
void finishBlock(TwoBandAgc& agc, const AgcParams& params);
void idleReset(TwoBandAgc& agc);
