// Three-band equaliser: two four-pole chains whose bands sum to the input delayed by three samples.
#pragma once

// Each chain is four equal one-pole lowpass sections, v = (in - v) * c + v. Bass is the lower
// chain, treble the three-sample-delayed input minus the upper chain, mid the rest (upper chain
// minus lower chain). The tiny constant D added in each chain's first section keeps the
// recursions away from denormals in silence; it leaves DC offsets of order D / c in the bands.
struct ThreeBandEqChannel {
    double c1;               // lower chain coefficient, 2 sin(pi f1 / fs)
    double s1, s2, s3, s4;   // lower chain states; s4 is its output
    double c2;               // upper chain coefficient
    double u1, u2, u3, u4;   // upper chain states
    double x1, x2, x3;       // last three inputs, x1 the most recent
    double G1, G2, G3;       // linear gains of bass, mid, treble (0 when muted)
    double f1, f2, fs;       // design of the current coefficients
};

struct ThreeBandEqualizer {
    ThreeBandEqChannel left;
    ThreeBandEqChannel right;
};

constexpr double kThreeBandAntiDenormal = 2.3283064370807974e-10;  // D, about 2^-32

// Stores f1, f2, fs and the two coefficients; with clear, zeroes the whole record first.
void designThreeBandChannel(ThreeBandEqChannel& channel, double f1, double f2, double fs, bool clear);

// One input sample through one channel's record; returns the weighted band sum.
double processThreeBandChannel(ThreeBandEqChannel& channel, double x);
void processSample(ThreeBandEqualizer& eq, double& L, double& R);
