// The LV2 plug-in as hosts load it through lilv: discovery, block sizes, rates, instances, state,
// bypass, real-time behaviour.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include <lv2/state/state.h>

#include "tests/lv2/lv2_host.h"

using namespace lv2test;

namespace {

constexpr int kChannels = 2;

std::unique_ptr<Instance> started(const char* uri, double rate, const std::map<std::string, float>& controls = {},
                                  bool withWorker = true) {
    std::unique_ptr<Instance> instance = instantiate(uri, rate, withWorker, controls);
    if (instance) activate(*instance);
    return instance;
}

bool sameBytes(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            std::printf("first difference at sample %zu: %.9g and %.9g\n", i, a[i], b[i]);
            break;
        }
    }
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// The value of `key` in a settings text, NaN when absent.
double keyValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string name = line.substr(0, equals);
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name == key) return std::atof(line.c_str() + equals + 1);
    }
    return NAN;
}

// Hands a settings text to the plug-in's state restore, as a host restoring a session does.
void restoreText(Instance& instance, const std::string& text) {
    struct Source {
        std::string text;
        LV2_URID key, type;
    } source{text, instance.map.map(instance.map.handle, "urn:drelvant:lv2:settings"),
             instance.map.map(instance.map.handle, "http://lv2plug.in/ns/ext/atom#String")};
    auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                       uint32_t* flags) -> const void* {
        const Source& s = *static_cast<const Source*>(handle);
        if (key != s.key) return nullptr;
        *size = s.text.size() + 1;
        *type = s.type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return s.text.c_str();
    };
    const auto* state = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance.instance, LV2_STATE__interface));
    ASSERT_NE(state, nullptr);
    const LV2_Feature* features[] = {&instance.mapFeature, nullptr};
    EXPECT_EQ(state->restore(lilv_instance_get_handle(instance.instance), retrieve, &source, 0, features),
              LV2_STATE_SUCCESS);
}

}  // namespace

TEST(Lv2Bundle, PluginsPortsAndPresetsAreFound) {
    for (const char* uri : {kStereoUri, kMonoUri}) {
        const LilvPlugin* plugin = findPlugin(uri);
        ASSERT_NE(plugin, nullptr) << uri;
        LilvNode* audio = lilv_new_uri(world(), LILV_URI_AUDIO_PORT);
        const int channels = std::strcmp(uri, kMonoUri) == 0 ? 1 : 2;
        EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, audio, nullptr), static_cast<uint32_t>(2 * channels));
        lilv_node_free(audio);
        EXPECT_TRUE(lilv_plugin_has_latency(plugin));
        LilvNode* enabled = lilv_new_uri(world(), LV2_CORE__enabled);
        EXPECT_NE(lilv_plugin_get_port_by_designation(plugin, lilv_new_uri(world(), LV2_CORE__InputPort), enabled), nullptr);
        lilv_node_free(enabled);

        LilvNode* presetClass = lilv_new_uri(world(), "http://lv2plug.in/ns/ext/presets#Preset");
        LilvNode* label = lilv_new_uri(world(), "http://www.w3.org/2000/01/rdf-schema#label");
        LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
        std::set<std::string> labels;
        LILV_FOREACH (nodes, i, presets) {
            const LilvNode* preset = lilv_nodes_get(presets, i);
            lilv_world_load_resource(world(), preset);
            LilvNodes* names = lilv_world_find_nodes(world(), preset, label, nullptr);
            if (names != nullptr && lilv_nodes_size(names) > 0) labels.insert(lilv_node_as_string(lilv_nodes_get_first(names)));
            lilv_nodes_free(names);
        }
        lilv_nodes_free(presets);
        lilv_node_free(presetClass);
        lilv_node_free(label);
        ASSERT_EQ(labels.size(), 7u) << uri;
        int n = 1;
        for (const std::string& name : labels) EXPECT_EQ(name.rfind("F" + std::to_string(n++) + " ", 0), 0u) << name;
    }
}

