// The band compressor, limiter, expander and dynamic equaliser on four lanes, held bit for bit to
// the two-lane pass (which two_lane_kernels_test holds to the scalar formulas): outputs, followers,
// gains, lines and meters, for both detectors, every ratio-curve grouping, per-band look-aheads and
// special values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/band_compressor.h"
#include "dsp/band_expander.h"
#include "dsp/band_limiter.h"
#include "dsp/dynamic_eq.h"
#include "dsp/ten_band_processor.h"
#include "ten_band_rig.h"

namespace {

using tenband::TestNoise;

// Run lengths that cross the line's wrap at every offset pattern.
constexpr int kRunLengths[] = {1, 5, 64, 13, 64, 2, 63, 64, 7};

bool sameBytes(const void* a, const void* b, size_t size) { return std::memcmp(a, b, size) == 0; }

bool sameLine(const LookaheadLine& a, const LookaheadLine& b) {
    return a.counter == b.counter && sameBytes(a.left, b.left, sizeof a.left) && sameBytes(a.right, b.right, sizeof a.right);
}

// Same bits, or NaN on both sides.
bool sameDouble(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual)) return true;
    return sameBytes(&expected, &actual, sizeof expected);
}

// Ratios for the three groupings four bands can take (all gentle, all steep, mixed), look-aheads
// that differ band by band (each lane reads its own detector row, wrapping at its own frame), and
// attack or release times of 0 on some bands.
void setBandSettings(LiveParams& p, bool compressorPeak, int ratioSet) {
    static const double kRatios[3][kBandCount] = {
        {1.5, 1.2, 1.0, 1.9, 1.1, 1.3, 1.99, 1.4, 1.5, 1.6},  // gentle everywhere
        {3, 2, 10, 2.5, 4, 6, 2, 8, 3, 5},                    // steep everywhere
        {1.5, 3, 1.2, 2, 4, 1.5, 1, 10, 2.5, 1.9},             // mixed in every group of four
    };
    const double lookaheadMs[kBandCount] = {0, 90, 30, 2, 90, 0, 15, 45, 10, 5};
    for (int j = 0; j < kBandCount; ++j) {
        p.compressor.ratio[j] = kRatios[ratioSet][j];
        p.compressor.gainDb[j] = 9;
        p.compressor.thresholdDb[j] = -12 + j;
        p.compressor.lookaheadMs[j] = lookaheadMs[j];
        p.limiter.lookaheadMs[j] = lookaheadMs[kBandCount - 1 - j];
        p.limiter.gainDb[j] = 4;
        p.limiter.thresholdDb[j] = -3 - j;
    }
    p.compressor.attackMs[2] = 0;
    p.compressor.releaseMs[7] = 0;
    p.limiter.releaseMs[5] = 0;
    p.limiter.attackMs[1] = 0;
    p.compressor.peakDetect = compressorPeak;
    p.limiter.peakDetect = !compressorPeak;
}

// Band values of a frame: loud noise, quiet noise, then noise swept up from quiet to loud (so
// that levels pass every threshold slowly, where the four-lane passes decide whether a group may
// skip its curve), with stretches of special values.
void fillFrame(BandSamples& bands, int frame, TestNoise& noise) {
    static const double kSpecial[] = {0.0,  -0.0, std::numeric_limits<double>::denorm_min(), 1e-310, 4.0, -4.0,
                                      1e300, std::numeric_limits<double>::infinity(), 0.5};
    const int phase = frame % 3000;
    const double loudness = phase < 1000 ? 0.9 : phase < 2000 ? 0.0003 : 0.0003 * std::pow(3000.0, (phase - 2000) / 1000.0);
    for (int j = 0; j < kBandCount; ++j) {
        bands.left[j] = loudness * noise.next();
        bands.right[j] = loudness * noise.next();
    }
    if (frame % 7000 < 30) {
        const int k = frame % static_cast<int>(std::size(kSpecial));
        bands.left[k] = kSpecial[k];
        bands.right[(k + 3) % kBandCount] = -kSpecial[k];
    }
}

template <class Stage, class Run>
void expectFourLanesMatchTwo(Stage& two, Stage& four, const BandDetectors& detectors, Run run) {
    TestNoise noise;
    std::vector<BandSamples> a(kBandRunFrames), b(kBandRunFrames);
    int frame = 0;
    for (int r = 0; frame < 2 * kLookaheadRows + 500; ++r) {
        const int n = kRunLengths[r % std::size(kRunLengths)];
        for (int f = 0; f < n; ++f) fillFrame(a[f], frame + f, noise);
        for (int f = 0; f < n; ++f) b[f] = a[f];
        const bool first = r % 9 == 0;
        run(two, detectors, a.data(), n, first, LaneWidth::kTwo);
        run(four, detectors, b.data(), n, first, LaneWidth::kFour);
        for (int f = 0; f < n; ++f) {
            for (int j = 0; j < kBandCount; ++j) {
                ASSERT_TRUE(sameDouble(a[f].left[j], b[f].left[j])) << "frame " << frame + f << ", band " << j;
                ASSERT_TRUE(sameDouble(a[f].right[j], b[f].right[j])) << "frame " << frame + f << ", band " << j;
            }
        }
        frame += n;
    }
    EXPECT_TRUE(sameLine(two.line, four.line));
    EXPECT_TRUE(sameBytes(two.level, four.level, sizeof two.level));
    EXPECT_TRUE(sameBytes(two.gain, four.gain, sizeof two.gain));
    EXPECT_TRUE(sameBytes(two.meter, four.meter, sizeof two.meter));
}

}  // namespace

