// STUB: replaced by the stage implementation.
#include "dsp/ten_band_processor.h"
void bankCoefficients(bool, bool, BiquadCoefficients out[kBandCount]) { for (int i = 0; i < kBandCount; ++i) out[i] = {}; }
void installBankDesign(TenBandProcessor&, const BiquadCoefficients[kBandCount], bool, bool, bool) {}
void prepareBlock(TenBandProcessor&, const LiveParams&) {}
void processSample(TenBandProcessor&, const LiveParams&, double densityGain, double& L, double& R, bool) { L *= densityGain; R *= densityGain; }
void finishSaturatorBlock(TenBandProcessor&, double) {}
void idleReset(TenBandProcessor&) {}
