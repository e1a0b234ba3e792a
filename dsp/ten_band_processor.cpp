// Ten-band processor: bank design hand-over, block constants, the band frame and the idle reset.
#include "dsp/ten_band_processor.h"

#include "dsp/db.h"
#include "dsp/filter_bank.h"
#include "dsp/shared_value.h"
#include "dsp/ten_band_eq.h"

namespace {

// "Processor.DetectN.msec": times of 0 or less, NaN, or too short for a coefficient of at most 1
// (from a file) would make the followers run away; the guard puts them back in range.
constexpr ParamRange kDetectRange = detectorTimeRange(1, 500);

}  // namespace

void bankCoefficients(bool cascaded, bool narrow, BiquadCoefficients out[kBandCount]) {
    for (int j = 0; j < kBandCount; ++j) {
        const BandDesign design = bandDesign(j, cascaded, narrow);
        out[j] = DesignCoefficients(kBandPass, design.trimDb, kBandCentreHz[j], kSampleRateHz, design.bandwidthOctaves);
    }
}

void installBankDesign(TenBandProcessor& processor, const BiquadCoefficients coefficients[kBandCount],
                       bool cascaded, bool narrow, bool resetStates) {
    for (int j = 0; j < kBandCount; ++j) SetCoefficients(processor.bandFilters[j].biquad, coefficients[j]);
    for (int j = 0; j < kBandCount; ++j) {
        processor.refilters[j] = processor.bandFilters[j];
        Biquad& refilter = processor.refilters[j].biquad;
        refilter.gain = refilter.gain * kRefilterFactors[j];
    }
    processor.designedCascaded = cascaded ? 1 : 0;
    processor.designedNarrow = narrow ? 1 : 0;
    if (resetStates) {
        for (ReverseCascadeFilter& filter : processor.bandFilters) Reset(filter);
        for (ReverseCascadeFilter& filter : processor.refilters) Reset(filter);
    }
}

void prepareBlock(TenBandProcessor& processor, const LiveParams& params) {
    for (int j = 0; j < kBandCount; ++j) {
        const double detectMs = guardedParam(loadShared(params.processor.detectMs[j]), kDetectRange);
        const double d = 1 / (detectMs * 0.001 * 44100);
        processor.detectors.detect[j] = d;
        processor.detectors.complement[j] = 1 - d;
    }
    prepareDynamicEq(processor.deqBlock, params.dynamicEq);
    prepareCompressor(processor.compBlock, params.compressor);
    prepareExpander(processor.expBlock, params.expander);
    prepareLimiter(processor.limBlock, params.limiter);
    prepareSaturator(processor.satBlock, params.saturator);
}

void processSample(TenBandProcessor& processor, const LiveParams& params, double densityGain, double& L,
                   double& R, bool firstOfBlock) {
    const GeneralParams& general = params.general;
    BandSamples bands;
    splitBands(processor.bandFilters, processor.designedCascaded != 0, L, R, bands);

    if (isOn(general.dynamicEqActive)) equalizeBands(processor, bands, firstOfBlock);
    for (int j = 0; j < kBandCount; ++j) {
        bands.left[j] = bands.left[j] * densityGain;
        bands.right[j] = bands.right[j] * densityGain;
    }
    if (isOn(general.compressorActive)) compressBands(processor, bands, firstOfBlock);
    if (isOn(general.expanderActive)) expandBands(processor, bands, firstOfBlock);
    if (isOn(general.limiterActive)) limitBands(processor, bands, firstOfBlock);
    if (isOn(general.saturatorActive)) saturateBands(processor, bands);
    if (isOn(general.tenBandEqActive)) applyEqGains(processor.eqGain, bands);

    double sumL = 0.0;
    double sumR = 0.0;
    for (int j = 0; j < kBandCount; ++j) {
        sumL += bands.left[j];
        sumR += bands.right[j];
    }
    L = sumL;
    R = sumR;
}

void idleReset(TenBandProcessor& processor) {
    for (ReverseCascadeFilter& filter : processor.bandFilters) Reset(filter);
    for (ReverseCascadeFilter& filter : processor.refilters) Reset(filter);
    clearLookaheadLine(processor.compressorLine);
    clearLookaheadLine(processor.limiterLine);
    for (double& gain : processor.deqGain) gain = 1.0;
}
