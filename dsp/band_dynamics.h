// Level followers, gain smoothing and detector coefficients shared by the ten-band stages.
#pragma once

#include <cmath>

#include "dsp/db.h"
#include "dsp/live_params.h"
#include "dsp/param_guard.h"
#include "dsp/simd_pair.h"

// Keeps a level away from zero before it divides; added where a stage says so.
constexpr double kLevelFloor = 1e-05;

// Detector coefficients of the ten bands for one block: d_j from "Processor.DetectN.msec" and its
// complement 1 - d_j. Every stage that measures a band's level keeps its own follower.
struct BandDetectors {
    double detect[kBandCount];
    double complement[kBandCount];
};

// The band stages work on two bands per SSE2 register: lanes j and j + 1 for even j.
static_assert(kBandCount % 2 == 0, "bands are processed in pairs");

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

// Smoothing coefficient of an attack or release time read from the live values: the shared
// guard keeps files from making it NaN, infinite or above 1, then timeCoefficient (0 ms follows
// at once).
inline double smoothingCoefficient(double timeMs, const ParamRange& range) {
    return timeCoefficient(guardedSmoothingTime(timeMs, range));
}

// ---- the same three formulas on two bands at once (lanes j, j + 1), operation for operation ----

inline Pair followPowerPair(Pair power, Pair left, Pair right, Pair detect, Pair complement) {
    return _mm_add_pd(_mm_mul_pd(detect, _mm_add_pd(_mm_mul_pd(left, left), _mm_mul_pd(right, right))),
                      _mm_mul_pd(complement, power));
}

// maxpd(a, b) is a > b ? a : b, the comparison followPeak makes, NaN and signed zeros included.
inline Pair followPeakPair(Pair peak, Pair left, Pair right, Pair complement) {
    const Pair x = _mm_max_pd(absolute(right), absolute(left));
    return select(_mm_cmpgt_pd(x, peak), x, _mm_mul_pd(peak, complement));
}

// The attack and release coefficients of a band pair for smoothGainPair, set up once per run:
// choosing per lane between two constants a and b is then b ^ (mask & (a ^ b)), two bit
// operations that yield exactly a's or b's bits.
struct SmoothingPair {
    Pair release, oneMinusRelease;          // release, 1 - release
    Pair attackFlip, oneMinusAttackFlip;    // attack ^ release, (1 - attack) ^ (1 - release), bitwise
};

inline SmoothingPair smoothingPair(Pair attack, Pair oneMinusAttack, Pair release, Pair oneMinusRelease) {
    return {release, oneMinusRelease, _mm_xor_pd(attack, release), _mm_xor_pd(oneMinusAttack, oneMinusRelease)};
}

// smoothGain on two bands: (1 - c) gain + c target with c the attack coefficient where target < gain.
inline Pair smoothGainPair(Pair gain, Pair target, const SmoothingPair& s) {
    const Pair attacking = _mm_cmplt_pd(target, gain);
    const Pair c = _mm_xor_pd(s.release, _mm_and_pd(attacking, s.attackFlip));
    const Pair oneMinusC = _mm_xor_pd(s.oneMinusRelease, _mm_and_pd(attacking, s.oneMinusAttackFlip));
    return _mm_add_pd(_mm_mul_pd(oneMinusC, gain), _mm_mul_pd(c, target));
}
