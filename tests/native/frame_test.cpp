// The processing frame: format gate, conversion, clamp, silence guard, capture ring, idle reset.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "dsp/engine_random.h"
#include "dsp/frame.h"
#include "dsp/processor_state.h"
#include "platform/platform.h"

namespace {

uint32_t fakeNow = 100000;
uint32_t fakeTick() { return fakeNow; }

int pollCount = 0;
bool alwaysPoll() { return true; }
void countPoll() { ++pollCount; }

struct FrameFixture : ::testing::Test {
    std::unique_ptr<ProcessorState> state = std::make_unique<ProcessorState>();
    std::unique_ptr<LiveParams> params = std::make_unique<LiveParams>();
    EngineRandom random{};

    void SetUp() override {
        ClearProcessorState(*state);
        std::memset(params.get(), 0, sizeof(LiveParams));
        fakeNow = 100000;
        platform::setTickSourceForTesting(fakeTick);
        seedEngineRandom(random, 12345);
    }
    void TearDown() override { platform::setTickSourceForTesting(nullptr); }

    int process(std::vector<short>& samples, int bps = 16, int nch = 2, int srate = 44100) {
        const int frames = static_cast<int>(samples.size()) / 2;
        return ProcessBlock(samples.data(), frames, bps, nch, srate, *state, *params, random);
    }
};

}  // namespace

TEST(EngineRandom, FollowsTheLinearCongruentialSequence) {
    // state = state * 214013 + 2531011, result = (state >> 16) & 32767, from seed 1.
    EngineRandom random;
    seedEngineRandom(random, 1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int value : expected) EXPECT_EQ(engineRand(random), value);
    seedEngineRandom(random, 0xFFFFFFFFu);  // wraps modulo 2^32
    const uint32_t next = 0xFFFFFFFFu * 214013u + 2531011u;
    EXPECT_EQ(engineRand(random), static_cast<int>((next >> 16) & 32767u));
}

TEST_F(FrameFixture, UnprocessedFormatsComeBackUntouched) {
    const struct { int bps, nch, srate; } formats[] = {
        {8, 2, 44100}, {24, 2, 44100}, {32, 2, 44100}, {16, 1, 44100}, {16, 6, 44100}, {16, 2, 48000}, {16, 2, 22050}};
    for (const auto& format : formats) {
        std::vector<short> samples(6 * 600);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>(i * 7919 % 65536 - 32768);
        const std::vector<short> original = samples;
        EXPECT_EQ(ProcessBlock(samples.data(), 600, format.bps, format.nch, format.srate, *state, *params, random), 600);
        EXPECT_EQ(samples, original) << format.bps << " bits, " << format.nch << " channels, " << format.srate;
    }
    EXPECT_EQ(state->lastProcessTick, 0u);
    EXPECT_EQ(state->capture.writeIndex, 0);
}

TEST_F(FrameFixture, BypassKeepsAudioAndMeters) {
    params->general.mainBypass = 1;
    state->inputMeter = 42.0;
    std::vector<short> samples = {1000, -1000, 32767, -32768};
    const std::vector<short> original = samples;
    EXPECT_EQ(process(samples), 2);
    EXPECT_EQ(samples, original);
    EXPECT_EQ(state->inputMeter, 42.0);
    EXPECT_EQ(state->clipFlag, 0);
}

TEST_F(FrameFixture, AllStagesOffIsIdentityInsideTheClamp) {
    std::vector<short> samples;
    for (int v = -32768; v <= 32767; v += 3) {
        samples.push_back(static_cast<short>(v == 0 ? 1 : v));
        samples.push_back(static_cast<short>(v == 0 ? -1 : -v - 1 > 32767 ? 32767 : -v - 1 == 0 ? 1 : -v - 1));
    }
    const std::vector<short> original = samples;
    process(samples);
    for (size_t i = 0; i < samples.size(); ++i) {
        const int x = original[i];
        const int expected = x >= 32765 ? 32764 : x <= -32765 ? -32764 : x;
        ASSERT_EQ(samples[i], expected) << "at " << i;
    }
    EXPECT_EQ(state->clipFlag, 1);
}

TEST_F(FrameFixture, SmallSignalLeavesClipFlagClear) {
    std::vector<short> samples = {32764, -32764, 100, -100};
    process(samples);
    EXPECT_EQ(samples[0], 32764);
    EXPECT_EQ(samples[1], -32764);
    EXPECT_EQ(state->clipFlag, 0);
}

TEST_F(FrameFixture, MinimumInputIsClampedAndFlagged) {
    std::vector<short> samples = {-32768, -32768};
    process(samples);
    EXPECT_EQ(samples[0], -32764);
    EXPECT_EQ(samples[1], -32764);
    EXPECT_EQ(state->clipFlag, 1);
}

TEST_F(FrameFixture, DigitalSilenceStaysSilentAfterTheNoiseStarts) {
    std::vector<short> samples(2 * 300, 0);
    process(samples);
    for (short s : samples) ASSERT_EQ(s, 0);
    EXPECT_EQ(state->silenceCount, 300);
    // The noise started at frame 101: the capture ring holds tiny non-zero values from there on.
    bool sawNoise = false;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(state->capture.samples[i], 0.0) << i;
    for (int i = 100; i < 300; ++i) {
        EXPECT_LE(std::abs(state->capture.samples[i]), 128 * 1.1920928955078125e-07);
        sawNoise = sawNoise || state->capture.samples[i] != 0.0;
    }
    EXPECT_TRUE(sawNoise);
}

TEST_F(FrameFixture, NonZeroFrameRestartsTheSilenceCount) {
    std::vector<short> samples = {0, 5, 5, 5, 5, 0};
    process(samples);
    EXPECT_EQ(state->silenceCount, 1);
}

