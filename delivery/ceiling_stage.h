// The true-peak ceiling as a real-time stage after the engine's chain: the delivery limiter on
// storage set up once, a constant latency from the first frame on, and switch and ceiling changes
// that the audio thread makes without allocating.
#pragma once

#include <atomic>
#include <cstdint>

#include "delivery/true_peak_limiter.h"

constexpr double kCeilingStageRate = 44100.0;     // the engine's rate
constexpr double kDefaultCeilingDbtp = -1.0;
constexpr double kLowestStageCeilingDbtp = -12.0;
constexpr double kHighestStageCeilingDbtp = 0.0;
constexpr int kCeilingChunkFrames = 256;          // frames limited per call into the limiter

// `on` and `ceilingDbtp` are written by the audio thread and read anywhere (relaxed, whole).
struct CeilingStage {
    TruePeakLimiter limiter;            // the running limiter (stereo; mono runs as L = R)
    TruePeakLimiter fresh;              // as set up: copied over `limiter` to start from silence
    double setUpDbtp = kDefaultCeilingDbtp;  // the ceiling `fresh` was set up with
    double setUpLinear = 1.0;           //   and the linear ceiling the limiter made of it
    double ceilingDbtp = kDefaultCeilingDbtp;
    uint8_t on = 0;
    bool ready = false;                 // set up (storage allocated)
    // A change asked for by the control thread, taken by the audio thread at its next block:
    // `requests` counts the asks (released after the values), `requestsTaken` those taken.
    double requestedDbtp = kDefaultCeilingDbtp;
    uint8_t requestedOn = 0;
    std::atomic<uint32_t> requests{0};
    uint32_t requestsTaken = 0;
    double in[kCeilingChunkFrames * 2];
    double out[kCeilingChunkFrames * 2];
};

// Allocates the limiter's storage (control thread, before the first block).
void setUpCeilingStage(CeilingStage& stage);
// Audio thread. Switching on starts the limiter from silence; the ceiling is clamped to
// -12 ... 0 dBTP (a non-finite value keeps the current one).
void setCeiling(CeilingStage& stage, bool on, double ceilingDbtp);
// Control thread: asks for setCeiling(on, ceilingDbtp) at the audio thread's next block.
void requestCeiling(CeilingStage& stage, bool on, double ceilingDbtp);
// Audio thread: applies the last change asked for, if one is waiting (processCeiling calls it).
void takeCeilingRequest(CeilingStage& stage);
// Frames the stage delays by: the limiter's look-ahead while on, 0 while off.
int64_t ceilingLatencyFrames(const CeilingStage& stage);
// Interleaved frames (1 or 2 channels) in place; nothing happens while off.
void processCeiling(CeilingStage& stage, float* interleaved, int frames, int channels);
void processCeiling(CeilingStage& stage, double* interleaved, int frames, int channels);
