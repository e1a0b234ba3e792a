// The true-peak ceiling after the chain (host API and LV2 controls), the latency port from the
// first run() on, and the bundle's metadata as lilv reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "lv2/ports.h"
#include "tests/lv2/lv2_host.h"

using namespace lv2test;

namespace {

constexpr int kChannels = 2;
constexpr double kRates[] = {32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0};

std::unique_ptr<Instance> started(const char* uri, double rate, const std::map<std::string, float>& controls) {
    std::unique_ptr<Instance> instance = instantiate(uri, rate, true, controls);
    if (instance) activate(*instance);
    return instance;
}

// Frame of the largest magnitude on channel 0.
int loudestFrame(const std::vector<float>& samples, int channels) {
    int at = 0;
    for (size_t i = 0; i < samples.size() / channels; ++i) {
        if (std::fabs(samples[i * channels]) > std::fabs(samples[static_cast<size_t>(at) * channels])) at = static_cast<int>(i);
    }
    return at;
}

// A 1 kHz tone, full scale times `amplitude`, with every 50th frame pushed to the same level of
// the opposite sign: sample peaks near the tone's, interpolated peaks well above them.
std::vector<float> hotSignal(int frames, double rate, double amplitude) {
    std::vector<float> samples(static_cast<size_t>(frames) * kChannels);
    for (int i = 0; i < frames; ++i) {
        double value = amplitude * std::sin(2 * M_PI * 11025.0 / 4 * i / rate + 0.4);
        if (i % 50 == 0) value = value > 0 ? -amplitude : amplitude;
        samples[2 * i] = samples[2 * i + 1] = static_cast<float>(value);
    }
    return samples;
}

std::string nodeText(const LilvPlugin* plugin, const char* predicate) {
    LilvNode* p = lilv_new_uri(world(), predicate);
    LilvNodes* values = lilv_plugin_get_value(plugin, p);
    std::string text = values != nullptr && lilv_nodes_size(values) > 0 ? lilv_node_as_string(lilv_nodes_get_first(values)) : "";
    lilv_nodes_free(values);
    lilv_node_free(p);
    return text;
}

}  // namespace

// With F7 (every stage off) and the ceiling on, a quiet click leaves the plug-in delayed by the
// ceiling's look-ahead and the resampler pair: the latency port, read after a run(0) before any
// audio, names that delay at every rate.
TEST(Lv2Latency, PortTellsTheMeasuredDelayFromTheFirstCall) {
    for (double rate : kRates) {
        auto instance = started(kStereoUri, rate, {{"preset", 7}, {"ceiling_on", 1}});
        ASSERT_NE(instance, nullptr);
        lilv_instance_run(instance->instance, 0);
        const float first = control(*instance, "latency");
        std::vector<float> input(static_cast<size_t>(rate) * kChannels, 0.0f);
        const int click = static_cast<int>(0.25 * rate);
        input[static_cast<size_t>(click) * kChannels] = input[static_cast<size_t>(click) * kChannels + 1] = 0.25f;
        const std::vector<float> output = process(*instance, input, {256});
        EXPECT_EQ(loudestFrame(output, kChannels) - click, static_cast<int>(first)) << rate;
        EXPECT_EQ(control(*instance, "latency"), first) << rate;
        destroy(instance);
    }
}

// With F1 and the ceiling off, the first call's latency is the one the port reads after a second
// of audio.
TEST(Lv2Latency, FirstCallTellsTheSteadyLatencyOfF1) {
    for (double rate : kRates) {
        auto instance = started(kStereoUri, rate, {});
        lilv_instance_run(instance->instance, 0);
        const float first = control(*instance, "latency");
        process(*instance, programme(static_cast<int>(rate), kChannels, 4), {512});
        EXPECT_EQ(first, control(*instance, "latency")) << rate;
        EXPECT_GT(first, 0.0f) << rate;
        destroy(instance);
    }
}