TEST_F(FrameFixture, MetersFollowRisesAndFallSlowly) {
    std::vector<short> samples = {16384, 16384, 0, 0};  // 0.5 full scale, then silence
    process(samples);
    EXPECT_DOUBLE_EQ(state->inputMeter, 50.0 - 0.01);
    EXPECT_DOUBLE_EQ(state->outputMeter, 50.0 - 0.01);
    EXPECT_DOUBLE_EQ(followPeakMeter(0.005, 0.0), 0.0);  // never negative
}

TEST_F(FrameFixture, CaptureIndexWrapsAfter65536Frames) {
    std::vector<short> samples(2 * 65536, 1000);
    process(samples);
    EXPECT_EQ(state->capture.writeIndex, 0);
    std::vector<short> one = {2000, 2000};
    process(one);
    EXPECT_EQ(state->capture.writeIndex, 1);
    EXPECT_DOUBLE_EQ(state->capture.samples[0], 2000.0 / 32768.0);
}

TEST_F(FrameFixture, IdleResetAfterMoreThan6000ms) {
    std::vector<short> samples = {10, 10};
    process(samples);
    EXPECT_EQ(state->lastProcessTick, 100000u);

    state->highpass.filter.ring[5][0] = 1.0;
    fakeNow = 106000;  // exactly 6000 ms later: no reset
    process(samples);
    EXPECT_EQ(state->highpass.filter.ring[5][0], 1.0);

    fakeNow = 112001;  // 6001 ms later: reset
    process(samples);
    EXPECT_EQ(state->highpass.filter.ring[5][0], 0.0);
    EXPECT_EQ(state->lastProcessTick, 112001u);
}

TEST_F(FrameFixture, EmptyBlockStillPollsTestsIdleAndRefreshesTheTick) {
    state->hooks = {alwaysPoll, countPoll, nullptr};
    pollCount = 0;
    state->highpass.filter.ring[5][0] = 1.0;
    EXPECT_EQ(ProcessBlock(nullptr, 0, 16, 2, 44100, *state, *params, random), 0);
    EXPECT_EQ(pollCount, 1);
    EXPECT_EQ(state->lastPollTick, 100000u);
    EXPECT_EQ(state->highpass.filter.ring[5][0], 0.0);
    EXPECT_EQ(state->lastProcessTick, 100000u);
}

TEST_F(FrameFixture, PollRunsEvery2sEvenForUnprocessedFormats) {
    state->hooks = {alwaysPoll, countPoll, nullptr};
    pollCount = 0;
    std::vector<short> samples(4, 0);
    process(samples, 8);
    EXPECT_EQ(pollCount, 1);
    fakeNow += 2000;  // not more than 2000 ms: no poll
    process(samples, 8);
    EXPECT_EQ(pollCount, 1);
    fakeNow += 1;
    process(samples, 24);
    EXPECT_EQ(pollCount, 2);
}

TEST_F(FrameFixture, TickComparisonsWrapAsUnsignedAdditions) {
    // Near the 32-bit wrap, lastProcessTick + 6000 overflows to a small number, so any later
    // tick compares as "more than 6000 ms" and the filters are cleared: plain unsigned arithmetic.
    state->lastProcessTick = 0xFFFFFFFFu - 10;
    fakeNow = 0xFFFFFFFFu - 5;
    state->highpass.filter.ring[5][0] = 1.0;
    std::vector<short> samples = {10, 10};
    process(samples);
    EXPECT_EQ(state->highpass.filter.ring[5][0], 0.0);
}

TEST_F(FrameFixture, NullSamplesWithFramesDoNotCrash) {
    EXPECT_EQ(ProcessBlock(nullptr, 576, 16, 2, 44100, *state, *params, random), 576);
    EXPECT_EQ(ProcessBlock(nullptr, -3, 16, 2, 44100, *state, *params, random), -3);
}

TEST_F(FrameFixture, PostAmpAndDitherStayWithinHalfAStep) {
    params->general.ditherActive = 1;
    std::vector<short> samples;
    for (int i = 0; i < 2000; ++i) {
        samples.push_back(static_cast<short>(1000 + i));
        samples.push_back(static_cast<short>(-1000 - i));
    }
    const std::vector<short> original = samples;
    process(samples);
    for (size_t i = 0; i < samples.size(); ++i) {
        // The noise lies in [-2^-16, 127 * 2^-23]: truncation moves a value by at most one step toward zero.
        ASSERT_LE(std::abs(samples[i] - original[i]), 1) << i;
    }
    params->general.ditherActive = 0;
    params->general.postAmpDb = 20.0;  // x10, applied even with every stage off
    std::vector<short> boosted = {1000, -1000, 4000, 10};
    process(boosted);
    EXPECT_EQ(boosted[0], 10000);
    EXPECT_EQ(boosted[1], -10000);
    EXPECT_EQ(boosted[2], 32764);
    EXPECT_EQ(state->clipFlag, 1);
}

TEST_F(FrameFixture, PresetLoadResetIsHonouredEvenEarlyAfterBoot) {
    // Tick counter at 2,500 ms: "now > 0 + 6000" would be false, yet a cleared lastProcessTick
    // (what a preset load writes) must still clear the filter memories.
    fakeNow = 2500;
    state->lastProcessTick = 0;
    state->highpass.filter.ring[5][0] = 1.0;
    std::vector<short> samples = {10, 10};
    process(samples);
    EXPECT_EQ(state->highpass.filter.ring[5][0], 0.0);
    state->highpass.filter.ring[5][0] = 1.0;
    fakeNow = 2600;  // an ordinary next block: no reset
    process(samples);
    EXPECT_EQ(state->highpass.filter.ring[5][0], 1.0);
}
