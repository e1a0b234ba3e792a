// Band compressor, expander and limiter, their look-ahead lines, and the guards on their settings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/lookahead_line.h"
#include "dsp/param_ranges.h"
#include "dsp/ten_band_processor.h"
#include "ten_band_rig.h"

using tenband::BandStage;
using tenband::constantBands;

namespace {

double reductionDb(double gain) { return -20 * std::log10(gain); }

}  // namespace

TEST(BandCompressorCurve, RatioOneKeepsUnityAndRatioTwoHalvesTheDecibelsOver) {
    for (double r : {0.5, 1.0, 2.0, 10.0, 1000.0}) EXPECT_EQ(compressorGain(r, 1, compressorBlend(1)), 1.0) << r;
    EXPECT_EQ(compressorGain(0.999, 5, compressorBlend(5)), 1.0);
    // r = 2 (6.02 dB over) at ratio 2: gain 2^-1/2, a reduction of 3.01 dB.
    EXPECT_NEAR(compressorGain(2, 2, compressorBlend(2)), 1 / std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(reductionDb(compressorGain(2, 2, compressorBlend(2))), 3.0103, 1e-4);
    EXPECT_NEAR(compressorGain(4, 2, compressorBlend(2)), 0.5, 1e-15);
    // Ratio 3 blends half of 1/r and half of r^-1/2; ratio 1.5 half of unity and half of r^-1/2.
    EXPECT_NEAR(compressorGain(4, 3, compressorBlend(3)), 0.5 / 4 + 0.5 * 0.5, 1e-15);
    EXPECT_NEAR(compressorGain(4, 1.5, compressorBlend(1.5)), 0.5 * 0.5 + 0.5, 1e-15);
    EXPECT_NEAR(compressorGain(9, 10, compressorBlend(10)), (8.0 / 9) / 9 + (1.0 / 9) / 3, 1e-15);
}

TEST(BandExpanderCurve, UnityFromTheThresholdUpAndALinearFallToTheFloor) {
    for (double ratio : {1.0, 2.0, 5.0, 10.0}) {
        EXPECT_NEAR(expanderGain(1.0, 1 / ratio), 1.0, 1e-15) << ratio;
        EXPECT_EQ(expanderGain(1.5, 1 / ratio), 1.0);
        EXPECT_NEAR(expanderGain(0.0, 1 / ratio), 1 / ratio, 1e-15);
    }
    EXPECT_NEAR(expanderGain(0.5, 0.2), 0.6, 1e-15);
}

TEST(BandCompressor, SettlesAtTheRatioTwoReductionInPeakAndRmsModes) {
    BandStage stage;
    CompressorParams& c = stage.params->compressor;
    for (int j = 0; j < kBandCount; ++j) {
        c.ratio[j] = 2;
        c.thresholdDb[j] = 0;
        c.attackMs[j] = 10;
        c.releaseMs[j] = 50;
    }
    // Peak mode: threshold 0.2; a steady 0.4 is 6.02 dB over. A peak follower fed a constant
    // takes it on one frame and decays by (1 - d) on the next, where x > P fails, so the level
    // alternates between 0.4 and 0.4 (1 - d) and the reduction lies between 10 log10(2 (1 - d))
    // and 10 log10(2): within 0.005 dB of 3.01 dB for band 1 (d = 1/882).
    c.peakDetect = 1;
    stage.prepare();
    for (int n = 0; n < 44100; ++n) {
        BandSamples bands = constantBands(0.4);
        compressBands(stage.processor->compressor, stage.processor->detectors, bands, n == 44099);
    }
    for (int j = 0; j < kBandCount; ++j) {
        const double d = 1 / (stage.params->processor.detectMs[j] * 0.001 * 44100);
        EXPECT_LE(stage.processor->compressor.meter[j], 10 * std::log10(2.0) + 1e-9) << j;
        EXPECT_GE(stage.processor->compressor.meter[j], 10 * std::log10(2 * (1 - d)) - 1e-9) << j;
    }
    EXPECT_NEAR(stage.processor->compressor.meter[0], 3.0103, 0.005);

    // RMS mode: threshold 0.1. The two channels' squares are added, so c in both channels reads
    // sqrt(2) c: with c = 0.2 / sqrt(2) the level is 0.2 + 1e-05, r = 2.0001.
    c.peakDetect = 0;
    BandStage rms;
    rms.params->compressor = c;
    rms.prepare();
    BandSamples out{};
    for (int n = 0; n < 44100; ++n) {
        out = constantBands(0.2 / std::sqrt(2.0));
        compressBands(rms.processor->compressor, rms.processor->detectors, out, n == 44099);
    }
    EXPECT_NEAR(rms.processor->compressor.meter[4], 10 * std::log10(2.0001), 1e-6);
    EXPECT_NEAR(out.left[4], 0.2 / std::sqrt(2.0) / std::sqrt(2.0001), 1e-9);
}

// Attack and release 0, lookahead 0: the gain is the static gain of every frame's detector value.
// A slowly rising band (0.8 upward) is followed exactly by the peak detector (5 ms); after the
// step down to 0.1 the level decays by (1 - d) per frame from the last peak. Ratio 2 with
// threshold 0.2 makes the gain (level / 0.2)^-1/2 above the threshold.
TEST(BandCompressor, ZeroAttackAndReleaseRideTheStaticGain) {
    BandStage stage;
    CompressorParams& c = stage.params->compressor;
    for (int j = 0; j < kBandCount; ++j) {
        stage.params->processor.detectMs[j] = 5;
        c.ratio[j] = 2;
        c.thresholdDb[j] = 0;
        c.lookaheadMs[j] = 0;
        c.attackMs[j] = 0;
        c.releaseMs[j] = 0;
    }
    c.peakDetect = 1;
    stage.prepare();
    const double d = 1 / (5 * 0.001 * 44100);
    const int loudFrames = 6000;
    const int delay = 4095;
    for (int n = 0; n < delay + loudFrames + 2000; ++n) {
        BandSamples bands = constantBands(n < loudFrames ? 0.8 + 1e-6 * n : 0.1);
        compressBands(stage.processor->compressor, stage.processor->detectors, bands, false);
        double expectedGain;
        double delayedInput;
        if (n < delay) {
            expectedGain = 1;  // the detector still reads the empty line
            delayedInput = 0;
        } else if (n < delay + loudFrames) {
            delayedInput = 0.8 + 1e-6 * (n - delay);
            expectedGain = 1 / std::sqrt(delayedInput / 0.2);  // r about 4
        } else {
            const double lastPeak = 0.8 + 1e-6 * (loudFrames - 1);
            const double level = lastPeak * std::pow(1 - d, n - (delay + loudFrames) + 1);
            expectedGain = level > 0.2 ? 1 / std::sqrt(level / 0.2) : 1.0;
            delayedInput = 0.1;
        }
        ASSERT_NEAR(stage.processor->compressor.gain[3], expectedGain, 1e-12) << "frame " << n;
        ASSERT_NEAR(bands.left[3], expectedGain * delayedInput, 1e-12) << "frame " << n;
    }
}

TEST(BandExpander, SilentBandFallsToTheFloorOfOneOverRatio) {
    BandStage stage;
    for (double& release : stage.params->expander.releaseMs) release = 10;
    stage.prepare();  // ratio 5, threshold -6 dB
    for (int n = 0; n < 44100; ++n) {
        BandSamples bands = constantBands(0.0);
        expandBands(stage.processor->expander, stage.processor->detectors, bands, n == 44099);
    }
    for (int j = 0; j < kBandCount; ++j) {
        EXPECT_GT(stage.processor->expander.gain[j], 0.2);
        EXPECT_LT(stage.processor->expander.gain[j], 0.201);
        EXPECT_NEAR(stage.processor->expander.meter[j], 20 * std::log10(5.0), 0.05);  // about 14 dB
    }
}

TEST(BandLimiter, PeakModeWithoutLookaheadOrAttackNeverExceedsItsThreshold) {
    BandStage stage;
    LimiterParams& l = stage.params->limiter;
    for (int j = 0; j < kBandCount; ++j) {
        l.gainDb[j] = 6;
        l.thresholdDb[j] = -6;
        l.lookaheadMs[j] = 0;
        l.attackMs[j] = 0;
        l.releaseMs[j] = 20;
    }
    l.peakDetect = 1;
    stage.prepare();
    const double threshold = std::pow(10.0, -6.0 / 20) * 0.2;
    tenband::TestNoise noise;
    double loudest = 0;
    for (int n = 0; n < 30000; ++n) {
        BandSamples bands;
        const double swell = 0.2 + 1.3 * std::fabs(std::sin(n * 0.0007));
        for (int j = 0; j < kBandCount; ++j) {
            bands.left[j] = swell * noise.next();
            bands.right[j] = swell * noise.next();
        }
        limitBands(stage.processor->limiter, stage.processor->detectors, bands, false);
        for (int j = 0; j < kBandCount; ++j) {
            ASSERT_LE(std::fabs(bands.left[j]), threshold) << "frame " << n << ", band " << j + 1;
            ASSERT_LE(std::fabs(bands.right[j]), threshold) << "frame " << n << ", band " << j + 1;
            loudest = std::max(loudest, std::fabs(bands.left[j]));
        }
    }
    EXPECT_GT(loudest, 0.95 * threshold);  // it limits rather than silences
}

TEST(LookaheadLine, RowsComeFromTheCounterBeforeItsIncrement) {
    auto line = std::make_unique<LookaheadLine>();
    line->counter = 4095;
    LookaheadRows rows = advanceLookaheadLine(*line);
    EXPECT_EQ(rows.writeRow, 4095u);
    EXPECT_EQ(rows.outRow, 0u);
    EXPECT_EQ(line->counter, 4096u);
    line->counter = 0xFFFFFFFFu;  // the 32-bit wrap is a multiple of the ring length
    rows = advanceLookaheadLine(*line);
    EXPECT_EQ(rows.writeRow, 4095u);
    EXPECT_EQ(rows.outRow, 0u);
    EXPECT_EQ(line->counter, 0u);
    EXPECT_EQ(detectorRow(4090, 10), 4u);
    EXPECT_EQ(detectorRow(7, 0), 7u);
}

TEST(LookaheadLine, LookaheadTruncatesToFramesAndStaysInsideTheRing) {
    for (const RegisteredParam* row : {&kCompressorLookaheadMs, &kLimiterLookaheadMs}) {
        const ParamRange& range = row->range;
        EXPECT_EQ(lookaheadFrames(0, range), 0);
        EXPECT_EQ(lookaheadFrames(5, range), 220);  // 220.5 truncated
        EXPECT_EQ(lookaheadFrames(1, range), 44);   // 44.1
        EXPECT_EQ(lookaheadFrames(90, range), 3969);
        EXPECT_EQ(lookaheadFrames(500, range), 3969);
        EXPECT_EQ(lookaheadFrames(-3, range), 0);
        EXPECT_EQ(lookaheadFrames(NAN, range), 0);
        EXPECT_EQ(lookaheadFrames(INFINITY, range), 3969);
    }
}

// The compressor and the limiter each delay the whole signal by 4,095 frames, whatever their
// lookahead; at ratio 1 and with a threshold out of reach the rest is bit-exact.
TEST(TenBandChain, CompressorAndLimiterShiftTheSignalBy4095And8190Frames) {
    tenband::TestNoise noise;
    const int frames = 30000;
    std::vector<short> input(2 * frames);
    for (int n = 0; n < frames; ++n) {
        const double tone = 6000 * std::sin(n * 0.03) + 3000 * std::sin(n * 0.31);
        input[2 * n] = static_cast<short>(tone + 2000 * noise.next() + 1.5);
        input[2 * n + 1] = static_cast<short>(-tone + 2000 * noise.next() + 1.5);
        if (input[2 * n] == 0) input[2 * n] = 1;  // no zero samples: the silence noise stays out
        if (input[2 * n + 1] == 0) input[2 * n + 1] = 1;
    }
    auto configure = [](tenband::TenBandRig& rig, bool compressor, bool limiter) {
        for (int j = 0; j < kBandCount; ++j) {
            rig.params->compressor.ratio[j] = 1;
            rig.params->compressor.releaseMs[j] = 0;
            rig.params->compressor.lookaheadMs[j] = 7 * j;
            rig.params->limiter.thresholdDb[j] = 24;
            rig.params->limiter.releaseMs[j] = 0;
            rig.params->limiter.lookaheadMs[j] = 90 - 5 * j;
        }
        rig.params->general.compressorActive = compressor;
        rig.params->general.limiterActive = limiter;
    };
    tenband::TenBandRig base, compressed, both;
    configure(base, false, false);
    configure(compressed, true, false);
    configure(both, true, true);
    std::vector<short> a = input, b = input, c = input;
    base.run(a);
    compressed.run(b);
    both.run(c);
    for (int n = 0; n + 8190 < frames; ++n) {
        ASSERT_EQ(b[2 * (n + 4095)], a[2 * n]) << "frame " << n;
        ASSERT_EQ(b[2 * (n + 4095) + 1], a[2 * n + 1]) << "frame " << n;
        ASSERT_EQ(c[2 * (n + 8190)], a[2 * n]) << "frame " << n;
    }
    for (int n = 0; n < 4095; ++n) ASSERT_EQ(b[2 * n], 0);
}

// Values that reach the live block from hand-edited files: block constants stay usable, the
// output and every follower stay finite, and in-range values are taken exactly.
TEST(BandStageGuards, OutOfRangeValuesKeepEveryStageFinite) {
    BandStage stage;
    LiveParams& p = *stage.params;
    const double odd[] = {NAN, 0, -5, 1e-9, INFINITY, -INFINITY, 1e300, -1e300, 0.004, 7e6};
    double* perBand[] = {p.processor.detectMs, p.compressor.gainDb,      p.compressor.ratio,    p.compressor.thresholdDb,
                         p.compressor.lookaheadMs, p.compressor.attackMs, p.compressor.releaseMs, p.expander.ratio,
                         p.expander.thresholdDb, p.expander.attackMs,     p.expander.releaseMs,   p.limiter.gainDb,
                         p.limiter.thresholdDb,  p.limiter.lookaheadMs,   p.limiter.attackMs,     p.limiter.releaseMs,
                         p.saturator.levelPercent, p.saturator.gainDb,    p.saturator.clipDb};
    int k = 0;
    for (double* values : perBand) {
        for (int j = 0; j < kBandCount; ++j) values[j] = odd[(j + k) % 10];  // every odd value in every band stage
        ++k;
    }
    for (int j = 0; j < kBandCount; ++j) p.saturator.clipEnable[j] = j % 2;
    p.dynamicEq = {NAN, 1e6, INFINITY};
    p.saturator.refilter = 1;
    GeneralParams& g = p.general;
    g.processorActive = g.dynamicEqActive = g.compressorActive = g.expanderActive = g.limiterActive = 1;
    g.saturatorActive = g.tenBandEqActive = 1;
    for (double& gain : stage.processor->eq.gain) gain = 1;
    stage.prepare();

    TenBandProcessor& tb = *stage.processor;
    for (int j = 0; j < kBandCount; ++j) {
        EXPECT_TRUE(tb.detectors.detect[j] >= 0 && tb.detectors.detect[j] <= 1) << j;
        EXPECT_TRUE(tb.compressor.block.lookahead[j] >= 0 && tb.compressor.block.lookahead[j] <= 3969) << j;
        EXPECT_TRUE(tb.limiter.block.lookahead[j] >= 0 && tb.limiter.block.lookahead[j] <= 3969) << j;
        EXPECT_TRUE(tb.compressor.block.threshold[j] > 0 && std::isfinite(tb.compressor.block.threshold[j])) << j;
        EXPECT_TRUE(tb.saturator.block.clip[j] > 0 && std::isfinite(tb.saturator.block.clip[j])) << j;
        EXPECT_TRUE(tb.compressor.block.attack[j] > 0 && tb.compressor.block.attack[j] <= 1) << j;
    }
    tenband::TestNoise noise;
    for (int n = 0; n < 20000; ++n) {
        double L = 0.7 * noise.next(), R = 0.7 * noise.next();
        processSample(tb, p, 1.0, L, R, n % 512 == 0);
        ASSERT_TRUE(std::isfinite(L) && std::isfinite(R)) << "frame " << n;
        if (n % 512 == 511) finishBlock(tb.saturator, 0.00256);
    }
    for (int j = 0; j < kBandCount; ++j) {
        const double state[] = {tb.compressor.level[j], tb.compressor.gain[j],  tb.expander.gain[j],
                                tb.limiter.gain[j],     tb.dynamicEq.gain[j],   tb.dynamicEq.meter[j],
                                tb.compressor.meter[j], tb.expander.meter[j],   tb.limiter.meter[j],
                                tb.saturator.meter[j]};
        for (double v : state) EXPECT_TRUE(std::isfinite(v)) << j;
    }

    // In-range values are used exactly.
    p.processor.detectMs[0] = 1;
    p.compressor.ratio[0] = 3.7;
    p.compressor.lookaheadMs[0] = 90;
    p.compressor.attackMs[0] = 0;
    p.expander.ratio[0] = 1.3;
    p.dynamicEq.amountPercent = 37;
    stage.prepare();
    EXPECT_EQ(tb.detectors.detect[0], 1 / (1 * 0.001 * 44100));
    EXPECT_EQ(tb.compressor.block.blend[0], 1 / (3.7 - 1));
    EXPECT_EQ(tb.compressor.block.lookahead[0], 3969);
    EXPECT_EQ(tb.compressor.block.attack[0], 1.0);
    EXPECT_EQ(tb.expander.block.floor[0], 1 / 1.3);
    EXPECT_EQ(tb.dynamicEq.block.amount, 37 * 0.01);
}

TEST(BandStageBlocks, DecibelConstantsFollowEveryChangeOfTheirSettings) {
    // The stages keep their last decibel conversions from block to block. Whatever came before,
    // a block's constants must be those a fresh processor works out from the same settings, from
    // the first block of a fresh (zeroed) processor on, where 0 dB is a gain of exactly 1.
    BandStage kept;
    const auto setAll = [](LiveParams& p, double dB) {
        for (int j = 0; j < kBandCount; ++j) {
            p.compressor.gainDb[j] = p.limiter.gainDb[j] = p.saturator.gainDb[j] = dB;
            p.compressor.thresholdDb[j] = p.limiter.thresholdDb[j] = p.expander.thresholdDb[j] = dB - j;
            p.saturator.clipDb[j] = dB - 1;
        }
    };
    setAll(*kept.params, 0.0);
    kept.prepare();
    EXPECT_EQ(kept.processor->compressor.block.preGain[0], 1.0);
    EXPECT_EQ(kept.processor->limiter.block.preGain[0], 1.0);
    EXPECT_EQ(kept.processor->saturator.block.gain[0], 1.0);
    for (const double dB : {-6.0, -6.0, 3.5, 0.0, -0.0, -6.0}) {
        BandStage fresh;
        setAll(*kept.params, dB);
        setAll(*fresh.params, dB);
        kept.prepare();
        fresh.prepare();
        const TenBandProcessor& a = *kept.processor;
        const TenBandProcessor& b = *fresh.processor;
        for (int j = 0; j < kBandCount; ++j) {
            EXPECT_EQ(a.compressor.block.preGain[j], b.compressor.block.preGain[j]) << dB << " dB, band " << j;
            EXPECT_EQ(a.compressor.block.threshold[j], b.compressor.block.threshold[j]) << dB << " dB, band " << j;
            EXPECT_EQ(a.limiter.block.preGain[j], b.limiter.block.preGain[j]) << dB << " dB, band " << j;
            EXPECT_EQ(a.limiter.block.threshold[j], b.limiter.block.threshold[j]) << dB << " dB, band " << j;
            EXPECT_EQ(a.expander.block.threshold[j], b.expander.block.threshold[j]) << dB << " dB, band " << j;
            EXPECT_EQ(a.saturator.block.gain[j], b.saturator.block.gain[j]) << dB << " dB, band " << j;
            EXPECT_EQ(a.saturator.block.clip[j], b.saturator.block.clip[j]) << dB << " dB, band " << j;
        }
    }
}
