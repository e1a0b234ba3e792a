// Loudness, loudness range, true peak and hard-clip counts of 16-bit stereo audio, and the before/after report.
#pragma once

#include <ebur128.h>

#include <cstdint>
#include <string>

namespace cli {

// Measures a stream of 44,100 Hz 16-bit stereo frames as it passes (EBU R 128 with libebur128,
// histogram mode, so memory stays bounded however long the audio runs).
struct LoudnessMeter {
    ebur128_state* state = nullptr;
    uint64_t frames = 0;
    uint64_t hardClippedSamples = 0;  // samples at the frame's clamp, +-32764 (or beyond)
};

struct LoudnessFigures {
    double integratedLufs = 0.0;  // -inf for silence
    double rangeLu = 0.0;
    double truePeakDbtp = 0.0;    // -inf for silence
    uint64_t frames = 0;
    uint64_t hardClippedSamples = 0;
};

bool startMeter(LoudnessMeter& meter);
void addFrames(LoudnessMeter& meter, const short* samples, long frames);
LoudnessFigures finishMeter(LoudnessMeter& meter);

struct ProcessReport {
    std::string preset;
    long latencyFrames = 0;
    bool latencyKept = false;
    LoudnessFigures input;
    LoudnessFigures output;
};

// The report as printed after processing: the preset, the latency removed, and the figures of
// the input and the output side by side.
std::string formatReport(const ProcessReport& report);

}  // namespace cli
