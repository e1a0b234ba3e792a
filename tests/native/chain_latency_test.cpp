// An impulse through each delaying stage alone, and through every factory preset, leaves the
// chain exactly the reported number of frames later.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "params/engine.h"

namespace {

constexpr int kSettleFrames = 3 * 44100;     // dynamic stages fade in from a gain of 0
constexpr int kListenFrames = 60000;         // longer than the longest delay
constexpr double kImpulse = 0.5;
constexpr double kBedLevel = 0.001;          // -60 dBFS of noise, so gains settle on something

const char* const kSwitchKeys[] = {
    "General.HighpassFilter.Active", "General.StereoImageProc.Active", "General.AGC.Active",
    "General.3BandEQ.Active",        "General.Processor.Active",       "General.DynamicEQ.Active",
    "General.Compressor.Active",     "General.Expander.Active",        "General.Limiter.Active",
    "General.Saturator.Active",      "General.10BandEQ.Active",        "General.FinalLimiter.Active",
    "General.FinalClipper.Active",   "General.LowpassFilter.Active",   "General.QuantizationDither.Active",
};

// The frame at which the output's largest magnitude arrives, counted from the impulse.
long impulseArrival(Engine& engine) {
    std::vector<double> samples(2 * static_cast<size_t>(kSettleFrames + kListenFrames));
    uint32_t noise = 12345;
    for (size_t i = 0; i < samples.size(); i += 2) {
        noise = noise * 1664525u + 1013904223u;
        samples[i] = samples[i + 1] = kBedLevel * (static_cast<int32_t>(noise) / 2147483648.0);
    }
    samples[2 * kSettleFrames] += kImpulse;
    samples[2 * kSettleFrames + 1] += kImpulse;
    processBlockDouble(engine, samples.data(), kSettleFrames + kListenFrames, 2);
    long arrival = -1;
    double largest = 0;
    for (int f = kSettleFrames; f < kSettleFrames + kListenFrames; ++f) {
        const double magnitude = std::fabs(samples[2 * f]);
        if (magnitude > largest) {
            largest = magnitude;
            arrival = f - kSettleFrames;
        }
    }
    return arrival;
}

Engine* engineWithOnly(const std::vector<std::pair<const char*, double>>& settings) {
    Engine* engine = createEngine(1);
    std::string error;
    EXPECT_TRUE(loadFactoryPreset(*engine, 1, &error)) << error;
    for (const char* key : kSwitchKeys) EXPECT_TRUE(setValue(*engine, key, 0)) << key;
    for (const auto& [key, value] : settings) EXPECT_TRUE(setValue(*engine, key, value)) << key;
    return engine;
}

}  // namespace

TEST(ChainLatency, EachDelayingStageAloneDelaysByWhatItReports) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, double>> settings;
        long expected;  // frames, from the stages' own constants
    };
    const Case cases[] = {
        {"highpass", {{"General.HighpassFilter.Active", 1}}, 8192},
        {"two-band AGC", {{"General.AGC.Active", 1}, {"AGC.SingleBand", 0}}, 8192},
        {"single-band AGC", {{"General.AGC.Active", 1}, {"AGC.SingleBand", 1}}, 0},
        {"three-band EQ", {{"General.3BandEQ.Active", 1}}, 3},
        {"plain filter bank", {{"General.Processor.Active", 1}, {"Processor.CascadedFilters", 0}}, 0},
        {"cascaded filter bank", {{"General.Processor.Active", 1}, {"Processor.CascadedFilters", 1}}, 8192},
        {"band compressor",
         {{"General.Processor.Active", 1}, {"Processor.CascadedFilters", 0}, {"General.Compressor.Active", 1}},
         4095},
        {"band limiter",
         {{"General.Processor.Active", 1}, {"Processor.CascadedFilters", 0}, {"General.Limiter.Active", 1}},
         4095},
        {"refiltering saturator",
         {{"General.Processor.Active", 1}, {"Processor.CascadedFilters", 1}, {"General.Saturator.Active", 1},
          {"Saturator.Refilter", 1}},
         16384},
        {"final limiter", {{"General.FinalLimiter.Active", 1}}, 4095},
        {"complex clipper", {{"General.FinalClipper.Active", 1}, {"FinalClipper.Complex", 1}}, 32},
        {"lowpass", {{"General.LowpassFilter.Active", 1}, {"LowpassFilter.Cutoff.Hz", 18000}}, 16384},
    };
    for (const Case& c : cases) {
        Engine* engine = engineWithOnly(c.settings);
        EXPECT_EQ(latencyFrames(*engine), c.expected) << c.what;
        EXPECT_EQ(impulseArrival(*engine), c.expected) << c.what;
        destroyEngine(engine);
    }
}

TEST(ChainLatency, EveryFactoryPresetDelaysByWhatItReports) {
    for (int factory = 1; factory <= 7; ++factory) {
        Engine* engine = createEngine(1);
        std::string error;
        ASSERT_TRUE(loadFactoryPreset(*engine, factory, &error)) << error;
        const long reported = static_cast<long>(latencyFrames(*engine));
        EXPECT_EQ(impulseArrival(*engine), reported) << "F" << factory;
        destroyEngine(engine);
    }
}
