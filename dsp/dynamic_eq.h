// Dynamic equaliser: moves each band slowly toward a common level; the ten gains average exactly 1.
#pragma once

#include "dsp/band_dynamics.h"
#include "dsp/band_samples.h"
#include "dsp/lane_width.h"
#include "dsp/live_params.h"

// Target level of every band, full scale 1.0.
constexpr double kDynamicEqTargetLevel = 0.05;

// Block constants from "DynamicEQ.*".
struct DynamicEqBlock {
    double speed;    // s: smoothing coefficient of the correction gain, both directions
    double amount;   // a: share of the correction applied, 0 ... 1
    double maxGain;  // gmax = 10^(MaxEnhance/20)
    double minGain;  // gmin = 10^(-MaxEnhance/20)
    double oneMinusSpeed;  // 1 - s, the per-frame formula's other weight, computed once
};

// State glossary (index 0 = band 1): a power follower per band at the band detector rate, and the
// correction gain before amount and normalisation, which is 1.0 after every idle reset and moves
// slowly (Speed: 0.2 ... 8 s).
struct DynamicEq {
    double level[kBandCount];  // smoothed power, full scale 1.0
    double gain[kBandCount];   // correction gain, linear
    double meter[kBandCount];  // applied gain in dB, written by the audio thread, read by the windows
    DynamicEqBlock block;
};

void prepareBlock(DynamicEq& eq, const DynamicEqParams& params);

// One frame in place with the band detector coefficients; on the first frame of a block writes
// the meters.
void equalizeBands(DynamicEq& eq, const BandDetectors& detectors, BandSamples& bands, bool firstOfBlock);
// n consecutive frames, exactly as n calls of equalizeBands (firstOfBlock applies to frame 0),
// read from `in` and written to `out` (the same frames, or frames apart from them), each band
// then times `drive` (the density drive that follows the stage, in the same pass; 1 for none).
// `lanes` picks two or four bands per register; the bits are the same.
void equalizeFrames(DynamicEq& eq, const BandDetectors& detectors, const BandSamples* in, BandSamples* out, int n,
                    bool firstOfBlock, double drive, LaneWidth lanes = widestLanes());
// Sets every correction gain to 1.0; the followers are left alone.
void idleReset(DynamicEq& eq);
