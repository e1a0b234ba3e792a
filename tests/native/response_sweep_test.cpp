// The response table, the chain's delay and the frequency response sweep against hand-computed filter responses.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "analysis/response_sweep.h"
#include "dsp/chain.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/engine_api.h"
#include "host/plugin.h"
#include "params/engine.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kFs = 44100.0;

// Input rounding and output truncation move a 0.5 amplitude by well under two 16-bit steps.
constexpr double kQuantisationTolerance = 2.0 / 32768.0;

// All stages off, no gain: density drive and post amp at 0 dB, dither off.
std::unique_ptr<LiveParams> neutralParams() {
    auto params = std::make_unique<LiveParams>();
    std::memset(params.get(), 0, sizeof(LiveParams));
    params->passFilters.highpassCutoffHz = 30;
    params->passFilters.lowpassCutoffHz = 18000;
    params->agc.crossoverHz = 200;
    params->threeBandEq.crossoverLowMidHz = 880;
    params->threeBandEq.crossoverMidHighHz = 5000;
    return params;
}

// |H(f)| of the cookbook low-pass or high-pass section in bandwidth form, evaluated directly.
double sectionMagnitude(bool lowPass, double cutoffHz, double bandwidthOctaves, double frequencyHz) {
    const double w0 = 2 * kPi * cutoffHz / kFs;
    const double sn = std::sin(w0), cs = std::cos(w0);
    const double alpha = sn * std::sinh(std::log(2.0) / 2 * bandwidthOctaves * w0 / sn);
    const double b0 = lowPass ? (1 - cs) / 2 : (1 + cs) / 2;
    const double b1 = lowPass ? 1 - cs : -(1 + cs);
    const double a0 = 1 + alpha, a1 = -2 * cs, a2 = 1 - alpha;
    const std::complex<double> z1 = std::polar(1.0, -2 * kPi * frequencyHz / kFs);
    const std::complex<double> numerator = b0 + b1 * z1 + b0 * z1 * z1;
    const std::complex<double> denominator = a0 + a1 * z1 + a2 * z1 * z1;
    return std::abs(numerator / denominator);
}

double lowpassResponse(double cutoffHz, double frequencyHz) {
    const double bandwidth = 2 - cutoffHz / 11200;
    return std::pow(sectionMagnitude(true, cutoffHz, bandwidth, frequencyHz), 4);  // two sections, two passes each
}

double highpassResponse(double cutoffHz, double frequencyHz) {
    return std::pow(sectionMagnitude(false, cutoffHz, 2.0, frequencyHz), 2);  // one section, two passes
}

// The sweep's private engine with exactly these values, as createEngineCopy makes it from a live one.
struct EngineDeleter {
    void operator()(Engine* engine) const { destroyEngine(engine); }
};
using EnginePtr = std::unique_ptr<Engine, EngineDeleter>;

EnginePtr engineWith(const LiveParams& params) {
    EnginePtr engine(createEngine(1));
    std::memcpy(static_cast<void*>(&engine->staging), &params, sizeof(LiveParams));
    CommitSettings(*engine, true, true);
    return engine;
}

bool sweep(const LiveParams& params, SweepFrequencyTable& table, const std::atomic<bool>* cancel,
           std::atomic<int>* pointsDone = nullptr) {
    return FrequencyResponseSweep(*engineWith(params), table, cancel, pointsDone);
}

std::unique_ptr<SweepFrequencyTable> freshTable() {
    auto table = std::make_unique<SweepFrequencyTable>();
    ResetResponsePlot(*table);
    return table;
}

}  // namespace

