// The two-lane (SSE2) kernels and the runs of frames, held bit for bit to the scalar formulas and
// to frame-by-frame processing, special values included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/band_compressor.h"
#include "dsp/band_dynamics.h"
#include "dsp/band_expander.h"
#include "dsp/band_limiter.h"
#include "dsp/band_saturator.h"
#include "dsp/dynamic_eq.h"
#include "dsp/filter_bank.h"
#include "dsp/filters/biquad.h"
#include "dsp/pass_filters.h"
#include "dsp/simd_pair.h"
#include "dsp/ten_band_eq.h"
#include "dsp/ten_band_processor.h"
#include "ten_band_rig.h"

namespace {

using tenband::TestNoise;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDenormal = std::numeric_limits<double>::denorm_min();

// Inputs the formulas meet at their edges: signed zeros, denormals, the thresholds 1 and 2 and
// their neighbours, the level floor, huge values, infinities and NaN.
const std::vector<double> kSpecialValues = {0.0,     -0.0,  kDenormal, -kDenormal, 1e-310, 1e-5,  0.25,
                                            0.5,     -0.5,  0.9999999, 1.0,        -1.0,   1.0000001, 2.0,
                                            3.7,     -3.7,  1e300,     -1e300,     kInf,   -kInf, kNaN};

// The same bits, or NaN on both sides (a NaN never reaches the output: the frame turns it into
// silence, and comparisons treat every NaN alike).
::testing::AssertionResult sameDouble(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual)) return ::testing::AssertionSuccess();
    uint64_t e, a;
    std::memcpy(&e, &expected, sizeof e);
    std::memcpy(&a, &actual, sizeof a);
    if (e == a) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << " (0x" << std::hex << e << "), got " << actual
                                         << " (0x" << a << ")";
}

// Lane 0 and lane 1 against two scalar results.
void expectLanes(Pair v, double low, double high) {
    EXPECT_TRUE(sameDouble(low, lowLane(v)));
    EXPECT_TRUE(sameDouble(high, highLane(v)));
}

bool sameBytes(const void* a, const void* b, size_t size) { return std::memcmp(a, b, size) == 0; }

// Field by field (records may hold padding that copies need not carry).
bool sameFilter(const ReverseCascadeFilter& a, const ReverseCascadeFilter& b) {
    return sameBytes(&a.biquad, &b.biquad, sizeof(Biquad)) && a.leftPending == b.leftPending &&
           a.leftWrite == b.leftWrite && a.leftRead == b.leftRead && a.rightPending == b.rightPending &&
           a.rightWrite == b.rightWrite && a.rightRead == b.rightRead &&
           sameBytes(a.ring, b.ring, sizeof a.ring);
}

bool sameLine(const LookaheadLine& a, const LookaheadLine& b) {
    return a.counter == b.counter && sameBytes(a.left, b.left, sizeof a.left) && sameBytes(a.right, b.right, sizeof a.right);
}

// The followers, gains and meters of every band stage.
std::vector<const double*> bandArrays(const TenBandProcessor& p) {
    return {p.dynamicEq.level,  p.dynamicEq.gain, p.dynamicEq.meter, p.compressor.level, p.compressor.gain,
            p.compressor.meter, p.expander.level, p.expander.gain,   p.expander.meter,   p.limiter.level,
            p.limiter.gain,     p.limiter.meter,  p.saturator.clipPeak};
}

// Every filter, line, follower, gain and meter of the band frame.
bool sameBandState(const TenBandProcessor& a, const TenBandProcessor& b) {
    for (int j = 0; j < kBandCount; ++j) {
        if (!sameFilter(a.bandFilters[j], b.bandFilters[j])) return false;
        if (!sameFilter(a.saturator.refilters[j], b.saturator.refilters[j])) return false;
    }
    const std::vector<const double*> arraysA = bandArrays(a), arraysB = bandArrays(b);
    for (size_t k = 0; k < arraysA.size(); ++k) {
        if (!sameBytes(arraysA[k], arraysB[k], kBandCount * sizeof(double))) return false;
    }
    return sameLine(a.compressor.line, b.compressor.line) && sameLine(a.limiter.line, b.limiter.line);
}

}  // namespace

