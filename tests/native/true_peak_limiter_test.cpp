// The delivery ceiling: nothing over it between samples either, nothing changed below it, every
// frame out in order, and gain that moves without steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "delivery/true_peak_limiter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 48000;

// A reference of its own: 16x interpolation with a 128-tap Blackman-windowed sinc.
double referenceTruePeak(const std::vector<double>& samples, int channels) {
    const int frames = static_cast<int>(samples.size()) / channels;
    const int half = 64;
    double peak = 0;
    for (int c = 0; c < channels; ++c) {
        for (int n = 0; n < frames; ++n) {
            for (int p = 0; p < 16; ++p) {
                const double t = n + p / 16.0;
                double y = 0;
                for (int k = n - half + 1; k <= n + half; ++k) {
                    if (k < 0 || k >= frames) continue;
                    const double x = t - k;
                    const double sinc = x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
                    const double w = 0.42 + 0.5 * std::cos(kPi * x / half) + 0.08 * std::cos(2 * kPi * x / half);
                    y += samples[static_cast<size_t>(k) * channels + c] * sinc * w;
                }
                peak = std::max(peak, std::fabs(y));
            }
        }
    }
    return peak;
}

std::vector<double> runLimiter(const std::vector<double>& in, int channels, double ceilingDb, int block,
                               TruePeakLimiter* used = nullptr) {
    TruePeakLimiter limiter;
    setUpTruePeakLimiter(limiter, channels, kRate, ceilingDb);
    const int frames = static_cast<int>(in.size()) / channels;
    std::vector<double> out(in.size() + static_cast<size_t>(limiter.delayFrames) * channels);
    int written = 0;
    for (int f = 0; f < frames; f += block) {
        const int n = std::min(block, frames - f);
        written += limitTruePeak(limiter, in.data() + static_cast<size_t>(f) * channels, n,
                                 out.data() + static_cast<size_t>(written) * channels);
    }
    written += flushTruePeak(limiter, out.data() + static_cast<size_t>(written) * channels);
    out.resize(static_cast<size_t>(written) * channels);
    if (used != nullptr) *used = limiter;
    return out;
}

// Loud material with peaks between samples: a sine at a quarter of the rate and 45 degrees of
// phase (samples at 0.707 of its crest), bursts and a steady tone under the ceiling.
std::vector<double> loudStereo(int frames) {
    std::vector<double> x(2 * static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        const double t = n / kRate;
        const double burst = (n / 4800) % 3 == 1 ? 1.4 : 0.3;
        x[2 * n] = burst * std::sin(2 * kPi * 12000 * t + kPi / 4);
        x[2 * n + 1] = 0.9 * std::sin(2 * kPi * 997 * t) * ((n / 2400) % 2 == 0 ? 1.2 : 0.5);
    }
    return x;
}

}  // namespace

TEST(TruePeakLimiter, NothingOverTheCeilingBetweenSamplesEither) {
    const std::vector<double> in = loudStereo(8000);
    ASSERT_GT(referenceTruePeak(in, 2), 1.3);
    for (const double ceilingDb : {-1.0, -0.1}) {
        const std::vector<double> out = runLimiter(in, 2, ceilingDb, 480);
        ASSERT_EQ(out.size(), in.size());
        const double ceiling = std::pow(10.0, ceilingDb / 20.0);
        const double peak = referenceTruePeak(out, 2);
        EXPECT_LE(peak, ceiling) << ceilingDb;
        EXPECT_LE(measureTruePeak(out.data(), 8000, 2), ceiling) << ceilingDb;
        // and it does not take off much more than it must: the loud bursts come within 1 dB
        EXPECT_GT(peak, ceiling * std::pow(10.0, -1.0 / 20.0)) << ceilingDb;
    }
}

TEST(TruePeakLimiter, BelowTheCeilingEveryFrameLeavesUntouchedAndInOrder) {
    std::vector<double> in(3 * 10000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = 0.3 * std::sin(0.001 * static_cast<double>(i * i % 7919));
    for (const int block : {1, 64, 10000}) {
        TruePeakLimiter used;
        const std::vector<double> out = runLimiter(in, 3, -1.0, block, &used);
        EXPECT_EQ(out, in) << "block " << block;
        EXPECT_EQ(used.framesReduced, 0);
    }
}

TEST(TruePeakLimiter, GainMovesSmoothlyAndTheBlockSizeDoesNotMatter) {
    const std::vector<double> in = loudStereo(24000);
    TruePeakLimiter used;
    const std::vector<double> out = runLimiter(in, 2, -1.0, 480, &used);
    EXPECT_GT(used.largestReductionDb, 3.0);
    EXPECT_EQ(runLimiter(in, 2, -1.0, 1), out);
    EXPECT_EQ(runLimiter(in, 2, -1.0, 7777), out);
    // The right channel is a slow tone: its gain, out / in, changes by little from frame to frame.
    double largestStep = 0;
    double previous = -1;
    for (int n = 0; n < 24000; ++n) {
        if (std::fabs(in[2 * n + 1]) < 0.2) continue;
        const double gain = out[2 * n + 1] / in[2 * n + 1];
        if (previous >= 0) largestStep = std::max(largestStep, std::fabs(gain - previous));
        previous = gain;
    }
    EXPECT_LT(largestStep, 0.02);
}

namespace {

// Bright material: white noise less itself two samples before (most of its energy between a tenth
// and four tenths of the rate, as a cymbal's is) over a square wave at a sixth of the rate.
std::vector<double> brightStereo(int frames, double drive) {
    std::vector<double> x(2 * static_cast<size_t>(frames));
    uint32_t seed = 12345;
    double previous[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
    for (int n = 0; n < frames; ++n) {
        for (int c = 0; c < 2; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double white = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
            const double square = (n / 3 + c) % 2 == 0 ? 0.3 : -0.3;  // 8 kHz at 48 kHz
            x[2 * n + c] = drive * (0.5 * (white - previous[c][1]) + square);
            previous[c][1] = previous[c][0];
            previous[c][0] = white;
        }
    }
    return x;
}

}  // namespace

TEST(TruePeakLimiter, BrightMaterialStaysUnderTheCeilingByAnIndependentReference) {
    const std::vector<double> in = brightStereo(6000, 1.5);
    ASSERT_GT(referenceTruePeak(in, 2), 1.5);
    const double ceilingDb = -1.0;
    const std::vector<double> out = runLimiter(in, 2, ceilingDb, 256);
    EXPECT_LE(referenceTruePeak(out, 2), std::pow(10.0, ceilingDb / 20.0));
}

TEST(TruePeakLimiter, TheSharedInterpolatorReadsBrightMaterialAsTheReferenceDoes) {
    for (const double drive : {0.3, 0.6}) {
        const std::vector<double> in = brightStereo(6000, drive);
        const double reference = 20.0 * std::log10(referenceTruePeak(in, 2));
        const double measured = 20.0 * std::log10(measureTruePeak(in.data(), 6000, 2));
        EXPECT_NEAR(measured, reference, 0.05) << drive;
    }
}
