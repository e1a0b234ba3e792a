// The true-peak interpolator: Kaiser-windowed sinc taps, and the peak over blocks of windows.
#include "analysis/true_peak_interpolator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKaiserBeta = 6.0;  // side lobes about -60 dB
constexpr int kBlock = 8;            // windows summed side by side (independent sums: vector lanes)

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 60; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

// The kernel at distance t (in input samples): the sinc under a Kaiser window zero at +-kTaps / 2.
double kernel(double t) {
    const double ratio = t / (kTruePeakTaps / 2.0);
    if (ratio <= -1.0 || ratio >= 1.0) return 0.0;
    const double window = besselI0(kKaiserBeta * std::sqrt(1.0 - ratio * ratio)) / besselI0(kKaiserBeta);
    const double sinc = t == 0.0 ? 1.0 : std::sin(kPi * t) / (kPi * t);
    return sinc * window;
}

// kBlock windows at once: each sum runs over the taps in order, as interpolateTruePeak() does, so
// the lanes give the scalar results.
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
double blockPeak(const TruePeakInterpolator& interpolator, const double* windows, size_t blocks) {
    double largest = 0.0;
    for (size_t b = 0; b < blocks; ++b) {
        const double* x = windows + b * kBlock;
        for (int p = 1; p < interpolator.factor; ++p) {
            const double* taps = interpolator.taps[p];
            double sum[kBlock];
            for (int s = 0; s < kBlock; ++s) sum[s] = taps[0] * x[s];
            for (int j = 1; j < kTruePeakTaps; ++j) {
                for (int s = 0; s < kBlock; ++s) sum[s] = sum[s] + taps[j] * x[s + j];
            }
            for (int s = 0; s < kBlock; ++s) largest = std::max(largest, std::fabs(sum[s]));
        }
    }
    return largest;
}

}  // namespace

int truePeakFactor(int rate) {
    if (rate < 96000) return 4;
    if (rate < 192000) return 2;
    return 1;
}

void setUpTruePeakInterpolator(TruePeakInterpolator& interpolator, int factor) {
    interpolator = TruePeakInterpolator{};
    interpolator.factor = std::clamp(factor, 1, kTruePeakMaxFactor);
    for (int phase = 1; phase < interpolator.factor; ++phase) {
        const double fraction = static_cast<double>(phase) / interpolator.factor;
        double* taps = interpolator.taps[phase];
        double sum = 0.0;
        for (int j = 0; j < kTruePeakTaps; ++j) {
            taps[j] = kernel(fraction + kTruePeakTapsBefore - j);
            sum += taps[j];
        }
        // Each phase passes a constant unchanged, as the unwindowed sinc would.
        double magnitudeSum = 0.0;
        for (int j = 0; j < kTruePeakTaps; ++j) {
            taps[j] /= sum;
            magnitudeSum += std::fabs(taps[j]);
        }
        interpolator.tapMagnitudeSum = std::max(interpolator.tapMagnitudeSum, magnitudeSum);
    }
}

double interpolateTruePeak(const TruePeakInterpolator& interpolator, int phase, const double* window) {
    const double* taps = interpolator.taps[phase];
    double sum = taps[0] * window[0];
    for (int j = 1; j < kTruePeakTaps; ++j) sum = sum + taps[j] * window[j];
    return sum;
}

double interpolatedPeak(const TruePeakInterpolator& interpolator, const double* windows, size_t count) {
    const size_t blocks = count / kBlock;
    double largest = blocks > 0 ? blockPeak(interpolator, windows, blocks) : 0.0;
    for (size_t s = blocks * kBlock; s < count; ++s) {
        for (int p = 1; p < interpolator.factor; ++p) {
            largest = std::max(largest, std::fabs(interpolateTruePeak(interpolator, p, windows + s)));
        }
    }
    return largest;
}
