// Three-band equaliser: coefficient design and the per-sample crossover and band sum.
#include "dsp/three_band_eq.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;

}  // namespace

void designThreeBandChannel(ThreeBandEqChannel& channel, double f1, double f2, double fs, bool clear) {
    if (clear) std::memset(&channel, 0, sizeof channel);
    channel.f1 = f1;
    channel.f2 = f2;
    channel.fs = fs;
    channel.c1 = 2 * std::sin(f1 * (1 / fs) * kPi);
    channel.c2 = 2 * std::sin(f2 * (1 / fs) * kPi);
}

double processThreeBandChannel(ThreeBandEqChannel& ch, double x) {
    constexpr double D = kThreeBandAntiDenormal;
    const double c1 = ch.c1;
    ch.s1 = ((x - ch.s1) * c1 + D) + ch.s1;
    ch.s2 = (ch.s1 - ch.s2) * c1 + ch.s2;
    ch.s3 = (ch.s2 - ch.s3) * c1 + ch.s3;
    ch.s4 = (ch.s3 - ch.s4) * c1 + ch.s4;

    const double c2 = ch.c2;
    ch.u1 = ((x - ch.u1) * c2 + ch.u1) + D;
    ch.u2 = (ch.u1 - ch.u2) * c2 + ch.u2;
    ch.u3 = (ch.u2 - ch.u3) * c2 + ch.u3;
    ch.u4 = (ch.u3 - ch.u4) * c2 + ch.u4;

    const double bass = ch.s4;
    const double treble = ch.x3 - ch.u4;
    const double mid = ch.x3 - (treble + ch.s4);

    ch.x3 = ch.x2;
    ch.x2 = ch.x1;
    ch.x1 = x;

    return (ch.G1 * bass + ch.G3 * treble) + ch.G2 * mid;
}

void processSample(ThreeBandEqualizer& eq, double& L, double& R) {
    L = processThreeBandChannel(eq.left, L);
    R = processThreeBandChannel(eq.right, R);
}
