// Unit tests of the loudness meter: K-weighting against the 48 kHz filter the loudness standard
// publishes, channel weights, the two gates, short-term values, the true peak's interpolation
// against a direct computation, block-size invariance and the 16-bit path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "cli/loudness.h"
#include "cli/true_peak.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// |H|^2 of the K-weighting at frequencyHz, from the 48 kHz coefficients printed in ITU-R BS.1770
// (Tables 1 and 2): a high-shelf stage and the RLB high-pass.
double publishedKWeightingPower(double frequencyHz) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * frequencyHz / 48000.0);  // z^-1
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> shelf = (1.53512485958697 - 2.69169618940638 * z1 + 1.19839281085285 * z2) /
                                       (1.0 - 1.69065929318241 * z1 + 0.73248077421585 * z2);
    const std::complex<double> highPass = (1.0 - 2.0 * z1 + z2) / (1.0 - 1.99004745483398 * z1 + 0.99007225036621 * z2);
    return std::norm(shelf * highPass);
}

// Interleaved sines: channel c gets amplitudes[c] * sin(2 pi f n / rate + phase).
std::vector<double> sines(int rate, double seconds, double frequencyHz, const std::vector<double>& amplitudes,
                          double phase = 0.0) {
    const size_t channels = amplitudes.size();
    const size_t frames = static_cast<size_t>(std::lround(seconds * rate));
    std::vector<double> samples(frames * channels);
    for (size_t n = 0; n < frames; ++n) {
        const double value = std::sin(2.0 * kPi * frequencyHz * static_cast<double>(n) / rate + phase);
        for (size_t c = 0; c < channels; ++c) samples[n * channels + c] = amplitudes[c] * value;
    }
    return samples;
}

cli::LoudnessFigures measure(const std::vector<double>& samples, int rate, int channels, size_t blockFrames = 4096) {
    cli::LoudnessMeter meter;
    EXPECT_TRUE(cli::startMeter(meter, rate, channels));
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    for (size_t at = 0; at < frames; at += blockFrames) {
        cli::addFrames(meter, samples.data() + at * channels, std::min(blockFrames, frames - at));
    }
    return cli::finishMeter(meter, rate);
}

double lufsOf(double meanSquareSum) { return -0.691 + 10.0 * std::log10(meanSquareSum); }

// A whole number of periods in each 100 ms step keeps every block's mean square that of the sine;
// the filters settle within the first block, a small part of the ten seconds.
constexpr double kSteadyToleranceLu = 0.005;

