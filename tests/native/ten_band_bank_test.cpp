// Ten-band filter bank: designs, the refilter copy, the runtime path and the flat recombined sum.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "dsp/filter_bank.h"
#include "dsp/ten_band_processor.h"
#include "ten_band_rig.h"

using tenband::kFs;
using tenband::kPi;
using tenband::TenBandRig;

namespace {

double db(double ratio) { return 20 * std::log10(ratio); }

// b0 of the band-pass straight from its definition: alpha / (1 + alpha).
double bandPassB0(double frequencyHz, double bandwidthOctaves) {
    const double w0 = 2 * kPi * frequencyHz / kFs;
    const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * bandwidthOctaves * w0 / std::sin(w0));
    return alpha / (1 + alpha);
}

}  // namespace

TEST(TenBandBank, DesignsFollowTheBandwidthAndTrimTable) {
    BiquadCoefficients bank[kBandCount];
    bankCoefficients(false, true, bank);  // plain, narrow: 1.0 octave
    EXPECT_NEAR(bank[0].b0, bandPassB0(32, 1.0), 1e-15);
    EXPECT_NEAR(bank[0].gain, std::pow(10.0, -2.6 / 20), 1e-15);
    EXPECT_NEAR(bank[8].gain, std::pow(10.0, -4.5 / 20), 1e-15);
    EXPECT_EQ(bank[0].b1, 0.0);
    EXPECT_EQ(bank[0].b2, -bank[0].b0);

    bankCoefficients(true, false, bank);  // reverse-cascaded, wide: 1.7 octaves, band 10 only 1.2
    EXPECT_NEAR(bank[8].b0, bandPassB0(8000, 1.7), 1e-15);
    EXPECT_NEAR(bank[9].b0, bandPassB0(16000, 1.2), 1e-15);
    EXPECT_NEAR(bank[9].gain, std::pow(10.0, -1.2 / 20), 1e-15);

    bankCoefficients(false, false, bank);  // plain, wide: 1.4 octaves
    EXPECT_NEAR(bank[9].b0, bandPassB0(16000, 1.4), 1e-15);
    bankCoefficients(true, true, bank);  // reverse-cascaded, narrow: 1.2 octaves
    EXPECT_NEAR(bank[5].b0, bandPassB0(1000, 1.2), 1e-15);
    EXPECT_NEAR(bank[0].gain, std::pow(10.0, -0.9 / 20), 1e-15);
}

TEST(TenBandBank, InstallCopiesEachBandWholeIntoTheRefiltersAndRetunesTheirTrims) {
    auto processor = std::make_unique<TenBandProcessor>();
    BiquadCoefficients bank[kBandCount];
    bankCoefficients(true, false, bank);
    installBankDesign(*processor, bank, true, false, true);
    for (int n = 0; n < 5000; ++n) {  // give the band filters a running state and moved indices
        for (ReverseCascadeFilter& filter : processor->bandFilters) {
            ReverseCascadeLeft(std::sin(0.01 * n), filter);
            ReverseCascadeRight(std::cos(0.02 * n), filter);
        }
    }

    bankCoefficients(true, true, bank);
    installBankDesign(*processor, bank, true, true, false);
    EXPECT_EQ(processor->designedCascaded, 1);
    EXPECT_EQ(processor->designedNarrow, 1);
    const double factors[kBandCount] = {1.8, 2.0, 2.0, 2.0, 2.0, 2.0, 2.0, 2.1, 2.0, 1.7};
    for (int j = 0; j < kBandCount; ++j) {
        const ReverseCascadeFilter& band = processor->bandFilters[j];
        const ReverseCascadeFilter& refilter = processor->saturator.refilters[j];
        EXPECT_EQ(band.biquad.b0, bank[j].b0);
        EXPECT_EQ(band.biquad.gain, bank[j].gain);
        EXPECT_EQ(refilter.biquad.b0, bank[j].b0);
        EXPECT_NEAR(refilter.biquad.gain, bank[j].gain * factors[j], 1e-15);
        EXPECT_NE(band.biquad.leftY1, 0.0);  // the running state is kept ...
        EXPECT_EQ(refilter.biquad.leftY1, band.biquad.leftY1);  // ... and copied
        EXPECT_EQ(refilter.biquad.rightX2, band.biquad.rightX2);
        EXPECT_EQ(refilter.leftWrite, band.leftWrite);
        EXPECT_EQ(refilter.rightRead, band.rightRead);
        EXPECT_EQ(refilter.ring[1234][0], band.ring[1234][0]);
    }

    installBankDesign(*processor, bank, false, false, true);
    EXPECT_EQ(processor->designedCascaded, 0);
    for (int j = 0; j < kBandCount; ++j) {
        EXPECT_EQ(processor->bandFilters[j].biquad.leftY1, 0.0);
        EXPECT_EQ(processor->saturator.refilters[j].biquad.leftY1, 0.0);
        EXPECT_EQ(processor->saturator.refilters[j].ring[1234][0], 0.0);
        EXPECT_EQ(processor->bandFilters[j].leftRead, 2 * kChunkFrames);
    }
}

