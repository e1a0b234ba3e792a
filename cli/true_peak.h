// True peak of interleaved audio: each channel interpolated between its samples by a polyphase
// windowed-sinc filter (4x below 96 kHz, 2x below 192 kHz, none above), largest absolute value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

constexpr int kTruePeakTapsPerPhase = 24;        // input samples each interpolated value reads
constexpr int kTruePeakMaxFactor = 4;
constexpr size_t kTruePeakChunkFrames = 1024;    // most frames a channel's buffer takes at once

// Interpolated value at n + phase / factor (0 < phase < factor), from the samples
// x[n - 11] ... x[n + 12]: sum over j of taps[phase][j] * x[n - 11 + j], the sum in order of j.
// Phase 0 is the sample itself (the filter is a sinc cut off at the input's Nyquist frequency, zero
// at every other whole sample), so the sample peak covers it.
struct TruePeakMeter {
    int factor = 4;                 // 1: no interpolation, the sample peak is the true peak
    int channels = 2;
    double taps[kTruePeakMaxFactor][kTruePeakTapsPerPhase] = {};
    double tapMagnitudeSum = 0.0;   // largest sum of |taps| over the phases: the gain bound
    // Per channel: the last 23 samples, then up to kTruePeakChunkFrames new ones.
    std::vector<std::vector<double>> history;
    double peak = 0.0;              // largest absolute value, samples and interpolations
    bool fourLanes = false;         // AVX2 present
};

// Interpolation factor for a sample rate: 4 below 96 kHz, 2 below 192 kHz, otherwise 1.
int truePeakFactor(int rate);
void startTruePeak(TruePeakMeter& meter, int rate, int channels);
// Interleaved samples, full scale +-1.0, any number of frames.
void addTruePeakFrames(TruePeakMeter& meter, const double* samples, size_t frames);
// The interpolations after the last samples (zeros follow them); the meter's peak is then final.
void flushTruePeak(TruePeakMeter& meter);

}  // namespace cli
