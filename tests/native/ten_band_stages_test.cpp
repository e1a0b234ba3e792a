// Dynamic equaliser, saturator and clipper, ten-band equaliser, idle reset, block-size invariance.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/filter_bank.h"
#include "dsp/ten_band_eq.h"
#include "dsp/ten_band_processor.h"
#include "ten_band_rig.h"

using tenband::BandStage;
using tenband::constantBands;

TEST(DynamicEq, AmountZeroChangesNothing) {
    BandStage stage;
    stage.params->dynamicEq.amountPercent = 0;
    stage.params->dynamicEq.speedMs = 200;
    stage.prepare();
    tenband::TestNoise noise;
    for (int n = 0; n < 5000; ++n) {
        BandSamples bands;
        for (int j = 0; j < kBandCount; ++j) {
            bands.left[j] = noise.next() * (j + 1) * 0.05;
            bands.right[j] = noise.next() * 0.02;
        }
        const BandSamples before = bands;
        equalizeBands(stage.processor->dynamicEq, stage.processor->detectors, bands, n == 0);
        for (int j = 0; j < kBandCount; ++j) {
            ASSERT_EQ(bands.left[j], before.left[j]);
            ASSERT_EQ(bands.right[j], before.right[j]);
        }
    }
    EXPECT_EQ(stage.processor->dynamicEq.meter[3], 0.0);
}

// All bands (nearly) silent: every target is gmax, the ten smoothed gains stay equal, and the
// normalisation turns each applied gain back into 1.
TEST(DynamicEq, SilentBandsAllGetAGainOfOne) {
    BandStage stage;
    stage.params->dynamicEq.amountPercent = 100;
    stage.params->dynamicEq.speedMs = 200;
    stage.prepare();
    BandSamples bands{};
    for (int n = 0; n < 44100; ++n) {
        bands = constantBands(1e-9);
        equalizeBands(stage.processor->dynamicEq, stage.processor->detectors, bands, n == 44099);
    }
    // After five speed time constants the smoothed gains are well on their way to gmax (9 dB).
    EXPECT_GT(stage.processor->dynamicEq.gain[0], 2.7);
    EXPECT_LT(stage.processor->dynamicEq.gain[0], std::pow(10.0, 9.0 / 20));
    for (int j = 0; j < kBandCount; ++j) {
        EXPECT_NEAR(bands.left[j], 1e-9, 1e-23);
        EXPECT_NEAR(stage.processor->dynamicEq.meter[j], 0.0, 1e-12);
    }
}

TEST(DynamicEq, LoudBandGoesDownOthersGoUpAndTheMeanStaysOne) {
    BandStage stage;
    stage.params->dynamicEq.amountPercent = 100;
    stage.params->dynamicEq.speedMs = 200;
    stage.prepare();
    const int loud = 2;
    BandSamples in{}, out{};
    for (int n = 0; n < 2 * 44100; ++n) {
        for (int j = 0; j < kBandCount; ++j) in.left[j] = in.right[j] = (j == loud ? 0.5 : 0.01) * (n % 2 ? 1 : -1);
        out = in;
        equalizeBands(stage.processor->dynamicEq, stage.processor->detectors, out, n == 2 * 44100 - 1);
    }
    double sum = 0;
    for (int j = 0; j < kBandCount; ++j) {
        const double e = out.left[j] / in.left[j];
        sum += e;
        if (j == loud) {
            EXPECT_LT(e, 1.0);
            EXPECT_LT(stage.processor->dynamicEq.meter[j], 0.0);
        } else {
            EXPECT_GT(e, 1.0) << j;
            EXPECT_GT(stage.processor->dynamicEq.meter[j], 0.0) << j;
        }
    }
    EXPECT_NEAR(sum / kBandCount, 1.0, 1e-15);
}

TEST(TenBandIdleReset, ClearsBanksLinesAndDynamicEqGainsOnly) {
    BandStage stage;
    TenBandProcessor& tb = *stage.processor;
    for (int j = 0; j < kBandCount; ++j) {
        tb.dynamicEq.gain[j] = 3;
        tb.compressor.gain[j] = 0.5;
        tb.compressor.level[j] = 0.25;
        tb.bandFilters[j].biquad.leftY1 = 0.1;
        tb.saturator.refilters[j].ring[77][1] = 0.2;
    }
    tb.compressor.line.left[100][4] = 0.3;
    tb.limiter.line.right[4095][9] = 0.4;
    tb.compressor.line.counter = 1234;
    idleReset(tb);
    for (int j = 0; j < kBandCount; ++j) {
        EXPECT_EQ(tb.dynamicEq.gain[j], 1.0);
        EXPECT_EQ(tb.compressor.gain[j], 0.5);  // followers and gains are left alone
        EXPECT_EQ(tb.compressor.level[j], 0.25);
        EXPECT_EQ(tb.bandFilters[j].biquad.leftY1, 0.0);
        EXPECT_EQ(tb.saturator.refilters[j].ring[77][1], 0.0);
    }
    EXPECT_EQ(tb.compressor.line.left[100][4], 0.0);
    EXPECT_EQ(tb.limiter.line.right[4095][9], 0.0);
    EXPECT_EQ(tb.compressor.line.counter, 1234u);
}

