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

namespace {

constexpr int kBandSamplesStride = sizeof(BandSamples) / sizeof(double);
static_assert(sizeof(BandSamples) == 2 * kBandCount * sizeof(double), "frames of bands are packed");
static_assert(kBandCount <= kMaxBankFilters, "the bank functions take the whole bank");

BankFrames bankFrames(BandSamples* bands) { return {bands[0].left, bands[0].right, kBandSamplesStride}; }

}  // namespace

void splitBands(ReverseCascadeFilter bank[kBandCount], bool cascaded, double L, double R, BandSamples& bands) {
    const double input[2] = {L, R};
    splitFrames(bank, cascaded, input, &bands, 1);
}

void splitFrames(ReverseCascadeFilter bank[kBandCount], bool cascaded, const double* inputPairs, BandSamples* bands,
                 int n, LaneWidth lanes) {
    if (cascaded) {
        ReverseCascadeBankSplit(bank, kBandCount, inputPairs, bankFrames(bands), n, lanes);
        return;
    }
    for (int f = 0; f < n; ++f) {
        for (int j = 0; j < kBandCount; ++j) {
            double L = inputPairs[2 * f], R = inputPairs[2 * f + 1];
            BiquadStereo(bank[j].biquad, L, R);
            bands[f].left[j] = L;
            bands[f].right[j] = R;
        }
    }
}

void filterBands(ReverseCascadeFilter bank[kBandCount], bool cascaded, BandSamples& bands) {
    filterFrames(bank, cascaded, &bands, 1);
}

void filterFrames(ReverseCascadeFilter bank[kBandCount], bool cascaded, BandSamples* bands, int n,
                  LaneWidth lanes) {
    if (cascaded) {
        ReverseCascadeBank(bank, kBandCount, bankFrames(bands), n, lanes);
        return;
    }
    for (int f = 0; f < n; ++f) {
        for (int j = 0; j < kBandCount; ++j) BiquadStereo(bank[j].biquad, bands[f].left[j], bands[f].right[j]);
    }
}
