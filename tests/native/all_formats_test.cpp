// "Process all formats": the portable resampler, the module's adapter (block sizes, formats,
// pass-through) and the settings file key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/processor_state.h"
#include "dsp/stream_resampler.h"
#include "host/engine_api.h"
#include "host/format_adapter.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params_rig.h"
#include "platform/platform.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
uint32_t fixedClock() { return 1000000; }

// A sine through the portable kind in uneven calls: the output is the same sine at the new rate,
// at the same time (the filter's delay is withheld).
void expectSineSurvives(double fromRate, double toRate, double hz) {
    StreamResampler resampler;
    ASSERT_TRUE(createResampler(resampler, ResamplerKind::Portable, fromRate, toRate, 2, 1000));
    const int inFrames = static_cast<int>(fromRate);  // one second
    std::vector<float> in(2 * inFrames), out(4 * static_cast<size_t>(toRate) + 4096);
    for (int n = 0; n < inFrames; ++n) in[2 * n] = in[2 * n + 1] = static_cast<float>(0.5 * std::sin(kTwoPi * hz * n / fromRate));
    int64_t given = 0;
    for (int done = 0, call = 0; done < inFrames; ++call) {
        const int count = std::min(1 + (call * 37) % 1000, inFrames - done);
        given += resample(resampler, in.data() + 2 * done, count, out.data() + 2 * given, static_cast<int64_t>(out.size() / 2) - given);
        done += count;
    }
    ASSERT_GT(given, toRate * 0.9);
    double worst = 0.0;
    for (int64_t k = static_cast<int64_t>(toRate * 0.1); k < static_cast<int64_t>(toRate * 0.8) && k < given; ++k) {
        const double expected = 0.5 * std::sin(kTwoPi * hz * k / toRate);
        worst = std::max({worst, std::fabs(out[2 * k] - expected), std::fabs(out[2 * k + 1] - expected)});
    }
    EXPECT_LT(worst, 2e-4) << fromRate << " -> " << toRate;
    releaseResampler(resampler);
}

// Interleaved little-endian samples of `bps` bits, a chord and a level step, deterministic.
std::vector<uint8_t> signalBytes(int bps, int nch, int srate, int frames) {
    const int bytes = bps / 8;
    std::vector<uint8_t> out(static_cast<size_t>(frames) * nch * bytes);
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / srate;
        const double level = n < frames / 2 ? 0.1 : 0.6;
        for (int c = 0; c < nch; ++c) {
            const double v = level * (std::sin(kTwoPi * (110 + 55 * c) * t) + 0.5 * std::sin(kTwoPi * 1760 * t)) / 1.5;
            const int64_t full = int64_t{1} << (bps - 1);
            int64_t s = std::llround(v * static_cast<double>(full));
            if (bps == 8) s += 128;
            for (int b = 0; b < bytes; ++b) out[(static_cast<size_t>(n) * nch + c) * bytes + b] = static_cast<uint8_t>(s >> (8 * b));
        }
    }
    return out;
}

struct ModuleSession {
    paramsrig::ScratchFolder folder;
    winampDSPModule* module = nullptr;
    std::unique_ptr<ProcessorState> start = std::make_unique<ProcessorState>();
    EngineRandom random{};

    ModuleSession() {
        platform::setTickSourceForTesting(&fixedClock);
        initDone = false;
        setRandomSeedOverride(true, 777);
        module = winampDSPGetHeader2()->getModule(0);
        EXPECT_EQ(module->Init(module), 0);
        EXPECT_TRUE(LoadPreset(PluginEngine(), 0));
        std::memcpy(start.get(), &PluginEngine().state, sizeof(ProcessorState));
        random = PluginEngine().random;
    }
    ~ModuleSession() {
        setProcessAllFormats(false);
        module->Quit(module);
        platform::setTickSourceForTesting(nullptr);
        setRandomSeedOverride(false, 0);
        ClearProcessorState(PluginEngine().state);
        initDone = false;
    }
    // One whole signal in blocks, from the state the preset load left and with the switch as given.
    std::vector<uint8_t> run(std::vector<uint8_t> bytes, int bps, int nch, int srate, int block, bool allFormats) {
        setProcessAllFormats(false);
        module->ModifySamples(module, nullptr, 0, 16, 6, 44100);  // the adapter starts afresh
        std::memcpy(&PluginEngine().state, start.get(), sizeof(ProcessorState));
        PluginEngine().random = random;
        setProcessAllFormats(allFormats);
        const int frameBytes = nch * bps / 8;
        const int frames = static_cast<int>(bytes.size()) / frameBytes;
        for (int done = 0; done < frames; done += block) {
            const int count = std::min(block, frames - done);
            EXPECT_EQ(module->ModifySamples(module, reinterpret_cast<short*>(bytes.data() + done * frameBytes), count,
                                            bps, nch, srate), count);
        }
        return bytes;
    }
};

}  // namespace

TEST(AllFormats, PortableResamplerKeepsASineAndItsTiming) {
    expectSineSurvives(48000, 44100, 997);
    expectSineSurvives(44100, 48000, 997);
    expectSineSurvives(8000, 44100, 440);
    expectSineSurvives(44100, 192000, 5000);
    expectSineSurvives(192000, 44100, 5000);
}

