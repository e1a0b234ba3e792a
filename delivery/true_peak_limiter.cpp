// The true-peak ceiling: 4x interpolation, the gain each frame needs, running minimum, release
// and moving average, all on rings set up once.
#include "delivery/true_peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTapsPerPhase = 16;
constexpr int kCentreTap = 7;  // phase 0 is the sample at tap 7: the interpolated span lies after it
constexpr double kPi = 3.14159265358979323846;
// Kept off the ceiling so that the smooth gain changes and a receiver's interpolator, which is
// not this one, stay under it too.
constexpr double kSafetyDb = 0.15;

struct Interpolator {
    double taps[kTruePeakOversampling][kTapsPerPhase];
};

double sinc(double x) { return x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

Interpolator makeInterpolator() {
    Interpolator interpolator{};
    const double halfSpan = kTapsPerPhase / 2 + 0.5;
    for (int phase = 0; phase < kTruePeakOversampling; ++phase) {
        double sum = 0.0;
        for (int j = 0; j < kTapsPerPhase; ++j) {
            const double t = kCentreTap - j + static_cast<double>(phase) / kTruePeakOversampling;
            const double window = 0.5 * (1.0 + std::cos(kPi * t / halfSpan));
            interpolator.taps[phase][j] = sinc(t) * window;
            sum += interpolator.taps[phase][j];
        }
        for (double& tap : interpolator.taps[phase]) tap /= sum;  // DC passes unchanged
    }
    return interpolator;
}

const Interpolator& interpolator() {
    static const Interpolator table = makeInterpolator();
    return table;
}

// Largest magnitude over the sample at the centre tap and the three points after it, for one channel whose
// last 16 samples are history[(start + j) % 16], j = 0 ... 15 (oldest first).
double spanPeak(const double* history, int start) {
    const Interpolator& filter = interpolator();
    double peak = 0.0;
    for (int phase = 0; phase < kTruePeakOversampling; ++phase) {
        double y = 0.0;
        for (int j = 0; j < kTapsPerPhase; ++j) y += filter.taps[phase][j] * history[(start + j) % kTapsPerPhase];
        peak = std::max(peak, std::fabs(y));
    }
    return peak;
}

// One frame through every step; true when an output frame was written to `out`.
bool stepFrame(TruePeakLimiter& l, const double* frame, double* out) {
    const int channels = l.channels;
    const int W = l.lookahead;
    const int64_t n = l.framesIn++;

    // 1. the frame into the interpolator's history and the delay line
    for (int c = 0; c < channels; ++c) l.history[static_cast<size_t>(c) * kTapsPerPhase + l.historyAt] = frame[c];
    const int64_t ring = l.delayFrames + 1;
    const int64_t slot = ((n % ring) + ring) % ring;
    for (int c = 0; c < channels; ++c) l.delay[static_cast<size_t>(slot) * channels + c] = frame[c];
    l.historyAt = (l.historyAt + 1) % kTapsPerPhase;

    // 2. the peak of the span after frame s (the one at the centre tap), and the gain frame s
    // needs: its span and the one before it, so that both neighbours of every interpolated point
    // are held down
    double span = 0.0;
    for (int c = 0; c < channels; ++c) {
        span = std::max(span, spanPeak(&l.history[static_cast<size_t>(c) * kTapsPerPhase], l.historyAt));
    }
    const double peak = std::max(span, l.previousSpanPeak);
    l.previousSpanPeak = span;
    const double need = peak > l.ceiling ? l.ceiling / peak : 1.0;
    const int64_t s = n - (kTapsPerPhase - 1 - kCentreTap);

    // 3. running minimum of the needed gains over [m, m + W)
    const int capacity = W + 1;
    while (l.queueSize > 0 && l.queueValues[(l.queueHead + l.queueSize - 1) % capacity] >= need) --l.queueSize;
    l.queueValues[(l.queueHead + l.queueSize) % capacity] = need;
    l.queueFrames[(l.queueHead + l.queueSize) % capacity] = s;
    ++l.queueSize;
    const int64_t m = s - W + 1;
    while (l.queueFrames[l.queueHead] < m) {
        l.queueHead = (l.queueHead + 1) % capacity;
        --l.queueSize;
    }
    const double minimum = l.queueValues[l.queueHead];

    // 4. release: the gain rises toward 1 only slowly, and never above what the window needs
    l.released = std::min(minimum, l.released + (1.0 - l.released) * l.releaseStep);

    // 5. moving average of the last W released gains: every one of them is the minimum over a
    // window that contains frame m
    const int term = static_cast<int>(((m % W) + W) % W);
    l.averageSum += l.released - l.averageTerms[term];
    l.averageTerms[term] = l.released;
    const double gain = std::min(1.0, l.averageSum / W);

    // 6. frame m leaves with that gain
    if (m < 0 || out == nullptr) return false;
    const int64_t outSlot = m % ring;
    for (int c = 0; c < channels; ++c) out[c] = l.delay[static_cast<size_t>(outSlot) * channels + c] * gain;
    if (gain < 1.0) {
        ++l.framesReduced;
        l.largestReductionDb = std::max(l.largestReductionDb, -20.0 * std::log10(gain));
    }
    return true;
}

}  // namespace

