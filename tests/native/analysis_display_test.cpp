// Tests of the analysis displays' portable parts: octave table, transform, bars, axes, trace, curve.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "analysis/plot_geometry.h"
#include "analysis/spectrum_analysis.h"
#include "dsp/processor_state.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The capture ring alone is half a megabyte: keep it off the stack.
CaptureRingView viewOf(const CaptureRing& ring) { return {ring.samples, &ring.writeIndex}; }

std::unique_ptr<CaptureRing> makeRing() {
    auto ring = std::make_unique<CaptureRing>();
    std::memset(ring.get(), 0, sizeof(CaptureRing));
    return ring;
}

std::unique_ptr<SpectrumWork> makeWork() {
    auto work = std::make_unique<SpectrumWork>();
    std::memset(work.get(), 0, sizeof(SpectrumWork));
    return work;
}

// Slow reference: direct DFT, in long double, of the same float-converted stretch that the
// transform reads. The twiddle recurrence runs from the angles -2d and -d upward, so the
// butterflies multiply by e^(+i n d): the imaginary parts come out as those of the kernel
// e^(+2 pi i nk/N). For real input the real parts, the only ones the analyser uses, are the
// same for either sign.
void directDft(const CaptureRing& ring, int back, std::vector<long double>& re, std::vector<long double>& im) {
    const int n = kSpectrumLength;
    re.assign(n, 0.0L);
    im.assign(n, 0.0L);
    const int start = (ring.writeIndex - back - n) & 0xFFFF;
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            const long double x = static_cast<float>(ring.samples[(start + j) & 0xFFFF]);
            const long double angle = 2.0L * kPi * static_cast<long double>((static_cast<long>(j) * k) % n) / n;
            re[k] += x * std::cos(angle);
            im[k] += x * std::sin(angle);
        }
    }
}

// Ten radix-2 stages, each rounding its results to float (relative error 2^-24), over values
// bounded by the sum of |input| (at most 1,024 here): 10 x 2^-24 x 1024 is about 6e-4. The
// twiddle recurrence runs in double and adds far less. 1e-3 covers the worst case with room.
constexpr double kTransformTolerance = 1e-3;

}  // namespace

TEST(OctaveFrequencyTable, HoldsTwentyHertzDoublingEveryHundredEntries) {
    uint16_t OctaveFrequencyTable[kOctaveTableSize];
    BuildOctaveFrequencyTable(OctaveFrequencyTable);
    EXPECT_EQ(OctaveFrequencyTable[0], 20);
    EXPECT_EQ(OctaveFrequencyTable[1], 20);    // 20.14 Hz
    EXPECT_EQ(OctaveFrequencyTable[100], 40);
    EXPECT_EQ(OctaveFrequencyTable[500], 640);
    EXPECT_EQ(OctaveFrequencyTable[569], 1032);  // 20 x 2^5.69 = 1032.6
    EXPECT_EQ(OctaveFrequencyTable[1000], 20480);
    for (int i = 1001; i < kOctaveTableSize; ++i) EXPECT_EQ(OctaveFrequencyTable[i], 0) << i;
    for (int i = 1; i < kOctaveTableEntries; ++i) EXPECT_GE(OctaveFrequencyTable[i], OctaveFrequencyTable[i - 1]) << i;
}

TEST(SpectrumTransform, MatchesDirectDftOfTheRingStretch) {
    auto ring = makeRing();
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> uniform(-0.9999, 0.9999);
    for (double& s : ring->samples) s = uniform(random);
    ring->writeIndex = 700;  // the stretch wraps past the end of the ring
    auto work = makeWork();
    for (int back : {0, 384}) {
        std::memset(work->accumulator, 0, sizeof work->accumulator);
        SpectrumTransform(*work, viewOf(*ring), kSpectrumLength, back);
        std::vector<long double> re, im;
        directDft(*ring, back, re, im);
        for (int k = 0; k < kSpectrumLength; ++k) {
            ASSERT_NEAR(work->outputReal[k], static_cast<double>(re[k]), kTransformTolerance) << "back " << back << " bin " << k;
            ASSERT_NEAR(work->outputImag[k], static_cast<double>(im[k]), kTransformTolerance) << "back " << back << " bin " << k;
            ASSERT_NEAR(work->accumulator[k], std::fabs(static_cast<double>(re[k])), kTransformTolerance) << k;
        }
    }
}

