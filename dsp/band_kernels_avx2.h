// Four-lane (AVX2) kernels of the band stages: four bands per register.
#pragma once

#include "dsp/band_compressor.h"
#include "dsp/band_dynamics.h"
#include "dsp/band_expander.h"
#include "dsp/band_limiter.h"
#include "dsp/band_samples.h"
#include "dsp/dynamic_eq.h"

// Compiled apart, in band_kernels_avx2.cpp with -mavx2 (never -mfma; -ffp-contract=off holds),
// and only where DRELVANT_AVX2_KERNELS is defined; callers take them only where fourLanes() says
// the processor has AVX2. Lane q holds band j + q: every lane runs the two-lane pass's (and so the
// scalar formulas') operations in their order, so the bits are the same. The band stages' level
// pass is bound by its square roots and divisions, which cost the same on four lanes as on two.
namespace band_avx2 {

// Bands j ... j + 3 of the compressor's line pass over n frames, as compressFrames runs each band
// pair: pre-gain into the line, level follower, compressorGain, smoothing, gain on the leaving
// row. Writes the gains after frame 0 to gainAfterFirst[0 ... 3]. The line's counter is left to
// the caller.
void compressFour(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                  double* gainAfterFirst);
// The same for the band limiter: peak level floored too, gain min(1, threshold / level).
void limitFour(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n, int j,
               double* gainAfterFirst);

// Bands j ... j + 3 of the expander over n frames, as expandFrames runs each band pair.
void expandFour(BandExpander& expander, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                double* gainAfterFirst);
// n frames of the dynamic equaliser, as equalizeFrames: bands 0 ... 7 on four lanes, 8 and 9 on
// two, the normalising sum band by band in order. Writes frame 0's applied gains (after the
// normalisation) to firstApplied.
void equalizeFrames(DynamicEq& eq, const BandDetectors& detectors, BandSamples* bands, int n, double* firstApplied);

}  // namespace band_avx2
