// Final clipper: the Hilbert delay lines, the soft and complex clipping steps and the meter.
#include "dsp/final_clipper.h"

#include <cmath>
#include <cstring>

#include "dsp/db.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr uint32_t kHilbertMask = kHilbertLength - 1;
constexpr int kHilbertCentre = 32;
constexpr double kHilbertInputScale = 0.6376356075826649;
constexpr double kHilbertInPhaseScale = 1.568293847;  // 1 / kHilbertInputScale

// h_m for m = 1, 3, ..., 31.
constexpr double kHilbertCoefficients[16] = {
    0.9976398888, 0.3263013526, 0.1884398887, 0.1270041052, 0.0912854169, 0.0675073918,
    0.050407705,  0.0375532412, 0.0276672484, 0.0200126097, 0.014127455,  0.0096989225,
    0.0064979527, 0.0043436817, 0.0030833182, 0.0025806452,
};

constexpr double kSoftKnee = 0.6666666666666666;  // 2/3: rail of the cubic, and k * T
constexpr double kOneThird = 0.3333333333333333;
constexpr double kAccumulatorMax = 30;

// The cubic soft-clip curve on the normalised input; output within +-2/3.
inline double softCurve(double x) {
    if (x < -1) return -kSoftKnee;
    if (x > 1) return kSoftKnee;
    return x - x * x * x * kOneThird;
}

// One channel of complex clipping; returns the new sample and raises the accumulator.
inline double complexClip(HilbertDelayLine& line, double x, double thresholdSquared, double& accumulator) {
    const double Q = hilbertPush(line, x);
    const double I = hilbertInPhase(line);
    double E = I * I + Q * Q;
    if (E > thresholdSquared) E = thresholdSquared;
    double V = E - Q * Q;
    if (V < 0) V = 0;
    double out = std::sqrt(V);
    if (I < 0) out = -out;
    if (I - out > accumulator) accumulator = I - out;
    return out;
}

void clearLine(HilbertDelayLine& line) {
    std::memset(line.buffer, 0, sizeof line.buffer);
    line.counter = 0;
}

}  // namespace

double hilbertPush(HilbertDelayLine& line, double x) {
    const uint32_t c = static_cast<uint32_t>(line.counter);
    line.buffer[c & kHilbertMask] = x * kHilbertInputScale;
    line.counter = static_cast<int32_t>(c + 1);
    // y(n - j) lives at slot (c - j) mod 64; the sum runs over the odd delays 32 -+ m.
    double Q = 0.0;
    for (int i = 0; i < 16; ++i) {
        const uint32_t m = static_cast<uint32_t>(2 * i + 1);
        const double older = line.buffer[(c - kHilbertCentre - m) & kHilbertMask];
        const double newer = line.buffer[(c - kHilbertCentre + m) & kHilbertMask];
        Q += kHilbertCoefficients[i] * (older - newer);
    }
    return Q;
}

double hilbertInPhase(const HilbertDelayLine& line) {
    const uint32_t c = static_cast<uint32_t>(line.counter) - 1;  // slot of the value just pushed
    return line.buffer[(c - kHilbertCentre) & kHilbertMask] * kHilbertInPhaseScale;
}

void clearHilbertLines(FinalClipper& clipper) {
    clearLine(clipper.left);
    clearLine(clipper.right);
}

void prepareBlock(FinalClipper& clipper, const FinalClipperParams& params) {
    clipper.drive = DbToLinear(guardedParam(loadShared(params.driveDb), kFinalClipperDriveDb.range));
    const double T = DbToLinear(guardedParam(loadShared(params.thresholdDb), kFinalClipperThresholdDb.range));
    clipper.threshold = T;
    clipper.k = kSoftKnee / T;
    clipper.K = 1 / clipper.k;
    clipper.thresholdSquared = T * T;
}

namespace {

inline void clipFrame(FinalClipper& clipper, const FinalClipperParams& params, double& L, double& R) {
    L = L * clipper.drive;
    R = R * clipper.drive;
    if (isOn(params.complex)) {
        L = complexClip(clipper.left, L, clipper.thresholdSquared, clipper.accumulator);
        R = complexClip(clipper.right, R, clipper.thresholdSquared, clipper.accumulator);
        return;
    }
    const double Ld = L;
    const double Rd = R;
    const double Lout = softCurve(Ld * clipper.k) * clipper.K;
    const double Rout = softCurve(Rd * clipper.k) * clipper.K;
    if (Ld - Lout > clipper.accumulator) clipper.accumulator = Ld - Lout;
    if (Rd - Rout > clipper.accumulator) clipper.accumulator = Rd - Rout;
    L = Lout;
    R = Rout;
}

}  // namespace

void processSample(FinalClipper& clipper, const FinalClipperParams& params, double& L, double& R) {
    clipFrame(clipper, params, L, R);
}

void processFrames(FinalClipper& clipper, const FinalClipperParams& params, double* pairs, int n) {
    for (int f = 0; f < n; ++f) clipFrame(clipper, params, pairs[2 * f], pairs[2 * f + 1]);
}

void finishBlock(FinalClipper& clipper, double blockMeterDecay) {
    double A = clipper.accumulator;
    if (A < 0) {
        A = 0;
    } else if (A > kAccumulatorMax) {
        A = kAccumulatorMax;
    }
    storeShared(clipper.meterDb, LinearToDb(A / clipper.threshold + 1));
    clipper.accumulator = A - blockMeterDecay;
}

void idleReset(FinalClipper& clipper) { clearHilbertLines(clipper); }
