// Stereo image processor: mono fold, or side gain that widens the image on transients.
#pragma once

#include "dsp/live_params.h"

// The side signal S = (L - R) / 2 is multiplied by g = F / (A + 0.01) * Amount / 20, bounded to
// [1, maxGain], where F is a fast RMS of the mid signal and A a slow average of F: g rises when
// the mid level jumps above its recent average. The envelopes start at 0 on load and are never
// cleared; in mono mode or while the stage is off they stand still.
struct StereoImageProcessor {
    double fastPower;     // P: smoothed square of the mid signal (Detect1)
    double slowLevel;     // A: smoothed fast RMS level (Detect2)
    double sideGain;      // g of the last sample of the block; 1.0 at block start
    double meterDb;       // enhancement meter, written at block end, read by the window
    // block constants
    double c1, c2, maxGain;  // Detect1 and Detect2 coefficients; Gmax, linear
};

void prepareBlock(StereoImageProcessor& stage, const StereoImageParams& params);
// Reads Amount and the mono switch at every sample.
void processSample(StereoImageProcessor& stage, const StereoImageParams& params, double& L, double& R);
// Called while the stage is active; publishes the meter unless the mono switch is on.
void finishBlock(StereoImageProcessor& stage, const StereoImageParams& params);
