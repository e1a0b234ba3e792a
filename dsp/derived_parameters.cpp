// UpdateDerivedParameters and the designs it publishes.
#include "dsp/derived_parameters.h"

#include <cmath>

#include "dsp/db.h"
#include "dsp/final_clipper.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

void bump(DesignExchange& exchange, DesignGroup group) { ++exchange.designer.generation[group]; }

void markApplied(DesignExchange& exchange, DesignGroup group) {
    exchange.applied[group] = exchange.designer.generation[group];
}

void setThreeBandDesign(ThreeBandEqChannel& channel, const DerivedDesign& design) {
    channel.f1 = design.threeBandF1;
    channel.f2 = design.threeBandF2;
    channel.fs = design.threeBandFs;
    storeShared(channel.c1, design.threeBandC1);
    storeShared(channel.c2, design.threeBandC2);
}

void setThreeBandGains(ThreeBandEqChannel& channel, const double gains[3]) {
    channel.G1 = gains[0];
    channel.G2 = gains[1];
    channel.G3 = gains[2];
}

}  // namespace

void DesignHighpass(ProcessorState& state, bool reset, double cutoffHz) {
    DesignExchange& exchange = state.designs;
    state.designRecord.highpassHz = cutoffHz;
    exchange.designer.highpass = highpassCoefficients(guardedParam(cutoffHz, kHighpassCutoffHz.range));
    bump(exchange, kDesignHighpass);
    if (reset) {
        SetCoefficients(state.highpass.filter.biquad, exchange.designer.highpass);
        Reset(state.highpass.filter);
        markApplied(exchange, kDesignHighpass);
    }
}

void DesignLowpass(ProcessorState& state, bool reset, double cutoffHz) {
    DesignExchange& exchange = state.designs;
    state.designRecord.lowpassHz = cutoffHz;
    exchange.designer.lowpass = lowpassCoefficients(guardedParam(cutoffHz, kLowpassCutoffHz.range));
    bump(exchange, kDesignLowpass);
    if (reset) {
        SetCoefficients(state.lowpass.first.biquad, exchange.designer.lowpass);
        SetCoefficients(state.lowpass.second.biquad, exchange.designer.lowpass);
        Reset(state.lowpass.first);
        Reset(state.lowpass.second);
        markApplied(exchange, kDesignLowpass);
    }
}

void DesignAgcCrossover(ProcessorState& state, bool reset, double crossoverHz) {
    DesignExchange& exchange = state.designs;
    state.designRecord.agcCrossoverHz = crossoverHz;
    agcCrossoverCoefficients(guardedParam(crossoverHz, kAgcCrossoverHz.range),
                             exchange.designer.agcLow, exchange.designer.agcHigh);
    bump(exchange, kDesignAgcCrossover);
    if (reset) {
        SetCoefficients(state.agc.lowBand.biquad, exchange.designer.agcLow);
        SetCoefficients(state.agc.highBand.biquad, exchange.designer.agcHigh);
        Reset(state.agc.lowBand);
        Reset(state.agc.highBand);
        markApplied(exchange, kDesignAgcCrossover);
    }
}

void DesignThreeBandEq(ProcessorState& state, bool clear, double lowMidHz, double midHighHz) {
    DesignExchange& exchange = state.designs;
    state.designRecord.threeBandF1 = lowMidHz;
    state.designRecord.threeBandF2 = midHighHz;
    // Out-of-range crossovers from files are clamped so both coefficients stay between 0 and 1.
    ThreeBandEqChannel scratch{};
    designThreeBandChannel(scratch, guardedParam(lowMidHz, kThreeBandCrossoverLowMidHz.range),
                           guardedParam(midHighHz, kThreeBandCrossoverMidHighHz.range), kSampleRateHz, false);
    DerivedDesign& design = exchange.designer;
    design.threeBandF1 = scratch.f1;
    design.threeBandF2 = scratch.f2;
    design.threeBandFs = scratch.fs;
    design.threeBandC1 = scratch.c1;
    design.threeBandC2 = scratch.c2;
    bump(exchange, kDesignThreeBandCrossover);
    if (clear) {
        designThreeBandChannel(state.threeBandEq.left, scratch.f1, scratch.f2, kSampleRateHz, true);
        designThreeBandChannel(state.threeBandEq.right, scratch.f1, scratch.f2, kSampleRateHz, true);
        for (double& gain : design.threeBandGain) gain = 0.0;
        markApplied(exchange, kDesignThreeBandCrossover);
    }
}

