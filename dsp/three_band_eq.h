// Three-band equaliser: two four-pole chains whose bands sum to the input delayed by three samples.
#pragma once

struct ThreeBandEqChannel {
    double c1;               // lower chain coefficient, 2 sin(pi f1 / fs)
    double s1, s2, s3, s4;   // lower chain states; s4 is its output
    double c2;               // upper chain coefficient
    double u1, u2, u3, u4;   // upper chain states
    double x1, x2, x3;       // last three inputs, x1 the most recent
    double G1, G2, G3;       // linear gains of bass, mid, treble
    double f1, f2, fs;       // design of the current coefficients
};

struct ThreeBandEqualizer {
    ThreeBandEqChannel left;
    ThreeBandEqChannel right;
};

// Stores f1, f2, fs and the two coefficients; with clear, zeroes the whole record first.
void designThreeBandChannel(ThreeBandEqChannel& channel, double f1, double f2, double fs, bool clear);

void processSample(ThreeBandEqualizer& eq, double& L, double& R);
