// The one block of engine state: lifecycle flags, frame timing, meters, every stage, the capture ring.
#pragma once

#include <cstdint>

#include "dsp/agc.h"
#include "dsp/design_exchange.h"
#include "dsp/final_clipper.h"
#include "dsp/final_limiter.h"
#include "dsp/pass_filters.h"
#include "dsp/stereo_image.h"
#include "dsp/ten_band_processor.h"
#include "dsp/test_tone.h"
#include "dsp/three_band_eq.h"

constexpr int kCaptureFrames = 65536;

// Mono mix of the clamped output, read by the oscilloscope and the spectrum analyser.
struct CaptureRing {
    double samples[kCaptureFrames];
    uint16_t writeIndex;  // slot written next; wraps from 65,535 to 0
};

// The value each design routine last designed with; "changed" compares the live value to it.
struct DesignRecord {
    double highpassHz;
    double agcCrossoverHz;
    double threeBandF1, threeBandF2;
    uint8_t bankCascaded, bankNarrow;
    double lowpassHz;
};

// The remote-selection poll, supplied by the plug-in for its own state only (a private state,
// such as the frequency response sweep's, never polls). `canPoll` answers whether the window
// list exists and the console is closed; `poll` looks for and applies a selection file.
// `tickCount`, when set, replaces the millisecond tick counter: an engine that processes files
// runs on a clock of its own, so a pause of the process never resets its filters.
struct FrameHooks {
    bool (*canPoll)();
    void (*poll)();
    uint32_t (*tickCount)();
};

struct ProcessorState {
    // lifecycle
    uint8_t isRunning;
    uint8_t isQuitting;
    int32_t startupPreset;
    int32_t lastListSelection;

    // frame timing: unsigned millisecond tick counts
    uint32_t lastProcessTick;
    uint32_t lastPollTick;
    FrameHooks hooks;

    // meters, percent of full scale, and the clip flag
    double inputMeter;
    double outputMeter;
    uint8_t clipFlag;

    int32_t silenceCount;
    uint32_t nonFiniteFrames;  // frames whose chain output was NaN or infinite (left as silence or clamped)

    TestToneGenerator testTone;
    HighpassFilter highpass;
    StereoImageProcessor stereoImage;
    TwoBandAgc agc;
    ThreeBandEqualizer threeBandEq;
    TenBandProcessor tenBand;
    FinalLimiter finalLimiter;
    FinalClipper finalClipper;
    LowpassFilter lowpass;

    CaptureRing capture;

    // Working space of the output side: the (L, R) frames of the run it is finishing. A handed-over
    // run is only read by the output side, so its memory is written by one thread alone.
    double outputPairs[2 * kBandRunFrames];

    DesignRecord designRecord;
    DesignExchange designs;
};

// Zeroes the whole block in one sweep and readies the design hand-over.
void ClearProcessorState(ProcessorState& state);
