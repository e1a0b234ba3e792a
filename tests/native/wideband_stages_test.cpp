// Test tone, stereo image, AGC, three-band EQ, final limiter, final clipper and dither.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/agc.h"
#include "dsp/derived_parameters.h"
#include "dsp/final_clipper.h"
#include "dsp/final_limiter.h"
#include "dsp/processor_state.h"
#include "dsp/stereo_image.h"
#include "dsp/test_tone.h"
#include "dsp/three_band_eq.h"
#include "wideband_rig.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Deterministic white noise in [-amplitude, amplitude).
struct Noise {
    uint32_t seed;
    double next(double amplitude) {
        seed = seed * 1664525u + 1013904223u;
        return (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) * amplitude;
    }
};

double sineAt(double hz, int n) { return std::sin(kTwoPi * hz * n / 44100); }

// Runs `frames` frames of a stereo source through a stage step and returns the interleaved output.
std::vector<double> runStage(int frames, const std::function<void(int, double&, double&)>& source,
                             const std::function<void(double&, double&, int)>& step) {
    std::vector<double> out(2 * frames);
    for (int n = 0; n < frames; ++n) {
        double L, R;
        source(n, L, R);
        step(L, R, n);
        out[2 * n] = L;
        out[2 * n + 1] = R;
    }
    return out;
}

