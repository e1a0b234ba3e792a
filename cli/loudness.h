// Loudness, loudness range, true peak and hard-clip counts of audio as a file holds it, and the report.
#pragma once

#include <ebur128.h>

#include "cli/audio_input.h"
#include "cli/conversion.h"
#include "cli/hosting.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Measures interleaved audio of any rate and channel count as it passes: integrated loudness
// (EBU R 128, libebur128, histogram mode so memory stays bounded), the short-term loudness every
// 100 ms for the loudness range (EBU Tech 3342), and the true peak: the largest absolute value of
// the signal upsampled to 192 kHz with libsoxr (4.35x at 44.1 kHz, 4x at 48 kHz), as ffmpeg's
// ebur128 filter measures it.
struct LoudnessMeter {
    ebur128_state* state = nullptr;
    int channels = 2;
    uint64_t frames = 0;
    uint64_t framesPerStep = 4410;     // 100 ms
    uint64_t framesInStep = 0;
    uint64_t stepsDone = 0;
    std::vector<float> shortTermLufs;  // one per 100 ms once 3 s have passed
    uint64_t hardClippedSamples = 0;   // at or beyond the processor's clamp, +-32764 of 32768
    bool oversample = true;            // false at 192 kHz and above: the sample peak is the true peak
    RateConverter upsampler;
    std::vector<double> samples, upsampled;
    double peak = 0.0;                 // largest absolute value, upsampled
    double samplePeak = 0.0;           // largest absolute sample value
};

constexpr int kTruePeakRate = 192000;

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
};

// The report as printed after processing: the preset, the formats, the latency removed, and the
// figures of the input and the output side by side.
std::string formatReport(const ProcessReport& report);

}  // namespace cli