// Off by default: the output is the engine's exact output; on, no sample passes the ceiling and
// the latency grows by the limiter's look-ahead.
TEST(Lv2Ceiling, OffIsExactAndOnHoldsSamplesUnderTheCeiling) {
    const double rate = 44100.0;
    const std::vector<float> input = hotSignal(static_cast<int>(rate), rate, 0.99);
    auto plain = started(kStereoUri, rate, {{"preset", 7}});
    auto off = started(kStereoUri, rate, {{"preset", 7}, {"ceiling_on", 0}, {"ceiling", -6}});
    auto on = started(kStereoUri, rate, {{"preset", 7}, {"ceiling_on", 1}, {"ceiling", -3}});
    const std::vector<float> plainOut = process(*plain, input, {300});
    EXPECT_EQ(process(*off, input, {300}), plainOut);
    const std::vector<float> limited = process(*on, input, {300});
    const double ceiling = std::pow(10.0, -3.0 / 20.0);
    float peak = 0;
    for (float v : limited) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(peak, ceiling);
    EXPECT_GT(peak, 0.5 * ceiling);  // the signal still comes through
    EXPECT_GT(control(*on, "latency"), control(*plain, "latency"));
    destroy(plain);
    destroy(off);
    destroy(on);
}

// Deactivated and activated again, the plug-in with the ceiling on starts from silence: its
// output is that of a fresh instance.
TEST(Lv2Ceiling, ActivationStartsTheCeilingFromSilence) {
    const std::vector<float> input = programme(44100, kChannels, 8);
    auto fresh = started(kStereoUri, 48000.0, {{"ceiling_on", 1}});
    auto reused = started(kStereoUri, 48000.0, {{"ceiling_on", 1}});
    process(*reused, hotSignal(24000, 48000.0, 0.9), {512});  // ends loud
    lilv_instance_deactivate(reused->instance);
    activate(*reused);
    const std::vector<float> expected = process(*fresh, input, {512});
    const std::vector<float> got = process(*reused, input, {512});
    const int latency = static_cast<int>(control(*fresh, "latency"));
    // Until the input's first frames near the output (the resamplers ring up to a few hundred
    // frames ahead of them), both give what a start from silence gives, within -80 dBFS (the
    // resamplers start again alike but not to the bit): nothing of the loud end of the earlier run.
    constexpr int kRingingFrames = 1000;
    ASSERT_EQ(expected.size(), got.size());
    for (int i = 0; i < (latency - kRingingFrames) * kChannels; ++i) {
        ASSERT_NEAR(got[static_cast<size_t>(i)], expected[static_cast<size_t>(i)], 1e-4) << i;
    }
    destroy(fresh);
    destroy(reused);
}

// The host API's ceiling: off in a new engine, the level clamped to its range, the latency
// counted while on, nothing allocated when it is switched or moved while audio runs.
TEST(EngineCeiling, SwitchLevelAndLatency) {
    Engine* engine = createEngine(1);
    ASSERT_NE(engine, nullptr);
    EXPECT_FALSE(truePeakCeiling(*engine).on);
    EXPECT_EQ(truePeakCeiling(*engine).ceilingDbtp, kDefaultTruePeakCeilingDbtp);
    const int64_t base = latencyFrames(*engine);
    setTruePeakCeiling(*engine, true, -40.0);
    EXPECT_EQ(truePeakCeiling(*engine).ceilingDbtp, kLowestTruePeakCeilingDbtp);
    EXPECT_GT(latencyFrames(*engine), base);
    setTruePeakCeiling(*engine, true, NAN);
    EXPECT_EQ(truePeakCeiling(*engine).ceilingDbtp, kLowestTruePeakCeilingDbtp);
    setTruePeakCeiling(*engine, false, 3.0);
    EXPECT_EQ(truePeakCeiling(*engine).ceilingDbtp, kHighestTruePeakCeilingDbtp);
    EXPECT_EQ(latencyFrames(*engine), base);
    destroyEngine(engine);
}