TEST(LoudnessMeterKWeighting, SinesReadAsThePublishedFilterWeighsThem) {
    for (const double frequencyHz : {50.0, 100.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        const double amplitude = 0.25;
        const cli::LoudnessFigures figures = measure(sines(48000, 10.0, frequencyHz, {amplitude}), 48000, 1);
        const double expected = lufsOf(amplitude * amplitude / 2.0 * publishedKWeightingPower(frequencyHz));
        EXPECT_NEAR(figures.integratedLufs, expected, kSteadyToleranceLu) << frequencyHz << " Hz";
    }
}

TEST(LoudnessMeterKWeighting, FullScale997HzInOneChannelReadsMinus3Point01) {
    // The standard's calibration: a 0 dBFS 997 Hz sine in one channel reads -3.01 LKFS. The
    // filters are designed at the meter's rate by the bilinear transform, exact at their corner
    // frequencies: at 96 kHz the shelf sits a little lower at 1 kHz (-3.03, as libebur128 reads).
    for (const int rate : {44100, 48000, 96000}) {
        const cli::LoudnessFigures figures = measure(sines(rate, 10.0, 997.0, {1.0, 0.0}), rate, 2);
        EXPECT_NEAR(figures.integratedLufs, -3.01, rate == 96000 ? 0.025 : 0.01) << rate;
    }
}

TEST(LoudnessMeterKWeighting, StereoSumsTheChannelsPower) {
    // -20 dBFS sine in both channels: twice one channel's power, 3.01 dB up.
    const double amplitude = std::pow(10.0, -20.0 / 20.0);
    const cli::LoudnessFigures both = measure(sines(48000, 10.0, 1000.0, {amplitude, amplitude}), 48000, 2);
    const double expected = lufsOf(2.0 * amplitude * amplitude / 2.0 * publishedKWeightingPower(1000.0));
    EXPECT_NEAR(both.integratedLufs, expected, kSteadyToleranceLu);
    const cli::LoudnessFigures left = measure(sines(48000, 10.0, 1000.0, {amplitude, 0.0}), 48000, 2);
    EXPECT_NEAR(both.integratedLufs - left.integratedLufs, 10.0 * std::log10(2.0), 1e-6);
}

TEST(LoudnessMeterKWeighting, ChannelWeightsOfTheDefaultLayouts) {
    // Four channels are L R Ls Rs, five L R C Ls Rs, six L R C LFE Ls Rs; the surrounds weigh 1.41,
    // the LFE and anything after the sixth nothing.
    const double mono = measure(sines(48000, 5.0, 1000.0, {0.5}), 48000, 1).integratedLufs;
    const double surround = mono + 10.0 * std::log10(1.41);
    const struct {
        int channels;
        std::vector<double> expected;  // LUFS with the sine in that channel alone; NAN: silence
    } layouts[] = {{2, {mono, mono}},
                   {3, {mono, mono, mono}},
                   {4, {mono, mono, surround, surround}},
                   {5, {mono, mono, mono, surround, surround}},
                   {6, {mono, mono, mono, NAN, surround, surround}},
                   {8, {mono, mono, mono, NAN, surround, surround, NAN, NAN}}};
    for (const auto& layout : layouts) {
        for (int c = 0; c < layout.channels; ++c) {
            std::vector<double> amplitudes(static_cast<size_t>(layout.channels), 0.0);
            amplitudes[static_cast<size_t>(c)] = 0.5;
            const double lufs = measure(sines(48000, 5.0, 1000.0, amplitudes), 48000, layout.channels).integratedLufs;
            if (std::isnan(layout.expected[static_cast<size_t>(c)])) {
                EXPECT_TRUE(std::isinf(lufs) && lufs < 0) << layout.channels << " channels, channel " << c;
            } else {
                EXPECT_NEAR(lufs, layout.expected[static_cast<size_t>(c)], 1e-9)
                    << layout.channels << " channels, channel " << c;
            }
        }
    }
}

TEST(LoudnessMeterGates, RatesAndChannelCountsOutsideTheMetersRangeAreRefused) {
    cli::LoudnessMeter meter;
    EXPECT_FALSE(cli::startMeter(meter, 0, 2));
    EXPECT_FALSE(cli::startMeter(meter, 4, 2));  // a 100 ms step would hold no frame
    EXPECT_FALSE(cli::startMeter(meter, 44100, 0));
    EXPECT_FALSE(cli::startMeter(meter, 44100, 65));
    EXPECT_TRUE(cli::startMeter(meter, 8000, 1));
    EXPECT_TRUE(cli::startMeter(meter, 384000, 64));
    cli::discardMeter(meter);
}

TEST(LoudnessMeterGates, SilenceShortInputAndTheAbsoluteGate) {
    const cli::LoudnessFigures silence = measure(std::vector<double>(2 * 48000 * 5, 0.0), 48000, 2);
    EXPECT_TRUE(silence.measured);
    EXPECT_TRUE(std::isinf(silence.integratedLufs) && silence.integratedLufs < 0);
    EXPECT_TRUE(std::isinf(silence.truePeakDbtp) && silence.truePeakDbtp < 0);
    EXPECT_TRUE(std::isinf(silence.samplePeakDbfs) && silence.samplePeakDbfs < 0);
    EXPECT_EQ(silence.rangeLu, 0.0);
    // 300 ms: no 400 ms block is complete.
    const cli::LoudnessFigures brief = measure(sines(48000, 0.3, 1000.0, {0.5, 0.5}), 48000, 2);
    EXPECT_TRUE(std::isinf(brief.integratedLufs));
    EXPECT_EQ(brief.frames, 14400u);
    // A tone at about -75 LUFS is below the absolute gate; at about -65 it is measured.
    const double gain = std::pow(10.0, -75.0 / 20.0);
    EXPECT_TRUE(std::isinf(measure(sines(48000, 5.0, 1000.0, {gain}), 48000, 1).integratedLufs));
    EXPECT_NEAR(measure(sines(48000, 5.0, 1000.0, {gain * std::pow(10.0, 0.5)}), 48000, 1).integratedLufs,
                lufsOf(gain * gain * 10.0 / 2.0 * publishedKWeightingPower(1000.0)), kSteadyToleranceLu);
}

// Ten seconds at `loud`, ten at `quiet` (mean squares through the K-weighting, 1 kHz): the
// integrated loudness from the block energies as the gates define it. The three blocks across the
// change hold 3/4, 2/4 and 1/4 of loud.
double gatedFromDefinition(double loud, double quiet) {
    std::vector<double> blocks(97, loud);
    for (int k = 1; k <= 3; ++k) blocks.push_back((4 - k) / 4.0 * loud + k / 4.0 * quiet);
    for (int k = 0; k < 97; ++k) blocks.push_back(quiet);
    std::vector<double> kept;
    for (const double energy : blocks) {
        if (lufsOf(energy) >= -70.0) kept.push_back(energy);
    }
    double mean = 0.0;
    for (const double energy : kept) mean += energy / static_cast<double>(kept.size());
    const double gate = lufsOf(mean) - 10.0;
    double sum = 0.0;
    int count = 0;
    for (const double energy : kept) {
        if (lufsOf(energy) >= gate) {
            sum += energy;
            ++count;
        }
    }
    return lufsOf(sum / count);
}

TEST(LoudnessMeterGates, TheRelativeGateDropsWhatIsMoreThan10LuDown) {
    const double power = publishedKWeightingPower(1000.0) / 2.0;
    for (const double quietDb : {-12.0, -6.0}) {  // the quiet half below and above the relative gate
        std::vector<double> samples = sines(48000, 10.0, 1000.0, {0.5});
        const std::vector<double> quiet = sines(48000, 10.0, 1000.0, {0.5 * std::pow(10.0, quietDb / 20.0)});
        samples.insert(samples.end(), quiet.begin(), quiet.end());
        const double expected = gatedFromDefinition(0.25 * power, 0.25 * std::pow(10.0, quietDb / 10.0) * power);
        EXPECT_NEAR(measure(samples, 48000, 1).integratedLufs, expected, 0.01) << quietDb;
    }
}

TEST(LoudnessMeterShortTerm, OneValueEvery100MsOnceThreeSecondsHavePassed) {
    // 48 kHz: 4800 frames a step; 5.05 s holds 50 whole steps, so 21 short-term values.
    const std::vector<double> samples = sines(48000, 5.05, 1000.0, {0.5, 0.5});
    cli::LoudnessMeter meter;
    ASSERT_TRUE(cli::startMeter(meter, 48000, 2));
    cli::addFrames(meter, samples.data(), samples.size() / 2);
    ASSERT_EQ(meter.shortTermLufs.size(), 21u);
    const double expected = lufsOf(2.0 * 0.25 / 2.0 * publishedKWeightingPower(1000.0));
    for (const float lufs : meter.shortTermLufs) EXPECT_NEAR(lufs, expected, kSteadyToleranceLu);
    // 44.1 kHz steps are (rate + 5) / 10 = 4410 frames: 3 s and 4409 frames give one value.
    ASSERT_TRUE(cli::startMeter(meter, 44100, 1));
    const std::vector<double> mono(3 * 44100 + 4409, 0.1);
    cli::addFrames(meter, mono.data(), mono.size());
    EXPECT_EQ(meter.shortTermLufs.size(), 1u);
    cli::discardMeter(meter);
}

// Raised-cosine fades over the first and last `seconds`: a sine cut in abruptly rings above its
// amplitude where it starts and stops, as any band-limited reconstruction of a step does.
std::vector<double> faded(std::vector<double> samples, int rate, int channels, double seconds) {
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    const size_t fadeFrames = static_cast<size_t>(seconds * rate);
    for (size_t n = 0; n < fadeFrames; ++n) {
        const double gain = 0.5 - 0.5 * std::cos(kPi * static_cast<double>(n) / fadeFrames);
        for (int c = 0; c < channels; ++c) {
            samples[n * channels + c] *= gain;
            samples[(frames - 1 - n) * channels + c] *= gain;
        }
    }
    return samples;
}

TEST(LoudnessMeterTruePeak, SineAtAQuarterOfTheRateBetweenItsSamples) {
    // sin(pi/2 n + pi/4): every sample is +-1/sqrt(2) of the amplitude; the crests fall halfway
    // between samples, where 4x and 2x interpolation both look.
    const double amplitude = 0.5;
    for (const int rate : {44100, 48000, 96000}) {
        const cli::LoudnessFigures figures =
            measure(faded(sines(rate, 2.0, rate / 4.0, {amplitude, amplitude}, kPi / 4.0), rate, 2, 0.1), rate, 2);
        EXPECT_NEAR(figures.samplePeakDbfs, 20.0 * std::log10(amplitude / std::sqrt(2.0)), 1e-9) << rate;
        EXPECT_NEAR(figures.truePeakDbtp, 20.0 * std::log10(amplitude), 0.01) << rate;
    }
    // At 192 kHz the samples are the true peak.
    const cli::LoudnessFigures high = measure(sines(192000, 1.0, 48000.0, {amplitude}, kPi / 4.0), 192000, 1);
    EXPECT_EQ(high.truePeakDbtp, high.samplePeakDbfs);
}

TEST(LoudnessMeterTruePeak, FactorsByRate) {
    EXPECT_EQ(truePeakFactor(44100), 4);
    EXPECT_EQ(truePeakFactor(88200), 4);
    EXPECT_EQ(truePeakFactor(96000), 2);
    EXPECT_EQ(truePeakFactor(176400), 2);
    EXPECT_EQ(truePeakFactor(192000), 1);
}

// Music-like: decaying bursts of low-passed noise, a different draw per channel.
std::vector<double> plucks(int rate, double seconds, int channels, uint32_t seed) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<double> samples(frames * static_cast<size_t>(channels));
    std::vector<double> low(static_cast<size_t>(channels), 0.0);
    for (size_t n = 0; n < frames; ++n) {
        const double envelope = std::exp(-static_cast<double>(n % static_cast<size_t>(rate / 3)) / rate * 9.0);
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double white = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
            low[c] += 0.5 * (white - low[c]);
            samples[n * channels + c] = 0.95 * envelope * low[c];
        }
    }
    return samples;
}

