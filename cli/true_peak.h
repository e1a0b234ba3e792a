// True peak of interleaved audio: each channel interpolated between its samples by the shared
// true-peak interpolator (analysis/true_peak_interpolator.h), largest absolute value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/true_peak_interpolator.h"

namespace cli {

constexpr size_t kTruePeakChunkFrames = 1024;    // most frames a channel's buffer takes at once

struct TruePeakMeter {
    int factor = 8;                 // 1: no interpolation, the sample peak is the true peak
    int channels = 2;
    TruePeakInterpolator interpolator;
    // Per channel: the last kTruePeakTaps - 1 samples, then up to kTruePeakChunkFrames new ones.
    std::vector<std::vector<double>> history;
    double peak = 0.0;              // largest absolute value, samples and interpolations
};

void startTruePeak(TruePeakMeter& meter, int rate, int channels);
// Interleaved samples, full scale +-1.0, any number of frames.
void addTruePeakFrames(TruePeakMeter& meter, const double* samples, size_t frames);
// The interpolations after the last samples (zeros follow them); the meter's peak is then final.
void flushTruePeak(TruePeakMeter& meter);

}  // namespace cli
