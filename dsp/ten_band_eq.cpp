// Ten-band equaliser: twenty multiplications per frame.
#include "dsp/ten_band_eq.h"

void applyEqGains(const double eqGain[kBandCount], BandSamples& bands) {
    for (int j = 0; j < kBandCount; ++j) {
        bands.left[j] = bands.left[j] * eqGain[j];
        bands.right[j] = bands.right[j] * eqGain[j];
    }
}