TEST(BandSaturatorCurve, SquareRootSaturationAtFullAndHalfLevel) {
    EXPECT_EQ(saturate(0.25, 1.0), 0.5);
    EXPECT_NEAR(saturate(-0.04, 1.0), -0.2, 1e-16);
    EXPECT_EQ(saturate(1.0, 1.0), 1.0);
    EXPECT_EQ(saturate(-1.0, 1.0), -1.0);
    EXPECT_EQ(saturate(0.25, 0.5), 0.375);  // 0.5 x 0.5 + 0.5 x 0.25
    EXPECT_EQ(hardClip(0.3, 0.2), 0.2);
    EXPECT_EQ(hardClip(-0.3, 0.2), -0.2);
    EXPECT_EQ(hardClip(0.1, 0.2), 0.1);
}

TEST(BandSaturator, LevelsSaturateAndTheGainDrivesTheClipToExactlyPointTwo) {
    BandStage stage;
    SaturatorParams& s = stage.params->saturator;
    for (double& level : s.levelPercent) level = 0;  // bands 4 ... 10: level 0, gain 0 dB, no clip
    s.levelPercent[0] = 100;
    s.levelPercent[1] = 50;
    s.gainDb[2] = 12;
    s.clipEnable[2] = 1;  // clip 0 dB: +-0.2
    stage.prepare();
    BandSamples bands = constantBands(0.25);
    bands.right[0] = -0.04;
    bands.right[5] = -0.123456789;
    saturateBands(stage.processor->saturator, stage.processor->designedCascaded != 0, bands);
    EXPECT_EQ(bands.left[0], 0.5);
    EXPECT_NEAR(bands.right[0], -0.2, 1e-16);
    EXPECT_EQ(bands.left[1], 0.375);
    EXPECT_EQ(bands.left[2], 0.2);
    EXPECT_EQ(bands.left[9], 0.25);  // neutral settings leave a band as it is
    EXPECT_EQ(bands.right[5], -0.123456789);

    tenband::TestNoise noise;
    int railHits = 0;
    for (int n = 0; n < 5000; ++n) {
        BandSamples busy{};
        busy.left[2] = 0.3 * noise.next();
        busy.right[2] = 0.3 * noise.next();
        saturateBands(stage.processor->saturator, stage.processor->designedCascaded != 0, busy);
        ASSERT_LE(std::fabs(busy.left[2]), 0.2);
        ASSERT_LE(std::fabs(busy.right[2]), 0.2);
        railHits += std::fabs(busy.left[2]) == 0.2;
    }
    EXPECT_GT(railHits, 1000);  // x 3.98 drives most values onto the rails
}

// Largest pre-clip value 0.4 against a clip level of 0.2: 20 log10(0.2 / 0.2 + 1) = 6.02 dB, then
// the hold falls by (numsamples / 2) x 5e-06 per block until it reaches 0.
TEST(BandSaturator, ClipMeterReadsTheHeldOvershootAndFalls) {
    BandStage stage;
    for (int j = 0; j < kBandCount; ++j) {
        stage.params->saturator.levelPercent[j] = 0;
        stage.params->saturator.clipEnable[j] = 1;
    }
    stage.prepare();
    BandSamples bands{};
    bands.left[4] = 0.4;    // positive overshoot of 0.2
    bands.right[6] = -0.4;  // negative only: not counted
    saturateBands(stage.processor->saturator, stage.processor->designedCascaded != 0, bands);
    const double decay = (4096 / 2) * 0.00005 * 0.1;
    finishBlock(stage.processor->saturator, decay);
    EXPECT_NEAR(stage.processor->saturator.meter[4], 20 * std::log10(2.0), 1e-12);
    EXPECT_NEAR(stage.processor->saturator.meter[4], 6.0206, 1e-4);
    EXPECT_EQ(stage.processor->saturator.meter[6], 0.0);
    EXPECT_EQ(stage.processor->saturator.meter[0], 0.0);

    double previous = stage.processor->saturator.meter[4];
    for (int block = 1; block <= 25; ++block) {
        BandSamples quiet = constantBands(0.01);
        saturateBands(stage.processor->saturator, stage.processor->designedCascaded != 0, quiet);
        finishBlock(stage.processor->saturator, decay);
        const double held = std::max(0.0, 0.2 - block * decay);
        EXPECT_NEAR(stage.processor->saturator.meter[4], 20 * std::log10(held / 0.2 + 1), 1e-9) << block;
        EXPECT_LE(stage.processor->saturator.meter[4], previous);
        previous = stage.processor->saturator.meter[4];
    }
    EXPECT_EQ(stage.processor->saturator.meter[4], 0.0);
}

