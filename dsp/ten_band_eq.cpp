// Ten-band equaliser: twenty multiplications per frame, two at a time.
#include "dsp/ten_band_eq.h"

#include "dsp/simd_pair.h"

void applyEqGains(const TenBandEq& eq, BandSamples& bands) {
    // Bands j and j + 1 side by side.
    for (int j = 0; j < kBandCount; j += 2) {
        const Pair gain = loadAdjacent(&eq.gain[j]);
        storeAdjacent(&bands.left[j], _mm_mul_pd(loadAdjacent(&bands.left[j]), gain));
        storeAdjacent(&bands.right[j], _mm_mul_pd(loadAdjacent(&bands.right[j]), gain));
    }
}
