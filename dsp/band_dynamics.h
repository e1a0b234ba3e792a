// Level followers, gain smoothing and block-constant guards shared by the ten-band stages.
#pragma once

#include <cmath>

#include "dsp/db.h"
#include "dsp/live_params.h"

// Detector coefficients of the ten bands for one block: d_j from "Processor.DetectN.msec" and its
// complement 1 - d_j. Every stage that measures a band's level keeps its own follower.
// Keeps a level away from zero before it divides; added where a stage says so.
constexpr double kLevelFloor = 1e-05;

struct BandDetectors {
    double detect[kBandCount];
    double complement[kBandCount];
};

// RMS follower: the two channels' squares are added, not averaged, so a sine of amplitude A in
// both channels reads a power of A^2 and the band's level is linked across the pair.
inline double followPower(double power, double left, double right, double detect, double complement) {
    return detect * (left * left + right * right) + complement * power;
}

// Peak follower: rises at once to max(|L|, |R|), otherwise decays by (1 - d) per frame.
inline double followPeak(double peak, double left, double right, double complement) {
    const double magnitudeL = std::fabs(left);
    const double magnitudeR = std::fabs(right);
    const double x = magnitudeR > magnitudeL ? magnitudeR : magnitudeL;
    return x > peak ? x : peak * complement;
}

// One-pole gain smoothing: attack while the target asks for more reduction, release otherwise.
// A coefficient of 1 makes the gain take its target at once in that direction.
inline double smoothGain(double gain, double target, double attack, double release) {
    if (target < gain) return (1 - attack) * gain + attack * target;
    return (1 - release) * gain + release * target;
}

// Registered range of a parameter; used only to mend values from files that would break a stage.
struct ValueRange {
    double min, max;
};

// Values inside the range come back as they are; outside it the nearer end, and NaN the minimum.
inline double clampToRange(double value, ValueRange range) {
    if (!(value >= range.min)) return range.min;
    if (value > range.max) return range.max;
    return value;
}

// Values at or above `min` come back as they are; anything below it, and NaN, gives `min`.
inline double atLeast(double value, double min) { return value >= min ? value : min; }

// Smoothing coefficient of an attack, release or speed time: timeCoefficient, so 0 ms or less
// follows at once. A NaN time takes `nanMs`. A time shorter than one sample period would give a
// coefficient above 1, and below half a period a gain that swings ever wider; such times also
// follow at once. Times a slider can set (whole milliseconds) are never affected.
inline double guardedTimeCoefficient(double timeMs, double nanMs) {
    if (timeMs != timeMs) timeMs = nanMs;
    const double c = timeCoefficient(timeMs);
    return c > 1 ? 1.0 : c;
}
