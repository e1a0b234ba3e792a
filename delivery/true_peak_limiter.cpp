// The true-peak ceiling: the shared interpolator, the gain each frame needs, running minimum, release
// and moving average, all on rings set up once.
#include "delivery/true_peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTaps = kTruePeakTaps;
constexpr int kCentreTap = kTruePeakTapsBefore;  // phase 0 is the sample there: the span lies after it
// Kept off the ceiling for what other meters read into content near the Nyquist frequency: their
// resamplers (ffmpeg's, at 192 kHz) pass some of its images and read such peaks up to about
// 0.15 dB above a long interpolator; limited heavily, bright noise finds those peaks.
constexpr double kSafetyDb = 0.2;

const TruePeakInterpolator& interpolator() {
    static const TruePeakInterpolator table = [] {
        TruePeakInterpolator made;
        setUpTruePeakInterpolator(made, kTruePeakOversampling);
        return made;
    }();
    return table;
}

// Largest magnitude over the sample at the centre tap and the points after it, for one channel
// whose last kTaps samples are window[0 ... kTaps - 1] (oldest first).
double spanPeak(const double* window) {
    return std::max(std::fabs(window[kCentreTap]), interpolatedPeak(interpolator(), window, 1));
}

// One frame through every step; true when an output frame was written to `out`.
bool stepFrame(TruePeakLimiter& l, const double* frame, double* out) {
    const int channels = l.channels;
    const int W = l.lookahead;
    const int64_t n = l.framesIn++;

    // 1. the frame into the interpolator's history and the delay line
    // (each sample twice in a ring of 2 * kTaps, so the last kTaps are always side by side)
    for (int c = 0; c < channels; ++c) {
        double* ring = &l.history[static_cast<size_t>(c) * 2 * kTaps];
        ring[l.historyAt] = frame[c];
        ring[l.historyAt + kTaps] = frame[c];
    }
    const int64_t ring = l.delayFrames + 1;
    const int64_t slot = ((n % ring) + ring) % ring;
    for (int c = 0; c < channels; ++c) l.delay[static_cast<size_t>(slot) * channels + c] = frame[c];
    l.historyAt = (l.historyAt + 1) % kTaps;

    // 2. the peak of the span after frame s (the one at the centre tap), and the gain frame s
    // needs: its span and the one before it, so that both neighbours of every interpolated point
    // are held down
    double span = 0.0;
    for (int c = 0; c < channels; ++c) {
        span = std::max(span, spanPeak(&l.history[static_cast<size_t>(c) * 2 * kTaps + l.historyAt]));
    }
    const double peak = std::max(span, l.previousSpanPeak);
    l.previousSpanPeak = span;
    const double need = peak > l.ceiling ? l.ceiling / peak : 1.0;
    const int64_t s = n - (kTaps - 1 - kCentreTap);

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
    l.lookahead = std::max(kTaps, static_cast<int>(std::ceil(lookaheadMs * 0.001 * sampleRate)));
    l.delayFrames = l.lookahead - 1 + (kTaps - 1 - kCentreTap);
    l.ceiling = std::pow(10.0, (ceilingDb - kSafetyDb) / 20.0);
    l.releaseStep = 1.0 - std::exp(-1.0 / (releaseMs * 0.001 * sampleRate));
    l.history.assign(static_cast<size_t>(l.channels) * 2 * kTaps, 0.0);
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
    std::vector<double> padded;
    double peak = 0.0;
    for (int c = 0; c < channels; ++c) {
        // Silence around the signal lets the first and last spans be interpolated.
        padded.assign(static_cast<size_t>(frames + 2 * kTaps), 0.0);
        for (int64_t n = 0; n < frames; ++n) padded[static_cast<size_t>(kTaps + n)] = samples[static_cast<size_t>(n) * channels + c];
        for (const double value : padded) peak = std::max(peak, std::fabs(value));
        peak = std::max(peak, interpolatedPeak(interpolator(), padded.data(), padded.size() - kTaps + 1));
    }
    return peak;
}