TEST(BandLaneWidths, CompressorOnFourLanesMatchesTwoLanes) {
    for (bool peak : {false, true}) {
        for (int ratioSet = 0; ratioSet < 3; ++ratioSet) {
            SCOPED_TRACE(testing::Message() << (peak ? "peak" : "RMS") << " detection, ratio set " << ratioSet);
            tenband::BandStage stage;
            setBandSettings(*stage.params, peak, ratioSet);
            stage.prepare();
            auto two = std::make_unique<BandCompressor>(stage.processor->compressor);
            auto four = std::make_unique<BandCompressor>(stage.processor->compressor);
            expectFourLanesMatchTwo(*two, *four, stage.processor->detectors,
                                    [](BandCompressor& c, const BandDetectors& d, BandSamples* bands, int n, bool first,
                                       LaneWidth lanes) { compressFrames(c, d, bands, n, first, lanes); });
        }
    }
}

TEST(BandLaneWidths, LimiterOnFourLanesMatchesTwoLanes) {
    for (bool peak : {false, true}) {
        SCOPED_TRACE(peak ? "RMS limiter" : "peak limiter");
        tenband::BandStage stage;
        setBandSettings(*stage.params, peak, 2);
        stage.prepare();
        auto two = std::make_unique<BandLimiter>(stage.processor->limiter);
        auto four = std::make_unique<BandLimiter>(stage.processor->limiter);
        expectFourLanesMatchTwo(*two, *four, stage.processor->detectors,
                                [](BandLimiter& l, const BandDetectors& d, BandSamples* bands, int n, bool first,
                                   LaneWidth lanes) { limitFrames(l, d, bands, n, first, lanes); });
    }
}

TEST(BandLaneWidths, ExpanderOnFourLanesMatchesTwoLanes) {
    tenband::BandStage stage;
    setBandSettings(*stage.params, false, 2);
    for (int j = 0; j < kBandCount; ++j) {
        stage.params->expander.thresholdDb[j] = -30 + 3 * j;
        stage.params->expander.ratio[j] = 1 + j;
    }
    stage.params->expander.attackMs[3] = 0;
    stage.prepare();
    auto two = std::make_unique<BandExpander>(stage.processor->expander);
    auto four = std::make_unique<BandExpander>(stage.processor->expander);
    TestNoise noise;
    std::vector<BandSamples> a(kBandRunFrames), b(kBandRunFrames);
    int frame = 0;
    for (int r = 0; frame < 6000; ++r) {
        const int n = kRunLengths[r % std::size(kRunLengths)];
        for (int f = 0; f < n; ++f) fillFrame(a[f], frame + f, noise);
        for (int f = 0; f < n; ++f) b[f] = a[f];
        expandFrames(*two, stage.processor->detectors, a.data(), n, r % 9 == 0, LaneWidth::kTwo);
        expandFrames(*four, stage.processor->detectors, b.data(), n, r % 9 == 0, LaneWidth::kFour);
        ASSERT_TRUE(sameBytes(a.data(), b.data(), n * sizeof(BandSamples))) << "run from frame " << frame;
        frame += n;
    }
    EXPECT_TRUE(sameBytes(two->level, four->level, sizeof two->level));
    EXPECT_TRUE(sameBytes(two->gain, four->gain, sizeof two->gain));
    EXPECT_TRUE(sameBytes(two->meter, four->meter, sizeof two->meter));
}

TEST(BandLaneWidths, DynamicEqOnFourLanesMatchesTwoLanes) {
    for (double maxEnhanceDb : {3.0, 12.0}) {
        tenband::BandStage stage;
        stage.params->dynamicEq.maxEnhanceDb = maxEnhanceDb;
        stage.prepare();
        auto two = std::make_unique<DynamicEq>(stage.processor->dynamicEq);
        auto four = std::make_unique<DynamicEq>(stage.processor->dynamicEq);
        TestNoise noise;
        std::vector<BandSamples> a(kBandRunFrames), b(kBandRunFrames);
        int frame = 0;
        for (int r = 0; frame < 6000; ++r) {
            const int n = kRunLengths[r % std::size(kRunLengths)];
            for (int f = 0; f < n; ++f) fillFrame(a[f], frame + f, noise);
            for (int f = 0; f < n; ++f) b[f] = a[f];
            equalizeFrames(*two, stage.processor->detectors, a.data(), a.data(), n, r % 9 == 0, 1.3, LaneWidth::kTwo);
            equalizeFrames(*four, stage.processor->detectors, b.data(), b.data(), n, r % 9 == 0, 1.3, LaneWidth::kFour);
            ASSERT_TRUE(sameBytes(a.data(), b.data(), n * sizeof(BandSamples))) << "run from frame " << frame;
            frame += n;
        }
        EXPECT_TRUE(sameBytes(two->level, four->level, sizeof two->level));
        EXPECT_TRUE(sameBytes(two->gain, four->gain, sizeof two->gain));
        EXPECT_TRUE(sameBytes(two->meter, four->meter, sizeof two->meter));
    }
}