TEST(TwoLaneFormulas, FollowersMatchTheScalarFormulas) {
    const double detect = 1 / (7 * 0.001 * 44100);
    const Pair d = makePair(detect, 1.0);
    const Pair c = makePair(1 - detect, 0.0);
    for (double level : kSpecialValues) {
        for (double left : kSpecialValues) {
            for (double right : kSpecialValues) {
                // Lane 1 swaps the channels, so each lane sees other values than its neighbour.
                expectLanes(followPowerPair(splat(level), makePair(left, right), makePair(right, left), d, c),
                            followPower(level, left, right, detect, 1 - detect), followPower(level, right, left, 1.0, 0.0));
                expectLanes(followPeakPair(splat(level), makePair(left, right), makePair(right, left), c),
                            followPeak(level, left, right, 1 - detect), followPeak(level, right, left, 0.0));
            }
        }
    }
}

TEST(TwoLaneFormulas, GainSmoothingPicksAttackOrReleaseExactly) {
    const double coefficients[][2] = {{0.5, 1e-3}, {1.0, 0.0}, {0.0, 1.0}, {2.2675736961451248e-05, 0.02}};
    for (const auto& pair : coefficients) {
        const double attack = pair[0], release = pair[1];
        const SmoothingPair s =
            smoothingPair(makePair(attack, release), makePair(1 - attack, 1 - release), makePair(release, attack),
                          makePair(1 - release, 1 - attack));
        for (double gain : kSpecialValues) {
            for (double target : kSpecialValues) {
                expectLanes(smoothGainPair(makePair(gain, target), makePair(target, gain), s),
                            smoothGain(gain, target, attack, release), smoothGain(target, gain, release, attack));
            }
        }
    }
}

TEST(TwoLaneFormulas, StaticCurvesMatchTheScalarCurves) {
    const double ratios[] = {1.0, 1.5, 1.999, 2.0, 3.0, 10.0};
    for (double r : kSpecialValues) {
        for (double low : ratios) {
            for (double high : ratios) {
                const Pair ratio = makePair(low, high);
                const Pair blend = makePair(compressorBlend(low), compressorBlend(high));
                const Pair oneMinus = makePair(1 - compressorBlend(low), 1 - compressorBlend(high));
                const double expectLow = compressorGain(r, low, compressorBlend(low));
                const double expectHigh = compressorGain(r, high, compressorBlend(high));
                expectLanes(compressorGainPair(splat(r), ratio, blend, oneMinus), expectLow, expectHigh);
                if (low < 2 && high < 2) {
                    expectLanes(compressorGainPair<RatioCurves::kGentle>(splat(r), ratio, blend, oneMinus), expectLow,
                                expectHigh);
                }
                if (!(low < 2) && !(high < 2)) {
                    expectLanes(compressorGainPair<RatioCurves::kSteep>(splat(r), ratio, blend, oneMinus), expectLow,
                                expectHigh);
                }
            }
        }
        for (double floor : {0.1, 0.2, 1.0}) {
            expectLanes(expanderGainPair(makePair(r, -r), splat(floor), splat(1 - floor)), expanderGain(r, floor),
                        expanderGain(-r, floor));
        }
        for (double level : kSpecialValues) {
            expectLanes(limiterGainPair(makePair(r, level), makePair(level, r)), limiterGain(r, level),
                        limiterGain(level, r));
        }
        for (double amount : {0.15, 0.5, 1.0}) {
            expectLanes(saturatePair(makePair(r, -r), splat(amount), splat(1 - amount)), saturate(r, amount),
                        saturate(-r, amount));
        }
        for (double clip : {0.2, 1.0, 2.5}) {
            expectLanes(hardClipPair(makePair(r, -r), splat(clip)), hardClip(r, clip), hardClip(-r, clip));
        }
    }
}

namespace {

std::unique_ptr<ReverseCascadeFilter> designedFilter(int type, double frequencyHz) {
    auto filter = std::make_unique<ReverseCascadeFilter>();
    DesignBiquad(*filter, true, type, -1.5, frequencyHz, 44100, 1.2);
    return filter;
}

}  // namespace

TEST(TwoLaneReverseCascade, StereoStepIsLeftThenRight) {
    auto stereo = designedFilter(kBandPass, 700);
    auto scalar = std::make_unique<ReverseCascadeFilter>(*stereo);
    TestNoise noise;
    for (int n = 0; n < 3 * kChunkFrames + 1000; ++n) {
        const double x = noise.next(), y = n % 3000 < 200 ? 0.0 : noise.next();
        double L = x, R = y;
        ReverseCascadeStereo(*stereo, L, R);
        ASSERT_TRUE(sameDouble(ReverseCascadeLeft(x, *scalar), L)) << "frame " << n;
        ASSERT_TRUE(sameDouble(ReverseCascadeRight(y, *scalar), R)) << "frame " << n;
    }
    EXPECT_TRUE(sameFilter(*stereo, *scalar));
}