TEST(SpectrumTransform, CosineAtBinFiveLandsInBinsFiveAndMirror) {
    auto ring = makeRing();
    ring->writeIndex = 0;
    const int start = 65536 - kSpectrumLength;
    for (int j = 0; j < kSpectrumLength; ++j) ring->samples[start + j] = std::cos(2 * kPi * 5 * j / kSpectrumLength);
    auto work = makeWork();
    SpectrumTransform(*work, viewOf(*ring), kSpectrumLength, 0);
    EXPECT_NEAR(work->outputReal[5], 512.0, kTransformTolerance);
    EXPECT_NEAR(work->outputReal[kSpectrumLength - 5], 512.0, kTransformTolerance);
    EXPECT_NEAR(work->outputReal[6], 0.0, kTransformTolerance);
    EXPECT_NEAR(work->outputImag[5], 0.0, kTransformTolerance);
}

TEST(SpectrumTransform, SineGivesImaginaryPartOfTheRecurrenceSign) {
    // Twiddles e^(+i n d): sin(2 pi 3 j / N) gives +N/2 i at bin 3 and -N/2 i at its mirror.
    auto ring = makeRing();
    ring->writeIndex = 0;
    const int start = 65536 - kSpectrumLength;
    for (int j = 0; j < kSpectrumLength; ++j) ring->samples[start + j] = std::sin(2 * kPi * 3 * j / kSpectrumLength);
    auto work = makeWork();
    SpectrumTransform(*work, viewOf(*ring), kSpectrumLength, 0);
    EXPECT_NEAR(work->outputImag[3], 512.0, kTransformTolerance);
    EXPECT_NEAR(work->outputImag[kSpectrumLength - 3], -512.0, kTransformTolerance);
    EXPECT_NEAR(work->outputReal[3], 0.0, kTransformTolerance);
}

TEST(SpectrumTransform, AccumulatesEightOverlappingStretches) {
    auto ring = makeRing();
    std::mt19937 random(99);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    for (double& s : ring->samples) s = uniform(random);
    ring->writeIndex = 40000;
    auto work = makeWork();
    for (float& a : work->accumulator) a = 1000.0f;  // must be cleared first
    AccumulateSpectrum(*work, viewOf(*ring));
    std::vector<long double> expected(kSpectrumLength, 0.0L);
    for (int t = 0; t < 8; ++t) {
        std::vector<long double> re, im;
        directDft(*ring, t * 128, re, im);
        for (int k = 0; k < kSpectrumLength; ++k) expected[k] += std::fabs(re[k]);
    }
    for (int k = 0; k < kSpectrumLength; ++k)
        ASSERT_NEAR(work->accumulator[k], static_cast<double>(expected[k]), 8 * kTransformTolerance) << k;
}

TEST(SpectrumBars, SilenceGivesNoBars) {
    uint16_t OctaveFrequencyTable[kOctaveTableSize];
    BuildOctaveFrequencyTable(OctaveFrequencyTable);
    auto ring = makeRing();
    ring->writeIndex = 12345;
    auto work = makeWork();
    AccumulateSpectrum(*work, viewOf(*ring));
    SpectrumBar bars[kSpectrumBarCount];
    SpectrumBars(work->accumulator, OctaveFrequencyTable, bars);
    for (int b = 0; b < kSpectrumBarCount; ++b) {
        EXPECT_EQ(bars[b].height, 0.0) << b;
        EXPECT_EQ(bars[b].x, b * 9 / 3 + 16) << b;
    }
    EXPECT_EQ(bars[kSpectrumBarCount - 1].x, 999 / 3 + 16);
}

