// The signal between its samples, for the true-peak meter and the true-peak ceiling alike: a
// polyphase windowed-sinc interpolator cut off at the input's Nyquist frequency.
#pragma once

#include <cstddef>

constexpr int kTruePeakTaps = 64;                        // input samples each interpolated value reads
constexpr int kTruePeakTapsBefore = kTruePeakTaps / 2 - 1;  // of them, the samples before n
constexpr int kTruePeakMaxFactor = 8;

// The value at n + phase / factor (0 < phase < factor) from the window x[n - 31] ... x[n + 32]:
// the sum over j of taps[phase][j] * window[j], in order of j. Phase 0 is the sample itself (the
// kernel is zero at every other whole sample), so the sample peak covers it.
struct TruePeakInterpolator {
    int factor = 1;
    double taps[kTruePeakMaxFactor][kTruePeakTaps] = {};
    double tapMagnitudeSum = 0.0;  // largest sum of |taps| over the phases: the gain bound
};

// The meter's points a sample interval for a sample rate, as EBU R 128 meters take them (up to
// 192 kHz): 4 below 96 kHz, 2 below 192 kHz, otherwise 1. The ceiling takes a finer grid.
int truePeakFactor(int rate);
// `factor` between 1 and kTruePeakMaxFactor.
void setUpTruePeakInterpolator(TruePeakInterpolator& interpolator, int factor);
double interpolateTruePeak(const TruePeakInterpolator& interpolator, int phase, const double* window);
// Largest |value| of phases 1 ... factor - 1 over the windows starting at windows[0 ... count - 1]
// (windows[count - 1 + kTruePeakTaps - 1] is the last sample read).
double interpolatedPeak(const TruePeakInterpolator& interpolator, const double* windows, size_t count);
