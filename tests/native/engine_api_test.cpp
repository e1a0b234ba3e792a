// Engines through the host API: the module's output, independence of instances, the float path,
// values by key, preset sources and the latency each setting reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params_rig.h"
#include "platform/platform.h"

namespace {

constexpr int kFrames = 3 * 44100;  // past the longest delay of any factory preset

uint32_t fixedClock() { return 1000000; }

// Music-like stereo programme with a loud stretch, a silent channel and digital silence.
std::vector<short> programme(int frames, uint32_t seed) {
    std::vector<short> samples(2 * static_cast<size_t>(frames));
    uint32_t noise = seed;
    for (int n = 0; n < frames; ++n) {
        const double t = n / 44100.0;
        const double level = n < frames / 3 ? 0.04 : (n < 2 * frames / 3 ? 0.7 : 0.15);
        noise = noise * 1664525u + 1013904223u;
        const double hiss = ((noise >> 9) / 4194304.0 - 1.0) * 0.05;
        double left = level * (std::sin(6.283185307179586 * 98 * t) + 0.4 * std::sin(6.283185307179586 * 1250 * t)) + hiss;
        double right = level * (std::sin(6.283185307179586 * 147 * t) + 0.3 * std::sin(6.283185307179586 * 5200 * t)) - hiss;
        if (n >= 50000 && n < 51500) left = 0.0;
        if (n >= 70000 && n < 72000) left = right = 0.0;
        samples[2 * n] = static_cast<short>(std::lround(std::clamp(left, -1.0, 0.99996) * 32768));
        samples[2 * n + 1] = static_cast<short>(std::lround(std::clamp(right, -1.0, 0.99996) * 32768));
    }
    return samples;
}

struct EngineDeleter {
    void operator()(Engine* engine) const { destroyEngine(engine); }
};
using EnginePtr = std::unique_ptr<Engine, EngineDeleter>;

EnginePtr makeEngine(uint32_t seed, int factory) {
    EnginePtr engine(createEngine(seed));
    EXPECT_NE(engine, nullptr);
    std::string error;
    EXPECT_TRUE(loadFactoryPreset(*engine, factory, &error)) << error;
    return engine;
}

std::vector<short> runEngine(Engine& engine, std::vector<short> samples, int blockFrames) {
    const int frames = static_cast<int>(samples.size() / 2);
    for (int start = 0; start < frames; start += blockFrames) {
        processBlock16(engine, samples.data() + 2 * start, std::min(blockFrames, frames - start));
    }
    return samples;
}

// The Winamp module as a host drives it, on a settings folder of its own.
std::vector<short> runModule(int factory, uint32_t seed, std::vector<short> samples, int blockFrames) {
    paramsrig::ScratchFolder folder;
    platform::setTickSourceForTesting(&fixedClock);
    initDone = false;
    setRandomSeedOverride(true, seed);
    SetHostDirectory(PluginEngine().text, folder.path);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    module->Init(module);
    LoadPreset(PluginEngine(), 1 - factory);
    const int frames = static_cast<int>(samples.size() / 2);
    for (int start = 0; start < frames; start += blockFrames) {
        module->ModifySamples(module, samples.data() + 2 * start, std::min(blockFrames, frames - start), 16, 2, 44100);
    }
    module->Quit(module);
    initDone = false;
    setRandomSeedOverride(false, 0);
    platform::setTickSourceForTesting(nullptr);
    SetHostDirectory(PluginEngine().text, std::string());
    return samples;
}

}  // namespace

TEST(EngineApi, EveryFactoryPresetGivesTheModulesBytes) {
    const std::vector<short> input = programme(kFrames, 7);
    for (int factory = 1; factory <= 7; ++factory) {
        const std::vector<short> expected = runModule(factory, 4242, input, 576);
        EnginePtr engine = makeEngine(4242, factory);
        EXPECT_EQ(runEngine(*engine, input, 576), expected) << "F" << factory;
    }
}

TEST(EngineApi, BlockSizesOneSevenAndFourThousandGiveTheSameBytes) {
    const std::vector<short> input = programme(kFrames / 2, 3);
    for (int factory : {1, 3, 5}) {
        EnginePtr reference = makeEngine(9, factory);
        const std::vector<short> expected = runEngine(*reference, input, 576);
        for (int blockFrames : {1, 7, 4096}) {
            EnginePtr engine = makeEngine(9, factory);
            EXPECT_EQ(runEngine(*engine, input, blockFrames), expected) << "F" << factory << " in blocks of " << blockFrames;
        }
    }
}

