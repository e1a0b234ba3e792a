// Ten-band equaliser: a fixed gain per band on the processor's own split, preamp and mutes included.
#pragma once

#include "dsp/band_samples.h"

// bands x eqGain, both channels. The gains (preamp included, 0 for a muted band) come from the
// derived-parameter update, not from the block constants.
void applyEqGains(const double eqGain[kBandCount], BandSamples& bands);