TEST(Lv2Rates, RunsAtHostRatesAndRefusesFractionalOnes) {
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 32000.0, 192000.0}) {
        auto instance = instantiate(kStereoUri, rate);
        EXPECT_NE(instance, nullptr) << rate;
        destroy(instance);
    }
    EXPECT_EQ(instantiate(kStereoUri, 44100.5), nullptr);
}

// With fixed settings the output does not depend on how the host slices the audio.
TEST(Lv2Blocks, AnyBlockSizeGivesTheOutputOfOneLongBlock) {
    for (double rate : {44100.0, 48000.0}) {
        const int frames = static_cast<int>(2.5 * rate);
        const std::vector<float> input = programme(frames, kChannels, 7);
        auto single = started(kStereoUri, rate);
        const std::vector<float> reference = process(*single, input, {frames});
        destroy(single);
        const std::vector<std::vector<int>> slicings = {{1}, {7}, {576}, {4096}, {8192}, {13, 1000, 1, 8191, 64, 3000}};
        for (const std::vector<int>& blocks : slicings) {
            auto instance = started(kStereoUri, rate);
            EXPECT_TRUE(sameBytes(process(*instance, input, blocks), reference)) << rate << " Hz, blocks of " << blocks[0];
            destroy(instance);
        }
    }
}

TEST(Lv2Instances, TwoInterleavedInstancesMatchSingleRuns) {
    for (double rate : {44100.0, 48000.0}) {
        const int frames = static_cast<int>(2 * rate);
        const std::vector<float> input = programme(frames, kChannels, 11);
        auto loneF1 = started(kStereoUri, rate, {{"preset", 1}});
        const std::vector<float> referenceF1 = process(*loneF1, input, {512});
        destroy(loneF1);
        auto loneF3 = started(kStereoUri, rate, {{"preset", 3}});
        const std::vector<float> referenceF3 = process(*loneF3, input, {512});
        destroy(loneF3);

        auto a = started(kStereoUri, rate, {{"preset", 1}});
        auto b = started(kStereoUri, rate, {{"preset", 3}});
        std::vector<float> outA, outB;
        for (int done = 0; done < frames; done += 512) {
            const int count = std::min(512, frames - done);
            const std::vector<float> slice(input.begin() + done * kChannels, input.begin() + (done + count) * kChannels);
            const std::vector<float> sliceA = process(*a, slice, {count});
            const std::vector<float> sliceB = process(*b, slice, {count});
            outA.insert(outA.end(), sliceA.begin(), sliceA.end());
            outB.insert(outB.end(), sliceB.begin(), sliceB.end());
        }
        EXPECT_TRUE(sameBytes(outA, referenceF1)) << rate;
        EXPECT_TRUE(sameBytes(outB, referenceF3)) << rate;
        EXPECT_FALSE(sameBytes(referenceF1, referenceF3)) << "the two presets must sound different";
        destroy(a);
        destroy(b);
    }
}

TEST(Lv2State, RestoredStateGivesTheSameSettingsAndOutput) {
    // F3 with a value no control port carries changed, as a user preset would change it.
    std::string text = readText(std::string(DRELVANT_SOURCE_DIR) + "/resources/presets/F3.txt");
    const std::string key = "Compressor.Threshold3.dB";
    const size_t line = text.find(key);
    ASSERT_NE(line, std::string::npos);
    const size_t end = text.find('\n', line);
    text.replace(line, end - line, key + "       = -21.5\r");
    for (double rate : {44100.0, 48000.0}) {
        const std::vector<float> input = programme(static_cast<int>(1.5 * rate), kChannels, 3);
        auto original = instantiate(kStereoUri, rate);
        restoreText(*original, text);
        activate(*original);
        const std::vector<float> originalOutput = process(*original, input, {1000});
        const std::string saved = settingsText(*original);
        EXPECT_DOUBLE_EQ(keyValue(saved, key), -21.5);
        LilvState* state = saveState(*original);

        auto fresh = instantiate(kStereoUri, rate);
        restoreState(*fresh, state);
        activate(*fresh);
        EXPECT_TRUE(sameBytes(process(*fresh, input, {333}), originalOutput)) << rate;
        EXPECT_EQ(settingsText(*fresh), saved);
        lilv_state_free(state);
        destroy(original);
        destroy(fresh);
    }
}

