// Biquad designs, the reverse-cascade runtime and the highpass and lowpass stages.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "dsp/filters/biquad.h"
#include "dsp/pass_filters.h"
#include "wideband_rig.h"

namespace {

constexpr double kNineDigits = 1e-9;
constexpr double kTenthOf16BitStep = 0.1 / 32768;

std::unique_ptr<ReverseCascadeFilter> makeFilter(int type, double gainDb, double hz, double octaves) {
    auto filter = std::make_unique<ReverseCascadeFilter>();
    DesignBiquad(*filter, true, type, gainDb, hz, 44100, octaves);
    return filter;
}

double rms(const std::vector<double>& x, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / count);
}

void expectCoefficients(const BiquadCoefficients& c, double b0, double b1, double b2, double a1, double a2) {
    EXPECT_NEAR(c.b0, b0, kNineDigits);
    EXPECT_NEAR(c.b1, b1, kNineDigits);
    EXPECT_NEAR(c.b2, b2, kNineDigits);
    EXPECT_NEAR(c.a1, a1, kNineDigits);
    EXPECT_NEAR(c.a2, a2, kNineDigits);
    EXPECT_EQ(c.gain, 1.0);
}

}  // namespace

TEST(PassFilterDesign, HighpassAt30HzAndLowpassAt18kHz) {
    expectCoefficients(highpassCoefficients(30), 0.996799982666, -1.99359996533, 0.996799982666, -1.99359085982,
                       0.993609070845);
    expectCoefficients(lowpassCoefficients(18000), 0.669120577347, 1.33824115469, 0.669120577347, 1.22035933995,
                       0.456122969441);

    WidebandRig rig;
    DesignLowpass(*rig.state, true, 18000);
    const LowpassFilter& lowpass = rig.state->lowpass;
    expectCoefficients(CoefficientsOf(lowpass.first.biquad), 0.669120577347, 1.33824115469, 0.669120577347,
                       1.22035933995, 0.456122969441);
    expectCoefficients(CoefficientsOf(lowpass.second.biquad), 0.669120577347, 1.33824115469, 0.669120577347,
                       1.22035933995, 0.456122969441);
}

TEST(ReverseCascade, ImpulseIsDelayed8192FramesAndSymmetric) {
    auto filter = makeFilter(kBandPass, 0, 1000, 1);
    std::vector<double> out(20000);
    for (size_t n = 0; n < out.size(); ++n) out[n] = ReverseCascadeLeft(n == 0 ? 1.0 : 0.0, *filter);

    for (int n = 0; n < kChunkFrames; ++n) ASSERT_EQ(out[n], 0.0) << "frame " << n;
    size_t peak = 0;
    for (size_t n = 0; n < out.size(); ++n) {
        if (std::fabs(out[n]) > std::fabs(out[peak])) peak = n;
    }
    EXPECT_EQ(peak, 8192u);
    // Both halves are the autocorrelation of the section's impulse response.
    for (int k = 1; k < 2000; ++k) {
        ASSERT_NEAR(out[8192 + k], out[8192 - k], 1e-12 * out[8192]) << "lag " << k;
    }
}

TEST(ReverseCascade, DcDecaysThroughHighpassAndPassesThroughLowpass) {
    auto highpass = std::make_unique<HighpassFilter>();
    auto lowpass = std::make_unique<LowpassFilter>();
    SetCoefficients(highpass->filter.biquad, highpassCoefficients(30));
    SetCoefficients(lowpass->first.biquad, lowpassCoefficients(18000));
    SetCoefficients(lowpass->second.biquad, lowpassCoefficients(18000));
    idleReset(*highpass);
    idleReset(*lowpass);

    for (int n = 0; n < 40000; ++n) {
        double hl = 0.5, hr = -0.25, ll = 0.5, lr = -0.25;
        processSample(*highpass, hl, hr);
        processSample(*lowpass, ll, lr);
        if (n < kChunkFrames) {
            ASSERT_EQ(hl, 0.0);
            ASSERT_EQ(ll, 0.0);
        }
        // The warm-up pass starts from the forward state, whose inputs are the DC value, so each
        // chunk join leaves a residual; it stays below a tenth of a 16-bit step.
        if (n >= 30000) {
            ASSERT_NEAR(hl, 0.0, kTenthOf16BitStep);
            ASSERT_NEAR(hr, 0.0, kTenthOf16BitStep);
        }
        if (n >= 17000) {
            ASSERT_NEAR(ll, 0.5, 1e-12);
            ASSERT_NEAR(lr, -0.25, 1e-12);
        }
    }
}

