// A true-peak ceiling for delivery: look-ahead gain reduction computed from an oversampled
// estimate of the signal between samples, so that no sample and no interpolated peak of the
// output exceeds the ceiling.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/true_peak_interpolator.h"

// Interpolation: the shared true-peak interpolator (analysis/true_peak_interpolator.h) at
// kTruePeakOversampling points a sample interval, the same the report's meter uses. Gain: for every frame the largest gain that keeps the frame's own
// peak and the interpolated peaks on both sides of it under the ceiling; the running minimum of
// that gain over the look-ahead window; a release that only rises slowly; and a moving average
// over the window. Each averaged value is the mean of minima over windows that all contain the
// frame, so the gain applied to a frame never exceeds the gain that frame needs: no overshoot.
struct TruePeakLimiter {
    int channels = 0;
    int lookahead = 0;          // frames: the window of the minimum and of the average
    int delayFrames = 0;        // lookahead plus the interpolator's reach ahead
    double ceiling = 1.0;       // linear, full scale 1.0, the safety margin taken off
    double releaseStep = 0.0;   // per-frame release coefficient toward unity gain
    std::vector<double> history;       // per channel the last kTruePeakTaps frames, twice over
    int historyAt = 0;                 // ring position of the oldest of them
    double previousSpanPeak = 0.0;     // the interpolated peak after the frame before
    std::vector<double> delay;         // the last delayFrames + 1 frames, interleaved
    std::vector<double> queueValues;   // running minimum: a monotonic queue of needed gains
    std::vector<int64_t> queueFrames;  //   and the frames they belong to
    int queueHead = 0, queueSize = 0;
    double released = 1.0;             // the released gain
    std::vector<double> averageTerms;  // the released gains the moving average holds
    double averageSum = 0.0;
    int64_t framesIn = 0;              // frames taken in; negative during the start-up silence
    double largestReductionDb = 0.0;   // the most the limiter took off
    int64_t framesReduced = 0;
};

constexpr int kTruePeakOversampling = 8;

// `ceilingDb` in dBTP; look-ahead in milliseconds (at least the interpolator's reach).
void setUpTruePeakLimiter(TruePeakLimiter& limiter, int channels, double sampleRate, double ceilingDb,
                          double lookaheadMs = 5.0, double releaseMs = 80.0);
// Frames in, interleaved; frames out, delayed by `lookahead`. Returns the frames written to `out`
// (0 while the delay fills). `out` holds at least `frames` frames.
int limitTruePeak(TruePeakLimiter& limiter, const double* in, int frames, double* out);
// The frames still inside, once the input has ended (at most `lookahead`).
int flushTruePeak(TruePeakLimiter& limiter, double* out);

// The largest true peak (same interpolator) of a whole interleaved signal, linear.
double measureTruePeak(const double* samples, int64_t frames, int channels);
