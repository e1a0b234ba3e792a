// Ten-band filter bank: the design table and the per-frame split and re-filter.
#include "dsp/filter_bank.h"

namespace {

constexpr int kPlainWide = 0, kPlainNarrow = 1, kCascadedWide = 2, kCascadedNarrow = 3;

constexpr double kBandwidthOctaves[4] = {1.4, 1.0, 1.7, 1.2};
// The one exception to a bank-wide bandwidth: band 10 (16 kHz) of the reverse-cascaded wide bank.
constexpr double kCascadedWideTopBandwidth = 1.2;

constexpr double kTrimDb[4][kBandCount] = {
    {-4.0, -5.0, -5.0, -5.0, -5.0, -5.0, -5.0, -6.0, -8.0, -3.0},  // plain, wide
    {-2.6, -2.9, -2.8, -2.7, -2.7, -2.7, -2.8, -3.2, -4.5, -1.5},  // plain, narrow
    {-1.8, -3.3, -3.2, -3.2, -3.1, -3.2, -3.3, -3.4, -3.9, -1.2},  // reverse-cascaded, wide
    {-0.9, -2.0, -2.0, -2.0, -2.0, -2.0, -2.0, -2.4, -3.5, -0.8},  // reverse-cascaded, narrow
};

}  // namespace

BandDesign bandDesign(int band, bool cascaded, bool narrow) {
    const int configuration = cascaded ? (narrow ? kCascadedNarrow : kCascadedWide) : (narrow ? kPlainNarrow : kPlainWide);
    double bandwidth = kBandwidthOctaves[configuration];
    if (configuration == kCascadedWide && band == kBandCount - 1) bandwidth = kCascadedWideTopBandwidth;
    return {bandwidth, kTrimDb[configuration][band]};
}

void splitBands(ReverseCascadeFilter bank[kBandCount], bool cascaded, double L, double R, BandSamples& bands) {
    if (cascaded) {
        for (int j = 0; j < kBandCount; ++j) {
            bands.left[j] = ReverseCascadeLeft(L, bank[j]);
            bands.right[j] = ReverseCascadeRight(R, bank[j]);
        }
    } else {
        for (int j = 0; j < kBandCount; ++j) {
            bands.left[j] = BiquadLeft(L, bank[j].biquad);
            bands.right[j] = BiquadRight(R, bank[j].biquad);
        }
    }
}

void filterBands(ReverseCascadeFilter bank[kBandCount], bool cascaded, BandSamples& bands) {
    if (cascaded) {
        for (int j = 0; j < kBandCount; ++j) {
            bands.left[j] = ReverseCascadeLeft(bands.left[j], bank[j]);
            bands.right[j] = ReverseCascadeRight(bands.right[j], bank[j]);
        }
    } else {
        for (int j = 0; j < kBandCount; ++j) {
            bands.left[j] = BiquadLeft(bands.left[j], bank[j].biquad);
            bands.right[j] = BiquadRight(bands.right[j], bank[j].biquad);
        }
    }
}
