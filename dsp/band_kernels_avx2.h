// Four-lane (AVX2) kernels of the band stages' level passes: four bands per register.
#pragma once

#include "dsp/band_compressor.h"
#include "dsp/band_dynamics.h"
#include "dsp/band_expander.h"
#include "dsp/band_limiter.h"
#include "dsp/band_samples.h"
#include "dsp/dynamic_eq.h"

// Compiled apart, in band_kernels_avx2.cpp with -mavx2 (never -mfma; -ffp-contract=off holds),
// and only where DRELVANT_AVX2_KERNELS is defined; callers take them only where fourLanes() says
// the processor has AVX2. Bands 0 ... 3 and 4 ... 7 share a register each, 8 and 9 take the
// 128-bit form, and the three groups step through the frames together. Every lane runs the
// two-lane pass's (and so the scalar formulas') operations in their order, so the bits are the
// same. The level passes are bound by their square roots and divisions, which cost the same on
// four lanes as on two, and by each band's chain of dependent steps, which the groups overlap.
namespace band_avx2 {

// All ten bands of the compressor's line pass over n frames, as compressFrames runs its band pairs:
// pre-gain into the line, level follower, compressorGain, smoothing, gain on the leaving row.
// Writes the gains after frame 0 to gainAfterFirst. The line's counter is left to the caller.
void compressBands(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n,
                   double* gainAfterFirst);
// The same for the band limiter: peak level floored too, gain min(1, threshold / level).
void limitBands(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n,
                double* gainAfterFirst);
// The expander's ten bands over n frames, as expandFrames runs its band pairs.
void expandBands(BandExpander& expander, const BandDetectors& detectors, BandSamples* bands, int n,
                 double* gainAfterFirst);
// n frames of the dynamic equaliser, as equalizeFrames, the normalising sum band by band in order,
// from `in` to `out`, then times `drive`. Writes frame 0's applied gains (after the normalisation)
// to firstApplied.
void equalizeFrames(DynamicEq& eq, const BandDetectors& detectors, const BandSamples* in, BandSamples* out, int n,
                    double drive, double* firstApplied);

}  // namespace band_avx2
