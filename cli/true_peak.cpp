// The true-peak meter's interpolation filter and its passes, two lanes (SSE2) or four (AVX2).
#include "cli/true_peak.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

namespace cli {
namespace {

constexpr int kTaps = kTruePeakTapsPerPhase;
constexpr int kKept = kTaps - 1;            // samples a buffer carries into the next chunk
constexpr int kTapsBefore = kTaps / 2 - 1;  // samples before n in the window of n + phase / factor
constexpr double kPi = 3.14159265358979323846;
constexpr double kKaiserBeta = 7.0;         // side lobes about -70 dB
constexpr size_t kSkipBlock = 64;           // windows judged together for the skip
// The sum of |taps| times the largest |sample| bounds every interpolation of a window; computed
// in floating point the sum may round above the bound by a few units in the last place.
constexpr double kBoundMargin = 1.0 + 1e-9;

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

// The interpolation kernel at distance t (in input samples): a sinc cut off at the input's Nyquist
// frequency under a Kaiser window that reaches zero at +-kTaps / 2.
double kernel(double t) {
    const double halfWidth = kTaps / 2.0;
    const double ratio = t / halfWidth;
    if (ratio <= -1.0 || ratio >= 1.0) return 0.0;
    const double window = besselI0(kKaiserBeta * std::sqrt(1.0 - ratio * ratio)) / besselI0(kKaiserBeta);
    const double sinc = t == 0.0 ? 1.0 : std::sin(kPi * t) / (kPi * t);
    return sinc * window;
}

// Largest |value| (a NaN is passed over), two lanes at a time in four registers (one register
// would wait on each maximum before the next).
double maxAbs(const double* values, size_t count) {
    const __m128d signMask = _mm_set1_pd(-0.0);
    __m128d largest0 = _mm_setzero_pd(), largest1 = largest0, largest2 = largest0, largest3 = largest0;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        largest0 = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i)), largest0);
        largest1 = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i + 2)), largest1);
        largest2 = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i + 4)), largest2);
        largest3 = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i + 6)), largest3);
    }
    for (; i + 2 <= count; i += 2) largest0 = _mm_max_pd(_mm_andnot_pd(signMask, _mm_loadu_pd(values + i)), largest0);
    double lanes[2];
    _mm_storeu_pd(lanes, _mm_max_pd(_mm_max_pd(largest0, largest1), _mm_max_pd(largest2, largest3)));
    double result = std::max(lanes[0], lanes[1]);
    for (; i < count; ++i) result = std::max(result, std::fabs(values[i]));
    return result;
}

// One interpolation: the sum over the taps in order.
double interpolate(const double* taps, const double* window) {
    double sum = taps[0] * window[0];
    for (int j = 1; j < kTaps; ++j) sum = sum + taps[j] * window[j];
    return sum;
}

// Largest |interpolation| of phases 1 ... Phases over the windows starting at buffer[0 ... count - 1],
// two windows to a register, every phase of two registers' windows at once (their sums are
// independent, so they overlap); each sum runs over the taps in order as interpolate() does.
template <int Phases>
double interpolatedPeakTwoLanes(const TruePeakMeter& meter, const double* buffer, size_t count) {
    const __m128d signMask = _mm_set1_pd(-0.0);
    __m128d largest = _mm_setzero_pd();
    size_t s = 0;
    for (; s + 4 <= count; s += 4) {
        __m128d low[Phases], high[Phases];
        for (int p = 0; p < Phases; ++p) {
            low[p] = _mm_mul_pd(_mm_set1_pd(meter.taps[p + 1][0]), _mm_loadu_pd(buffer + s));
            high[p] = _mm_mul_pd(_mm_set1_pd(meter.taps[p + 1][0]), _mm_loadu_pd(buffer + s + 2));
        }
        for (int j = 1; j < kTaps; ++j) {
            const __m128d windowLow = _mm_loadu_pd(buffer + s + j), windowHigh = _mm_loadu_pd(buffer + s + 2 + j);
            for (int p = 0; p < Phases; ++p) {
                const __m128d tap = _mm_set1_pd(meter.taps[p + 1][j]);
                low[p] = _mm_add_pd(low[p], _mm_mul_pd(tap, windowLow));
                high[p] = _mm_add_pd(high[p], _mm_mul_pd(tap, windowHigh));
            }
        }
        for (int p = 0; p < Phases; ++p) {
            largest = _mm_max_pd(_mm_andnot_pd(signMask, low[p]), largest);
            largest = _mm_max_pd(_mm_andnot_pd(signMask, high[p]), largest);
        }
    }
    double lanes[2];
    _mm_storeu_pd(lanes, largest);
    double result = std::max(lanes[0], lanes[1]);
    for (; s < count; ++s) {
        for (int p = 1; p <= Phases; ++p) result = std::max(result, std::fabs(interpolate(meter.taps[p], buffer + s)));
    }
    return result;
}

