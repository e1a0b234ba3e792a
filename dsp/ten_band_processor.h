// Ten-band processor: filter bank split, band stages in fixed order, recombination.
#pragma once

#include <cstdint>

#include "dsp/filters/biquad.h"
#include "dsp/live_params.h"

constexpr int kLookaheadRows = 4096;

// The ten left and ten right band values of one frame.
struct BandSamples {
    double left[kBandCount];
    double right[kBandCount];
};

// Stereo delay of 4,096 rows x 10 bands shared by one stage's bands; output 4,095 frames late.
struct LookaheadLine {
    double left[kLookaheadRows][kBandCount];
    double right[kLookaheadRows][kBandCount];
    uint32_t counter;
};

struct TenBandProcessor {
    ReverseCascadeFilter bandFilters[kBandCount];
    ReverseCascadeFilter refilters[kBandCount];
    uint8_t designedCascaded;  // bank options the coefficients were designed for
    uint8_t designedNarrow;

    LookaheadLine compressorLine;
    LookaheadLine limiterLine;
    double compLevel[kBandCount], compGain[kBandCount];
    double expLevel[kBandCount], expGain[kBandCount];
    double limLevel[kBandCount], limGain[kBandCount];
    double deqLevel[kBandCount], deqGain[kBandCount];
    double clipPeak[kBandCount];

    double eqPreamp;            // set by the derived-parameter update
    double eqGain[kBandCount];  // preamp included

    // display meters, dB
    double deqMeter[kBandCount];
    double compMeter[kBandCount];
    double expMeter[kBandCount];
    double limMeter[kBandCount];
    double clipMeter[kBandCount];

    // block constants
    double detect[kBandCount];
    double deqSpeed, deqAmount, deqMaxGain, deqMinGain;
    double compPreGain[kBandCount], compBlend[kBandCount], compThreshold[kBandCount];
    double compAttack[kBandCount], compRelease[kBandCount];
    int compLookahead[kBandCount];
    double expFloor[kBandCount], expThreshold[kBandCount], expAttack[kBandCount], expRelease[kBandCount];
    double limPreGain[kBandCount], limThreshold[kBandCount], limAttack[kBandCount], limRelease[kBandCount];
    int limLookahead[kBandCount];
    double satAmount[kBandCount], satGain[kBandCount], satClip[kBandCount];
};

// Band-pass coefficients and trims of the bank for one of the four configurations.
void bankCoefficients(bool cascaded, bool narrow, BiquadCoefficients out[kBandCount]);
// Puts a bank design in place: band coefficients, whole copies into the refilters with their
// trims retuned, the designed flags; with resetStates, clears both banks.
void installBankDesign(TenBandProcessor& processor, const BiquadCoefficients coefficients[kBandCount],
                       bool cascaded, bool narrow, bool resetStates);

void prepareBlock(TenBandProcessor& processor, const LiveParams& params);
// The band frame for one stereo sample while "General.Processor.Active" is on.
void processSample(TenBandProcessor& processor, const LiveParams& params, double densityGain, double& L,
                   double& R, bool firstOfBlock);
// End-of-block clip meters; the frame calls it while the saturator switch is on.
void finishSaturatorBlock(TenBandProcessor& processor, double bandMeterDecay);
void idleReset(TenBandProcessor& processor);