void designBank(ProcessorState& state, bool resetStates, bool cascaded, bool narrow) {
    DesignExchange& exchange = state.designs;
    state.designRecord.bankCascaded = cascaded;
    state.designRecord.bankNarrow = narrow;
    bankCoefficients(cascaded, narrow, exchange.designer.bank);
    exchange.designer.bankCascaded = cascaded;
    exchange.designer.bankNarrow = narrow;
    bump(exchange, kDesignBank);
    if (resetStates) {
        installBankDesign(state.tenBand, exchange.designer.bank, cascaded, narrow, true);
        markApplied(exchange, kDesignBank);
    }
}

void ComputeDerivedDesign(ProcessorState& state, const LiveParams& params, bool force) {
    const DesignRecord& record = state.designRecord;
    DerivedDesign& design = state.designs.designer;

    const double highpassHz = loadShared(params.passFilters.highpassCutoffHz);
    if (force || highpassHz != record.highpassHz) DesignHighpass(state, false, highpassHz);

    const double crossoverHz = loadShared(params.agc.crossoverHz);
    if (force || crossoverHz != record.agcCrossoverHz) DesignAgcCrossover(state, false, crossoverHz);

    const ThreeBandEqParams& threeBand = params.threeBandEq;
    for (int band = 0; band < 3; ++band) {
        const double bandDb = guardedParam(loadShared(threeBand.bandDb[band]), kThreeBandEqBandDb[band].range);
        design.threeBandGain[band] = isOn(threeBand.bandMute[band]) ? 0.0 : DbToLinear(bandDb);
    }
    const double lowMidHz = loadShared(threeBand.crossoverLowMidHz);
    const double midHighHz = loadShared(threeBand.crossoverMidHighHz);
    if (force || lowMidHz != record.threeBandF1 || midHighHz != record.threeBandF2) {
        DesignThreeBandEq(state, false, lowMidHz, midHighHz);
    }

    const uint8_t cascaded = isOn(params.processor.cascadedFilters) ? 1 : 0;
    const uint8_t narrow = isOn(params.processor.narrowBandwidth) ? 1 : 0;
    if (force || cascaded != record.bankCascaded || narrow != record.bankNarrow) {
        designBank(state, false, cascaded, narrow);
    }

    const TenBandEqParams& eq = params.tenBandEq;
    design.eqPreamp = DbToLinear(guardedParam(loadShared(eq.preampDb), kTenBandEqPreampDb.range));
    for (int band = 0; band < kBandCount; ++band) {
        const double bandDb = guardedParam(loadShared(eq.bandDb[band]), kTenBandEqBandDb.range);
        const double base = isOn(eq.bandMute[band]) ? 0.0 : DbToLinear(bandDb);
        design.eqGain[band] = base * design.eqPreamp;
    }

    const double lowpassHz = loadShared(params.passFilters.lowpassCutoffHz);
    if (force || lowpassHz != record.lowpassHz) DesignLowpass(state, false, lowpassHz);
}