TEST(ResponseTable, FrequenciesEveryThirdHundredthOfAnOctaveFromTwentyHertz) {
    auto owned = std::make_unique<SweepFrequencyTable>();
    SweepFrequencyTable& sweepTable = *owned;
    std::memset(&sweepTable, 0x55, sizeof sweepTable);
    ResetResponsePlot(sweepTable);
    EXPECT_EQ(sweepTable.frequency[0], 20);
    EXPECT_EQ(sweepTable.frequency[3], 20);      // 20 x 2^0.03 = 20.42
    EXPECT_EQ(sweepTable.frequency[150], 56);    // 20 x 2^1.5 = 56.57
    EXPECT_EQ(sweepTable.frequency[300], 160);   // 20 x 2^3, exactly
    EXPECT_EQ(sweepTable.frequency[999], 20338); // 20 x 2^9.99 = 20338.6
    int used = 0;
    for (int i = 0; i < kSweepTableSize; ++i) {
        const bool entry = i % 3 == 0 && i <= 999;
        used += entry;
        if (!entry) {
            EXPECT_EQ(sweepTable.frequency[i], 0) << i;
        }
        EXPECT_EQ(sweepTable.response[i], 0.0) << i;
    }
    EXPECT_EQ(used, 334);
    EXPECT_EQ(kSweepPointCount, 334);
    EXPECT_EQ(sweepTable.duration, 0.0);
}

TEST(ProcessingDelay, AddsUpTheDelaysOfTheActiveStages) {
    auto params = neutralParams();
    GeneralParams& general = params->general;
    EXPECT_EQ(ProcessingDelayFrames(*params), 0);

    general.highpassActive = 1;
    general.lowpassActive = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 24576);  // 557 ms with both pass filters
    general.highpassActive = 0;
    general.lowpassActive = 0;

    general.agcActive = 1;
    params->agc.singleBand = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 0);
    params->agc.singleBand = 0;
    EXPECT_EQ(ProcessingDelayFrames(*params), 8192);
    general.agcActive = 0;

    general.threeBandEqActive = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 3);
    general.threeBandEqActive = 0;

    // Band stages count only inside the running processor.
    general.compressorActive = 1;
    general.limiterActive = 1;
    general.saturatorActive = 1;
    params->saturator.refilter = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 0);
    general.processorActive = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 4095 + 4095);  // plain bank and re-filter: no delay
    params->processor.cascadedFilters = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 8192 + 8192 + 4095 + 4095);
    params->saturator.refilter = 0;
    EXPECT_EQ(ProcessingDelayFrames(*params), 8192 + 4095 + 4095);
    general.processorActive = 0;

    general.finalLimiterActive = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 4095);
    general.finalLimiterActive = 0;

    general.finalClipperActive = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 0);
    params->finalClipper.complex = 1;
    EXPECT_EQ(ProcessingDelayFrames(*params), 32);
}

TEST(FrequencyResponseSweep, ChainWithEveryStageOffIsFlatAtTheTestLevel) {
    auto params = neutralParams();
    auto table = freshTable();
    std::atomic<int> done{0};
    ASSERT_TRUE(sweep(*params, *table, nullptr, &done));
    EXPECT_EQ(done.load(), 334);
    for (int i = 0; i <= 999; i += 3) {
        EXPECT_NEAR(table->response[i], kSweepAmplitude, kQuantisationTolerance) << table->frequency[i] << " Hz";
    }
    for (int i = 1; i < kSweepTableSize; i += 3) EXPECT_EQ(table->response[i], 0.0);
    EXPECT_GT(table->duration, 0.0);
}

TEST(FrequencyResponseSweep, LowpassAt5487HzFollowsItsFourPassResponse) {
    auto params = neutralParams();
    params->general.lowpassActive = 1;
    params->passFilters.lowpassCutoffHz = 5487;
    auto table = freshTable();
    ASSERT_TRUE(sweep(*params, *table, nullptr));
    for (int i = 0; i <= 999; i += 3) {
        const double f = table->frequency[i];
        const double expected = kSweepAmplitude * lowpassResponse(5487, f);
        // 0.1 % for the chunk joins of the reverse cascade, plus the quantisation of the output.
        EXPECT_NEAR(table->response[i], expected, expected * 0.001 + kQuantisationTolerance) << f << " Hz";
    }
    // At the cutoff the whole filter is 7.13 dB down.
    const double atCutoff = kSweepAmplitude * std::pow(10.0, -7.13 / 20);
    bool found = false;
    for (int i = 0; i <= 999; i += 3) {
        if (table->frequency[i] == 5487) {
            found = true;
            EXPECT_NEAR(table->response[i], atCutoff, 0.002);
        }
    }
    EXPECT_TRUE(found) << "5487 Hz is a table frequency (i = 741)";
}