// The recombined sum with every band stage off, measured with stepped sines through the whole
// chain, stays inside the stated limits. The limits are "about" values: the exact sum of the
// reverse-cascaded narrow bank peaks near 0.33 dB at 64 Hz, so each edge gets 0.05 dB.
TEST(TenBandChain, FlatSumStaysWithinItsLimitsFrom40HzTo16kHz) {
    struct Case {
        bool cascaded, narrow;
        double lowDb, highDb;
    };
    const Case cases[] = {{false, false, -1.6, 0.3}, {false, true, -1.2, 0.6}, {true, false, -1.3, 0.2}, {true, true, -1.0, 0.3}};
    constexpr double kAboutDb = 0.05;
    constexpr int kSegment = 3 * 8192;  // delay of the cascaded bank, settling, measurement
    std::vector<double> frequencies;
    for (int k = 0; 40 * std::pow(2.0, k / 8.0) < 16000; ++k) frequencies.push_back(40 * std::pow(2.0, k / 8.0));
    frequencies.push_back(16000);

    for (const Case& c : cases) {
        TenBandRig rig(c.cascaded, c.narrow);
        double lowest = 100, highest = -100;
        for (double f : frequencies) {
            std::vector<short> samples = tenband::stereoSine(f, 12000, kSegment);
            const double in = tenband::sineAmplitude(samples, 0, 2 * 8192, 8192, f);
            rig.run(samples);
            const double outL = tenband::sineAmplitude(samples, 0, 2 * 8192, 8192, f);
            const double outR = tenband::sineAmplitude(samples, 1, 2 * 8192, 8192, f);
            EXPECT_NEAR(outL, outR, 1.0);
            lowest = std::min(lowest, db(outL / in));
            highest = std::max(highest, db(outL / in));
        }
        SCOPED_TRACE(testing::Message() << "cascaded " << c.cascaded << ", narrow " << c.narrow);
        EXPECT_GE(lowest, c.lowDb - kAboutDb);
        EXPECT_LE(highest, c.highDb + kAboutDb);
        EXPECT_LT(lowest, -0.5);  // the sum is only roughly flat: it does dip
    }
}

TEST(TenBandChain, ReverseCascadedCentreGainIsTwiceTheTrim) {
    TenBandRig rig(true, false);
    rig.params->general.tenBandEqActive = 1;
    const struct {
        int band;
        double trimDb;
    } bands[] = {{3, -3.2}, {9, -1.2}, {0, -1.8}};
    for (const auto& b : bands) {
        for (int j = 0; j < kBandCount; ++j) rig.params->tenBandEq.bandMute[j] = j == b.band ? 0 : 1;
        rig.update();
        const double f = kBandCentreHz[b.band];
        std::vector<short> samples = tenband::stereoSine(f, 16000, 4 * 8192);
        const double in = tenband::sineAmplitude(samples, 0, 3 * 8192, 8192, f);
        rig.run(samples);
        const double out = tenband::sineAmplitude(samples, 0, 3 * 8192, 8192, f);
        EXPECT_NEAR(db(out / in), 2 * b.trimDb, 0.01) << "band " << b.band + 1;
    }
}

TEST(TenBandChain, DensityGainScalesTheBandsWithEveryStageOff) {
    TenBandRig plain;
    TenBandRig driven;
    driven.params->general.densityDriveDb = 6;
    std::vector<short> a = tenband::stereoSine(1000, 8000, 8192);
    std::vector<short> b = a;
    plain.run(a);
    driven.run(b);
    const double ratio = tenband::sineAmplitude(b, 0, 4096, 4096, 1000) / tenband::sineAmplitude(a, 0, 4096, 4096, 1000);
    EXPECT_NEAR(ratio, std::pow(10.0, 6.0 / 20), 1e-3);
}

TEST(TenBandChain, RuntimePathChangesOnlyWithTheRedesign) {
    TenBandRig rig(false, false);
    rig.params->processor.cascadedFilters = 1;  // ticked, not yet designed
    std::vector<short> samples = tenband::stereoSine(1000, 10000, 4096);
    rig.run(samples);
    EXPECT_EQ(rig.state->tenBand.designedCascaded, 0);
    EXPECT_NEAR(rig.state->tenBand.bandFilters[5].biquad.gain, std::pow(10.0, -5.0 / 20), 1e-15);
    int loud = 0;
    for (int n = 0; n < 200; ++n) loud += std::abs(samples[2 * n]) > 1000;
    EXPECT_GT(loud, 0) << "the plain path answers at once";

    rig.update();
    std::vector<short> next = tenband::stereoSine(1000, 10000, 3 * 4096);
    rig.run(next);
    EXPECT_EQ(rig.state->tenBand.designedCascaded, 1);
    EXPECT_NEAR(rig.state->tenBand.bandFilters[5].biquad.gain, std::pow(10.0, -3.2 / 20), 1e-15);
    // The reverse cascade's rings were cleared and never written by the plain path: its first
    // chunk of output is silence (then the backward pass's pre-ringing announces the tone).
    for (int n = 0; n < 4096; ++n) ASSERT_EQ(next[2 * n], 0) << "frame " << n;
    EXPECT_GT(tenband::sineAmplitude(next, 0, 2 * 4096, 4096, 1000), 5000);
}
