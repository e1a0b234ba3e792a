// The true-peak meter: blocks of windows through the shared interpolator, skipped where their
// bound lies under the peak so far, and groups of windows computed exactly only where a quick
// single-precision estimate says they might raise it. The peak is the exact computation's.
#include "cli/true_peak.h"

#include <algorithm>
#include <cmath>

#include <emmintrin.h>

namespace cli {
namespace {

constexpr int kKept = kTruePeakTaps - 1;  // samples a buffer carries into the next chunk
constexpr size_t kSkipBlock = 64;         // windows judged together for the skip
static_assert(kSkipBlock > kKept, "a block of windows reads its own samples and fewer than a run more");
// The sum of |taps| times the largest |sample| bounds every interpolation of a window; computed
// in floating point the sum may round above the bound by a few units in the last place.
constexpr double kBoundMargin = 1.0 + 1e-9;
constexpr size_t kScreenLanes = 8;        // windows estimated side by side
// The estimate's rounding (single precision, sums of 32 terms) stays under about 1e-5 of the
// largest |sample| times the sum of |taps|; ten times that is allowed.
constexpr double kScreenRelativeError = 1e-4;
constexpr double kScreenAbsoluteError = 1e-35;  // values so small that single precision loses them
constexpr double kScreenLargestSample = 1e30;   // beyond this single precision may overflow: exact only

// For each group of kScreenLanes windows starting at x, x + kScreenLanes, ...: the largest estimated
// |interpolation| of its windows (x[groups * kScreenLanes - 1 + kTruePeakTaps - 1] is the last read).
// Pairs is 1 for four points a sample interval (phases 1 and 3, and the half phase 2), 0 for two.
// The lanes are the group's windows, in vectors of eight (two SSE registers where AVX is missing).
typedef float Lanes __attribute__((vector_size(kScreenLanes * sizeof(float))));

template <int Pairs>
__attribute__((always_inline)) inline void estimateGroupsOf(const TruePeakScreen& screen, const float* x, size_t groups,
                                                            float* estimates) {
    for (size_t g = 0; g < groups; ++g) {
        const float* w = x + g * kScreenLanes;
        Lanes sum = {}, difference = {}, half = {};
        for (int j = 0; j < kTruePeakFoldedTaps; ++j) {
            Lanes front, back;
            __builtin_memcpy(&front, w + j, sizeof(front));
            __builtin_memcpy(&back, w + kTruePeakTaps - 1 - j, sizeof(back));
            const Lanes folded = front + back;
            half += screen.halfTaps[j] * folded;
            if (Pairs == 1) {
                sum += screen.sumTaps[0][j] * folded;
                difference += screen.differenceTaps[0][j] * (front - back);
            }
        }
        Lanes largest = half > -half ? half : -half;
        if (Pairs == 1) {
            const Lanes pair = 0.5f * ((sum > -sum ? sum : -sum) + (difference > -difference ? difference : -difference));
            largest = pair > largest ? pair : largest;
        }
        float groupLargest = 0.0f;
        for (size_t l = 0; l < kScreenLanes; ++l) groupLargest = largest[l] > groupLargest ? largest[l] : groupLargest;
        estimates[g] = groupLargest;
    }
}

#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void estimateGroups(const TruePeakScreen& screen, const float* x, size_t groups, float* estimates) {
    if (screen.pairs == 1) {
        estimateGroupsOf<1>(screen, x, groups, estimates);
    } else {
        estimateGroupsOf<0>(screen, x, groups, estimates);
    }
}

void setUpScreen(TruePeakScreen& screen, const TruePeakInterpolator& interpolator) {
    screen = TruePeakScreen{};
    const int factor = interpolator.factor;
    constexpr int last = kTruePeakTaps - 1;
    // How far each phase is from the mirror image of its partner, as a sum of |tap differences|.
    double mismatch = 0.0;
    for (int p = 1; 2 * p < factor; ++p) {
        const double* taps = interpolator.taps[p];
        const double* partner = interpolator.taps[factor - p];
        double phaseMismatch = 0.0;
        for (int j = 0; j < kTruePeakFoldedTaps; ++j) {
            screen.sumTaps[screen.pairs][j] = static_cast<float>(taps[j] + taps[last - j]);
            screen.differenceTaps[screen.pairs][j] = static_cast<float>(taps[j] - taps[last - j]);
        }
        for (int j = 0; j < kTruePeakTaps; ++j) phaseMismatch += std::fabs(partner[j] - taps[last - j]);
        mismatch = std::max(mismatch, phaseMismatch);
        ++screen.pairs;
    }
    if (factor % 2 == 0 && factor > 1) {
        screen.half = true;
        const double* taps = interpolator.taps[factor / 2];
        double phaseMismatch = 0.0;
        for (int j = 0; j < kTruePeakFoldedTaps; ++j) {
            screen.halfTaps[j] = static_cast<float>(taps[j]);
            phaseMismatch += std::fabs(taps[last - j] - taps[j]);
        }
        mismatch = std::max(mismatch, phaseMismatch);
    }
    screen.usable = factor == 2 || factor == 4;
    screen.errorPerSample = kScreenRelativeError * interpolator.tapMagnitudeSum + 2.0 * mismatch;
}

// Largest |value| (a NaN is passed over, as std::max passes it over), four at a time.
double maxAbs(const double* values, size_t count) {
    const __m128d signMask = _mm_set1_pd(-0.0);
    __m128d largest = _mm_setzero_pd(), largestToo = largest;  // two, so one need not wait on the other
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        largest = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i)), largest);
        largestToo = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i + 2)), largestToo);
    }
    double lanes[2];
    _mm_storeu_pd(lanes, _mm_max_pd(largest, largestToo));
    double result = std::max(lanes[0], lanes[1]);
    for (; i < count; ++i) result = std::max(result, std::fabs(values[i]));
    return result;
}

