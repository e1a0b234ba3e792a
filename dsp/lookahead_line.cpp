// Look-ahead delay line: lookahead conversion and clearing.
#include "dsp/lookahead_line.h"

#include <cstring>

#include "dsp/param_guard.h"

int lookaheadFrames(double lookaheadMs) {
    const double ms = guardedParam(lookaheadMs, exactRange(0, kLookaheadMaxMs));
    return static_cast<int>(ms * 0.001 * 44100);
}

void clearLookaheadLine(LookaheadLine& line) {
    std::memset(line.left, 0, sizeof line.left);
    std::memset(line.right, 0, sizeof line.right);
}
