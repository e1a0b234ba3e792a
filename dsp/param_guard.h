// The guard kinds of stage parameters and the guard that keeps values from files usable; the
// registered ranges themselves are the rows of dsp/param_ranges.h.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

#include "dsp/db.h"

// Values from settings or preset files are not range-checked when loaded. A stage passes every
// number it reads through guardedParam when it computes its block constants: a value the
// arithmetic can take (inside `usable`, which always contains the registered range) is used
// exactly as it comes; anything else, NaN included, is clamped to the registered range (NaN to
// its minimum). Envelopes and gains are never cleared, so one non-finite coefficient would
// poison a stage until the module is unloaded; the guard keeps every coefficient finite and
// every index inside its ring, without touching values a file may legitimately carry.
struct ParamRange {
    double min, max;              // registered range
    double usableMin, usableMax;  // what the arithmetic takes unchanged
};

// Shortest time whose one-pole coefficient 1 / (t x 0.001 x 44100) stays at or below 1.
constexpr double kShortestUsableTimeMs = 1000.0 / 44100.0;
constexpr double kLongestUsableTimeMs = 1e12;

// Gains in dB: 200 dB is a factor of 10^10, far outside every range and still finite when squared.
constexpr ParamRange dbRange(double min, double max) { return {min, max, -200.0, 200.0}; }
// Percentages and ratios that only scale gains.
constexpr ParamRange scaleRange(double min, double max) { return {min, max, -1000.0, 1000.0}; }
// Detector time constants: must be long enough for a coefficient of at most 1.
constexpr ParamRange detectorTimeRange(double min, double max) {
    return {min, max, kShortestUsableTimeMs, kLongestUsableTimeMs};
}
// Values that index or size something: only the registered range is usable.
constexpr ParamRange exactRange(double min, double max) { return {min, max, min, max}; }
// Compressor and expander ratios: below 1 the compressor curve turns into a boost and the
// expander floor 1/ratio rises above unity (infinite at 0), so only ratios from 1 up are taken
// as they come; anything else from a file is clamped to the registered range.
constexpr double kLargestUsableRatio = 1e12;
constexpr ParamRange bandRatioRange(double min, double max) { return {min, max, 1.0, kLargestUsableRatio}; }
// Filter design frequencies: every frequency strictly between 0 and half the sample rate designs
// a usable filter. The bounds are the smallest positive double and the largest one below fs/2.
constexpr double kLowestDesignFrequencyHz = std::numeric_limits<double>::denorm_min();
constexpr double kHighestDesignFrequencyHz =
    std::bit_cast<double>(std::bit_cast<uint64_t>(kSampleRateHz * 0.5) - 1);
constexpr ParamRange designFrequencyRange(double min, double max) {
    return {min, max, kLowestDesignFrequencyHz, kHighestDesignFrequencyHz};
}

inline double clampToRegistered(double value, const ParamRange& range) {
    if (!(value >= range.min)) return range.min;
    if (value > range.max) return range.max;
    return value;
}

inline double guardedParam(double value, const ParamRange& range) {
    if (value >= range.usableMin && value <= range.usableMax) return value;
    return clampToRegistered(value, range);
}

// Attack and release times, guarded by guardedSmoothingTime: 0 means "follow at once"; a negative
// time (outside every range) is clamped to the minimum, which follows at once too. A positive time
// too short for a stable coefficient also follows at once. That bound is twice the detector bound
// because the AGC's wideband gain smooths with the mean of two such times.
constexpr double kShortestUsableSmoothingMs = 2 * kShortestUsableTimeMs;
constexpr ParamRange smoothingTimeRange(double min, double max) { return {min, max, 0.0, kLongestUsableTimeMs}; }

inline double guardedSmoothingTime(double timeMs, const ParamRange& range) {
    if (timeMs == 0) return timeMs;
    if (timeMs < range.usableMin) return clampToRegistered(timeMs, range);
    if (timeMs < kShortestUsableSmoothingMs) return 0.0;
    if (timeMs <= range.usableMax) return timeMs;
    return clampToRegistered(timeMs, range);
}
