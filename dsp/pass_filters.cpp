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

void processSample(HighpassFilter& highpass, double& L, double& R) { ReverseCascadeStereo(highpass.filter, L, R); }

void processSample(LowpassFilter& lowpass, double& L, double& R) {
    ReverseCascadeStereo(lowpass.first, L, R);
    ReverseCascadeStereo(lowpass.second, L, R);
}

void processFrames(LowpassFilter& lowpass, double* pairs, int n) {
    ReverseCascadeFilter* const sections[2] = {&lowpass.first, &lowpass.second};
    ReverseCascadeSeries(sections, 2, pairs, n);
}

void idleReset(HighpassFilter& highpass) { Reset(highpass.filter); }

void idleReset(LowpassFilter& lowpass) {
    Reset(lowpass.first);
    Reset(lowpass.second);
}