// One channel's buffer of kKept + frames samples, a block of windows at a time: the samples the
// block reads go into the peak (each of them is a sample of the signal or the silence around it),
// and the interpolations are computed only when their bound is above the peak so far, a group of
// windows only when its estimate, less no more than its error, is above it too.
// `single` holds the same samples in single precision, followed by kScreenLanes more of any value.
void measureChannel(TruePeakMeter& meter, const double* buffer, const float* single, size_t frames) {
    // The largest |sample| of each run of kSkipBlock samples; a block of windows reads its own run
    // and kKept (< kSkipBlock) samples of the next.
    const size_t length = kKept + frames;
    double runLargest[(kKept + kTruePeakChunkFrames) / kSkipBlock + 1];
    size_t runs = 0;
    for (size_t at = 0; at < length; at += kSkipBlock) runLargest[runs++] = maxAbs(buffer + at, std::min(kSkipBlock, length - at));
    float estimates[kSkipBlock / kScreenLanes];
    for (size_t start = 0, run = 0; start < frames; start += kSkipBlock, ++run) {
        const size_t count = std::min(kSkipBlock, frames - start);
        const double largestSample = run + 1 < runs ? std::max(runLargest[run], runLargest[run + 1]) : runLargest[run];
        meter.peak = std::max(meter.peak, largestSample);
        if (meter.interpolator.tapMagnitudeSum * largestSample * kBoundMargin <= meter.peak) continue;
        if (!meter.screen.usable || largestSample > kScreenLargestSample) {
            meter.peak = std::max(meter.peak, interpolatedPeak(meter.interpolator, buffer + start, count));
            continue;
        }
        // The last group may run past the block's windows into the padding: a larger estimate only.
        const size_t groups = (count + kScreenLanes - 1) / kScreenLanes;
        estimateGroups(meter.screen, single + start, groups, estimates);
        const double error = meter.screen.errorPerSample * largestSample + kScreenAbsoluteError;
        for (size_t g = 0; g < groups; ++g) {
            if (static_cast<double>(estimates[g]) + error <= meter.peak) continue;
            const size_t first = g * kScreenLanes;
            const size_t windows = std::min(kScreenLanes, count - first);
            meter.peak = std::max(meter.peak, interpolatedPeak(meter.interpolator, buffer + start + first, windows));
        }
    }
}

}  // namespace

void startTruePeak(TruePeakMeter& meter, int rate, int channels) {
    meter = TruePeakMeter{};
    meter.factor = truePeakFactor(rate);
    meter.channels = channels;
    setUpTruePeakInterpolator(meter.interpolator, meter.factor);
    setUpScreen(meter.screen, meter.interpolator);
    meter.singleHistory.assign(static_cast<size_t>(channels), std::vector<float>(kKept + kTruePeakChunkFrames + kScreenLanes, 0.0f));
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
            float* single = meter.singleHistory[c].data();
            for (size_t i = 0; i < piece; ++i) {
                const double sample = samples[i * channels + c];
                buffer[kKept + i] = sample;
                // Kept inside single precision's range; a NaN stays a NaN.
                single[kKept + i] = static_cast<float>(std::min(std::max(sample, -kScreenLargestSample), kScreenLargestSample));
            }
            measureChannel(meter, buffer, single, piece);
            std::copy(buffer + piece, buffer + piece + kKept, buffer);
            std::copy(single + piece, single + piece + kKept, single);
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