TEST(SpectrumBars, SumsBinsOfPositionsSteppingThirtyNineHertz) {
    // A hand-made table and accumulator: bar 0 covers positions 0, 39, 78 (bins 0, 1, 2), bar 1
    // positions 117 and 156 (bins 3, 4), every later bar nothing.
    uint16_t table[kOctaveTableSize] = {};
    table[0] = 117;
    table[9] = 160;
    for (int i = 18; i < 1000; i += 9) table[i] = 160;
    float accumulator[kSpectrumLength] = {};
    accumulator[0] = 100.0f;
    accumulator[1] = 200.0f;
    accumulator[2] = 100.0f;  // bar 0: sqrt(400) x 5 - 32 = 68
    accumulator[3] = 16.0f;
    accumulator[4] = 20.0f;   // bar 1: sqrt(36) x 5 - 32 = -2, clamped to 0
    SpectrumBar bars[kSpectrumBarCount];
    SpectrumBars(accumulator, table, bars);
    EXPECT_DOUBLE_EQ(bars[0].height, 68.0);
    EXPECT_EQ(bars[1].height, 0.0);
    accumulator[4] = 65.0f;   // sqrt(81) x 5 - 32 = 13
    SpectrumBars(accumulator, table, bars);
    EXPECT_DOUBLE_EQ(bars[1].height, 13.0);
    EXPECT_EQ(bars[2].height, 0.0);
}

TEST(SpectrumBars, FullScaleThousandHertzPeaksAtTheOneKGridLine) {
    uint16_t OctaveFrequencyTable[kOctaveTableSize];
    BuildOctaveFrequencyTable(OctaveFrequencyTable);
    auto ring = makeRing();
    for (int n = 0; n < 65536; ++n) ring->samples[n] = 0.9999 * std::sin(2 * kPi * 1000.0 * n / 44100.0);
    ring->writeIndex = 31000;
    auto work = makeWork();
    AccumulateSpectrum(*work, viewOf(*ring));
    SpectrumBar bars[kSpectrumBarCount];
    SpectrumBars(work->accumulator, OctaveFrequencyTable, bars);
    int tallest = 0;
    for (int b = 1; b < kSpectrumBarCount; ++b)
        if (bars[b].height > bars[tallest].height) tallest = b;

    AxisLabel labels[kAxisLabelCount];
    ASSERT_EQ(OctaveAxisLabels(OctaveFrequencyTable, labels), 10);
    ASSERT_STREQ(labels[5].text, "1K");
    const int gridX = labels[5].x + kPlotLeftPx;
    EXPECT_LE(std::abs(bars[tallest].x - gridX), 4) << "tallest bar at x " << bars[tallest].x;
    EXPECT_GT(bars[tallest].height, 100.0);
    // Far from the tone (below 250 Hz and above 4 kHz) the bars stay well below the peak.
    for (int b = 0; b < kSpectrumBarCount; ++b) {
        if (bars[b].x < labels[3].x + kPlotLeftPx || bars[b].x > labels[7].x + kPlotLeftPx) {
            EXPECT_LT(bars[b].height, bars[tallest].height * 0.5) << "bar " << b;
        }
    }
}

TEST(OctaveAxis, TenLabelsAtTheFirstEntriesReachingEachOctave) {
    uint16_t OctaveFrequencyTable[kOctaveTableSize];
    BuildOctaveFrequencyTable(OctaveFrequencyTable);
    AxisLabel labels[kAxisLabelCount];
    ASSERT_EQ(OctaveAxisLabels(OctaveFrequencyTable, labels), 10);
    // Hand-derived: the first i = 0, 3, 6, ... with trunc(20 x 2^(i/100)) >= 31.25 x 2^n.
    const int expectedX[10] = {23, 56, 89, 122, 155, 189, 222, 255, 289, 322};
    const char* expectedText[10] = {"32", "64", "125", "250", "500", "1K", "2K", "4K", "8K", "16K"};
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(labels[n].x, expectedX[n]) << n;
        EXPECT_STREQ(labels[n].text, expectedText[n]) << n;
    }
}