// A state restored with port values that disagree with it (preset = 1 beside the settings of F3,
// as another host may write it): the state wins, and the output is that of F3.
TEST(Lv2State, RestoredStateWinsOverDisagreeingPortValues) {
    const std::string f3 = readText(std::string(DRELVANT_SOURCE_DIR) + "/resources/presets/F3.txt");
    const std::vector<float> input = programme(44100, kChannels, 6);
    auto restored = instantiate(kStereoUri, 44100.0, true, {{"preset", 1}});
    restoreText(*restored, f3);
    activate(*restored);
    auto chosen = started(kStereoUri, 44100.0, {{"preset", 3}});
    auto plain = started(kStereoUri, 44100.0, {{"preset", 1}});
    const std::vector<float> expected = process(*chosen, input, {512});
    EXPECT_TRUE(sameBytes(process(*restored, input, {512}), expected));
    EXPECT_FALSE(sameBytes(process(*plain, input, {512}), expected));  // F1 and F3 differ
    destroy(restored);
    destroy(chosen);
    destroy(plain);
}

// A preset choice and a console control moved together: the control applies on top of the preset
// once it has loaded, and the controls not moved keep the preset's values.
TEST(Lv2Controls, ConsoleChangeAppliesOnTopOfAPresetLoad) {
    for (bool withWorker : {true, false}) {
        auto instance = started(kStereoUri, 48000.0, {}, withWorker);
        const std::vector<float> input = programme(24000, kChannels, 5);
        process(*instance, input, {256});
        setControl(*instance, "preset", 3);
        setControl(*instance, "post_amp", 4.5f);
        process(*instance, input, {256});
        const std::string text = settingsText(*instance);
        const std::string factoryF3 = readText(std::string(DRELVANT_SOURCE_DIR) + "/resources/presets/F3.txt");
        EXPECT_DOUBLE_EQ(keyValue(text, "General.PostAmp.dB"), 4.5) << withWorker;
        EXPECT_EQ(keyValue(text, "General.DynamicEQ.Active"), keyValue(factoryF3, "General.DynamicEQ.Active"));
        EXPECT_EQ(keyValue(text, "Compressor.Threshold3.dB"), keyValue(factoryF3, "Compressor.Threshold3.dB"));
        destroy(instance);
    }
}

// F7 switches every stage off: at host rates other than 44.1 kHz the output is the input through
// the resampler pair, delayed by exactly the reported latency.
TEST(Lv2Rates, NoProcessingPresetIsTheInputDelayedByTheLatency) {
    const double tonesHz[] = {20, 100, 1000, 5000, 10000, 15000, 19000};
    for (double rate : {48000.0, 88200.0, 96000.0}) {
        const int frames = static_cast<int>(2.0 * rate);
        std::vector<float> input(static_cast<size_t>(frames) * kChannels);
        for (int i = 0; i < frames; ++i) {
            double sum = 0;
            for (double hz : tonesHz) sum += 0.1 * std::sin(2 * M_PI * hz * i / rate + hz);
            input[2 * i] = static_cast<float>(sum);
            input[2 * i + 1] = static_cast<float>(-0.5 * sum);
        }
        auto instance = started(kStereoUri, rate, {{"preset", 7}});
        const std::vector<float> output = process(*instance, input, {480});
        const float latency = control(*instance, "latency");
        ASSERT_EQ(latency, std::floor(latency));
        ASSERT_GT(latency, 0.0f);
        const int delay = static_cast<int>(latency);
        std::printf("F7 at %.0f Hz: latency %d frames (%.1f ms)\n", rate, delay, 1000.0 * delay / rate);
        const int first = delay + static_cast<int>(0.5 * rate);  // past the 20 Hz tone's start
        ASSERT_LT(first, frames);
        double residualSquares = 0;
        std::vector<double> re(std::size(tonesHz)), im(std::size(tonesHz));
        for (int i = first; i < frames; ++i) {
            for (int c = 0; c < kChannels; ++c) {
                const double residual = static_cast<double>(output[2 * i + c]) - input[2 * (i - delay) + c];
                residualSquares += residual * residual;
                if (c == 0) {
                    for (size_t t = 0; t < std::size(tonesHz); ++t) {
                        re[t] += residual * std::cos(2 * M_PI * tonesHz[t] * i / rate);
                        im[t] += residual * std::sin(2 * M_PI * tonesHz[t] * i / rate);
                    }
                }
            }
        }
        const int count = frames - first;
        // dBFS of the residual as a sine of the same power would read
        const double residualDbfs = 10 * std::log10(residualSquares / (count * kChannels) * 2 + 1e-30);
        EXPECT_LT(residualDbfs, -80.0) << rate;
        for (size_t t = 0; t < std::size(tonesHz); ++t) {
            const double amplitude = 2.0 / count * std::hypot(re[t], im[t]);
            EXPECT_LT(20 * std::log10(amplitude + 1e-30), -80.0) << rate << " Hz rate, tone " << tonesHz[t];
        }
        destroy(instance);
    }
}