TEST(EngineApi, TwoEnginesInterleavedGiveWhatEachGivesAlone) {
    const std::vector<short> inputA = programme(kFrames, 11);
    const std::vector<short> inputB = programme(kFrames, 29);
    EnginePtr aloneA = makeEngine(100, 1);
    EnginePtr aloneB = makeEngine(200, 3);
    const std::vector<short> expectedA = runEngine(*aloneA, inputA, 512);
    const std::vector<short> expectedB = runEngine(*aloneB, inputB, 300);

    EnginePtr a = makeEngine(100, 1);
    EnginePtr b = makeEngine(200, 3);
    std::vector<short> outA = inputA, outB = inputB;
    int nextA = 0, nextB = 0;
    while (nextA < kFrames || nextB < kFrames) {
        if (nextA < kFrames) {
            const int n = std::min(512, kFrames - nextA);
            processBlock16(*a, outA.data() + 2 * nextA, n);
            nextA += n;
        }
        if (nextB < kFrames) {
            const int n = std::min(300, kFrames - nextB);
            processBlock16(*b, outB.data() + 2 * nextB, n);
            nextB += n;
        }
    }
    EXPECT_EQ(outA, expectedA);
    EXPECT_EQ(outB, expectedB);
    EXPECT_NE(expectedA, expectedB);
}

TEST(EngineApi, SixteenBitValuedFloatsTruncateToTheSixteenBitPath) {
    const std::vector<short> input = programme(kFrames, 5);
    for (int factory : {1, 3, 4, 7}) {
        EnginePtr pcm = makeEngine(77, factory);
        const std::vector<short> expected = runEngine(*pcm, input, 576);

        EnginePtr floating = makeEngine(77, factory);
        std::vector<double> samples(input.size());
        for (size_t i = 0; i < input.size(); ++i) samples[i] = input[i] / 32768.0;
        for (int start = 0; start < kFrames; start += 576) {
            processBlockDouble(*floating, samples.data() + 2 * start, std::min(576, kFrames - start), 2);
        }
        for (size_t i = 0; i < samples.size(); ++i) {
            ASSERT_LE(std::fabs(samples[i]), 0.9999) << "clamped, F" << factory;
            ASSERT_EQ(static_cast<short>(samples[i] * 32768.0), expected[i]) << "sample " << i << ", F" << factory;
        }
    }
}

TEST(EngineApi, SinglePrecisionOutputDiffersByAtMostOneStepAndRarely) {
    const std::vector<short> input = programme(kFrames, 5);
    EnginePtr pcm = makeEngine(77, 1);
    const std::vector<short> expected = runEngine(*pcm, input, 576);
    EnginePtr floating = makeEngine(77, 1);
    std::vector<float> samples(input.size());
    for (size_t i = 0; i < input.size(); ++i) samples[i] = static_cast<float>(input[i] / 32768.0);
    processBlockFloat(*floating, samples.data(), kFrames, 2);
    size_t differing = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const int step = static_cast<short>(samples[i] * 32768.0f) - expected[i];
        ASSERT_LE(std::abs(step), 1) << i;
        if (step != 0) ++differing;
    }
    // A float keeps 24 bits: only chain values within 2^-9 of a 16-bit step round across it.
    EXPECT_LT(differing, samples.size() / 100);
    RecordProperty("samplesOneStepApart", static_cast<int>(differing));
    std::printf("single precision: %zu of %zu samples one 16-bit step apart\n", differing, samples.size());
}

TEST(EngineApi, MonoIsProcessedAsEqualChannels) {
    std::vector<short> stereo = programme(kFrames, 13);
    for (int n = 0; n < kFrames; ++n) stereo[2 * n + 1] = stereo[2 * n];
    EnginePtr twoChannels = makeEngine(5, 2);
    std::vector<double> pairs(stereo.begin(), stereo.end());
    for (double& x : pairs) x /= 32768.0;
    processBlockDouble(*twoChannels, pairs.data(), kFrames, 2);

    EnginePtr oneChannel = makeEngine(5, 2);
    std::vector<double> mono(kFrames);
    for (int n = 0; n < kFrames; ++n) mono[n] = stereo[2 * n] / 32768.0;
    processBlockDouble(*oneChannel, mono.data(), kFrames, 1);
    for (int n = 0; n < kFrames; ++n) ASSERT_EQ(mono[n], pairs[2 * n]) << n;
}