void expectAllFinite(const std::vector<double>& x) {
    for (double v : x) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace

// ---- test tone ----

TEST(TestTone, SineAt640HzMinus12dBThroughTheIdleChain) {
    WidebandRig rig;
    TestToneGenerator& tone = rig.state->testTone;
    tone.levelDb = -12;
    tone.frequencyHz = 640;
    tone.sine = 1;
    rig.design();
    std::vector<short> samples(2 * 8192, 0);
    rig.run(samples, 576);
    int peak = 0;
    for (size_t i = 0; i < samples.size(); i += 2) {
        ASSERT_EQ(samples[i], samples[i + 1]);
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    }
    // 10^(-12/20) * 32768 = 8230.95, truncated; 69 frames per period sample the crest within 0.1 %.
    EXPECT_LE(peak, 8230);
    EXPECT_GE(peak, 8220);
}

TEST(TestTone, PhaseWrapsOnceAndNoiseFollowsTheGenerator) {
    TestToneGenerator tone{};
    EngineRandom random{};
    tone.levelDb = 0;
    tone.frequencyHz = 20480;
    tone.sine = 1;
    prepareBlock(tone);
    EXPECT_EQ(tone.toneAmplitude, 1.0);
    const double step = 20480 * 0.00014247585730565955;
    for (int n = 0; n < 10000; ++n) {
        double L = 0, R = 0;
        processSample(tone, random, L, R);
        ASSERT_GT(tone.tonePhase, 0.0);
        ASSERT_LE(tone.tonePhase, kTwoPi + step);
    }

    tone.sine = 0;
    tone.noise = 1;
    tone.muteInput = 1;
    seedEngineRandom(random, 1);  // first draw 41
    double L = 0.3, R = -0.3;
    processSample(tone, random, L, R);
    EXPECT_NEAR(L, (41.0 / 32767 - 0.5) * 2, 1e-15);
    EXPECT_EQ(L, R);

    // Values from files the oscillator cannot take are held to the control's range.
    tone.frequencyHz = kNaN;
    tone.levelDb = 1e6;
    prepareBlock(tone);
    EXPECT_EQ(tone.toneStep, 20 * 0.00014247585730565955);
    EXPECT_NEAR(tone.toneAmplitude, std::pow(10.0, 12 / 20.0), 1e-12);
}

// ---- stereo image ----

namespace {

StereoImageParams stereoParams(double amount, double maxEnhanceDb) {
    StereoImageParams p{};
    p.amountPercent = amount;
    p.detect1Ms = 1;
    p.detect2Ms = 1;
    p.maxEnhanceDb = maxEnhanceDb;
    return p;
}

}  // namespace

TEST(StereoImage, MonoFoldsAndIdenticalChannelsPass) {
    StereoImageProcessor stage{};
    stage.meterDb = -7;
    StereoImageParams p = stereoParams(50, 6);
    p.mono = 1;
    prepareBlock(stage, p);
    double L = 0.75, R = -0.25;
    processSample(stage, p, L, R);
    EXPECT_EQ(L, 0.25);
    EXPECT_EQ(R, 0.25);
    EXPECT_EQ(stage.fastPower, 0.0);
    finishBlock(stage, p);
    EXPECT_EQ(stage.meterDb, -7);  // mono mode publishes nothing

    p.mono = 0;
    Noise noise{5};
    for (int n = 0; n < 5000; ++n) {
        const double x = noise.next(0.9);
        double l = x, r = x;
        processSample(stage, p, l, r);
        ASSERT_EQ(l, x);
        ASSERT_EQ(r, x);
    }
}

TEST(StereoImage, SteadySignalSettlesAtTheBoundedSideGain) {
    // L 0.6, R 0.2: mid 0.4, side 0.2, so F and A settle at 0.4 and g = 0.4 / 0.41 * Amount / 20.
    struct Case {
        double amount, maxEnhanceDb, sideGain;
    };
    for (const Case c : {Case{50, 6, std::pow(10.0, 0.3)}, Case{30, 18, 0.4 / 0.41 * 1.5}, Case{20, 6, 1.0}}) {
        StereoImageProcessor stage{};
        const StereoImageParams p = stereoParams(c.amount, c.maxEnhanceDb);
        prepareBlock(stage, p);
        double L = 0, R = 0;
        for (int n = 0; n < 5000; ++n) {
            L = 0.6;
            R = 0.2;
            processSample(stage, p, L, R);
        }
        EXPECT_NEAR(L, 0.4 + c.sideGain * 0.2, 1e-12) << c.amount;
        EXPECT_NEAR(R, 0.4 - c.sideGain * 0.2, 1e-12) << c.amount;
        finishBlock(stage, p);
        EXPECT_NEAR(stage.meterDb, 20 * std::log10(c.sideGain + 0.00001), 1e-9) << c.amount;
    }
}

TEST(StereoImage, DetectorTimesFromFilesAreHeldToTheirRange) {
    auto run = [](StereoImageParams p) {
        StereoImageProcessor stage{};
        prepareBlock(stage, p);
        Noise noise{11};
        return runStage(
            3000, [&](int, double& L, double& R) { L = noise.next(0.8), R = noise.next(0.3); },
            [&](double& L, double& R, int) { processSample(stage, p, L, R); });
    };
    StereoImageParams broken = stereoParams(kNaN, kNaN);
    broken.detect1Ms = 0;
    broken.detect2Ms = -20;
    StereoImageParams ends = stereoParams(1, 1);
    const std::vector<double> out = run(broken);
    expectAllFinite(out);
    EXPECT_EQ(out, run(ends));
    broken.detect1Ms = 1e9;
    broken.detect2Ms = kNaN;
    ends.detect1Ms = 500;
    EXPECT_EQ(run(broken), run(ends));
}

// ---- two-band AGC ----

namespace {

std::unique_ptr<TwoBandAgc> makeAgc() {
    auto agc = std::make_unique<TwoBandAgc>();
    BiquadCoefficients low, high;
    agcCrossoverCoefficients(400, low, high);
    SetCoefficients(agc->lowBand.biquad, low);
    SetCoefficients(agc->highBand.biquad, high);
    idleReset(*agc);
    return agc;
}

AgcParams agcParams() {
    AgcParams p{};
    p.levelPercent = 90;
    p.maxGainDb = 25;
    p.crossoverHz = 400;
    p.bandLinkPercent = 50;
    p.attackLowMs = p.attackHighMs = p.releaseLowMs = p.releaseHighMs = 10;
    p.detectLowMs = p.detectHighMs = 10;
    return p;
}

}  // namespace

TEST(Agc, LevelZeroOrMaxGainZeroHoldBandGainsAtUnity) {
    AgcParams levelZero = agcParams();
    levelZero.levelPercent = 0;
    AgcParams gainZero = agcParams();
    gainZero.maxGainDb = 0;
    for (AgcParams p : {levelZero, gainZero}) {
        for (uint8_t single : {0, 1}) {
            p.singleBand = single;
            auto agc = makeAgc();
            prepareBlock(*agc, p);
            for (int n = 0; n < 12000; ++n) {
                double L = 0.05 * sineAt(1000, n), R = 0.02 * sineAt(100, n);
                processSample(*agc, p, L, R);
                ASSERT_EQ(agc->gainLow, 1.0);
                if (!single) {
                    ASSERT_EQ(agc->gainHigh, 1.0);
                }
            }
        }
    }
}

TEST(Agc, SilenceRaisesBandGainsToTheMaximum) {
    const double maxGain = std::pow(10.0, 25 / 20.0);
    for (uint8_t single : {0, 1}) {
        AgcParams p = agcParams();
        p.singleBand = single;
        auto agc = makeAgc();
        prepareBlock(*agc, p);
        for (int n = 0; n < 20000; ++n) {
            double L = 0, R = 0;
            processSample(*agc, p, L, R);
        }
        finishBlock(*agc, p);
        EXPECT_NEAR(agc->gainLow, maxGain, 1e-9);
        EXPECT_NEAR(agc->meterLowDb, 25, 1e-5);
        if (!single) {
            EXPECT_NEAR(agc->gainHigh, maxGain, 1e-9);
            EXPECT_NEAR(agc->gainWide, 1.0, 1e-9);  // the wideband gain only cuts
            EXPECT_NEAR(agc->meterReductionDb, 0.0, 1e-4);
        }
    }
}

TEST(Agc, WidebandGainRecoversAtTheMeanAttackRate) {
    // Attack 0 on both bands makes the mean attack coefficient 1: gW (0 after load) reaches its
    // silent target 1 at the first frame, although the release times are long.
    AgcParams p = agcParams();
    p.attackLowMs = p.attackHighMs = 0;
    p.releaseLowMs = p.releaseHighMs = 1000;
    auto agc = makeAgc();
    prepareBlock(*agc, p);
    double L = 0, R = 0;
    processSample(*agc, p, L, R);
    EXPECT_EQ(agc->gainWide, 1.0);
}

TEST(Agc, LinkZeroKeepsBandsApartAndFullLinkAveragesThem) {
    // A 5 kHz sine of 0.3 on both channels: the high band measures 0.3 and settles at
    // (0.4 / 0.3 - 1) * 0.9 + 1 = 1.3; the low band hears almost nothing and rises to 25 dB.
    AgcParams p = agcParams();
    p.bandLinkPercent = 0;
    auto agc = makeAgc();
    prepareBlock(*agc, p);
    for (int n = 0; n < 40000; ++n) {
        double L = 0.3 * sineAt(5000, n), R = L;
        processSample(*agc, p, L, R);
    }
    const double maxGain = std::pow(10.0, 25 / 20.0);
    finishBlock(*agc, p);
    EXPECT_NEAR(agc->meterLowDb, 25, 0.01);
    EXPECT_NEAR(agc->meterHighDb, 20 * std::log10(1.3), 0.05);

    p.bandLinkPercent = 100;
    prepareBlock(*agc, p);
    finishBlock(*agc, p);
    EXPECT_EQ(agc->meterLowDb, agc->meterHighDb);
    EXPECT_NEAR(agc->meterLowDb, 20 * std::log10((maxGain + 1.3) / 2), 0.05);
}

TEST(Agc, SingleBandAtUnityPassesTheInputUnchanged) {
    AgcParams p = agcParams();
    p.singleBand = 1;
    p.levelPercent = 0;
    auto agc = makeAgc();
    prepareBlock(*agc, p);
    Noise noise{9};
    for (int n = 0; n < 10000; ++n) {
        const double l = noise.next(0.9), r = noise.next(0.9);
        double L = l, R = r;
        processSample(*agc, p, L, R);
        ASSERT_EQ(L, l);
        ASSERT_EQ(R, r);
    }
}

TEST(Agc, TimesFromFilesAreHeldToTheirRange) {
    auto run = [](AgcParams p) {
        auto agc = makeAgc();
        prepareBlock(*agc, p);
        Noise noise{13};
        return runStage(
            12000, [&](int, double& L, double& R) { L = noise.next(0.7), R = noise.next(0.1); },
            [&](double& L, double& R, int) { processSample(*agc, p, L, R); });
    };
    AgcParams broken = agcParams(), ends = agcParams();
    broken.detectLowMs = 0;
    broken.detectHighMs = -1;
    broken.attackLowMs = kNaN;
    broken.releaseHighMs = kNaN;
    broken.levelPercent = kNaN;
    ends.detectLowMs = ends.detectHighMs = 1;
    ends.attackLowMs = ends.releaseHighMs = 0;
    ends.levelPercent = 0;
    const std::vector<double> out = run(broken);
    expectAllFinite(out);
    EXPECT_EQ(out, run(ends));
}

// ---- three-band equaliser ----

namespace {

ThreeBandEqualizer makeEq(double f1, double f2, double G1, double G2, double G3) {
    ThreeBandEqualizer eq{};
    for (ThreeBandEqChannel* ch : {&eq.left, &eq.right}) {
        designThreeBandChannel(*ch, f1, f2, 44100, true);
        ch->G1 = G1;
        ch->G2 = G2;
        ch->G3 = G3;
    }
    return eq;
}

}  // namespace

TEST(ThreeBandEq, UnityGainsGiveTheInputDelayedThreeSamples) {
    for (auto [f1, f2] : {std::pair{880.0, 5000.0}, std::pair{6000.0, 500.0}}) {
        ThreeBandEqualizer eq = makeEq(f1, f2, 1, 1, 1);
        Noise noise{17};
        std::vector<double> in(2 * 5000);
        for (double& x : in) x = noise.next(0.9);
        for (int n = 0; n < 5000; ++n) {
            double L = in[2 * n], R = in[2 * n + 1];
            processSample(eq, L, R);
            ASSERT_NEAR(L, n >= 3 ? in[2 * (n - 3)] : 0.0, 1e-9) << f1 << " frame " << n;
            ASSERT_NEAR(R, n >= 3 ? in[2 * (n - 3) + 1] : 0.0, 1e-9) << f1 << " frame " << n;
        }
    }
}

TEST(ThreeBandEq, MutedBandsAndConstantInput) {
    ThreeBandEqualizer muted = makeEq(880, 5000, 0, 0, 0);
    Noise noise{19};
    for (int n = 0; n < 2000; ++n) {
        double L = noise.next(1), R = noise.next(1);
        processSample(muted, L, R);
        ASSERT_EQ(L, 0.0);
        ASSERT_EQ(R, 0.0);
    }

    // A constant c: bass settles at c + D / c1, mid at D / c2 - D / c1, treble at -D / c2.
    const double D = 2.3283064370807974e-10;
    const double c1 = 2 * std::sin(3.141592653589793 * 2000 / 44100);
    const double c2 = 2 * std::sin(3.141592653589793 * 5000 / 44100);
    const double expected[3] = {0.5 + D / c1, D / c2 - D / c1, -D / c2};
    for (int band = 0; band < 3; ++band) {
        ThreeBandEqualizer eq = makeEq(2000, 5000, band == 0, band == 1, band == 2);
        double L = 0, R = 0;
        for (int n = 0; n < 5000; ++n) {
            L = R = 0.5;
            processSample(eq, L, R);
        }
        EXPECT_NEAR(L, expected[band], 1e-15) << "band " << band + 1;
        EXPECT_EQ(L, R);
    }
}

TEST(ThreeBandEq, CrossoversFromFilesAreClampedToTheRegisteredRange) {
    auto state = std::make_unique<ProcessorState>();
    const auto c1 = [&] { return state->designs.designer.threeBandC1; };
    const auto c2 = [&] { return state->designs.designer.threeBandC2; };
    const double at7241 = 2 * std::sin(7241 * (1 / 44100.0) * 3.141592653589793);
    DesignThreeBandEq(*state, true, 7241, 9000);  // the range's top is used as it stands
    EXPECT_EQ(c1(), at7241);
    EXPECT_NEAR(c1(), 0.9865, 5e-5);
    EXPECT_EQ(c2(), at7241);
    DesignThreeBandEq(*state, true, 5, -std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(c1(), 2 * std::sin(20 * (1 / 44100.0) * 3.141592653589793));
    EXPECT_EQ(c2(), c1());
}

// ---- final limiter ----

namespace {

FinalLimiterParams limiterParams() {
    FinalLimiterParams p{};
    p.lookaheadMs = 5;
    p.attackMs = 10;
    p.releaseMs = 500;
    p.detectMs = 20;
    return p;
}

std::vector<double> runLimiter(const FinalLimiterParams& p, int frames,
                               const std::function<void(int, double&, double&)>& source,
                               FinalLimiter* keep = nullptr) {
    auto owned = std::make_unique<FinalLimiter>();
    FinalLimiter& limiter = keep != nullptr ? *keep : *owned;
    prepareBlock(limiter, p);
    return runStage(frames, source, [&](double& L, double& R, int n) { processSample(limiter, L, R, n == 0); });
}

}  // namespace

TEST(FinalLimiter, QuietSignalIsDelayed4095Frames) {
    FinalLimiterParams p = limiterParams();
    p.releaseMs = 0;
    std::vector<double> in(2 * 10000);
    Noise noise{23};
    for (double& x : in) x = noise.next(0.01);
    auto limiter = std::make_unique<FinalLimiter>();
    const std::vector<double> out = runLimiter(
        p, 10000, [&](int n, double& L, double& R) { L = in[2 * n], R = in[2 * n + 1]; }, limiter.get());
    for (int n = 0; n < 10000; ++n) {
        ASSERT_EQ(out[2 * n], n >= 4095 ? in[2 * (n - 4095)] : 0.0) << "frame " << n;
        ASSERT_EQ(out[2 * n + 1], n >= 4095 ? in[2 * (n - 4095) + 1] : 0.0) << "frame " << n;
    }
    EXPECT_EQ(limiter->meterDb, 0.0);
}

TEST(FinalLimiter, PeakModeWithoutLookaheadOrAttackIsABrickWall) {
    FinalLimiterParams p = limiterParams();
    p.peakDetect = 1;
    p.lookaheadMs = 0;
    p.attackMs = 0;
    p.driveDb = 6;
    p.thresholdDb = -6;
    Noise noise{29};
    const std::vector<double> out =
        runLimiter(p, 30000, [&](int, double& L, double& R) { L = noise.next(1), R = noise.next(0.5); });
    const double threshold = std::pow(10.0, -6 / 20.0);
    for (double v : out) ASSERT_LE(std::fabs(v), threshold);
}

TEST(FinalLimiter, LookaheadCutsTheGainBeforeThePeakLeaves) {
    // 5 ms is 220 frames: the peak written at frame 6000 reaches the detector when the output
    // emits frame 5780, which then leaves at threshold / peak.
    FinalLimiterParams p = limiterParams();
    p.peakDetect = 1;
    p.attackMs = 0;
    p.releaseMs = 0;
    p.detectMs = 1;
    p.thresholdDb = -6;
    const std::vector<double> out =
        runLimiter(p, 11000, [](int n, double& L, double& R) { L = R = n == 6000 ? 1.0 : 0.1; });
    const int emit = 6000 - 220 + 4095;
    EXPECT_EQ(out[2 * (emit - 1)], 0.1);
    EXPECT_NEAR(out[2 * emit], 0.1 * std::pow(10.0, -6 / 20.0) / 1.00001, 1e-15);
}

TEST(FinalLimiter, RmsModeHoldsIdenticalChannelsNearThresholdOverRootTwo) {
    FinalLimiterParams p = limiterParams();
    p.attackMs = p.releaseMs = p.detectMs = 1;
    const std::vector<double> out = runLimiter(p, 20000, [](int, double& L, double& R) { L = R = 0.8; });
    // T = 0.5 at 0 dB; the level of two channels of 0.8 is 0.8 * sqrt(2).
    EXPECT_NEAR(out.back(), 0.5 / (0.8 * std::sqrt(2.0) + 0.00001) * 0.8, 1e-12);
}

TEST(FinalLimiter, ValuesFromFilesAreHeldToTheirRange) {
    auto source = [](int n, double& L, double& R) { L = 0.9 * sineAt(300, n), R = 0.4 * sineAt(3000, n); };
    FinalLimiterParams broken = limiterParams(), ends = limiterParams();
    broken.lookaheadMs = 1000;
    broken.detectMs = 0;
    broken.attackMs = kNaN;
    broken.thresholdDb = -1e9;
    ends.lookaheadMs = 90;
    ends.detectMs = 1;
    ends.attackMs = 0;
    ends.thresholdDb = -24;
    auto limiter = std::make_unique<FinalLimiter>();
    const std::vector<double> out = runLimiter(broken, 12000, source, limiter.get());
    EXPECT_EQ(limiter->lookaheadFrames, 3969);
    expectAllFinite(out);
    EXPECT_EQ(out, runLimiter(ends, 12000, source));

    broken.lookaheadMs = kNaN;
    broken.releaseMs = -std::numeric_limits<double>::infinity();
    ends.lookaheadMs = 0;
    ends.releaseMs = 0;
    prepareBlock(*limiter, broken);
    EXPECT_EQ(limiter->lookaheadFrames, 0);
    EXPECT_EQ(limiter->release, 1.0);
    EXPECT_EQ(runLimiter(broken, 12000, source), runLimiter(ends, 12000, source));
}

TEST(FinalLimiter, RunsFollowTheGainFormulaAtAndAroundTheThreshold) {
    // Levels rise through the threshold in small steps and, in peak mode, come back to it every
    // other frame (level + floor = T, and a unit in the last place either side), where the quotient
    // T / (level + floor) is exactly 1 or just off it. Runs of several lengths must give the bits
    // of the formula taken frame by frame.
    for (const bool peak : {true, false}) {
        FinalLimiterParams p = limiterParams();
        p.peakDetect = peak ? 1 : 0;
        p.lookaheadMs = 0;  // the detector reads the row that leaves, 4,095 frames after it came in
        p.thresholdDb = -3;
        p.attackMs = p.releaseMs = 0;  // the gain is each frame's t, bit for bit
        auto limiter = std::make_unique<FinalLimiter>();
        prepareBlock(*limiter, p);
        ASSERT_EQ(limiter->drive, 1.0);
        const double T = limiter->threshold;
        std::vector<double> levels;
        for (int i = 0; i < 400; ++i) levels.push_back(T * (0.9 + 0.0005 * i));
        // The level whose sum with the floor rounds to `floored`.
        const auto levelFloored = [](double floored) {
            double x = floored - 0.00001;
            for (int i = 0; i < 64 && x + 0.00001 != floored; ++i) x = std::nextafter(x, x + 0.00001 < floored ? 1.0 : 0.0);
            return x;
        };
        for (const double floored : {std::nextafter(T, 0.0), T, std::nextafter(T, 1.0)}) {
            const double x = levelFloored(floored);
            ASSERT_EQ(x + 0.00001, floored);
            for (int i = 0; i < 20; ++i) levels.insert(levels.begin() + 150, {x, 0.0});
        }
        levels.resize(levels.size() + kLimiterRingFrames);  // until the last level has left
        // Peak mode: one channel carries the level. RMS mode: the left one alone, level^2 its power.
        std::vector<double> in;
        for (const double level : levels) {
            in.push_back(level);
            in.push_back(peak ? -0.5 * level : 0.0);
        }
        const int frames = static_cast<int>(levels.size());

        std::vector<double> expected(in.size()), ringL(kLimiterRingFrames, 0.0), ringR(kLimiterRingFrames, 0.0);
        double envelope = 0, gain = 0;
        const double cd = limiter->detect;
        for (int n = 0; n < frames; ++n) {
            ringL[n % kLimiterRingFrames] = in[2 * n];
            ringR[n % kLimiterRingFrames] = in[2 * n + 1];
            const double l = ringL[(n + 1) % kLimiterRingFrames], r = ringR[(n + 1) % kLimiterRingFrames];
            double level;
            if (peak) {
                const double q = std::max(std::fabs(l), std::fabs(r));
                envelope = q > envelope ? q : envelope * (1 - cd);
                level = envelope;
            } else {
                envelope = (r * r + l * l) * cd + envelope * (1 - cd);
                level = std::sqrt(envelope);
            }
            double t = T / (level + 0.00001);
            if (t > 1) t = 1;
            gain = t < gain ? t * limiter->attack + gain * (1 - limiter->attack)
                            : t * limiter->release + gain * (1 - limiter->release);
            expected[2 * n] = gain * l;
            expected[2 * n + 1] = gain * r;
        }
        std::vector<double> out = in;
        for (int f = 0, run = 1; f < frames; f += run, run = run % 64 + 7) {
            processFrames(*limiter, &out[2 * f], std::min(run, frames - f), f == 0);
        }
        for (int n = 0; n < frames; ++n) {
            ASSERT_EQ(out[2 * n], expected[2 * n]) << (peak ? "peak" : "RMS") << " frame " << n;
            ASSERT_EQ(out[2 * n + 1], expected[2 * n + 1]) << (peak ? "peak" : "RMS") << " frame " << n;
        }
    }
}

// ---- final clipper ----

namespace {

double clipOnce(FinalClipper& clipper, const FinalClipperParams& p, double x) {
    double L = x, R = 0;
    processSample(clipper, p, L, R);
    return L;
}

}  // namespace

TEST(FinalClipper, SoftCurvePointsAndRail) {
    FinalClipper clipper{};
    FinalClipperParams p{};
    prepareBlock(clipper, p);  // threshold 0 dB: T = 1
    EXPECT_NEAR(clipOnce(clipper, p, 0.5), 0.5 * (1 - 1.0 / 27), 1e-12);
    EXPECT_EQ(clipOnce(clipper, p, 1.5), 1.0);
    EXPECT_EQ(clipOnce(clipper, p, -1.5), -1.0);
    EXPECT_EQ(clipOnce(clipper, p, 4.0), 1.0);
    EXPECT_NEAR(clipOnce(clipper, p, 1e-6), 1e-6, 1e-18);

    p.thresholdDb = -0.1;
    prepareBlock(clipper, p);
    const double T = std::pow(10.0, -0.005);
    EXPECT_NEAR(clipper.threshold, 0.98855, 1e-5);
    for (double x = -3; x <= 3; x += 0.001) ASSERT_LE(std::fabs(clipOnce(clipper, p, x)), T);
}

TEST(FinalClipper, ComplexModePassesBelowThresholdAndHoldsTheEnvelopeAbove) {
    FinalClipperParams p{};
    p.complex = 1;
    for (double amplitude : {0.3, 2.0}) {
        FinalClipper clipper{};
        prepareBlock(clipper, p);
        const std::vector<double> out = runStage(
            4000, [&](int n, double& L, double& R) { L = amplitude * sineAt(1000, n), R = -L; },
            [&](double& L, double& R, int) { processSample(clipper, p, L, R); });
        for (int n = 32; n < 4000; ++n) {
            if (amplitude < 1) {
                // out = sqrt(I^2 + Q^2 - Q^2): exact in its square to a few rounding steps of E.
                const double I = amplitude * sineAt(1000, n - 32);
                const double squareTolerance = 4 * 2.220446049250313e-16 * amplitude * amplitude;
                ASSERT_NEAR(out[2 * n] * out[2 * n], I * I, squareTolerance) << n;
                ASSERT_NEAR(out[2 * n + 1] * out[2 * n + 1], I * I, squareTolerance) << n;
                ASSERT_FALSE(out[2 * n] * I < 0) << n;
            } else {
                ASSERT_LE(std::fabs(out[2 * n]), 1.0 + 1e-15);
                ASSERT_LE(std::fabs(out[2 * n + 1]), 1.0 + 1e-15);
            }
        }
    }
}

TEST(FinalClipper, QuadratureTapsAndCutToZero) {
    // An impulse pushed j samples ago meets tap h_m with a minus sign at j = 32 - m and a plus
    // sign at j = 32 + m; even delays and the centre do not contribute to Q.
    const double y0 = 0.6376356075826649;
    HilbertDelayLine line{};
    std::vector<double> q(70);
    for (int j = 0; j < 70; ++j) q[j] = hilbertPush(line, j == 0 ? 1.0 : 0.0);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], -0.0025806452 * y0);
    EXPECT_EQ(q[31], -0.9976398888 * y0);
    EXPECT_EQ(q[33], 0.9976398888 * y0);
    EXPECT_EQ(q[47], 0.0375532412 * y0);
    EXPECT_EQ(q[63], 0.0025806452 * y0);
    for (int j : {2, 32, 40, 64, 65}) EXPECT_EQ(q[j], 0.0) << j;

    // 4.0 then 0.1: at the 33rd push I is 0.1 while Q = h_1 * 0.6376 * 4 = 2.54 > T = 1.
    FinalClipper clipper{};
    FinalClipperParams p{};
    p.complex = 1;
    prepareBlock(clipper, p);
    double last = 0;
    for (int n = 0; n <= 33; ++n) last = clipOnce(clipper, p, n == 0 ? 4.0 : n == 1 ? 0.1 : 0.0);
    EXPECT_EQ(last, 0.0);
    // The largest cut came one push earlier: I = 4 held to sqrt(1 - Q^2), Q = -h_1 * 0.6376 * 0.1.
    const double q32 = 0.9976398888 * y0 * 0.1;
    EXPECT_NEAR(clipper.accumulator, 4 - std::sqrt(1 - q32 * q32), 1e-12);
}