TEST(LoudnessMeterTruePeak, SkippingAndLanesGiveTheDirectComputationsPeak) {
    // The meter skips windows whose bound is below the peak so far, estimates groups of windows in
    // single precision and runs blocks of them side by side; the direct computation runs every
    // interpolation of every channel, silence around. Clipped plucks put many windows within the
    // estimate's error of the peak. With pulses, each channel's peak is a band-limited pulse centred
    // a quarter, a half and three quarters of a sample after a sample, the largest in the first
    // channel or in the last; a single sample before it, a little lower than the pulse's peak but
    // higher than its samples, leaves only the pulse's exact interpolation above the peak so far.
    enum class Kind { plain, clipped, pulsesFallingByChannel, pulsesRisingByChannel };
    for (const auto& [rate, kind] : {std::pair{44100, Kind::plain}, std::pair{96000, Kind::plain},
                                     std::pair{48000, Kind::clipped}, std::pair{44100, Kind::pulsesFallingByChannel},
                                     std::pair{44100, Kind::pulsesRisingByChannel}}) {
        const int channels = 3;
        std::vector<double> samples = plucks(rate, 3.0, channels, 7);
        if (kind == Kind::clipped) {
            for (double& sample : samples) sample = std::clamp(4.0 * sample, -0.5, 0.5);
        }
        if (kind == Kind::pulsesFallingByChannel || kind == Kind::pulsesRisingByChannel) {
            constexpr double kPi = 3.14159265358979323846;
            const size_t frames = samples.size() / channels;
            for (double& sample : samples) sample *= 0.2;
            for (int c = 0; c < channels; ++c) {
                const double height = kind == Kind::pulsesRisingByChannel ? 0.8 + 0.05 * c : 0.9 - 0.05 * c;
                samples[(frames / 4 + 1000 * c) * channels + c] = 0.96 * height;
                const double centre = static_cast<double>(frames / 2 + 1000 * c) + 0.25 * (c + 1);
                for (int offset = -200; offset <= 200; ++offset) {
                    const size_t n = static_cast<size_t>(static_cast<double>(frames / 2 + 1000 * c) + offset);
                    const double t = static_cast<double>(n) - centre;
                    const double pulse = std::sin(0.8 * kPi * t) / (0.8 * kPi * t) * (0.5 + 0.5 * std::cos(kPi * t / 201.0));
                    samples[n * channels + c] += height * pulse;
                }
            }
        }
        cli::TruePeakMeter meter;
        cli::startTruePeak(meter, rate, channels);
        const int taps = kTruePeakTaps;
        const size_t frames = samples.size() / channels;
        double expected = 0.0;
        for (int c = 0; c < channels; ++c) {
            std::vector<double> padded(static_cast<size_t>(taps), 0.0);
            for (size_t n = 0; n < frames; ++n) padded.push_back(samples[n * channels + c]);
            padded.insert(padded.end(), static_cast<size_t>(taps), 0.0);
            for (const double value : padded) expected = std::max(expected, std::fabs(value));
            for (size_t start = 0; start + taps <= padded.size(); ++start) {
                for (int phase = 1; phase < meter.factor; ++phase) {
                    double sum = meter.interpolator.taps[phase][0] * padded[start];
                    for (int j = 1; j < taps; ++j) sum = sum + meter.interpolator.taps[phase][j] * padded[start + j];
                    expected = std::max(expected, std::fabs(sum));
                }
            }
        }
        for (const size_t block : {1u, 7u, 576u, 4096u}) {
            cli::startTruePeak(meter, rate, channels);
            for (size_t at = 0; at < frames; at += block) {
                cli::addTruePeakFrames(meter, samples.data() + at * channels, std::min(block, frames - at));
            }
            cli::flushTruePeak(meter);
            EXPECT_EQ(meter.peak, expected) << rate << " Hz, kind " << static_cast<int>(kind) << ", blocks of " << block;
        }
    }
}