// A NaN or infinity from a host is silence where it stands: the same output as a block holding 0
// there, in single and double precision, and nothing poisoned afterwards.
TEST(EngineApi, NonFiniteSamplesAreProcessedAsSilence) {
    const std::vector<short> input = programme(kFrames, 21);
    const size_t bad[] = {2 * 1000, 2 * 60000 + 1, 2 * 90000};
    std::vector<double> clean(input.begin(), input.end());
    for (double& x : clean) x /= 32768.0;
    for (size_t at : bad) clean[at] = 0.0;
    std::vector<double> poisoned = clean;
    poisoned[bad[0]] = std::nan("");
    poisoned[bad[1]] = INFINITY;
    poisoned[bad[2]] = -INFINITY;
    std::vector<float> poisonedFloats(poisoned.begin(), poisoned.end());
    std::vector<float> cleanFloats(clean.begin(), clean.end());
    EnginePtr reference = makeEngine(3, 1), doubles = makeEngine(3, 1);
    EnginePtr floatReference = makeEngine(3, 1), floats = makeEngine(3, 1);
    for (int start = 0; start < kFrames; start += 576) {
        const int count = std::min(576, kFrames - start);
        processBlockDouble(*reference, clean.data() + 2 * start, count, 2);
        processBlockDouble(*doubles, poisoned.data() + 2 * start, count, 2);
        processBlockFloat(*floatReference, cleanFloats.data() + 2 * start, count, 2);
        processBlockFloat(*floats, poisonedFloats.data() + 2 * start, count, 2);
    }
    for (size_t i = 0; i < clean.size(); ++i) {
        ASSERT_EQ(poisoned[i], clean[i]) << i;
        ASSERT_EQ(poisonedFloats[i], cleanFloats[i]) << i;
    }
}

TEST(EngineApi, ValuesByKey) {
    EnginePtr engine = makeEngine(1, 1);
    double value = 0;
    ASSERT_TRUE(getValue(*engine, "General.QuantizationDither.Active", &value));
    EXPECT_EQ(value, 1.0);
    EXPECT_FALSE(getValue(*engine, "General.NoSuchThing", &value));
    EXPECT_FALSE(setValue(*engine, "", 1.0));
    EXPECT_EQ(findParam(*engine, "Window.Main.X"), kNoParam);

    ASSERT_TRUE(setValue(*engine, "General.PostAmp.dB", -6.5));
    ASSERT_TRUE(getValue(*engine, "General.PostAmp.dB", &value));
    EXPECT_EQ(value, -6.5);
    ASSERT_TRUE(setValue(*engine, "General.MainBypass", 5.0));
    ASSERT_TRUE(getValue(*engine, "General.MainBypass", &value));
    EXPECT_EQ(value, 1.0);

    // The bypass reaches the audio thread with the next block: the block passes untouched.
    std::vector<short> block = programme(1000, 2);
    const std::vector<short> original = block;
    processBlock16(*engine, block.data(), 1000);
    EXPECT_EQ(block, original);

    // Audio-thread handles write the values the next block reads.
    const ParamHandle bypass = findParam(*engine, "General.MainBypass");
    ASSERT_NE(bypass, kNoParam);
    setLiveValue(*engine, bypass, 0.0);
    processBlock16(*engine, block.data(), 1000);
    EXPECT_NE(block, original);
}

TEST(EngineApi, PresetTextRoundTripsIntoAFreshEngine) {
    EnginePtr source = makeEngine(8, 5);
    ASSERT_TRUE(setValue(*source, "Compressor.Threshold3.dB", -17.5));
    ASSERT_TRUE(setValue(*source, "General.Limiter.Active", 0));
    const std::string text = presetText(*source);

    EnginePtr restored(createEngine(8));
    std::string error;
    ASSERT_TRUE(loadPresetText(*restored, text.data(), text.size(), &error)) << error;
    double value = 0;
    ASSERT_TRUE(getValue(*restored, "Compressor.Threshold3.dB", &value));
    EXPECT_EQ(value, -17.5);
    EXPECT_EQ(presetName(*restored), presetName(*source));
    EXPECT_EQ(basePreset(*restored), -4.0);  // F5

    // The restored engine sounds as one that loaded the same text.
    EnginePtr reference(createEngine(8));
    ASSERT_TRUE(loadPresetText(*reference, text.data(), text.size(), &error));
    const std::vector<short> input = programme(kFrames / 3, 4);
    EXPECT_EQ(runEngine(*restored, input, 576), runEngine(*reference, input, 576));
}