TEST(FinalClipper, MeterRecordsPositiveCutsAndDecaysPerBlock) {
    FinalClipper clipper{};
    FinalClipperParams p{};
    prepareBlock(clipper, p);
    double L = 1.5, R = -1.5;  // cuts of +0.5 and -0.5: only the positive one counts
    processSample(clipper, p, L, R);
    const double decay = (576 / 2) * 0.00005;
    finishBlock(clipper, decay);
    EXPECT_NEAR(clipper.meterDb, 20 * std::log10(1.5), 1e-12);
    EXPECT_NEAR(clipper.accumulator, 0.5 - decay, 1e-15);

    clipper.accumulator = -0.01;
    L = -1.5;
    R = -3;
    processSample(clipper, p, L, R);
    finishBlock(clipper, decay);
    EXPECT_EQ(clipper.meterDb, 0.0);
    EXPECT_EQ(clipper.accumulator, -decay);
}

// ---- dither and the whole wideband chain ----

TEST(Dither, StaysWithinHalfA16BitStep) {
    EngineRandom random;
    seedEngineRandom(random, 99);
    const double step = 1.0 / 8388608;  // 2^-23
    for (int i = 0; i < 100000; ++i) {
        const double n = smallNoise(random);
        ASSERT_GE(n, -128 * step);
        ASSERT_LE(n, 127 * step);
        ASSERT_EQ(n / step, std::floor(n / step));
    }
    WidebandRig rig;
    rig.params->general.ditherActive = 1;
    rig.design();
    std::vector<short> samples(2 * 4000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = i % 2 ? -1000 : 1000;
    rig.run(samples, 576);
    for (size_t i = 0; i < samples.size(); i += 2) {
        ASSERT_TRUE(samples[i] == 1000 || samples[i] == 999) << samples[i];
        ASSERT_TRUE(samples[i + 1] == -1000 || samples[i + 1] == -999) << samples[i + 1];
    }
}

TEST(WidebandChain, BlockSizeDoesNotChangeTheOutput) {
    auto process = [](int blockFrames) {
        WidebandRig rig;
        GeneralParams& g = rig.params->general;
        g.highpassActive = g.stereoImageActive = g.agcActive = g.threeBandEqActive = 1;
        g.finalLimiterActive = g.finalClipperActive = g.lowpassActive = g.ditherActive = 1;
        LiveParams& p = *rig.params;
        p.stereoImage = stereoParams(50, 6);
        p.agc = agcParams();
        p.threeBandEq.bandDb[0] = 3;
        p.finalLimiter = limiterParams();
        p.finalClipper.complex = 1;
        rig.design();
        Noise noise{31};
        std::vector<short> samples(2 * 30000);
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<short>(noise.next(8000) + 12000 * sineAt(220, static_cast<int>(i / 2)));
        }
        rig.run(samples, blockFrames);
        return samples;
    };
    const std::vector<short> reference = process(4096);
    for (int blockFrames : {1, 7, 576}) EXPECT_EQ(process(blockFrames), reference) << blockFrames;
}