TEST(Lv2Ceiling, PortsNameTheHostApiRange) {
    const lv2port::ControlPort& level = lv2port::controlList().controls[lv2port::kCeilingLevelControl];
    EXPECT_EQ(level.minimum, kLowestTruePeakCeilingDbtp);
    EXPECT_EQ(level.maximum, kHighestTruePeakCeilingDbtp);
    auto instance = instantiate(kStereoUri, 48000.0);
    EXPECT_EQ(control(*instance, "ceiling"), static_cast<float>(kDefaultTruePeakCeilingDbtp));
    EXPECT_EQ(control(*instance, "ceiling_on"), 0.0f);
    destroy(instance);
}

TEST(Lv2RealTime, CeilingSwitchAndLevelAllocateNothing) {
    for (double rate : {44100.0, 48000.0}) {
        auto instance = started(kStereoUri, rate, {});
        const std::vector<float> input = programme(static_cast<int>(rate), kChannels, 9);
        instance->countAllocations = true;
        process(*instance, input, {64});
        setControl(*instance, "ceiling_on", 1);
        process(*instance, input, {1, 500, 4096});
        setControl(*instance, "ceiling", -6);
        process(*instance, input, {128});
        setControl(*instance, "ceiling_on", 0);
        process(*instance, input, {128});
        setControl(*instance, "ceiling_on", 1);
        process(*instance, input, {128});
        EXPECT_EQ(instance->allocationsInRun, 0) << rate;
        destroy(instance);
    }
}

// The mono plug-in does not read the stereo-image switch: toggling it changes no output byte.
TEST(Lv2Mono, StereoImageSwitchIsNotRead) {
    const std::vector<float> stereo = programme(44100, kChannels, 2);
    std::vector<float> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = stereo[2 * i];
    auto plain = started(kMonoUri, 44100.0, {{"preset", 3}});
    auto toggled = started(kMonoUri, 44100.0, {{"preset", 3}});
    const std::vector<float> expected = process(*plain, mono, {512});
    setControl(*toggled, "stereo_image", control(*toggled, "stereo_image") != 0 ? 0.0f : 1.0f);
    EXPECT_EQ(process(*toggled, mono, {512}), expected);
    destroy(plain);
    destroy(toggled);
}

// What a packager and a host read: licence, maintainer, version, and the main port groups.
TEST(Lv2Bundle, LicenceMaintainerVersionAndPortGroups) {
    for (const lv2port::Variant& variant : lv2port::kVariants) {
        const LilvPlugin* plugin = findPlugin(variant.uri);
        ASSERT_NE(plugin, nullptr);
        EXPECT_EQ(nodeText(plugin, "http://usefulinc.com/ns/doap#license"), "https://spdx.org/licenses/MIT");
        EXPECT_FALSE(nodeText(plugin, "http://usefulinc.com/ns/doap#maintainer").empty());
        EXPECT_FALSE(nodeText(plugin, "http://lv2plug.in/ns/lv2core#minorVersion").empty());
        EXPECT_FALSE(nodeText(plugin, "http://lv2plug.in/ns/lv2core#microVersion").empty());
        const std::string input = nodeText(plugin, "http://lv2plug.in/ns/ext/port-groups#mainInput");
        const std::string output = nodeText(plugin, "http://lv2plug.in/ns/ext/port-groups#mainOutput");
        ASSERT_FALSE(input.empty());
        ASSERT_FALSE(output.empty());
        LilvNode* group = lilv_new_uri(world(), "http://lv2plug.in/ns/ext/port-groups#group");
        int inGroup = 0, outGroup = 0;
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            LilvNodes* groups = lilv_port_get_value(plugin, lilv_plugin_get_port_by_index(plugin, i), group);
            if (groups != nullptr && lilv_nodes_size(groups) > 0) {
                const std::string name = lilv_node_as_string(lilv_nodes_get_first(groups));
                inGroup += name == input;
                outGroup += name == output;
            }
            lilv_nodes_free(groups);
        }
        lilv_node_free(group);
        EXPECT_EQ(inGroup, variant.channels) << variant.uri;
        EXPECT_EQ(outGroup, variant.channels) << variant.uri;
    }
}