TEST(EngineApi, PresetFilesWithLfOrByteOrderMarkLoadAsWithCrLf) {
    paramsrig::ScratchFolder folder;
    const std::string body = "General.Name = Lf Test\nGeneral.BaseFactoryPreset = -2\nGeneral.PostAmp.dB = -3.0\n";
    const std::string crlfText = paramsrig::presetFile("DV_Preset05.ini", body);
    std::string lfText = crlfText;
    lfText.erase(std::remove(lfText.begin(), lfText.end(), '\r'), lfText.end());
    folder.write("crlf.ini", crlfText);
    folder.write("lf.ini", lfText);
    folder.write("bom.ini", "\xEF\xBB\xBF" + lfText);
    folder.write("DV_Preset05.ini", crlfText);
    folder.write("notes.txt", "just some words\n");

    const std::vector<short> input = programme(kFrames / 3, 6);
    std::string error;
    EnginePtr reference(createEngine(3));
    ASSERT_TRUE(loadPresetFile(*reference, folder.file("crlf.ini"), &error)) << error;
    EXPECT_EQ(presetName(*reference), "Lf Test");
    EXPECT_EQ(basePreset(*reference), -2.0);
    const std::vector<short> expected = runEngine(*reference, input, 576);
    for (const char* name : {"lf.ini", "bom.ini"}) {
        EnginePtr engine(createEngine(3));
        ASSERT_TRUE(loadPresetFile(*engine, folder.file(name), &error)) << name << ": " << error;
        EXPECT_EQ(presetName(*engine), "Lf Test") << name;
        EXPECT_EQ(runEngine(*engine, input, 576), expected) << name;
    }
    EnginePtr slot(createEngine(3));
    ASSERT_TRUE(loadUserPreset(*slot, folder.path, 5, &error)) << error;
    EXPECT_EQ(runEngine(*slot, input, 576), expected);

    // Failures leave the engine as it was and say why.
    EnginePtr engine = makeEngine(3, 4);
    EXPECT_FALSE(loadPresetFile(*engine, folder.file("notes.txt"), &error));
    EXPECT_NE(error.find("is not a preset file"), std::string::npos) << error;
    EXPECT_FALSE(loadPresetFile(*engine, folder.file("missing.ini"), &error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    EXPECT_FALSE(loadUserPreset(*engine, folder.path, 6, &error));
    EXPECT_NE(error.find("is empty"), std::string::npos) << error;
    EXPECT_FALSE(loadUserPreset(*engine, folder.path + "nowhere", 5, &error));
    EXPECT_FALSE(loadFactoryPreset(*engine, 8, &error));
    EXPECT_FALSE(loadFactoryPreset(*engine, 0, &error));
    double value = 0;
    ASSERT_TRUE(getValue(*engine, "StereoImageProc.Mono", &value));
    EXPECT_EQ(value, 1.0) << "F4 is still loaded";
}

// A ceiling asked for by the control thread is made by the audio thread at its next block, clamped
// into the stage's range, exactly as setTruePeakCeiling made there.
TEST(EngineApi, ARequestedCeilingTakesEffectAtTheNextBlock) {
    EnginePtr asked = makeEngine(4, 1);
    EnginePtr direct = makeEngine(4, 1);
    const std::vector<short> input = programme(44100, 11);
    std::vector<double> a(input.begin(), input.end()), b(input.begin(), input.end());
    for (double& sample : a) sample /= 32768.0;
    for (double& sample : b) sample /= 32768.0;
    const int half = 22050;
    processBlockDouble(*asked, a.data(), half, 2);
    processBlockDouble(*direct, b.data(), half, 2);
    requestTruePeakCeiling(*asked, true, kLowestTruePeakCeilingDbtp - 8.0);
    EXPECT_FALSE(truePeakCeiling(*asked).on);  // not before the audio thread's next block
    setTruePeakCeiling(*direct, true, kLowestTruePeakCeilingDbtp);
    processBlockDouble(*asked, a.data() + 2 * half, half, 2);
    processBlockDouble(*direct, b.data() + 2 * half, half, 2);
    EXPECT_TRUE(truePeakCeiling(*asked).on);
    EXPECT_EQ(truePeakCeiling(*asked).ceilingDbtp, kLowestTruePeakCeilingDbtp);
    EXPECT_EQ(a, b);
    EXPECT_EQ(audioLatencyFrames(*asked), audioLatencyFrames(*direct));
}
