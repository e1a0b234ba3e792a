// The true-peak meter: blocks of windows through the shared interpolator, skipped where their
// bound lies under the peak so far.
#include "cli/true_peak.h"

#include <algorithm>
#include <cmath>

namespace cli {
namespace {

constexpr int kKept = kTruePeakTaps - 1;  // samples a buffer carries into the next chunk
constexpr size_t kSkipBlock = 64;         // windows judged together for the skip
// The sum of |taps| times the largest |sample| bounds every interpolation of a window; computed
// in floating point the sum may round above the bound by a few units in the last place.
constexpr double kBoundMargin = 1.0 + 1e-9;

// Largest |value| (a NaN is passed over).
double maxAbs(const double* values, size_t count) {
    double result = 0.0;
    for (size_t i = 0; i < count; ++i) result = std::max(result, std::fabs(values[i]));
    return result;
}

// One channel's buffer of kKept + frames samples, a block of windows at a time: the samples the
// block reads go into the peak (each of them is a sample of the signal or the silence around it),
// and the interpolations are computed only when their bound is above the peak so far.
void measureChannel(TruePeakMeter& meter, const double* buffer, size_t frames) {
    for (size_t start = 0; start < frames; start += kSkipBlock) {
        const size_t count = std::min(kSkipBlock, frames - start);
        const double largestSample = maxAbs(buffer + start, count + kKept);
        meter.peak = std::max(meter.peak, largestSample);
        if (meter.interpolator.tapMagnitudeSum * largestSample * kBoundMargin <= meter.peak) continue;
        meter.peak = std::max(meter.peak, interpolatedPeak(meter.interpolator, buffer + start, count));
    }
}

}  // namespace

void startTruePeak(TruePeakMeter& meter, int rate, int channels) {
    meter = TruePeakMeter{};
    meter.factor = truePeakFactor(rate);
    meter.channels = channels;
    setUpTruePeakInterpolator(meter.interpolator, meter.factor);
    meter.history.assign(static_cast<size_t>(channels), std::vector<double>(kKept + kTruePeakChunkFrames, 0.0));
}

void addTruePeakFrames(TruePeakMeter& meter, const double* samples, size_t frames) {
    const size_t channels = static_cast<size_t>(meter.channels);
    if (meter.factor == 1) {
        meter.peak = std::max(meter.peak, maxAbs(samples, frames * channels));
        return;
    }
    while (frames > 0) {
        const size_t piece = std::min(frames, kTruePeakChunkFrames);
        for (size_t c = 0; c < channels; ++c) {
            double* buffer = meter.history[c].data();
            for (size_t i = 0; i < piece; ++i) buffer[kKept + i] = samples[i * channels + c];
            measureChannel(meter, buffer, piece);
            std::copy(buffer + piece, buffer + piece + kKept, buffer);
        }
        samples += piece * channels;
        frames -= piece;
    }
}

void flushTruePeak(TruePeakMeter& meter) {
    if (meter.factor == 1) return;
    // The windows of the last samples reach kTruePeakTaps / 2 past them.
    const std::vector<double> zeros(static_cast<size_t>(kTruePeakTaps / 2 * meter.channels), 0.0);
    addTruePeakFrames(meter, zeros.data(), kTruePeakTaps / 2);
}

}  // namespace cli
