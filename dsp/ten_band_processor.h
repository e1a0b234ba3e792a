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
#include "dsp/shared_value.h"
#include "dsp/ten_band_eq.h"

struct StageTrace;

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

// The split and the band stages in chain order. Each stage keeps its own followers, gains, line
// and meters (see its header); the processor holds what they share: the bank, the detector
// coefficients and the frames being run.
struct TenBandProcessor {
    // Filter bank. The runtime follows designedCascaded, never the live check box, so the path
    // always matches the coefficients in place.
    ReverseCascadeFilter bandFilters[kBandCount];  // the split; plain sections unless designed cascaded
    uint8_t designedCascaded;  // bank options the coefficients in place were designed for
    uint8_t designedNarrow;

    // Detector coefficients, block constants from the live values at every block start.
    BandDetectors detectors;

    DynamicEq dynamicEq;
    BandCompressor compressor;
    BandExpander expander;
    BandLimiter limiter;
    BandSaturator saturator;  // owns the re-filter, a retuned copy of the bank
    TenBandEq eq;

    // Working space of the band stages (the output side's thread): the bands of the frames
    // processBands is running.
    BandSamples runBands[kBandRunFrames];
};

// Band-pass coefficients and trims of the bank for one of the four configurations.
void bankCoefficients(bool cascaded, bool narrow, BiquadCoefficients out[kBandCount]);
// Puts a bank design in place: band coefficients, whole copies into the saturator's re-filter with
// their trims retuned, the designed flags; with resetStates, clears both banks.
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
// processFrames in two halves, for callers that run the bank ahead of the band stages: the split
// of n frames (up to kBandRunFrames) into `bands`, then the band stages and the sum of those
// bands into `pairs`. The split of every frame must come before the band stages of that frame.
void splitBands(TenBandProcessor& processor, const double* pairs, BandSamples* bands, int n);
// processBands reads `bands` (which may be the processor's runBands) and works on runBands, a run
// of kBandRunFrames at a time, so a split handed over by another thread is only read here.
// `trace`, when given, records the band stages as they run (the chain order's test).
void processBands(TenBandProcessor& processor, const BandStageSwitches& on, double densityGain,
                  const BandSamples* bands, double* pairs, int n, bool firstOfBlock, StageTrace* trace = nullptr);
// Clears the bank and each stage's idle state: the re-filter, both lookahead lines, and the
// dynamic-EQ gains (set to 1.0).
void idleReset(TenBandProcessor& processor);