void ZeroIdleMeters(ProcessorState& state, const LiveParams& params) {
    const GeneralParams& general = params.general;
    if (!isOn(general.stereoImageActive) || isOn(params.stereoImage.mono)) {
        storeShared(state.stereoImage.meterDb, 0.0);
    }
    if (!isOn(general.agcActive)) storeShared(state.agc.meterLowDb, 0.0);
    if (!isOn(general.agcActive) || isOn(params.agc.singleBand)) {
        storeShared(state.agc.meterHighDb, 0.0);
        storeShared(state.agc.meterReductionDb, 0.0);
    }
    TenBandProcessor& bands = state.tenBand;
    const bool processorOn = isOn(general.processorActive);
    for (int band = 0; band < kBandCount; ++band) {
        if (!processorOn || !isOn(general.dynamicEqActive)) storeShared(bands.dynamicEq.meter[band], 0.0);
        if (!processorOn || !isOn(general.compressorActive)) storeShared(bands.compressor.meter[band], 0.0);
        if (!processorOn || !isOn(general.expanderActive)) storeShared(bands.expander.meter[band], 0.0);
        if (!processorOn || !isOn(general.limiterActive)) storeShared(bands.limiter.meter[band], 0.0);
        if (!processorOn || !isOn(general.saturatorActive) || !isOn(params.saturator.clipEnable[band])) {
            storeShared(bands.saturator.meter[band], 0.0);
        }
    }
    if (!isOn(general.finalLimiterActive)) storeShared(state.finalLimiter.meterDb, 0.0);
    if (!isOn(general.finalClipperActive)) storeShared(state.finalClipper.meterDb, 0.0);
}

void UpdateDerivedParameters(ProcessorState& state, const LiveParams& params, bool force) {
    ComputeDerivedDesign(state, params, force);
    publishDesign(state.designs);
    ZeroIdleMeters(state, params);
}

void applyPendingDesigns(ProcessorState& state) {
    const DerivedDesign* design = takeDesign(state.designs);
    if (design != nullptr) InstallDesign(state, *design);
}

void InstallDesign(ProcessorState& state, const DerivedDesign& snapshot) {
    const DerivedDesign* design = &snapshot;
    uint32_t* applied = state.designs.applied;
    const uint32_t* generation = design->generation;

    if (generation[kDesignHighpass] != applied[kDesignHighpass]) {
        SetCoefficients(state.highpass.filter.biquad, design->highpass);
        applied[kDesignHighpass] = generation[kDesignHighpass];
    }
    if (generation[kDesignAgcCrossover] != applied[kDesignAgcCrossover]) {
        SetCoefficients(state.agc.lowBand.biquad, design->agcLow);
        SetCoefficients(state.agc.highBand.biquad, design->agcHigh);
        applied[kDesignAgcCrossover] = generation[kDesignAgcCrossover];
    }
    if (generation[kDesignThreeBandCrossover] != applied[kDesignThreeBandCrossover]) {
        setThreeBandDesign(state.threeBandEq.left, *design);
        setThreeBandDesign(state.threeBandEq.right, *design);
        applied[kDesignThreeBandCrossover] = generation[kDesignThreeBandCrossover];
    }
    setThreeBandGains(state.threeBandEq.left, design->threeBandGain);
    setThreeBandGains(state.threeBandEq.right, design->threeBandGain);
    if (generation[kDesignBank] != applied[kDesignBank]) {
        installBankDesign(state.tenBand, design->bank, design->bankCascaded, design->bankNarrow, false);
        applied[kDesignBank] = generation[kDesignBank];
    }
    if (generation[kDesignLowpass] != applied[kDesignLowpass]) {
        SetCoefficients(state.lowpass.first.biquad, design->lowpass);
        SetCoefficients(state.lowpass.second.biquad, design->lowpass);
        applied[kDesignLowpass] = generation[kDesignLowpass];
    }
    state.tenBand.eq.preamp = design->eqPreamp;
    for (int band = 0; band < kBandCount; ++band) state.tenBand.eq.gain[band] = design->eqGain[band];
}

void DesignStartupFilters(ProcessorState& state) {
    DesignHighpass(state, true, kStartupHighpassHz);
    DesignAgcCrossover(state, true, kStartupAgcCrossoverHz);
    DesignThreeBandEq(state, true, kStartupThreeBandLowMidHz, kStartupThreeBandMidHighHz);
    designBank(state, true, false, false);
    clearHilbertLines(state.finalClipper);
    DesignLowpass(state, true, kStartupLowpassHz);
}
