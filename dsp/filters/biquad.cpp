// Biquad design, the plain section step and the reverse-cascade step.
#include "dsp/filters/biquad.h"

#include <cmath>
#include <cstring>

#include "dsp/db.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfLn2 = 0.34657359027997264;

// One step of the section on one channel's state; returns the unscaled output.
inline double sectionStep(const Biquad& f, double x, double& x1, double& x2, double& y1, double& y2) {
    const double y = f.b1 * x1 + f.b2 * x2 + f.b0 * x - f.a1 * y1 - f.a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

double reverseCascadeStep(double x, ReverseCascadeFilter& filter, double* ring, uint16_t& pending,
                          uint16_t& write, uint16_t& read, double& x1, double& x2, double& y1, double& y2) {
    const Biquad& f = filter.biquad;
    const double out = ring[read];
    const double forward = sectionStep(f, x, x1, x2, y1, y2);
    ring[write] = forward * f.gain;

    if ((write & kChunkOffsetMask) != kChunkOffsetMask) {
        ++read;
        ++write;
        return out;
    }

    // The chunk under `write` is complete: warm up over it backward, then run the older chunk
    // backward in place, and put the forward state back afterwards.
    const double savedX1 = x1, savedX2 = x2, savedY1 = y1, savedY2 = y2;
    const int writeChunkStart = write & kChunkStartMask;
    for (int i = write; i >= writeChunkStart; --i) {
        sectionStep(f, ring[i], x1, x2, y1, y2);
    }
    for (int i = pending + (kChunkFrames - 1); i >= pending; --i) {
        const double y = sectionStep(f, ring[i], x1, x2, y1, y2);
        ring[i] = y * f.gain;
    }
    x1 = savedX1;
    x2 = savedX2;
    y1 = savedY1;
    y2 = savedY2;

    const uint16_t oldPending = pending;
    pending = static_cast<uint16_t>(write & kChunkStartMask);
    write = static_cast<uint16_t>(read & kChunkStartMask);
    read = oldPending;
    return out;
}

}  // namespace

BiquadCoefficients DesignCoefficients(int type, double gainDb, double frequencyHz, double sampleRateHz,
                                      double bandwidthOctaves) {
    const double w0 = kTwoPi * frequencyHz / sampleRateHz;
    const double sn = std::sin(w0);
    const double cs = std::cos(w0);
    const double alpha = sn * std::sinh(kHalfLn2 * bandwidthOctaves * w0 / sn);

    double b0, b1, b2;
    const double a0 = 1 + alpha;
    const double a1 = -2 * cs;
    const double a2 = 1 - alpha;
    switch (type) {
        case kLowPass:
            b0 = (1 - cs) / 2;
            b1 = 1 - cs;
            b2 = (1 - cs) / 2;
            break;
        case kHighPass:
            b0 = (1 + cs) / 2;
            b1 = -(1 + cs);
            b2 = (1 + cs) / 2;
            break;
        default:
            b0 = alpha;
            b1 = 0;
            b2 = -alpha;
            break;
    }
    BiquadCoefficients c;
    c.b0 = b0 / a0;
    c.b1 = b1 / a0;
    c.b2 = b2 / a0;
    c.a1 = a1 / a0;
    c.a2 = a2 / a0;
    c.gain = DbToLinear(gainDb);
    return c;
}

void SetCoefficients(Biquad& filter, const BiquadCoefficients& c) {
    filter.b0 = c.b0;
    filter.b1 = c.b1;
    filter.b2 = c.b2;
    filter.a1 = c.a1;
    filter.a2 = c.a2;
    filter.gain = c.gain;
}

BiquadCoefficients CoefficientsOf(const Biquad& f) { return {f.b0, f.b1, f.b2, f.a1, f.a2, f.gain}; }

void DesignBiquad(Biquad& filter, bool reset, int type, double gainDb, double frequencyHz, double sampleRateHz,
                  double bandwidthOctaves) {
    SetCoefficients(filter, DesignCoefficients(type, gainDb, frequencyHz, sampleRateHz, bandwidthOctaves));
    if (reset) Reset(filter);
}

void DesignBiquad(ReverseCascadeFilter& filter, bool reset, int type, double gainDb, double frequencyHz,
                  double sampleRateHz, double bandwidthOctaves) {
    SetCoefficients(filter.biquad, DesignCoefficients(type, gainDb, frequencyHz, sampleRateHz, bandwidthOctaves));
    if (reset) Reset(filter);
}

void Reset(Biquad& f) {
    f.leftX1 = f.leftX2 = f.leftY1 = f.leftY2 = 0.0;
    f.rightX1 = f.rightX2 = f.rightY1 = f.rightY2 = 0.0;
}

void Reset(ReverseCascadeFilter& f) {
    Reset(f.biquad);
    f.leftPending = f.rightPending = 0;
    f.leftWrite = f.rightWrite = kChunkFrames;
    f.leftRead = f.rightRead = 2 * kChunkFrames;
    std::memset(f.leftRing, 0, sizeof f.leftRing);
    std::memset(f.rightRing, 0, sizeof f.rightRing);
}

double BiquadLeft(double x, Biquad& f) {
    return sectionStep(f, x, f.leftX1, f.leftX2, f.leftY1, f.leftY2) * f.gain;
}

double BiquadRight(double x, Biquad& f) {
    return sectionStep(f, x, f.rightX1, f.rightX2, f.rightY1, f.rightY2) * f.gain;
}

double ReverseCascadeLeft(double x, ReverseCascadeFilter& f) {
    Biquad& b = f.biquad;
    return reverseCascadeStep(x, f, f.leftRing, f.leftPending, f.leftWrite, f.leftRead, b.leftX1, b.leftX2,
                              b.leftY1, b.leftY2);
}

double ReverseCascadeRight(double x, ReverseCascadeFilter& f) {
    Biquad& b = f.biquad;
    return reverseCascadeStep(x, f, f.rightRing, f.rightPending, f.rightWrite, f.rightRead, b.rightX1, b.rightX2,
                              b.rightY1, b.rightY2);
}
