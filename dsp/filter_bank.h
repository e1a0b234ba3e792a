// Ten-band filter bank: band-pass designs of the four configurations and the split/re-filter runtime.
#pragma once

#include "dsp/band_samples.h"
#include "dsp/filters/biquad.h"

// Band centres, band 1 ... 10.
constexpr double kBandCentreHz[kBandCount] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

// The refilter bank is the band bank with its trims multiplied by these (linear) factors.
constexpr double kRefilterFactors[kBandCount] = {1.8, 2.0, 2.0, 2.0, 2.0, 2.0, 2.0, 2.1, 2.0, 1.7};

// Bandwidth and output trim of one band. There is no crossover: all ten band-passes take the same
// input and only these values make the sum of the bands roughly flat.
struct BandDesign {
    double bandwidthOctaves;
    double trimDb;  // applied once per pass: twice on the reverse-cascaded runtime
};

// band: 0 ... 9. cascaded: "Processor.CascadedFilters"; narrow: "Processor.NarrowBandwidth".
BandDesign bandDesign(int band, bool cascaded, bool narrow);

// Split: bands.left[j] = F_j(L), bands.right[j] = F_j(R), all from the same input. `cascaded` picks
// the reverse-cascade runtime (8,192 frames of delay, |H|^2 trim^2) or the plain section.
void splitBands(ReverseCascadeFilter bank[kBandCount], bool cascaded, double L, double R, BandSamples& bands);
// The split of n consecutive frames: frame f's input is (inputPairs[2 f], inputPairs[2 f + 1]).
// `lanes` picks the width of the reverse-cascade kernels (same bits either way).
void splitFrames(ReverseCascadeFilter bank[kBandCount], bool cascaded, const double* inputPairs, BandSamples* bands,
                 int n, LaneWidth lanes = widestLanes());

// Re-filter: each band through its own filter, in place, on the same runtime choice.
void filterBands(ReverseCascadeFilter bank[kBandCount], bool cascaded, BandSamples& bands);
// The re-filter of n consecutive frames.
void filterFrames(ReverseCascadeFilter bank[kBandCount], bool cascaded, BandSamples* bands, int n,
                  LaneWidth lanes = widestLanes());