TEST(LoudnessMeterTruePeak, EachPhasePassesAConstantAndBoundsItsGain) {
    cli::TruePeakMeter meter;
    cli::startTruePeak(meter, 44100, 1);
    ASSERT_EQ(meter.factor, truePeakFactor(44100));
    ASSERT_EQ(meter.factor % 2, 0);
    for (int phase = 1; phase < meter.factor; ++phase) {
        double sum = 0.0, magnitude = 0.0;
        for (const double tap : meter.interpolator.taps[phase]) {
            sum += tap;
            magnitude += std::fabs(tap);
        }
        EXPECT_NEAR(sum, 1.0, 1e-12);
        EXPECT_LE(magnitude, meter.interpolator.tapMagnitudeSum);
    }
    // Halfway between samples the filter is symmetric.
    for (int j = 0; j < kTruePeakTaps; ++j) {
        const int half = meter.factor / 2;
        EXPECT_NEAR(meter.interpolator.taps[half][j], meter.interpolator.taps[half][kTruePeakTaps - 1 - j], 1e-15);
    }
}

TEST(LoudnessMeterBlocks, FiguresDoNotDependOnHowTheAudioIsSliced) {
    const std::vector<double> samples = plucks(44100, 8.0, 2, 3);
    const cli::LoudnessFigures whole = measure(samples, 44100, 2, samples.size());
    for (const size_t block : {1u, 7u, 576u, 4096u}) {
        const cli::LoudnessFigures sliced = measure(samples, 44100, 2, block);
        EXPECT_EQ(sliced.integratedLufs, whole.integratedLufs) << block;
        EXPECT_EQ(sliced.rangeLu, whole.rangeLu) << block;
        EXPECT_EQ(sliced.truePeakDbtp, whole.truePeakDbtp) << block;
        EXPECT_EQ(sliced.samplePeakDbfs, whole.samplePeakDbfs) << block;
        EXPECT_EQ(sliced.frames, whole.frames) << block;
    }
}

