// Portable computations of the spectrum analyser: octave table, transform, bar geometry.
#pragma once

#include <cstdint>

#include "host/engine_api.h"

constexpr int kOctaveTableSize = 1024;     // zeroed in full before it is filled
constexpr int kOctaveTableEntries = 1001;  // 20 Hz ... 20,480 Hz, 100 entries per octave
constexpr int kSpectrumLength = 1024;      // transform length, bins and work arrays
constexpr int kSpectrumTransforms = 8;     // overlapping stretches per redraw
constexpr int kSpectrumHop = 128;          // frames between the ends of two stretches
constexpr int kSpectrumBarCount = 112;     // one bar per 9 table entries, i = 0 ... 999
constexpr int kSpectrumBarStride = 9;
constexpr int kSpectrumBinHz = 39;         // table frequency step mapped to one bin index

// Entry i = trunc(20 x 2^(i x 0.01)) Hz for i = 0 ... 1000; entries above stay 0.
void BuildOctaveFrequencyTable(uint16_t table[kOctaveTableSize]);

// The transform's work arrays, all single precision. The accumulator sums |real part| per bin
// over the transforms of one redraw.
struct SpectrumWork {
    float inputReal[kSpectrumLength];
    float outputReal[kSpectrumLength];
    float outputImag[kSpectrumLength];
    float accumulator[kSpectrumLength];
};

// One radix-2 transform (no normalisation) of `count` ring entries, the last of which lies
// `back` frames before the ring's write index; adds |real| of every bin to the accumulator.
// The twiddle recurrence starts from the angles -2d and -d and so steps through e^(+i n d);
// for the real input the real parts equal those of the kernel e^(-2 pi i nk/N), and the
// imaginary parts, computed but unused, have the opposite sign. `count` is a power of two no larger than kSpectrumLength. The
// write index is read once.
void SpectrumTransform(SpectrumWork& work, const CaptureRingView& ring, int count, int back);

// Zeroes the accumulator and runs the eight transforms of one redraw, back = 0, 128, ..., 896.
void AccumulateSpectrum(SpectrumWork& work, const CaptureRingView& ring);

// One vertical bar of the analyser, before conversion to pixels.
struct SpectrumBar {
    int x;          // pixel column: i div 3 + 16
    double height;  // sqrt(sum of accumulated bins) x 5 - 32, never negative
};

// The 112 bars for table entries i = 0, 9, ..., 999. Each sums accumulator[pos div 39] for
// pos stepping 39 from the previous bar's frequency while pos is below this bar's frequency.
void SpectrumBars(const float* accumulator, const uint16_t* table, SpectrumBar bars[kSpectrumBarCount]);
