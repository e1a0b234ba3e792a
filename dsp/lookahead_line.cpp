// Look-ahead delay line: lookahead conversion and clearing.
#include "dsp/lookahead_line.h"

#include <cstring>

#include "dsp/param_ranges.h"

// The registered lookahead ranges end at 90 ms, 3,969 frames: always below the ring length.
static_assert(kCompressorLookaheadMs.range.max * 0.001 * 44100 < kLookaheadRows, "lookahead inside the ring");
static_assert(kLimiterLookaheadMs.range.max * 0.001 * 44100 < kLookaheadRows, "lookahead inside the ring");

int lookaheadFrames(double lookaheadMs, const ParamRange& range) {
    const double ms = guardedParam(lookaheadMs, range);
    return static_cast<int>(ms * 0.001 * 44100);
}

void clearLookaheadLine(LookaheadLine& line) {
    std::memset(line.left, 0, sizeof line.left);
    std::memset(line.right, 0, sizeof line.right);
}
