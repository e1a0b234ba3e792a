// True peak of interleaved audio: each channel interpolated between its samples by the shared
// true-peak interpolator (analysis/true_peak_interpolator.h), largest absolute value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/true_peak_interpolator.h"

namespace cli {

constexpr size_t kTruePeakChunkFrames = 1024;    // most frames a channel's buffer takes at once

constexpr int kTruePeakFoldedTaps = kTruePeakTaps / 2;

// A quick single-precision estimate of the interpolations, to find the windows that cannot raise
// the peak without computing them exactly. Phases p and factor - p are mirror images of each other,
// so with s[j] = x[j] + x[63 - j] and d[j] = x[j] - x[63 - j] their sum is sumTaps . s and their
// difference differenceTaps . d, and the larger of the two magnitudes is (|sum| + |difference|) / 2;
// the half phase, its own mirror image, is halfTaps . s.
struct TruePeakScreen {
    bool usable = false;            // built for two and four points a sample interval
    int pairs = 0;                  // phase pairs (p, factor - p) with p < factor - p
    bool half = false;              // whether the factor is even (the phase factor / 2 on its own)
    float sumTaps[kTruePeakMaxFactor / 2][kTruePeakFoldedTaps] = {};
    float differenceTaps[kTruePeakMaxFactor / 2][kTruePeakFoldedTaps] = {};
    float halfTaps[kTruePeakFoldedTaps] = {};
    // Times the largest |sample| of a window: at least the estimate's distance from the exact value.
    double errorPerSample = 0.0;
};

struct TruePeakMeter {
    int factor = 8;                 // 1: no interpolation, the sample peak is the true peak
    int channels = 2;
    TruePeakInterpolator interpolator;
    TruePeakScreen screen;
    // Per channel: the last kTruePeakTaps - 1 samples, then up to kTruePeakChunkFrames new ones.
    std::vector<std::vector<double>> history;
    std::vector<std::vector<float>> singleHistory;  // the same in single precision, eight more
    double peak = 0.0;              // largest absolute value, samples and interpolations
};

void startTruePeak(TruePeakMeter& meter, int rate, int channels);
// Interleaved samples, full scale +-1.0, any number of frames.
void addTruePeakFrames(TruePeakMeter& meter, const double* samples, size_t frames);
// The interpolations after the last samples (zeros follow them); the meter's peak is then final.
void flushTruePeak(TruePeakMeter& meter);

}  // namespace cli