// The same, four windows to a register.
template <int Phases>
__attribute__((target("avx2"))) double interpolatedPeakFourLanes(const TruePeakMeter& meter, const double* buffer,
                                                                   size_t count) {
    const __m256d signMask = _mm256_set1_pd(-0.0);
    __m256d largest = _mm256_setzero_pd();
    size_t s = 0;
    for (; s + 8 <= count; s += 8) {
        __m256d low[Phases], high[Phases];
        for (int p = 0; p < Phases; ++p) {
            low[p] = _mm256_mul_pd(_mm256_set1_pd(meter.taps[p + 1][0]), _mm256_loadu_pd(buffer + s));
            high[p] = _mm256_mul_pd(_mm256_set1_pd(meter.taps[p + 1][0]), _mm256_loadu_pd(buffer + s + 4));
        }
        for (int j = 1; j < kTaps; ++j) {
            const __m256d windowLow = _mm256_loadu_pd(buffer + s + j);
            const __m256d windowHigh = _mm256_loadu_pd(buffer + s + 4 + j);
            for (int p = 0; p < Phases; ++p) {
                const __m256d tap = _mm256_set1_pd(meter.taps[p + 1][j]);
                low[p] = _mm256_add_pd(low[p], _mm256_mul_pd(tap, windowLow));
                high[p] = _mm256_add_pd(high[p], _mm256_mul_pd(tap, windowHigh));
            }
        }
        for (int p = 0; p < Phases; ++p) {
            largest = _mm256_max_pd(_mm256_andnot_pd(signMask, low[p]), largest);
            largest = _mm256_max_pd(_mm256_andnot_pd(signMask, high[p]), largest);
        }
    }
    double lanes[4];
    _mm256_storeu_pd(lanes, largest);
    double result = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    for (; s < count; ++s) {
        for (int p = 1; p <= Phases; ++p) result = std::max(result, std::fabs(interpolate(meter.taps[p], buffer + s)));
    }
    return result;
}

double interpolatedPeak(const TruePeakMeter& meter, const double* buffer, size_t count) {
    if (meter.factor == 4) {
        return meter.fourLanes ? interpolatedPeakFourLanes<3>(meter, buffer, count)
                               : interpolatedPeakTwoLanes<3>(meter, buffer, count);
    }
    return meter.fourLanes ? interpolatedPeakFourLanes<1>(meter, buffer, count)
                           : interpolatedPeakTwoLanes<1>(meter, buffer, count);
}

// One channel's buffer of kKept + frames samples, a block of windows at a time: the samples the
// block reads go into the peak (each of them is a sample of the signal or the silence around it),
// and the interpolations are computed only when their bound is above the peak so far.
void measureChannel(TruePeakMeter& meter, const double* buffer, size_t frames) {
    for (size_t start = 0; start < frames; start += kSkipBlock) {
        const size_t count = std::min(kSkipBlock, frames - start);
        const double largestSample = maxAbs(buffer + start, count + kKept);
        meter.peak = std::max(meter.peak, largestSample);
        if (meter.tapMagnitudeSum * largestSample * kBoundMargin <= meter.peak) continue;
        meter.peak = std::max(meter.peak, interpolatedPeak(meter, buffer + start, count));
    }
}

}  // namespace

int truePeakFactor(int rate) {
    if (rate < 96000) return 4;
    if (rate < 192000) return 2;
    return 1;
}

void startTruePeak(TruePeakMeter& meter, int rate, int channels) {
    meter = TruePeakMeter{};
    meter.factor = truePeakFactor(rate);
    meter.channels = channels;
    for (int phase = 1; phase < meter.factor; ++phase) {
        const double fraction = static_cast<double>(phase) / meter.factor;
        double sum = 0.0;
        for (int j = 0; j < kTaps; ++j) {
            meter.taps[phase][j] = kernel(fraction + kTapsBefore - j);
            sum += meter.taps[phase][j];
        }
        // Each phase passes a constant unchanged, as the unwindowed sinc would.
        double magnitudeSum = 0.0;
        for (int j = 0; j < kTaps; ++j) {
            meter.taps[phase][j] /= sum;
            magnitudeSum += std::fabs(meter.taps[phase][j]);
        }
        meter.tapMagnitudeSum = std::max(meter.tapMagnitudeSum, magnitudeSum);
    }
    meter.history.assign(static_cast<size_t>(channels), std::vector<double>(kKept + kTruePeakChunkFrames, 0.0));
    __builtin_cpu_init();
    meter.fourLanes = __builtin_cpu_supports("avx2");
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
    // The windows of the last kTaps / 2 samples reach as far past them.
    const std::vector<double> zeros(static_cast<size_t>(kTaps / 2 * meter.channels), 0.0);
    addTruePeakFrames(meter, zeros.data(), kTaps / 2);
}

}  // namespace cli
