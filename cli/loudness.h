// Loudness, loudness range, true peak and hard-clip counts of audio as a file holds it, and the report.
#pragma once

#include "cli/audio_input.h"
#include "cli/hosting.h"
#include "cli/true_peak.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The K-weighting's two biquads, designed for the meter's rate.
struct KWeightingFilter {
    // Pre-filter (high shelf) and RLB high-pass, each y = b0 x + b1 x1 + b2 x2 - a2 y2 - a1 y1.
    double preB0 = 1.0, preB1 = 0.0, preB2 = 0.0, preA1 = 0.0, preA2 = 0.0;
    double rlbB0 = 1.0, rlbB1 = -2.0, rlbB2 = 1.0, rlbA1 = 0.0, rlbA2 = 0.0;
};

struct KWeightingState {
    double x1 = 0.0, x2 = 0.0;  // last two inputs
    double p1 = 0.0, p2 = 0.0;  // last two pre-filter outputs
    double r1 = 0.0, r2 = 0.0;  // last two high-pass outputs
};

constexpr int kLoudnessHistogramBins = 10000;  // -70 ... +30 LUFS in 0.01 LU
constexpr int kShortTermSteps = 30;            // a short-term window is 3 s, thirty 100 ms steps

// Measures interleaved audio of any rate and channel count as it passes (ITU-R BS.1770, EBU R 128):
// each channel K-weighted (a high-shelf pre-filter and the RLB high-pass, in double precision),
// its mean square summed per 100 ms step; integrated loudness from 400 ms blocks every 100 ms with
// the absolute (-70 LUFS) and relative (-10 LU) gates; the short-term loudness (3 s) every 100 ms
// for the loudness range (EBU Tech 3342); the true peak from a polyphase interpolator (cli/true_peak.h).
// The 400 ms blocks go into a histogram of 0.01 LU bins that holds each bin's count and the sum
// of its blocks' energies, so that part stays bounded for any length; the short-term values (a
// float per 100 ms, 144 KB an hour) are kept for the loudness range's percentiles.
struct LoudnessMeter {
    int channels = 2;
    uint64_t frames = 0;
    uint64_t framesPerStep = 4410;     // 100 ms
    uint64_t framesInStep = 0;
    uint64_t stepsDone = 0;
    KWeightingFilter filter;
    std::vector<KWeightingState> channelFilters;
    std::vector<double> channelWeights;  // 1.0; 1.41 the surrounds; 0 the LFE and channels past the sixth
    std::vector<double> stepSquares;     // per channel: sum of K-weighted squares in the current step
    double recentSteps[kShortTermSteps] = {};  // weighted step sums, a ring, the newest at recentNext - 1
    int recentNext = 0;
    std::vector<uint64_t> blockCounts;     // per histogram bin: blocks above the absolute gate
    std::vector<double> blockEnergies;     // per histogram bin: the sum of their mean squares
    uint64_t gatedBlocks = 0;              // all blocks above the absolute gate
    double gatedEnergy = 0.0;              // and the sum of their mean squares
    std::vector<float> shortTermLufs;  // one per 100 ms once 3 s have passed
    uint64_t hardClippedSamples = 0;   // at or beyond the processor's clamp, +-32764 of 32768
    TruePeakMeter truePeak;
    std::vector<double> samples;       // the short overload's samples as doubles
    double samplePeak = 0.0;           // largest absolute sample value
    bool started = false;
};

struct LoudnessFigures {
    double integratedLufs = 0.0;  // -inf for silence
    double rangeLu = 0.0;
    double truePeakDbtp = 0.0;    // -inf for silence
    double samplePeakDbfs = 0.0;  // -inf for silence
    uint64_t frames = 0;
    int rate = 44100;
    uint64_t hardClippedSamples = 0;
    bool measured = false;
};

bool startMeter(LoudnessMeter& meter, int rate, int channels);
// While the meter runs: the loudness of the last 400 ms (momentary) and 3 s (short-term), the
// integrated loudness so far and the true peak so far; -inf before enough audio and for silence.
struct RunningLoudness {
    double momentaryLufs, shortTermLufs, integratedLufs, truePeakDbtp;
};
RunningLoudness runningLoudness(const LoudnessMeter& meter);
// Interleaved samples, full scale +-1.0.
void addFrames(LoudnessMeter& meter, const double* samples, size_t frames);
void addFrames(LoudnessMeter& meter, const short* samples, size_t frames);
LoudnessFigures finishMeter(LoudnessMeter& meter, int rate);
void discardMeter(LoudnessMeter& meter);

// EBU Tech 3342 loudness range of short-term loudness values (LUFS): values below -70 LUFS are
// gated away, then those more than 20 LU below the power mean of the rest; the range is the
// spread between the 10th and the 95th percentile of what remains. 0 when nothing remains.
double loudnessRange(std::vector<float> shortTermLufs);

// Measures a finished sound file as it reads back (a lossy file as it decodes).
bool measureFile(const std::string& path, LoudnessFigures* figures, std::string* error);

struct ProcessReport {
    std::string preset;
    std::string inputFormat;
    std::string outputFormat;
    std::string outputMeasured;  // how the output was measured, when not from the samples written
    long latencyFrames = 0;
    bool latencyKept = false;
    std::string priming;         // what the start was primed with; empty: not primed
    std::string delivery;        // the gain and ceiling applied after the processor; empty: none
    LoudnessFigures input;
    LoudnessFigures output;
    // The same, as records for scripts.
    PresetFacts presetFacts;
    AudioFormat inputAudio, outputAudio;
    double primingSeconds = 0.0;
    std::vector<std::string> conversions;  // what was converted on the way: rates, channels, path
    uint64_t inputClippedSamples = 0;      // beyond 16-bit full scale on the way into the 16-bit path
    uint64_t outputClippedSamples = 0;     // beyond full scale when quantised for the file
    bool delivered = false;                // --ceiling or --target
    double ceilingDbtp = 0.0;
    bool targetGiven = false;
    double targetLufs = 0.0;
    double processedLufs = 0.0;            // --target: the output before its gain
    double gainDb = 0.0;
    double limiterReductionDb = 0.0;       // the most the ceiling's limiter took off
    double encoderCeilingDbtp = 0.0;       // lossy output: the ceiling the encoder was given
    int encodings = 1;
    double audioSeconds = 0.0;       // the input's duration
    double processingSeconds = 0.0;  // wall time from opening the input to the finished output
    // Each warning printed about this file (cut short, samples that are not numbers, a target
    // not reached): a file with warnings was processed, but not as asked.
    std::vector<std::string> warnings;
    std::string failure;  // why the file was not processed; empty when it was
};

// The report as printed after processing: the preset, the formats, the latency removed, and the
// figures of the input and the output side by side.
std::string formatReport(const ProcessReport& report);

}  // namespace cli
