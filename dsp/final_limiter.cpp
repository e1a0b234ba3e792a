// Final wideband limiter: block constants and the lookahead detector and gain step.
#include "dsp/final_limiter.h"

#include <cmath>
#include <cstring>

#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kRmsThresholdScale = 0.5;
constexpr double kLevelFloor = 0.00001;

// 90 ms is 3,969 frames, inside the ring.
static_assert((kFinalLimiterLookaheadMs.range.max * 0.001) * 44100 < kLimiterRingFrames,
              "the largest lookahead must stay inside the ring");

}  // namespace

void prepareBlock(FinalLimiter& limiter, const FinalLimiterParams& params) {
    limiter.drive = DbToLinear(guardedParam(loadShared(params.driveDb), kFinalLimiterDriveDb.range));
    limiter.attack = timeCoefficient(guardedSmoothingTime(loadShared(params.attackMs), kFinalLimiterAttackMs.range));
    limiter.release = timeCoefficient(guardedSmoothingTime(loadShared(params.releaseMs), kFinalLimiterReleaseMs.range));
    limiter.detect = timeCoefficient(guardedParam(loadShared(params.detectMs), kFinalLimiterDetectMs.range));
    const double lookaheadMs = guardedParam(loadShared(params.lookaheadMs), kFinalLimiterLookaheadMs.range);
    limiter.lookaheadFrames = static_cast<int>((lookaheadMs * 0.001) * 44100);
    limiter.peakMode = isOn(params.peakDetect);
    const double threshold = DbToLinear(guardedParam(loadShared(params.thresholdDb), kFinalLimiterThresholdDb.range));
    limiter.threshold = limiter.peakMode ? threshold : kRmsThresholdScale * threshold;
}

namespace {

inline void limitFrame(FinalLimiter& limiter, double& L, double& R, bool firstOfBlock) {
    const uint32_t w = limiter.counter & kLimiterRingMask;
    limiter.leftRing[w] = L * limiter.drive;
    limiter.rightRing[w] = R * limiter.drive;
    const uint32_t n = limiter.counter + 1;
    limiter.counter = n;

    const uint32_t o = n & kLimiterRingMask;
    const uint32_t q = (n + static_cast<uint32_t>(limiter.lookaheadFrames)) & kLimiterRingMask;
    const double l = limiter.leftRing[q];
    const double r = limiter.rightRing[q];

    const double cd = limiter.detect;
    double level;
    if (limiter.peakMode) {
        const double al = std::fabs(l);
        const double ar = std::fabs(r);
        const double p = al > ar ? al : ar;
        if (p > limiter.envelope) {
            limiter.envelope = p;
        } else {
            limiter.envelope = limiter.envelope * (1 - cd);
        }
        level = limiter.envelope;
    } else {
        limiter.envelope = (r * r + l * l) * cd + limiter.envelope * (1 - cd);
        level = std::sqrt(limiter.envelope);
    }

    // A level at or under the threshold gives a quotient of at least 1, so t = 1 without the
    // division (the same bits: the rounded quotient of x / y with 0 < y <= x is never below 1).
    const double floored = level + kLevelFloor;
    double t = 1;
    if (!(floored <= limiter.threshold)) {
        t = limiter.threshold / floored;
        if (t > 1) t = 1;
    }
    const double g = limiter.gain;
    if (t < g) {
        limiter.gain = t * limiter.attack + g * (1 - limiter.attack);
    } else {
        limiter.gain = t * limiter.release + g * (1 - limiter.release);
    }

    L = limiter.gain * limiter.leftRing[o];
    R = limiter.gain * limiter.rightRing[o];
    if (firstOfBlock) storeShared(limiter.meterDb, -20 * std::log10(limiter.gain));
}

}  // namespace

void processSample(FinalLimiter& limiter, double& L, double& R, bool firstOfBlock) {
    limitFrame(limiter, L, R, firstOfBlock);
}

void processFrames(FinalLimiter& limiter, double* pairs, int n, bool firstOfBlock) {
    for (int f = 0; f < n; ++f) limitFrame(limiter, pairs[2 * f], pairs[2 * f + 1], firstOfBlock && f == 0);
}

void idleReset(FinalLimiter& limiter) {
    std::memset(limiter.leftRing, 0, sizeof limiter.leftRing);
    std::memset(limiter.rightRing, 0, sizeof limiter.rightRing);
}
