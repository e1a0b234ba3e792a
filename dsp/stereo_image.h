// Stereo image processor: mono fold, or side gain that widens the image on transients.
#pragma once

#include "dsp/live_params.h"

struct StereoImageProcessor {
    double fastPower;     // P: smoothed square of the mid signal
    double slowLevel;     // A: smoothed fast RMS level
    double sideGain;      // g of the last sample of the block; 1.0 at block start
    double meterDb;       // enhancement meter, written at block end
    // block constants
    double c1, c2, maxGain;
};

void prepareBlock(StereoImageProcessor& stage, const StereoImageParams& params);
void processSample(StereoImageProcessor& stage, const StereoImageParams& params, double& L, double& R);
void finishBlock(StereoImageProcessor& stage, const StereoImageParams& params);