// Runs of frames through every way the five band pairs can go (saturation everywhere, nowhere or
// in some pairs; clipping in both bands of every pair, in one, in none, or mixed over the pairs):
// each band's value and clip hold as the scalar curve, gain, clip and hold give them, frame by
// frame, left before right.
TEST(BandSaturator, EveryPathMatchesTheScalarCurveClipAndHold) {
    struct Layout {
        double level[2];  // bands of even and odd index
        bool clip[2];
        bool mixPairs;  // the last pair differs from the others
    };
    const Layout layouts[] = {{{40, 40}, {true, true}, false},  {{0, 0}, {true, true}, false},
                              {{40, 0}, {true, false}, false},  {{0, 0}, {false, false}, false},
                              {{25, 60}, {false, false}, false}, {{40, 40}, {true, true}, true}};
    for (const Layout& layout : layouts) {
        BandStage stage;
        SaturatorParams& s = stage.params->saturator;
        for (int j = 0; j < kBandCount; ++j) {
            const bool last = layout.mixPairs && j >= kBandCount - 2;
            s.levelPercent[j] = last ? 0 : layout.level[j % 2];
            s.clipEnable[j] = last ? 0 : layout.clip[j % 2];
            s.gainDb[j] = 2 + j;
            s.clipDb[j] = -3;
        }
        s.refilter = 0;
        stage.prepare();
        BandSaturator& saturator = stage.processor->saturator;
        const SaturatorBlock& block = saturator.block;
        double hold[kBandCount];
        for (int j = 0; j < kBandCount; ++j) hold[j] = saturator.clipPeak[j];
        tenband::TestNoise noise;
        std::vector<BandSamples> frames(kBandRunFrames);
        for (int run = 0; run < 40; ++run) {
            const int n = 1 + (run * 13) % kBandRunFrames;
            for (int f = 0; f < n; ++f) {
                for (int j = 0; j < kBandCount; ++j) {
                    frames[f].left[j] = (run % 3 == 0 ? 0.9 : 0.2) * noise.next();
                    frames[f].right[j] = (run % 3 == 0 ? 0.9 : 0.2) * noise.next();
                }
            }
            std::vector<BandSamples> expected(frames.begin(), frames.begin() + n);
            for (BandSamples& frame : expected) {
                for (int j = 0; j < kBandCount; ++j) {
                    for (double* x : {&frame.left[j], &frame.right[j]}) {
                        double v = block.amount[j] > 0 ? saturate(*x, block.amount[j]) : *x;
                        v = v * block.gain[j];
                        if (block.clipEnable[j]) {
                            const double clipped = hardClip(v, block.clip[j]);
                            const double overshoot = v - clipped;
                            if (overshoot > hold[j]) hold[j] = overshoot;
                            v = clipped;
                        }
                        *x = v;
                    }
                }
            }
            saturateFrames(saturator, false, frames.data(), n);
            for (int f = 0; f < n; ++f) {
                for (int j = 0; j < kBandCount; ++j) {
                    ASSERT_EQ(frames[f].left[j], expected[f].left[j]) << "run " << run << ", band " << j;
                    ASSERT_EQ(frames[f].right[j], expected[f].right[j]) << "run " << run << ", band " << j;
                }
            }
        }
        for (int j = 0; j < kBandCount; ++j) EXPECT_EQ(saturator.clipPeak[j], hold[j]) << "band " << j;
    }
}