TEST(LoudnessMeterBlocks, SixteenBitSamplesReadAsTheirDoublesAndClipsAreCounted) {
    std::vector<short> shorts = {0, 32767, -32768, 32764, -32764, 32763, -32763, 100};
    const std::vector<double> noise = plucks(44100, 2.0, 2, 5);
    for (const double value : noise) shorts.push_back(static_cast<short>(std::lround(value * 30000.0)));
    std::vector<double> doubles;
    for (const short value : shorts) doubles.push_back(value / 32768.0);
    cli::LoudnessMeter meter;
    ASSERT_TRUE(cli::startMeter(meter, 44100, 2));
    cli::addFrames(meter, shorts.data(), shorts.size() / 2);
    const cli::LoudnessFigures fromShorts = cli::finishMeter(meter, 44100);
    const cli::LoudnessFigures fromDoubles = measure(doubles, 44100, 2);
    EXPECT_EQ(fromShorts.integratedLufs, fromDoubles.integratedLufs);
    EXPECT_EQ(fromShorts.truePeakDbtp, fromDoubles.truePeakDbtp);
    EXPECT_EQ(fromShorts.samplePeakDbfs, 0.0);  // -32768
    // 32767, -32768, 32764 and -32764 are at or beyond the clamp; 32763 is not (the noise stays below).
    EXPECT_EQ(fromShorts.hardClippedSamples, 4u);
    EXPECT_EQ(fromDoubles.hardClippedSamples, 4u);
}

TEST(LoudnessMeterBlocks, ANotANumberSampleCostsOnlyItsOwnStretch) {
    // A float file may hold a NaN: the peaks pass over it, and the filters start again from
    // silence at the next 100 ms step, so the figures stay those of the tone.
    const double amplitude = 0.5;
    const std::vector<double> clean = sines(48000, 10.0, 1000.0, {amplitude, amplitude});
    std::vector<double> samples = clean;
    samples[2 * 240000 + 1] = NAN;
    const cli::LoudnessFigures figures = measure(samples, 48000, 2);
    const cli::LoudnessFigures reference = measure(clean, 48000, 2);
    // The step the NaN went through counts as silence: four of the 97 blocks lose a quarter of
    // their energy (-0.045 LU at most), thirty short-term windows a thirtieth.
    EXPECT_NEAR(figures.integratedLufs, reference.integratedLufs, 0.05);
    EXPECT_NEAR(figures.rangeLu, reference.rangeLu, 0.15);
    EXPECT_EQ(figures.samplePeakDbfs, reference.samplePeakDbfs);
    EXPECT_TRUE(std::isfinite(figures.truePeakDbtp));
    EXPECT_LE(figures.truePeakDbtp, reference.truePeakDbtp);
}

}  // namespace