TEST(Lv2RealTime, RunNeverAllocatesAtAnyRateOrBlockSize) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        auto instance = started(kStereoUri, rate);
        const std::vector<float> input = programme(static_cast<int>(4 * rate), kChannels, 9);
        instance->countAllocations = true;
        process(*instance, input, {1, 64, 1000, 4096, 17, 8192, 333});
        // preset changes (loaded by the worker), console changes and bypass on the way
        setControl(*instance, "preset", 4);
        setControl(*instance, "agc", 0);
        setControl(*instance, "enabled", 0);
        process(*instance, input, {256, 3000, 5});
        setControl(*instance, "enabled", 1);
        setControl(*instance, "density_drive", 6);
        process(*instance, input, {1024});
        EXPECT_EQ(instance->allocationsInRun, 0) << rate;
        destroy(instance);
    }
}

// Bypass fades over 10 ms to the input delayed by the latency, and back to the processed signal,
// without a step larger than the two signals' own.
TEST(Lv2Bypass, FadesToTheDelayedInputAndBack) {
    for (double rate : {44100.0, 48000.0}) {
        const int frames = static_cast<int>(rate);
        std::vector<float> input(static_cast<size_t>(frames) * kChannels);
        for (int i = 0; i < frames; ++i) input[2 * i] = input[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 100 * i / rate));
        auto steady = started(kStereoUri, rate);
        auto toggled = started(kStereoUri, rate);
        std::vector<float> wet, out;
        for (int second = 0; second < 3; ++second) {
            const std::vector<float> w = process(*steady, input, {512});
            setControl(*toggled, "enabled", second == 1 ? 0.0f : 1.0f);
            const std::vector<float> o = process(*toggled, input, {512});
            wet.insert(wet.end(), w.begin(), w.end());
            out.insert(out.end(), o.begin(), o.end());
        }
        const int delay = static_cast<int>(control(*toggled, "latency"));
        const int fade = static_cast<int>(0.01 * rate);
        auto dry = [&](int i) { return i - delay >= 0 ? input[2 * ((i - delay) % frames)] : 0.0f; };
        double largestStep = 0, largestOwnStep = 0;
        for (int i = 1; i < 3 * frames; ++i) {
            largestStep = std::max(largestStep, std::fabs(static_cast<double>(out[2 * i]) - out[2 * (i - 1)]));
            largestOwnStep = std::max({largestOwnStep, std::fabs(static_cast<double>(wet[2 * i]) - wet[2 * (i - 1)]),
                                       std::fabs(static_cast<double>(dry(i)) - dry(i - 1))});
        }
        EXPECT_LE(largestStep, largestOwnStep + 2.0 / fade) << rate;
        for (int i = frames + fade; i < 2 * frames; ++i) ASSERT_EQ(out[2 * i], dry(i)) << rate << " frame " << i;
        for (int i = 2 * frames + fade; i < 3 * frames; ++i) ASSERT_EQ(out[2 * i], wet[2 * i]) << rate << " frame " << i;
        destroy(steady);
        destroy(toggled);
    }
}

