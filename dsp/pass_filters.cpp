// Highpass and lowpass designs and their per-frame steps.
#include "dsp/pass_filters.h"

#include "dsp/db.h"

namespace {

constexpr double kHighpassBandwidthOctaves = 2;
constexpr double kLowpassBandwidthOctaves = 2;
constexpr double kLowpassBandwidthSlope = 0.00008928571428571429;  // octaves per Hz: 1 / 11,200

}  // namespace

BiquadCoefficients highpassCoefficients(double cutoffHz) {
    return DesignCoefficients(kHighPass, 0.0, cutoffHz, kSampleRateHz, kHighpassBandwidthOctaves);
}

BiquadCoefficients lowpassCoefficients(double cutoffHz) {
    const double bandwidthOctaves = kLowpassBandwidthOctaves - cutoffHz * kLowpassBandwidthSlope;
    return DesignCoefficients(kLowPass, 0.0, cutoffHz, kSampleRateHz, bandwidthOctaves);
}

void processSample(HighpassFilter& highpass, double& L, double& R) {
    L = ReverseCascadeLeft(L, highpass.filter);
    R = ReverseCascadeRight(R, highpass.filter);
}

void processSample(LowpassFilter& lowpass, double& L, double& R) {
    L = ReverseCascadeLeft(L, lowpass.first);
    R = ReverseCascadeRight(R, lowpass.first);
    L = ReverseCascadeLeft(L, lowpass.second);
    R = ReverseCascadeRight(R, lowpass.second);
}

void idleReset(HighpassFilter& highpass) { Reset(highpass.filter); }

void idleReset(LowpassFilter& lowpass) {
    Reset(lowpass.first);
    Reset(lowpass.second);
}