TEST(ReverseCascade, BandpassWithSixDbGainQuadruplesItsCentre) {
    auto filter = makeFilter(kBandPass, 6.0206, 1000, 1);
    std::vector<double> in(30000), out(30000);
    for (size_t n = 0; n < in.size(); ++n) {
        in[n] = 0.1 * std::sin(6.283185307179586 * 1000 * n / 44100);
        out[n] = ReverseCascadeLeft(in[n], *filter);
    }
    // 441 frames are exactly ten periods; the gain applies once per pass.
    EXPECT_NEAR(rms(out, 20000, 4410) / rms(in, 20000 - 8192, 4410), 4.0, 0.01);
}

TEST(ReverseCascade, ChannelsAreIndependent) {
    auto filter = makeFilter(kLowPass, 0, 5000, 1);
    uint32_t seed = 7;
    for (int n = 0; n < 20000; ++n) {
        seed = seed * 1664525u + 1013904223u;
        ReverseCascadeLeft(static_cast<double>(seed >> 8) / 16777216.0 - 0.5, *filter);
        ASSERT_EQ(ReverseCascadeRight(0.0, *filter), 0.0) << "frame " << n;
    }
}

TEST(ReverseCascade, RedesignWithoutResetStaysContinuousAndDelayed) {
    auto filter = std::make_unique<ReverseCascadeFilter>();
    DesignBiquad(*filter, true, kLowPass, 0, 5000, 44100, 2 - 5000 / 11200.0);
    const double step = 6.283185307179586 * 200 / 44100;
    const double maxSlope = 0.5 * step;  // largest change of the sine per frame
    constexpr int kRedesignFrame = 20000;
    double previous = 0;
    for (int n = 0; n < 40000; ++n) {
        if (n == kRedesignFrame) DesignBiquad(*filter, false, kLowPass, 0, 8000, 44100, 2 - 8000 / 11200.0);
        const double out = ReverseCascadeLeft(0.5 * std::sin(step * n), *filter);
        if (n >= 8192 + 2000) {
            // Chunks filtered forward by the old section and backward by the new one leave a
            // small phase error (about 0.02 rad at 200 Hz) until they have been emitted.
            const bool mixed = n >= kRedesignFrame && n < kRedesignFrame + 3 * kChunkFrames;
            ASSERT_NEAR(out, 0.5 * std::sin(step * (n - 8192)), mixed ? 0.02 : 1e-3) << "frame " << n;
            ASSERT_LE(std::fabs(out - previous), maxSlope * 1.05) << "frame " << n;
        }
        previous = out;
    }
}

TEST(PassFilterStage, BothFiltersDelayAnImpulseBy24576Frames) {
    WidebandRig rig;
    rig.params->passFilters.highpassCutoffHz = 20;
    rig.params->passFilters.lowpassCutoffHz = 20480;
    rig.params->general.highpassActive = 1;
    rig.params->general.lowpassActive = 1;
    rig.design();
    std::vector<short> samples(2 * 30000, 0);
    samples[0] = samples[1] = 16000;
    rig.run(samples, 576);
    size_t peak = 0;
    for (size_t i = 0; i < samples.size(); i += 2) {
        EXPECT_EQ(samples[i], samples[i + 1]);
        if (std::abs(samples[i]) > std::abs(samples[peak])) peak = i;
    }
    EXPECT_EQ(peak / 2, 24576u);
}
