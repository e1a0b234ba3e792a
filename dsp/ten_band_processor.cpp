// Ten-band processor: bank design hand-over, block constants, the band frame and the idle reset.
#include "dsp/ten_band_processor.h"

#include "dsp/db.h"
#include "dsp/filter_bank.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"
#include "dsp/simd_pair.h"
#include "dsp/stage_trace.h"

void bankCoefficients(bool cascaded, bool narrow, BiquadCoefficients out[kBandCount]) {
    for (int j = 0; j < kBandCount; ++j) {
        const BandDesign design = bandDesign(j, cascaded, narrow);
        out[j] = DesignCoefficients(kBandPass, design.trimDb, kBandCentreHz[j], kSampleRateHz, design.bandwidthOctaves);
    }
}

void installBankDesign(TenBandProcessor& processor, const BiquadCoefficients coefficients[kBandCount],
                       bool cascaded, bool narrow, bool resetStates) {
    for (int j = 0; j < kBandCount; ++j) SetCoefficients(processor.bandFilters[j].biquad, coefficients[j]);
    installRefilters(processor.saturator, processor.bandFilters);
    processor.designedCascaded = cascaded ? 1 : 0;
    processor.designedNarrow = narrow ? 1 : 0;
    if (resetStates) {
        for (ReverseCascadeFilter& filter : processor.bandFilters) Reset(filter);
        idleReset(processor.saturator);
    }
}

void prepareBlock(TenBandProcessor& processor, const LiveParams& params) {
    for (int j = 0; j < kBandCount; ++j) {
        // Times of 0 or less, NaN, or too short for a coefficient of at most 1 (from a file) would
        // make the followers run away; the guard puts them back in range.
        const double detectMs = guardedParam(loadShared(params.processor.detectMs[j]), kProcessorDetectMs[j].range);
        const double d = 1 / (detectMs * 0.001 * 44100);
        processor.detectors.detect[j] = d;
        processor.detectors.complement[j] = 1 - d;
    }
    prepareBlock(processor.dynamicEq, params.dynamicEq);
    prepareBlock(processor.compressor, params.compressor);
    prepareBlock(processor.expander, params.expander);
    prepareBlock(processor.limiter, params.limiter);
    prepareBlock(processor.saturator, params.saturator);
}

void processSample(TenBandProcessor& processor, const LiveParams& params, double densityGain, double& L,
                   double& R, bool firstOfBlock) {
    double pair[2] = {L, R};
    processFrames(processor, readBandStageSwitches(params.general), densityGain, pair, 1, firstOfBlock);
    L = pair[0];
    R = pair[1];
}

void processFrames(TenBandProcessor& processor, const BandStageSwitches& on, double densityGain, double* pairs,
                   int n, bool firstOfBlock) {
    if (n > kBandRunFrames) {
        processFrames(processor, on, densityGain, pairs, kBandRunFrames, firstOfBlock);
        processFrames(processor, on, densityGain, pairs + 2 * kBandRunFrames, n - kBandRunFrames, false);
        return;
    }
    splitBands(processor, pairs, processor.runBands, n);
    processBands(processor, on, densityGain, processor.runBands, pairs, n, firstOfBlock);
}

void splitBands(TenBandProcessor& processor, const double* pairs, BandSamples* bands, int n) {
    splitFrames(processor.bandFilters, processor.designedCascaded != 0, pairs, bands, n);
}

void processBands(TenBandProcessor& processor, const BandStageSwitches& on, double densityGain,
                  const BandSamples* in, double* pairs, int n, bool firstOfBlock, StageTrace* trace) {
    if (n > kBandRunFrames) {  // the working space holds one run
        processBands(processor, on, densityGain, in, pairs, kBandRunFrames, firstOfBlock, trace);
        processBands(processor, on, densityGain, in + kBandRunFrames, pairs + 2 * kBandRunFrames, n - kBandRunFrames,
                     false, trace);
        return;
    }
    const bool cascaded = processor.designedCascaded != 0;
    const BandDetectors& detectors = processor.detectors;
    auto ran = [trace](const char* stage) {
        if (trace != nullptr) trace->record(stage);
    };
    // The first stage to run takes the frames from `in` into the working space: the dynamic EQ
    // with the density drive in its pass, or the density drive alone.
    BandSamples* bands = processor.runBands;
    if (on.dynamicEq) {
        ran("10_Band_Dynamic_EQ");
        ran("Density_Drive");
        equalizeFrames(processor.dynamicEq, detectors, in, bands, n, firstOfBlock, densityGain);
    } else {
        ran("Density_Drive");
        const Pair density = splat(densityGain);
        for (int f = 0; f < n; ++f) {
            for (int j = 0; j < kBandCount; j += 2) {
                storeAdjacent(&bands[f].left[j], _mm_mul_pd(loadAdjacent(&in[f].left[j]), density));
                storeAdjacent(&bands[f].right[j], _mm_mul_pd(loadAdjacent(&in[f].right[j]), density));
            }
        }
    }
    if (on.compressor) {
        ran("10_Band_Compressor");
        compressFrames(processor.compressor, detectors, bands, n, firstOfBlock);
    }
    if (on.expander) {
        ran("10_Band_Expander");
        expandFrames(processor.expander, detectors, bands, n, firstOfBlock);
    }
    if (on.limiter) {
        ran("10_Band_Limiter");
        limitFrames(processor.limiter, detectors, bands, n, firstOfBlock);
    }
    if (on.saturator) {
        ran("10_Band_Saturator");
        saturateFrames(processor.saturator, cascaded, bands, n);
    }
    // The band sum runs band by band in order for each channel; lane 0 carries the left sum,
    // lane 1 the right, so the pairs are transposed from (band j, band j + 1) to (left, right).
    // The ten-band EQ's gains, when it is on, scale each band as it is taken into the sum (the
    // product rounded as applyEqGains rounds it), which saves a pass over the bands.
    const auto sumBands = [&]<bool kEqGains>() {
        for (int f = 0; f < n; ++f) {
            Pair sum = _mm_setzero_pd();
            for (int j = 0; j < kBandCount; j += 2) {
                Pair left = loadAdjacent(&bands[f].left[j]);
                Pair right = loadAdjacent(&bands[f].right[j]);
                if (kEqGains) {
                    const Pair gain = loadAdjacent(&processor.eq.gain[j]);
                    left = _mm_mul_pd(left, gain);
                    right = _mm_mul_pd(right, gain);
                }
                sum = _mm_add_pd(sum, _mm_unpacklo_pd(left, right));
                sum = _mm_add_pd(sum, _mm_unpackhi_pd(left, right));
            }
            storeAdjacent(&pairs[2 * f], sum);
        }
    };
    if (on.tenBandEq) {
        ran("10_Band_EQ");
        sumBands.template operator()<true>();
    } else {
        sumBands.template operator()<false>();
    }
}

void idleReset(TenBandProcessor& processor) {
    for (ReverseCascadeFilter& filter : processor.bandFilters) Reset(filter);
    idleReset(processor.dynamicEq);
    idleReset(processor.compressor);
    idleReset(processor.limiter);
    idleReset(processor.saturator);
}