TEST(Lv2Mono, MonoVariantMatchesStereoWithEqualChannels) {
    const int frames = 44100;
    const std::vector<float> mono = programme(frames, 1, 21);
    std::vector<float> stereo(2 * frames);
    for (int i = 0; i < frames; ++i) stereo[2 * i] = stereo[2 * i + 1] = mono[i];
    auto monoInstance = started(kMonoUri, 44100.0);
    auto stereoInstance = started(kStereoUri, 44100.0);
    const std::vector<float> monoOut = process(*monoInstance, mono, {700});
    const std::vector<float> stereoOut = process(*stereoInstance, stereo, {700});
    for (int i = 0; i < frames; ++i) ASSERT_EQ(monoOut[i], stereoOut[2 * i]) << "frame " << i;
    destroy(monoInstance);
    destroy(stereoInstance);
}

TEST(Lv2SpecialValues, NonFiniteAndSubnormalInputLeavesTheOutputFiniteAndClamped) {
    for (double rate : {44100.0, 48000.0}) {
        std::vector<float> input = programme(static_cast<int>(rate), kChannels, 13);
        const float specials[] = {NAN, INFINITY, -INFINITY, 1e-40f, -1e-42f, 3.0f, -7.0f};
        for (size_t i = 0; i < input.size(); i += 97) input[i] = specials[(i / 97) % std::size(specials)];
        auto instance = started(kStereoUri, rate);
        const std::vector<float> output = process(*instance, input, {300});
        for (size_t i = 0; i < output.size(); ++i) {
            ASSERT_TRUE(std::isfinite(output[i])) << rate << " sample " << i;
            ASSERT_LE(std::fabs(output[i]), 0.9999f) << rate << " sample " << i;
        }
        destroy(instance);
    }
}

// A user preset file turned into an LV2 preset bundle restores its whole text as the state.
TEST(Lv2State, UserPresetBundleLoadsTheFileAsTheState) {
    const std::string directory = testing::TempDir() + "drelvant-user-preset.lv2";
    const std::string presetFile = testing::TempDir() + "DV_Preset05.ini";
    {
        std::ofstream file(presetFile, std::ios::binary);
        file << "Drelvant\r\nThis is a preset file for Drelvant v1.20\r\nFilename: DV_Preset05.ini\r\n"
                "-----------------------------------------\r\n"
                "General.Name                   = Late Night\r\n"
                "General.BaseFactoryPreset      = -2\r\n"
                "General.PostAmp.dB             = -3.0\r\n"
                "Compressor.Threshold3.dB       = -17.5\r\n";
    }
    std::system(("mkdir -p '" + directory + "'").c_str());
    const std::string command = std::string(DRELVANT_LV2_TURTLE_WRITER) + " --user-preset '" + presetFile + "' '" +
                                directory + "' '" + DRELVANT_SOURCE_DIR + "/resources/presets'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto instance = instantiate(kStereoUri, 44100.0);
    LilvNode* presetUri = lilv_new_uri(world(), "urn:drelvant:lv2:stereo:preset:user:Late_Night");
    LilvState* state = lilv_state_new_from_file(world(), &instance->map, presetUri, (directory + "/preset.ttl").c_str());
    lilv_node_free(presetUri);
    ASSERT_NE(state, nullptr);
    EXPECT_STREQ(lilv_state_get_label(state), "Late Night");
    restoreState(*instance, state);
    EXPECT_EQ(control(*instance, "preset"), 3.0f);  // the file's base, F3
    EXPECT_EQ(control(*instance, "post_amp"), -3.0f);
    activate(*instance);
    process(*instance, programme(4410, kChannels, 1), {441});
    const std::string text = settingsText(*instance);
    EXPECT_DOUBLE_EQ(keyValue(text, "Compressor.Threshold3.dB"), -17.5);
    EXPECT_DOUBLE_EQ(keyValue(text, "General.PostAmp.dB"), -3.0);
    lilv_state_free(state);
    destroy(instance);
}
