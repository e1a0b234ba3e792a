// Decibel conversions and the one-pole time coefficient used across the engine.
#pragma once

#include <cmath>

constexpr double kSampleRateHz = 44100.0;

inline double DbToLinear(double dB) { return std::pow(10.0, dB * 0.05); }

// The last decibel value converted and its linear value, for block constants worked out at every
// block from settings that seldom change (the power is the slow part). A zeroed memo holds nothing.
struct DbToLinearMemo {
    bool held;
    double dB, linear;
};
// DbToLinear(dB), from the memo when it holds the same value (the same bits either way).
inline double DbToLinear(DbToLinearMemo& memo, double dB) {
    if (!memo.held || !(memo.dB == dB)) memo = {true, dB, DbToLinear(dB)};
    return memo.linear;
}

// No guard: callers that may pass 0 add 0.00001 first.
inline double LinearToDb(double x) { return 20 * std::log10(x); }

// Per-sample smoothing coefficient of a time in milliseconds; 0 ms or less follows at once.
inline double timeCoefficient(double timeMs) {
    if (timeMs <= 0) return 1.0;
    return 1 / ((timeMs * 0.001) * 44100);
}
