// Stereo look-ahead delay shared by the ten bands of the band compressor or the band limiter.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "dsp/live_params.h"
#include "dsp/param_guard.h"

constexpr int kLookaheadRows = 4096;
constexpr uint32_t kLookaheadRowMask = kLookaheadRows - 1;
static_assert((kLookaheadRows & (kLookaheadRows - 1)) == 0, "rows are indexed with a mask");
// Output always leaves this many frames after it was written, whatever the lookahead.
constexpr int kLookaheadDelayFrames = kLookaheadRows - 1;

// Row = time, column = band. The counter only increases (wrapping at 2^32, a multiple of the
// ring length) and picks rows modulo 4,096. Idle reset clears the rows, never the counter.
struct LookaheadLine {
    double left[kLookaheadRows][kBandCount];
    double right[kLookaheadRows][kBandCount];
    uint32_t counter;
};

// Rows of one frame: the row written now and the row output now (the oldest, written 4,095 frames ago).
struct LookaheadRows {
    uint32_t writeRow;
    uint32_t outRow;
};

// One step of the line, before the band loop: writeRow = n mod 4096, counter n -> n + 1,
// outRow = (n + 1) mod 4096, both from the counter as it was before the increment.
inline LookaheadRows advanceLookaheadLine(LookaheadLine& line) {
    const uint32_t n = line.counter;
    line.counter = n + 1;
    return {n & kLookaheadRowMask, (n + 1) & kLookaheadRowMask};
}

// The detector row of a band: lookaheadFrames ahead of the output row.
inline uint32_t detectorRow(uint32_t outRow, int lookaheadFrames) {
    return (outRow + static_cast<uint32_t>(lookaheadFrames)) & kLookaheadRowMask;
}

// A stretch of frames of a band pair in which none of the rows the frames touch wraps around the
// line: frame k of the stretch writes row write + k, outputs row out + k and detects on rows
// detectLow + k (band j) and detectHigh + k (band j + 1).
struct LookaheadStretch {
    uint32_t write, out, detectLow, detectHigh;
    int frames;  // 1 ... maxFrames
};

// The stretch starting at counter value c (the frame's advanceLookaheadLine), at most maxFrames.
inline LookaheadStretch lookaheadStretch(uint32_t c, int lookaheadLow, int lookaheadHigh, int maxFrames) {
    LookaheadStretch s;
    s.write = c & kLookaheadRowMask;
    s.out = (c + 1) & kLookaheadRowMask;
    s.detectLow = detectorRow(s.out, lookaheadLow);
    s.detectHigh = detectorRow(s.out, lookaheadHigh);
    int frames = maxFrames;
    for (const uint32_t row : {s.write, s.out, s.detectLow, s.detectHigh}) {
        const int beforeWrap = kLookaheadRows - static_cast<int>(row);
        if (beforeWrap < frames) frames = beforeWrap;
    }
    s.frames = frames;
    return s;
}

// Lookahead of a band in whole frames, trunc(ms x 0.001 x 44100). A value outside the registered
// range (or NaN) from a file is clamped to it, so the detector row stays inside the ring.
int lookaheadFrames(double lookaheadMs, const ParamRange& range);

void clearLookaheadLine(LookaheadLine& line);