TEST(TwoLaneReverseCascade, PlainStereoStepIsLeftThenRight) {
    auto stereo = designedFilter(kHighPass, 90);
    auto scalar = std::make_unique<ReverseCascadeFilter>(*stereo);
    TestNoise noise;
    for (int n = 0; n < 5000; ++n) {
        const double x = noise.next(), y = noise.next();
        double L = x, R = y;
        BiquadStereo(stereo->biquad, L, R);
        ASSERT_TRUE(sameDouble(BiquadLeft(x, scalar->biquad), L)) << "frame " << n;
        ASSERT_TRUE(sameDouble(BiquadRight(y, scalar->biquad), R)) << "frame " << n;
    }
    EXPECT_TRUE(sameBytes(&stereo->biquad, &scalar->biquad, sizeof(Biquad)));
}

namespace {

// A cascaded ten-band bank, twice: one for runs, one for the scalar per-channel reference.
struct TwoBanks {
    std::vector<ReverseCascadeFilter> runs = std::vector<ReverseCascadeFilter>(kBandCount);
    std::vector<ReverseCascadeFilter> scalar = std::vector<ReverseCascadeFilter>(kBandCount);

    TwoBanks() {
        BiquadCoefficients bank[kBandCount];
        bankCoefficients(true, false, bank);
        for (int j = 0; j < kBandCount; ++j) {
            SetCoefficients(runs[j].biquad, bank[j]);
            Reset(runs[j]);
        }
        scalar = runs;
    }
    bool same() const {
        for (int j = 0; j < kBandCount; ++j) {
            if (!sameFilter(runs[j], scalar[j])) return false;
        }
        return true;
    }
};

// Run lengths that cross chunk ends at every offset pattern: single frames, odd runs, full runs.
constexpr int kRunLengths[] = {1, 5, 64, 13, 64, 2, 63, 64, 7};

}  // namespace

TEST(TwoLaneReverseCascade, BankSplitInRunsMatchesEachChannelFrameByFrame) {
    TwoBanks banks;
    TestNoise noise;
    std::vector<BandSamples> out(kBandRunFrames);
    std::vector<double> pairs(2 * kBandRunFrames);
    int frame = 0;
    for (int run = 0; frame < 3 * kChunkFrames + 500; ++run) {
        const int n = kRunLengths[run % std::size(kRunLengths)];
        for (int f = 0; f < n; ++f) {
            pairs[2 * f] = noise.next();
            pairs[2 * f + 1] = noise.next();
        }
        splitFrames(banks.runs.data(), true, pairs.data(), out.data(), n);
        for (int f = 0; f < n; ++f, ++frame) {
            for (int j = 0; j < kBandCount; ++j) {
                ASSERT_TRUE(sameDouble(ReverseCascadeLeft(pairs[2 * f], banks.scalar[j]), out[f].left[j])) << frame;
                ASSERT_TRUE(sameDouble(ReverseCascadeRight(pairs[2 * f + 1], banks.scalar[j]), out[f].right[j])) << frame;
            }
        }
    }
    EXPECT_TRUE(banks.same());
}

TEST(TwoLaneReverseCascade, BankInPlaceInRunsMatchesEachChannelFrameByFrame) {
    TwoBanks banks;
    TestNoise noise;
    std::vector<BandSamples> bands(kBandRunFrames);
    int frame = 0;
    for (int run = 0; frame < 3 * kChunkFrames + 500; ++run) {
        const int n = kRunLengths[run % std::size(kRunLengths)];
        std::vector<BandSamples> in(n);
        for (int f = 0; f < n; ++f) {
            for (int j = 0; j < kBandCount; ++j) {
                in[f].left[j] = noise.next();
                in[f].right[j] = noise.next();
            }
            bands[f] = in[f];
        }
        filterFrames(banks.runs.data(), true, bands.data(), n);
        for (int f = 0; f < n; ++f, ++frame) {
            for (int j = 0; j < kBandCount; ++j) {
                ASSERT_TRUE(sameDouble(ReverseCascadeLeft(in[f].left[j], banks.scalar[j]), bands[f].left[j])) << frame;
                ASSERT_TRUE(sameDouble(ReverseCascadeRight(in[f].right[j], banks.scalar[j]), bands[f].right[j])) << frame;
            }
        }
    }
    EXPECT_TRUE(banks.same());
}