TEST(OctaveAxis, FirstLabelAtFirstEntryOfAtLeast31Hz) {
    uint16_t OctaveFrequencyTable[kOctaveTableSize];
    BuildOctaveFrequencyTable(OctaveFrequencyTable);
    int first = -1;
    for (int i = 0; i < 1000 && first < 0; i += 3)
        if (OctaveFrequencyTable[i] >= 31.25) first = i;
    AxisLabel labels[kAxisLabelCount];
    OctaveAxisLabels(OctaveFrequencyTable, labels);
    EXPECT_EQ(labels[0].x, first / 3);
    EXPECT_STREQ(labels[0].text, "32");
}

TEST(OctaveAxis, NeverMoreThanTenLabels) {
    uint16_t table[kOctaveTableSize];
    for (uint16_t& f : table) f = 65535;  // every entry beyond every threshold up to 32,000 Hz
    AxisLabel labels[kAxisLabelCount];
    EXPECT_EQ(OctaveAxisLabels(table, labels), 10);
    EXPECT_EQ(labels[9].x, 9);
}

TEST(PlotFrame, BaselineTwentyAboveBottomTopLineAtTen) {
    const PlotFrame frame = MakePlotFrame(174);
    EXPECT_DOUBLE_EQ(frame.baseY, 154.0);
    EXPECT_DOUBLE_EQ(frame.scale, 144.0);
    EXPECT_EQ(frame.y0, 154);
    EXPECT_EQ(frame.top, 10);
    EXPECT_EQ(PlotValueY(frame, 0.5), 82);
}

TEST(ResponseCurve, ValuesAboveOneAreDrawnAboveTheTopLine) {
    const PlotFrame frame = MakePlotFrame(174);
    std::vector<double> response(1024, 0.0);
    response[0] = 1.0;
    response[3] = 1.05;   // 154 - 151.2 = 2.8 -> 2
    response[6] = 0.25;   // 154 - 36 = 118
    response[999] = 2.0;  // 154 - 288 = -134
    PlotPoint points[kResponsePointCount];
    ResponseCurve(response.data(), frame, points);
    EXPECT_EQ(points[0].x, 16);
    EXPECT_EQ(points[0].y, 10);
    EXPECT_EQ(points[1].x, 17);
    EXPECT_EQ(points[1].y, 2);
    EXPECT_LT(points[1].y, frame.top);
    EXPECT_EQ(points[2].y, 118);
    EXPECT_EQ(points[3].y, 154);  // never measured: on the baseline
    EXPECT_EQ(points[333].x, 999 / 3 + 16);
    EXPECT_EQ(points[333].y, -134);
}

TEST(Oscilloscope, GeometryOfAHundredSeventyFourPixelClient) {
    const ScopeGeometry g = MakeScopeGeometry(174);
    EXPECT_DOUBLE_EQ(g.mid, 87.0);
    EXPECT_DOUBLE_EQ(g.amp, 77.0);
    EXPECT_EQ(g.zeroY, 87);
    EXPECT_EQ(g.topY, 10);
    EXPECT_EQ(g.bottomY, 163);
    const ScopeGeometry odd = MakeScopeGeometry(175);  // mid 87.5, amp 77.5
    EXPECT_EQ(odd.zeroY, 87);
    EXPECT_EQ(odd.topY, 10);
    EXPECT_EQ(odd.bottomY, 164);
}

TEST(Oscilloscope, TraceShowsTheLastEntriesOldestLeftPositiveUp) {
    auto ring = makeRing();
    ring->samples[65533] = 1.0;   // oldest of the window of 8 ending before index 5
    ring->samples[65535] = -1.0;
    ring->samples[0] = 0.5;
    ring->samples[4] = -0.25;     // newest
    ring->samples[5] = 0.9;       // slot written next: not shown
    const ScopeGeometry g = MakeScopeGeometry(174);
    int y[8];
    OscilloscopeTrace(viewOf(*ring), 5, 8, g, y);
    EXPECT_EQ(y[0], 10);             // 87 - 77
    EXPECT_EQ(y[1], 87);
    EXPECT_EQ(y[2], 164);            // 87 + 77
    EXPECT_EQ(y[3], 48);             // 87 - 38.5 = 48.5
    EXPECT_EQ(y[7], 106);            // 87 + 19.25 = 106.25
    for (int x : {4, 5, 6}) EXPECT_EQ(y[x], 87);
}