void setUpTruePeakLimiter(TruePeakLimiter& limiter, int channels, double sampleRate, double ceilingDb,
                          double lookaheadMs, double releaseMs) {
    TruePeakLimiter& l = limiter;
    l = TruePeakLimiter{};
    l.channels = std::max(1, channels);
    l.lookahead = std::max(kTapsPerPhase, static_cast<int>(std::ceil(lookaheadMs * 0.001 * sampleRate)));
    l.delayFrames = l.lookahead - 1 + (kTapsPerPhase - 1 - kCentreTap);
    l.ceiling = std::pow(10.0, (ceilingDb - kSafetyDb) / 20.0);
    l.releaseStep = 1.0 - std::exp(-1.0 / (releaseMs * 0.001 * sampleRate));
    l.history.assign(static_cast<size_t>(l.channels) * kTapsPerPhase, 0.0);
    l.delay.assign(static_cast<size_t>(l.channels) * (l.delayFrames + 1), 0.0);
    l.queueValues.assign(static_cast<size_t>(l.lookahead + 1), 1.0);
    l.queueFrames.assign(static_cast<size_t>(l.lookahead + 1), 0);
    l.averageTerms.assign(static_cast<size_t>(l.lookahead), 1.0);
    l.averageSum = l.lookahead;
    // Silence before the first frame: the rings start as if they had been running on zeros, so
    // frame 0 leaves exactly delayFrames frames after it came in.
    const std::vector<double> zeros(static_cast<size_t>(l.channels), 0.0);
    l.framesIn = -l.delayFrames;
    for (int i = 0; i < l.delayFrames; ++i) stepFrame(l, zeros.data(), nullptr);
}

int limitTruePeak(TruePeakLimiter& limiter, const double* in, int frames, double* out) {
    int written = 0;
    for (int f = 0; f < frames; ++f) {
        if (stepFrame(limiter, in + static_cast<size_t>(f) * limiter.channels,
                      out + static_cast<size_t>(written) * limiter.channels)) {
            ++written;
        }
    }
    return written;
}

int flushTruePeak(TruePeakLimiter& limiter, double* out) {
    const std::vector<double> zeros(static_cast<size_t>(limiter.channels), 0.0);
    int written = 0;
    for (int i = 0; i < limiter.delayFrames; ++i) {
        if (stepFrame(limiter, zeros.data(), out + static_cast<size_t>(written) * limiter.channels)) ++written;
    }
    return written;
}

double measureTruePeak(const double* samples, int64_t frames, int channels) {
    if (channels < 1) return 0.0;
    std::vector<double> history(static_cast<size_t>(channels) * kTapsPerPhase, 0.0);
    double peak = 0.0;
    int at = 0;
    // Six frames of silence after the end let the last spans be interpolated.
    for (int64_t n = 0; n < frames + kCentreTap + 1; ++n) {
        for (int c = 0; c < channels; ++c) {
            history[static_cast<size_t>(c) * kTapsPerPhase + at] =
                n < frames ? samples[static_cast<size_t>(n) * channels + c] : 0.0;
        }
        at = (at + 1) % kTapsPerPhase;
        for (int c = 0; c < channels; ++c) peak = std::max(peak, spanPeak(&history[static_cast<size_t>(c) * kTapsPerPhase], at));
    }
    return peak;
}