TEST(TwoLaneReverseCascade, BankOutOfStepStillMatches) {
    // One filter's left channel is a frame ahead: the bank can no longer run in step, and that
    // filter no longer runs its channels side by side.
    TwoBanks banks;
    ReverseCascadeLeft(0.25, banks.runs[3]);
    ReverseCascadeLeft(0.25, banks.scalar[3]);
    TestNoise noise;
    std::vector<BandSamples> out(kBandRunFrames);
    std::vector<double> pairs(2 * kBandRunFrames);
    for (int frame = 0; frame < 2 * kChunkFrames + 300; frame += kBandRunFrames) {
        for (double& v : pairs) v = noise.next();
        splitFrames(banks.runs.data(), true, pairs.data(), out.data(), kBandRunFrames);
        for (int f = 0; f < kBandRunFrames; ++f) {
            for (int j = 0; j < kBandCount; ++j) {
                ASSERT_TRUE(sameDouble(ReverseCascadeLeft(pairs[2 * f], banks.scalar[j]), out[f].left[j]));
                ASSERT_TRUE(sameDouble(ReverseCascadeRight(pairs[2 * f + 1], banks.scalar[j]), out[f].right[j]));
            }
        }
    }
    EXPECT_TRUE(banks.same());
}

TEST(TwoLaneReverseCascade, LowpassInRunsMatchesFrameByFrame) {
    auto runs = std::make_unique<LowpassFilter>();
    SetCoefficients(runs->first.biquad, lowpassCoefficients(15000));
    SetCoefficients(runs->second.biquad, lowpassCoefficients(15000));
    idleReset(*runs);
    auto frames = std::make_unique<LowpassFilter>(*runs);
    TestNoise noise;
    std::vector<double> pairs(2 * kBandRunFrames);
    int frame = 0;
    for (int run = 0; frame < 3 * kChunkFrames + 500; ++run) {
        const int n = kRunLengths[run % std::size(kRunLengths)];
        for (int f = 0; f < 2 * n; ++f) pairs[f] = noise.next();
        std::vector<double> expected(pairs.begin(), pairs.begin() + 2 * n);
        for (int f = 0; f < n; ++f) {
            expected[2 * f] = ReverseCascadeLeft(expected[2 * f], frames->first);
            expected[2 * f + 1] = ReverseCascadeRight(expected[2 * f + 1], frames->first);
            expected[2 * f] = ReverseCascadeLeft(expected[2 * f], frames->second);
            expected[2 * f + 1] = ReverseCascadeRight(expected[2 * f + 1], frames->second);
        }
        processFrames(*runs, pairs.data(), n);
        for (int f = 0; f < 2 * n; ++f) ASSERT_TRUE(sameDouble(expected[f], pairs[f])) << frame + f / 2;
        frame += n;
    }
    EXPECT_TRUE(sameFilter(runs->first, frames->first));
    EXPECT_TRUE(sameFilter(runs->second, frames->second));
}