// The re-filter runs band j once more through refilter j: on the plain bank an impulse comes out
// as b0 x trim x factor; on the reverse-cascaded bank it first meets 8,192 frames of delay.
TEST(BandSaturator, RefilterUsesTheRetunedBankOnItsRuntimePath) {
    BandStage stage;
    for (double& level : stage.params->saturator.levelPercent) level = 0;
    stage.params->saturator.refilter = 1;
    stage.prepare();
    BandSamples impulse = constantBands(1.0);
    saturateBands(stage.processor->saturator, stage.processor->designedCascaded != 0, impulse);
    const double w0 = 2 * tenband::kPi * 32 / tenband::kFs;
    const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * 1.4 * w0 / std::sin(w0));
    EXPECT_NEAR(impulse.left[0], alpha / (1 + alpha) * std::pow(10.0, -4.0 / 20) * 1.8, 1e-15);

    BiquadCoefficients bank[kBandCount];
    bankCoefficients(true, false, bank);
    installBankDesign(*stage.processor, bank, true, false, true);
    BandSamples first = constantBands(1.0);
    saturateBands(stage.processor->saturator, stage.processor->designedCascaded != 0, first);
    EXPECT_EQ(first.left[0], 0.0);
    EXPECT_EQ(first.right[9], 0.0);
}

TEST(TenBandEq, PreampAndBandGainsMultiplyAndMutesRemoveBands) {
    tenband::TenBandRig rig;
    rig.params->tenBandEq.preampDb = 6;
    rig.params->tenBandEq.bandDb[2] = -6;
    rig.params->tenBandEq.bandMute[7] = 1;
    rig.update();
    ProcessBlock(nullptr, 0, 16, 2, 44100, *rig.state, *rig.params, rig.random);  // block start takes the gains
    BandSamples bands = constantBands(0.5);
    applyEqGains(rig.state->tenBand.eq, bands);
    EXPECT_NEAR(bands.left[2], 0.5, 1e-15);  // band 3 at 0 dB
    EXPECT_NEAR(bands.right[0], 0.5 * std::pow(10.0, 6.0 / 20), 1e-15);
    EXPECT_NEAR(bands.left[9], 0.5 * std::pow(10.0, 6.0 / 20), 1e-15);
    EXPECT_EQ(bands.left[7], 0.0);
}

TEST(TenBandEq, MutingEveryBandSilencesTheProcessorOnlyWhileTheEqRuns) {
    tenband::TenBandRig rig;
    for (uint8_t& mute : rig.params->tenBandEq.bandMute) mute = 1;
    rig.update();
    std::vector<short> samples = tenband::stereoSine(440, 12000, 4096);
    rig.run(samples);
    EXPECT_GT(tenband::sineAmplitude(samples, 0, 2048, 2048, 440), 8000);  // EQ off: mutes unheard

    rig.params->general.tenBandEqActive = 1;
    samples = tenband::stereoSine(440, 12000, 4096);
    rig.run(samples);
    for (short v : samples) ASSERT_EQ(v, 0);
}

// With fixed parameters the audio does not depend on how the host slices it, with every band
// stage running (meters aside, nothing is done per block that touches the signal).
TEST(TenBandChain, OutputDoesNotDependOnTheBlockSize) {
    const int frames = 30000;
    std::vector<short> input(2 * frames);
    tenband::TestNoise noise;
    for (int n = 0; n < frames; ++n) {
        const double swell = 0.3 + 0.7 * std::fabs(std::sin(n * 0.0004));
        input[2 * n] = static_cast<short>(swell * (9000 * std::sin(n * 0.05) + 4000 * noise.next()) + 0.5);
        input[2 * n + 1] = static_cast<short>(swell * (7000 * std::sin(n * 0.013) + 4000 * noise.next()) + 0.5);
    }
    std::vector<short> reference;
    for (int blockFrames : {4096, 1, 7, 576}) {
        tenband::TenBandRig rig(true, false);
        GeneralParams& g = rig.params->general;
        g.dynamicEqActive = g.compressorActive = g.expanderActive = g.limiterActive = 1;
        g.saturatorActive = g.tenBandEqActive = 1;
        g.densityDriveDb = 3;
        rig.params->saturator.refilter = 1;
        for (uint8_t& clip : rig.params->saturator.clipEnable) clip = 1;
        rig.params->limiter.peakDetect = 1;
        rig.update();
        std::vector<short> samples = input;
        rig.run(samples, blockFrames);
        if (reference.empty()) {
            reference = samples;
            int nonZero = 0;
            for (short v : samples) nonZero += v != 0;
            EXPECT_GT(nonZero, frames / 2);  // the three delays have passed and sound comes out
        } else {
            ASSERT_EQ(samples, reference) << "blocks of " << blockFrames;
        }
    }
}