TEST(AllFormats, RoutesFollowTheFormatTable) {
    EXPECT_EQ(routeOf({16, 2, 44100}), FormatRoute::Exact16);
    for (int bps : kProcessedSampleSizes) {
        for (int rate : kCommonRates) EXPECT_EQ(routeOf({bps, 2, rate}), FormatRoute::HighResolution) << bps << " " << rate;
        EXPECT_EQ(routeOf({bps, 1, 44100}), FormatRoute::HighResolution);
        EXPECT_EQ(routeOf({bps, 6, 48000}), FormatRoute::PassThrough);
    }
    EXPECT_EQ(routeOf({20, 2, 48000}), FormatRoute::PassThrough);
    EXPECT_EQ(routeOf({16, 2, kFirstProcessedRate - 1}), FormatRoute::PassThrough);
    EXPECT_EQ(routeOf({16, 2, kLastProcessedRate + 1}), FormatRoute::PassThrough);
}

TEST(AllFormats, ProcessedFormatsGiveTheSameOutputForEveryBlockSize) {
    ModuleSession session;
    const struct { int bps, nch, srate; } formats[] = {{24, 2, 48000}, {16, 1, 44100}, {8, 2, 22050}, {32, 1, 96000}};
    for (const auto& f : formats) {
        SCOPED_TRACE(testing::Message() << f.bps << "-bit " << f.nch << " ch " << f.srate << " Hz");
        const std::vector<uint8_t> input = signalBytes(f.bps, f.nch, f.srate, f.srate * 3 / 2);
        const std::vector<uint8_t> off = session.run(input, f.bps, f.nch, f.srate, 576, false);
        EXPECT_EQ(off, input) << "switched off, the format passes through";
        const std::vector<uint8_t> reference = session.run(input, f.bps, f.nch, f.srate, 576, true);
        EXPECT_NE(reference, input) << "switched on, the format is processed";
        for (int block : {1, 4096}) EXPECT_EQ(session.run(input, f.bps, f.nch, f.srate, block, true), reference) << block;
    }
}

TEST(AllFormats, ThePlugInsOwnFormatIsUnchangedByTheSwitchAndWideFormatsPassThrough) {
    ModuleSession session;
    const std::vector<uint8_t> input = signalBytes(16, 2, 44100, 30000);
    EXPECT_EQ(session.run(input, 16, 2, 44100, 576, true), session.run(input, 16, 2, 44100, 576, false));
    const std::vector<uint8_t> wide = signalBytes(16, 6, 48000, 5000);
    EXPECT_EQ(session.run(wide, 16, 6, 48000, 576, true), wide);
}

TEST(AllFormats, AFormatChangeStartsFromRestWithAFade) {
    ModuleSession session;
    setProcessAllFormats(true);
    std::vector<uint8_t> loud = signalBytes(16, 2, 44100, 44100);
    session.module->ModifySamples(session.module, reinterpret_cast<short*>(loud.data()), 44100, 16, 2, 44100);
    std::vector<uint8_t> next = signalBytes(24, 1, 44100, 400);
    const std::vector<uint8_t> before = next;
    session.module->ModifySamples(session.module, reinterpret_cast<short*>(next.data()), 400, 24, 1, 44100);
    // The first frame of the new format is faded to nothing; nothing of the old format comes out.
    EXPECT_EQ(next[0] | next[1] | next[2], 0);
    EXPECT_NE(next, before);
}

TEST(AllFormats, TheSettingsFileHoldsTheKeyOnlyWhileTheSwitchIsOn) {
    std::string offText, onText;
    for (bool on : {false, true}) {
        ModuleSession session;
        setProcessAllFormats(on);
        session.module->Quit(session.module);
        (on ? onText : offText) = session.folder.read(kSettingsFileName);
        initDone = false;
        ASSERT_EQ(session.module->Init(session.module), 0);
        EXPECT_EQ(processAllFormatsOn(), on) << "read back at start-up";
    }
    EXPECT_EQ(offText.find(kProcessAllFormatsKey), std::string::npos);
    EXPECT_NE(onText.find(std::string(kProcessAllFormatsKey)), std::string::npos);
    const std::string line = "General.ProcessAllFormats      = 1\r\n";
    std::string withoutKey = onText;
    withoutKey.erase(withoutKey.find(line), line.size());
    EXPECT_EQ(withoutKey, offText) << "the key is the only difference";
}

TEST(AllFormats, FormatChangesAfterTheReservationAllocateNothing) {
    Engine* engine = createEngine(1);
    ASSERT_NE(engine, nullptr);
    auto adapter = std::make_unique<FormatAdapter>();
    reserveFormatAdapter(*adapter);
    auto storage = [&] {
        const RateBridge& b = adapter->bridge;
        return std::vector<const void*>{b.down.coefficients.data(), b.down.history.data(), b.up.coefficients.data(),
                                        b.up.history.data(), b.input.samples.data(), b.engineInput.samples.data(),
                                        b.output.samples.data(), b.chunk.data(), b.resampled.data(), b.alignRing.data(),
                                        adapter->interleaved.data()};
    };
    const std::vector<const void*> reserved = storage();
    for (int rate : kCommonRates) {
        for (int channels : {2, 1}) {
            std::vector<uint8_t> block = signalBytes(24, channels, rate, 700);
            ASSERT_EQ(adaptBlock(*adapter, *engine, block.data(), 700, {24, channels, rate}), 700);
            EXPECT_EQ(storage(), reserved) << rate << " Hz, " << channels << " channel(s)";
        }
    }
    releaseRateBridge(adapter->bridge);
    destroyEngine(engine);
}