namespace {

// Settings that take every branch of the band stages: both ratio curves and a mixed pair, look-
// aheads of 0 and 90 ms (rows that wrap at different frames), saturation and clipping on some
// bands only, the re-filter, and the given detection modes.
void setMixedBandSettings(LiveParams& p, bool peakDetect) {
    tenband::setBandDefaults(p);
    const double ratios[kBandCount] = {1.5, 1.2, 3, 2, 1.5, 4, 1, 10, 2.5, 1.9};
    const double lookaheadMs[kBandCount] = {0, 90, 30, 2, 90, 0, 15, 45, 10, 5};
    for (int j = 0; j < kBandCount; ++j) {
        p.compressor.ratio[j] = ratios[j];
        p.compressor.gainDb[j] = 9;
        p.compressor.thresholdDb[j] = -12;
        p.compressor.lookaheadMs[j] = lookaheadMs[j];
        p.limiter.lookaheadMs[j] = lookaheadMs[kBandCount - 1 - j];
        p.limiter.gainDb[j] = 4;
        p.limiter.thresholdDb[j] = -3;
        p.expander.thresholdDb[j] = -20;
        p.saturator.levelPercent[j] = j % 3 == 0 ? 0 : 40;
        p.saturator.clipEnable[j] = j % 4 != 1;
        p.saturator.clipDb[j] = -4;
        p.saturator.gainDb[j] = 3;
    }
    p.compressor.attackMs[2] = 0;
    p.limiter.releaseMs[5] = 0;
    p.compressor.peakDetect = peakDetect;
    p.limiter.peakDetect = !peakDetect;
    p.saturator.refilter = 1;
    GeneralParams& g = p.general;
    g.processorActive = g.dynamicEqActive = g.compressorActive = g.expanderActive = g.limiterActive = 1;
    g.saturatorActive = g.tenBandEqActive = 1;
}

void expectRunsMatchFrames(bool peakDetect) {
    tenband::BandStage runs;
    setMixedBandSettings(*runs.params, peakDetect);
    BiquadCoefficients bank[kBandCount];
    bankCoefficients(true, false, bank);
    installBankDesign(*runs.processor, bank, true, false, true);
    for (int j = 0; j < kBandCount; ++j) runs.processor->eq.gain[j] = 0.5 + 0.1 * j;
    runs.prepare();
    auto frames = std::make_unique<TenBandProcessor>(*runs.processor);
    const BandStageSwitches on = readBandStageSwitches(runs.params->general);

    TestNoise noise;
    std::vector<double> pairs(2 * kBandRunFrames);
    int frame = 0, heard = 0;
    // Past the bank's, the lines' and the re-filter's delays, so the outputs are heard too.
    for (int run = 0; frame < 8 * kChunkFrames; ++run) {
        const int n = kRunLengths[run % std::size(kRunLengths)];
        const double loudness = run % 40 < 20 ? 0.8 : 0.01;
        for (int f = 0; f < 2 * n; ++f) pairs[f] = loudness * noise.next();
        // Expected: each frame through the bank and each stage's one-frame form in turn, then the
        // bands summed in order.
        std::vector<double> expected(pairs.begin(), pairs.begin() + 2 * n);
        for (int f = 0; f < n; ++f) {
            TenBandProcessor& p = *frames;
            const bool first = run % 9 == 0 && f == 0;
            BandSamples bands;
            splitBands(p.bandFilters, true, expected[2 * f], expected[2 * f + 1], bands);
            equalizeBands(p.dynamicEq, p.detectors, bands, first);
            for (int j = 0; j < kBandCount; ++j) bands.left[j] *= 1.4, bands.right[j] *= 1.4;
            compressBands(p.compressor, p.detectors, bands, first);
            expandBands(p.expander, p.detectors, bands, first);
            limitBands(p.limiter, p.detectors, bands, first);
            saturateBands(p.saturator, true, bands);
            applyEqGains(p.eq, bands);
            double left = 0, right = 0;
            for (int j = 0; j < kBandCount; ++j) left += bands.left[j], right += bands.right[j];
            expected[2 * f] = left;
            expected[2 * f + 1] = right;
        }
        processFrames(*runs.processor, on, 1.4, pairs.data(), n, run % 9 == 0);
        for (int f = 0; f < 2 * n; ++f) {
            ASSERT_TRUE(sameDouble(expected[f], pairs[f])) << "frame " << frame + f / 2;
            heard += expected[f] != 0 ? 1 : 0;
        }
        frame += n;
    }
    EXPECT_GT(heard, 2 * kChunkFrames);
    EXPECT_TRUE(sameBandState(*runs.processor, *frames));
}

}  // namespace

TEST(TwoLaneTenBand, RunsMatchFrameByFrameWithRmsCompressorAndPeakLimiter) { expectRunsMatchFrames(false); }

TEST(TwoLaneTenBand, RunsMatchFrameByFrameWithPeakCompressorAndRmsLimiter) { expectRunsMatchFrames(true); }

TEST(TwoLaneTenBand, BandStagesTakeMoreThanARunAtOnce) {
    // processBands works a run of frames at a time in the processor's own space; more frames at
    // once go through in runs, as the split-and-process path gives them.
    tenband::BandStage stage;
    setMixedBandSettings(*stage.params, false);
    stage.prepare();
    auto copy = std::make_unique<TenBandProcessor>(*stage.processor);
    const BandStageSwitches on = readBandStageSwitches(stage.params->general);
    constexpr int kFrames = 3 * kBandRunFrames + 17;
    TestNoise noise;
    for (int pass = 0; pass < 40; ++pass) {  // past the lines' delays
        std::vector<double> pairs(2 * kFrames), expected;
        for (double& x : pairs) x = 0.5 * noise.next();
        expected = pairs;
        std::vector<BandSamples> bands(kFrames);
        for (int f = 0; f < kFrames; f += kBandRunFrames) {
            splitBands(*stage.processor, &pairs[2 * f], &bands[f], std::min(kBandRunFrames, kFrames - f));
        }
        processBands(*stage.processor, on, 1.2, bands.data(), pairs.data(), kFrames, pass == 0);
        processFrames(*copy, on, 1.2, expected.data(), kFrames, pass == 0);
        for (int i = 0; i < 2 * kFrames; ++i) ASSERT_TRUE(sameDouble(expected[i], pairs[i])) << pass << ", " << i;
    }
}