TEST(FrequencyResponseSweep, HighpassAndLowpassTogetherMultiply) {
    auto params = neutralParams();
    params->general.highpassActive = 1;
    params->general.lowpassActive = 1;
    params->passFilters.highpassCutoffHz = 100;
    params->passFilters.lowpassCutoffHz = 1000;
    auto table = freshTable();
    ASSERT_TRUE(sweep(*params, *table, nullptr));
    for (int i = 0; i <= 999; i += 3) {
        const double f = table->frequency[i];
        const double expected = kSweepAmplitude * highpassResponse(100, f) * lowpassResponse(1000, f);
        // As above: 0.1 % plus the quantisation of the output.
        EXPECT_NEAR(table->response[i], expected, expected * 0.001 + kQuantisationTolerance) << f << " Hz";
    }
}

TEST(FrequencyResponseSweep, OnACopyOfTheModuleEngineLeavesItsStateAndParametersAlone) {
    auto params = neutralParams();
    params->general.lowpassActive = 1;
    params->passFilters.lowpassCutoffHz = 2000;
    ClearProcessorState(PluginEngine().state);
    auto original = std::make_unique<LiveParams>();
    std::memcpy(original.get(), &PluginEngine().live, sizeof(LiveParams));
    std::memcpy(static_cast<void*>(&PluginEngine().live), params.get(), sizeof(LiveParams));
    PluginEngine().state.inputMeter = 42.0;
    PluginEngine().state.capture.writeIndex = 7;
    auto stateBefore = std::make_unique<ProcessorState>();
    std::memcpy(stateBefore.get(), &PluginEngine().state, sizeof(ProcessorState));
    auto paramsBefore = std::make_unique<LiveParams>();
    std::memcpy(paramsBefore.get(), &PluginEngine().live, sizeof(LiveParams));

    auto table = freshTable();
    EnginePtr copy(createEngineCopy(PluginEngine(), 1));
    ASSERT_TRUE(copy);
    ASSERT_TRUE(FrequencyResponseSweep(*copy, *table, nullptr));
    EXPECT_EQ(std::memcmp(stateBefore.get(), &PluginEngine().state, sizeof(ProcessorState)), 0);
    EXPECT_EQ(std::memcmp(paramsBefore.get(), &PluginEngine().live, sizeof(LiveParams)), 0);
    // The copy measured the module's settings: the lowpass at 2 kHz, not the copy's F1.
    const int at8kHz = 3 * static_cast<int>(std::lround(100 * std::log2(8000.0 / 20) / 3));
    EXPECT_LT(table->response[at8kHz], kSweepAmplitude * 0.1) << table->frequency[at8kHz] << " Hz";
    std::memcpy(static_cast<void*>(&PluginEngine().live), original.get(), sizeof(LiveParams));
    ClearProcessorState(PluginEngine().state);
}

TEST(FrequencyResponseSweep, CancelledBeforeItStartsMeasuresNothing) {
    auto params = neutralParams();
    auto table = freshTable();
    table->response[0] = 0.7;  // an earlier sweep's value is cleared
    std::atomic<bool> cancel{true};
    std::atomic<int> done{-1};
    EXPECT_FALSE(sweep(*params, *table, &cancel, &done));
    EXPECT_EQ(done.load(), 0);
    for (int i = 0; i < kSweepTableSize; ++i) EXPECT_EQ(table->response[i], 0.0);
    EXPECT_EQ(table->frequency[999], 20338);
}
