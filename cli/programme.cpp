// Synthesis of the demonstration programme: notes with harmonics, drum sounds, noise and silence.
#include "cli/programme.h"

#include <algorithm>
#include <cmath>

#include "cli/cli_common.h"

namespace cli {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kRate = kSampleRate;

struct StereoBuffer {
    std::vector<double> left, right;
    explicit StereoBuffer(double seconds)
        : left(static_cast<size_t>(seconds * kRate)), right(static_cast<size_t>(seconds * kRate)) {}
    size_t frames() const { return left.size(); }
};

// xorshift32: small, fast and the same everywhere.
struct NoiseSource {
    uint32_t state;
    double next() {  // uniform in [-1, 1)
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state * (2.0 / 4294967296.0) - 1.0;
    }
};

// A note of `harmonics` partials with amplitudes 1/h, a 10 ms attack, a decay to 60 % over 150 ms
// and an 80 ms release; `pan` 0 is left, 1 right (equal-power).
void addNote(StereoBuffer& out, double startS, double lengthS, double frequencyHz, double amplitude, double pan,
             int harmonics) {
    const size_t first = static_cast<size_t>(startS * kRate);
    const size_t count = static_cast<size_t>((lengthS + 0.08) * kRate);
    const double gainLeft = amplitude * std::cos(pan * kTwoPi / 4);
    const double gainRight = amplitude * std::sin(pan * kTwoPi / 4);
    for (size_t n = 0; n < count && first + n < out.frames(); ++n) {
        const double t = n / kRate;
        double envelope = t < 0.01 ? t / 0.01 : 0.6 + 0.4 * std::exp(-(t - 0.01) / 0.05);
        if (t > lengthS) envelope *= std::max(0.0, 1.0 - (t - lengthS) / 0.08);
        double value = 0;
        for (int h = 1; h <= harmonics && h * frequencyHz < 18000; ++h) {
            value += std::sin(kTwoPi * frequencyHz * h * t) / h;
        }
        out.left[first + n] += gainLeft * envelope * value;
        out.right[first + n] += gainRight * envelope * value;
    }
}

// A sine falling from 150 to 45 Hz with a 150 ms decay.
void addKick(StereoBuffer& out, double startS, double amplitude) {
    const size_t first = static_cast<size_t>(startS * kRate);
    double phase = 0;
    for (size_t n = 0; n < static_cast<size_t>(0.4 * kRate) && first + n < out.frames(); ++n) {
        const double t = n / kRate;
        phase += kTwoPi * (45 + 105 * std::exp(-t / 0.04)) / kRate;
        const double value = amplitude * std::exp(-t / 0.15) * std::sin(phase);
        out.left[first + n] += value;
        out.right[first + n] += value;
    }
}

// Noise with a decay of `decayS`, differenced `brightness` times (each a gentle high-pass).
void addBurst(StereoBuffer& out, double startS, double amplitude, double decayS, int brightness, double lengthS,
              NoiseSource& noise) {
    const size_t first = static_cast<size_t>(startS * kRate);
    double previousLeft[3] = {}, previousRight[3] = {};
    for (size_t n = 0; n < static_cast<size_t>(lengthS * kRate) && first + n < out.frames(); ++n) {
        double left = noise.next(), right = noise.next();
        for (int stage = 0; stage < brightness; ++stage) {
            const double l = left - previousLeft[stage], r = right - previousRight[stage];
            previousLeft[stage] = left;
            previousRight[stage] = right;
            left = 0.5 * l;
            right = 0.5 * r;
        }
        const double envelope = amplitude * std::exp(-(n / kRate) / decayS);
        out.left[first + n] += envelope * left;
        out.right[first + n] += envelope * right;
    }
}

void normalise(StereoBuffer& buffer, double peakDb) {
    double peak = 0;
    for (size_t n = 0; n < buffer.frames(); ++n) {
        peak = std::max({peak, std::fabs(buffer.left[n]), std::fabs(buffer.right[n])});
    }
    if (peak <= 0) return;
    const double gain = std::pow(10.0, peakDb / 20) / peak;
    for (size_t n = 0; n < buffer.frames(); ++n) {
        buffer.left[n] *= gain;
        buffer.right[n] *= gain;
    }
}

void mixInto(StereoBuffer& out, const StereoBuffer& part, double startS) {
    const size_t first = static_cast<size_t>(startS * kRate);
    for (size_t n = 0; n < part.frames() && first + n < out.frames(); ++n) {
        out.left[first + n] += part.left[n];
        out.right[first + n] += part.right[n];
    }
}

constexpr double kScaleHz[] = {220.0, 261.63, 293.66, 329.63, 392.0, 440.0, 523.25, 587.33, 659.26};
constexpr double kBassHz[] = {55.0, 65.41, 73.42, 82.41};

double pick(const double* table, size_t size, NoiseSource& noise) {
    const size_t index = static_cast<size_t>((noise.next() + 1) * 0.5 * size);
    return table[std::min(index, size - 1)];
}

void quietMelody(StereoBuffer& part, NoiseSource& noise) {
    for (double t = 0; t < 4.0; t += 2.0) {
        addNote(part, t, 1.9, 220.0, 0.3, 0.3, 4);
        addNote(part, t, 1.9, 261.63, 0.3, 0.7, 4);
        addNote(part, t, 1.9, 329.63, 0.3, 0.5, 4);
    }
    for (double t = 0; t < 3.9; t += 0.5) addNote(part, t, 0.4, pick(kScaleHz, 9, noise) * 2, 0.6, 0.4, 6);
}

void loudPassage(StereoBuffer& part, NoiseSource& noise) {
    for (int beat = 0; beat < 12; ++beat) {
        const double t = beat * 0.5;
        addKick(part, t, 1.0);
        if (beat % 2 == 1) addBurst(part, t, 0.7, 0.12, 1, 0.3, noise);
        addBurst(part, t, 0.25, 0.03, 3, 0.1, noise);
        addBurst(part, t + 0.25, 0.25, 0.03, 3, 0.1, noise);
        addNote(part, t, 0.45, kBassHz[(beat / 2) % 4], 0.6, 0.5, 8);
        if (beat % 4 == 0) {
            addNote(part, t, 1.9, 220.0, 0.25, 0.2, 6);
            addNote(part, t, 1.9, 277.18, 0.25, 0.8, 6);
            addNote(part, t, 1.9, 329.63, 0.25, 0.5, 6);
        }
        addNote(part, t + 0.25, 0.2, pick(kScaleHz, 9, noise) * 2, 0.35, 0.6, 5);
    }
}

// Pink-ish noise (white noise through a one-pole low-pass, mixed with some white), swelling by
// 28 dB over the stretch.
void noiseSwell(StereoBuffer& part, NoiseSource& noise) {
    double lowLeft = 0, lowRight = 0;
    for (size_t n = 0; n < part.frames(); ++n) {
        const double fraction = static_cast<double>(n) / part.frames();
        const double gain = std::pow(10.0, (-28.0 * (1.0 - fraction)) / 20);
        const double whiteLeft = noise.next(), whiteRight = noise.next();
        lowLeft += 0.05 * (whiteLeft - lowLeft);
        lowRight += 0.05 * (whiteRight - lowRight);
        part.left[n] = gain * (3 * lowLeft + 0.3 * whiteLeft);
        part.right[n] = gain * (3 * lowRight + 0.3 * whiteRight);
    }
}

void mediumPassage(StereoBuffer& part, NoiseSource& noise) {
    for (double t = 0; t < 3.9; t += 0.5) {
        addNote(part, t, 0.45, kBassHz[static_cast<int>(t) % 4] * 2, 0.5, 0.5, 6);
        addNote(part, t + 0.25, 0.2, pick(kScaleHz, 9, noise), 0.4, 0.35, 5);
    }
}

void onePass(StereoBuffer& out, double offsetS, NoiseSource& noise) {
    StereoBuffer quiet(4.0), loud(6.0), swell(3.0), medium(4.0), crash(2.0);
    quietMelody(quiet, noise);
    normalise(quiet, -30.0);
    loudPassage(loud, noise);
    normalise(loud, -2.0);
    noiseSwell(swell, noise);
    normalise(swell, -12.0);
    mediumPassage(medium, noise);
    normalise(medium, -18.0);
    addBurst(crash, 0.0, 1.0, 0.5, 1, 2.0, noise);
    normalise(crash, -3.0);
    mixInto(out, quiet, offsetS);
    mixInto(out, loud, offsetS + 4.0);
    mixInto(out, swell, offsetS + 10.0);
    // 13 - 16 s: digital silence
    mixInto(out, medium, offsetS + 16.0);
    mixInto(out, crash, offsetS + 18.0);
}

}  // namespace

std::vector<short> makeProgramme(double seconds, uint32_t seed) {
    const double passes = std::ceil(seconds / kProgrammeSeconds);
    StereoBuffer whole(std::max(passes, 1.0) * kProgrammeSeconds);
    NoiseSource noise{seed != 0 ? seed : 1u};
    for (int pass = 0; pass < static_cast<int>(passes); ++pass) onePass(whole, pass * kProgrammeSeconds, noise);

    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<short> samples(2 * frames);
    for (size_t n = 0; n < frames; ++n) {
        const double values[2] = {whole.left[n], whole.right[n]};
        for (int channel = 0; channel < 2; ++channel) {
            const double scaled = std::clamp(std::round(values[channel] * 32768.0), -32768.0, 32767.0);
            samples[2 * n + channel] = static_cast<short>(scaled);
        }
    }
    return samples;
}

}  // namespace cli
