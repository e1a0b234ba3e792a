// What the host API tells of an engine: its meters by name against the registry's meter rows, the
// capture ring against the output, a copy's settings, the version and the lane width.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "params/engine.h"
#include "params/version.h"

namespace {

struct EngineDeleter {
    void operator()(Engine* engine) const { destroyEngine(engine); }
};
using EnginePtr = std::unique_ptr<Engine, EngineDeleter>;

std::vector<int16_t> tone(int frames, double amplitude) {
    std::vector<int16_t> samples(2 * static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        const auto value = static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(0.05 * n)));
        samples[2 * n] = value;
        samples[2 * n + 1] = value;
    }
    return samples;
}

// The values of every meter row of the registry, in registration order.
std::vector<const void*> registryMeters(const Engine& engine) {
    std::vector<const void*> values;
    for (const WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (const ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->kind == Meter) values.push_back(param->value);
        }
    }
    return values;
}

}  // namespace

TEST(EngineDescription, EveryRegistryMeterHasOneNameAndItsWindowAndRange) {
    EnginePtr engine(createEngine(1));
    const std::vector<const void*> rows = registryMeters(*engine);
    ASSERT_EQ(meterCount(), static_cast<int>(rows.size()));
    std::set<std::string> names;
    for (int index = 0; index < meterCount(); ++index) {
        const MeterInfo info = meterInfo(*engine, index);
        EXPECT_TRUE(names.insert(info.name).second) << "twice: " << info.name;
        EXPECT_EQ(findMeter(info.name), index);
        EXPECT_STRNE(info.window, "") << info.name << " has no registry row";
        EXPECT_LT(info.minValue, info.maxValue) << info.name;
        const std::string unit = info.unit;
        EXPECT_TRUE(unit == "dB" || unit == "%") << info.name;
    }
    EXPECT_EQ(findMeter("No.Such.Meter"), -1);
    EXPECT_EQ(findMeter(nullptr), -1);
    EXPECT_STREQ(meterInfo(*engine, meterCount()).name, "");
    EXPECT_EQ(readMeter(*engine, -1), 0.0);
}

TEST(EngineDescription, MetersByNameReadWhatTheFixedRecordReads) {
    EnginePtr engine(createEngine(1));
    std::string error;
    ASSERT_TRUE(loadFactoryPreset(*engine, 3, &error)) << error;
    std::vector<int16_t> samples = tone(44100, 0.9);
    processBlock16(*engine, samples.data(), 44100);
    const double output = readMeter(*engine, findMeter("Output.Percent"));
    const double limiting = readMeter(*engine, findMeter("Limiter.Band4.dB"));
    const double compression = readMeter(*engine, findMeter("Compressor.Band10.dB"));
    const EngineMeters meters = readMeters(*engine);
    EXPECT_GT(output, 0.0);
    EXPECT_EQ(output, meters.outputPercent);
    EXPECT_EQ(limiting, meters.bandLimitingDb[3]);
    EXPECT_EQ(compression, meters.bandCompressionDb[9]);
    EXPECT_EQ(readMeter(*engine, findMeter("FinalClipper.dB")), meters.finalClipperDb);
}

TEST(EngineDescription, CaptureRingHoldsTheOutputsMonoValues) {
    EnginePtr engine(createEngine(1));
    const CaptureRingView ring = captureRing(*engine);
    const uint16_t before = *ring.writeIndex;
    std::vector<int16_t> samples = tone(1000, 0.3);
    std::vector<double> output(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) output[i] = samples[i] / 32768.0;
    processBlockDouble(*engine, output.data(), 1000, 2);
    EXPECT_EQ(*ring.writeIndex, static_cast<uint16_t>(before + 1000));
    for (int frame = 0; frame < 1000; frame += 97) {
        const double mono = (output[2 * frame] + output[2 * frame + 1]) * 0.5;
        EXPECT_EQ(ring.samples[static_cast<uint16_t>(before + frame)], mono) << frame;
    }
}

TEST(EngineDescription, ACopyHoldsTheSettingsAndGivesTheSameBytes) {
    EnginePtr source(createEngine(7));
    std::string error;
    ASSERT_TRUE(loadFactoryPreset(*source, 5, &error)) << error;
    ASSERT_TRUE(setValue(*source, "General.PostAmp.dB", -1.5));
    EnginePtr copy(createEngineCopy(*source, 7));
    ASSERT_TRUE(copy);
    EXPECT_EQ(presetText(*copy), presetText(*source));
    EXPECT_EQ(latencyFrames(*copy), latencyFrames(*source));
    std::vector<int16_t> a = tone(20000, 0.5), b = a;
    processBlock16(*source, a.data(), 20000);
    processBlock16(*copy, b.data(), 20000);
    EXPECT_EQ(a, b);
}

TEST(EngineDescription, ClipFlagIsTakenOnce) {
    EnginePtr engine(createEngine(1));
    ASSERT_TRUE(setValue(*engine, "General.PostAmp.dB", 12.0));
    const int frames = static_cast<int>(latencyFrames(*engine)) + 4000;  // past the chain's delay
    std::vector<int16_t> samples = tone(frames, 1.0);
    processBlock16(*engine, samples.data(), frames);
    EXPECT_TRUE(takeClipFlag(*engine));
    EXPECT_FALSE(takeClipFlag(*engine));
}

TEST(EngineDescription, VersionAndLaneWidth) {
    EXPECT_STREQ(engineVersion(), kVersionString);
    EXPECT_EQ(std::string(engineVersion()).rfind("Drelvant v", 0), 0u);
    const int lanes = engineLaneWidth();
    EXPECT_TRUE(lanes == 2 || lanes == 4) << lanes;
}
