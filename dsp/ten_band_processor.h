// Ten-band processor: filter bank split, band stages in fixed order, recombination.
#pragma once

#include <cstdint>

#include "dsp/band_compressor.h"
#include "dsp/band_dynamics.h"
#include "dsp/band_expander.h"
#include "dsp/band_limiter.h"
#include "dsp/band_samples.h"
#include "dsp/band_saturator.h"
#include "dsp/dynamic_eq.h"
#include "dsp/filters/biquad.h"
#include "dsp/live_params.h"
#include "dsp/lookahead_line.h"
#include "dsp/shared_value.h"

// The ten-band processor runs up to this many frames stage by stage (processFrames).
constexpr int kBandRunFrames = 64;

// The band-stage switches of one frame ("General.<stage>.Active" inside the processor).
struct BandStageSwitches {
    bool dynamicEq, compressor, expander, limiter, saturator, tenBandEq;
};
inline BandStageSwitches readBandStageSwitches(const GeneralParams& general) {
    return {isOn(general.dynamicEqActive), isOn(general.compressorActive), isOn(general.expanderActive),
            isOn(general.limiterActive),   isOn(general.saturatorActive),  isOn(general.tenBandEqActive)};
}

// State glossary (index 0 = band 1). Levels are full scale 1.0: "Level" followers hold a power
// (RMS detection) or a peak amplitude and move at the band detector rate. Compressor, expander
// and limiter gains are linear, start at 0 on load (those stages fade in at their release rates)
// and are never cleared. Meters are dB, written by the audio thread and read by the windows.
struct TenBandProcessor {
    // Filter bank. The runtime follows designedCascaded, never the live check box, so the path
    // always matches the coefficients in place.
    ReverseCascadeFilter bandFilters[kBandCount];  // the split; plain sections unless designed cascaded
    ReverseCascadeFilter refilters[kBandCount];    // whole copies of bandFilters, trims x kRefilterFactors
    uint8_t designedCascaded;  // bank options the coefficients in place were designed for
    uint8_t designedNarrow;

    // Compressor and limiter: both delay every band by 4,095 frames through their line.
    LookaheadLine compressorLine;
    LookaheadLine limiterLine;
    double compLevel[kBandCount], compGain[kBandCount];
    double expLevel[kBandCount], expGain[kBandCount];  // RMS power only
    double limLevel[kBandCount], limGain[kBandCount];
    // Dynamic equaliser: power follower and correction gain before amount and normalisation;
    // deqGain is 1.0 after every idle reset and moves slowly (Speed: 0.2 ... 8 s).
    double deqLevel[kBandCount], deqGain[kBandCount];
    // Saturator: decaying hold of the largest positive clip overshoot, full scale.
    double clipPeak[kBandCount];

    double eqPreamp;            // set by the derived-parameter update
    double eqGain[kBandCount];  // preamp included, 0 for a muted band

    // display meters, dB: applied dynamic-EQ gain, gain reductions (positive), clip level
    double deqMeter[kBandCount];
    double compMeter[kBandCount];
    double expMeter[kBandCount];
    double limMeter[kBandCount];
    double clipMeter[kBandCount];

    // block constants, from the live values at every block start
    BandDetectors detectors;
    DynamicEqBlock deqBlock;
    CompressorBlock compBlock;
    ExpanderBlock expBlock;
    LimiterBlock limBlock;
    SaturatorBlock satBlock;

    // Working space of the audio thread: the bands of the frames processFrames is running.
    BandSamples runBands[kBandRunFrames];
};

// Band-pass coefficients and trims of the bank for one of the four configurations.
void bankCoefficients(bool cascaded, bool narrow, BiquadCoefficients out[kBandCount]);
// Puts a bank design in place: band coefficients, whole copies into the refilters with their
// trims retuned, the designed flags; with resetStates, clears both banks.
void installBankDesign(TenBandProcessor& processor, const BiquadCoefficients coefficients[kBandCount],
                       bool cascaded, bool narrow, bool resetStates);

// Detector coefficients and every band stage's constants, read once from the live values.
void prepareBlock(TenBandProcessor& processor, const LiveParams& params);
// The band frame for one stereo sample while "General.Processor.Active" is on: split, stages by
// their switches (read per frame), density gain always, sum of the ten bands.
void processSample(TenBandProcessor& processor, const LiveParams& params, double densityGain, double& L,
                   double& R, bool firstOfBlock);
// n consecutive frames under the same switches, exactly as n calls of processSample: frame f's
// (L, R) is (pairs[2 f], pairs[2 f + 1]), replaced by its band sum. Up to kBandRunFrames at a
// time, each stage runs over all the frames before the next; a stage's frame depends only on its
// own state and on that frame's bands, so this is the frame-by-frame result. firstOfBlock applies
// to frame 0.
void processFrames(TenBandProcessor& processor, const BandStageSwitches& on, double densityGain, double* pairs,
                   int n, bool firstOfBlock);
// End-of-block clip meters; the frame calls it while the saturator switch is on, after prepareBlock.
void finishSaturatorBlock(TenBandProcessor& processor, double bandMeterDecay);
// Clears both banks, both lookahead lines, and sets the dynamic-EQ gains to 1.0.
void idleReset(TenBandProcessor& processor);
