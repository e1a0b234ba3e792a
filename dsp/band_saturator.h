// Band saturator and clipper: square-root saturation, post gain, hard clip, optional re-filter.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/band_samples.h"
#include "dsp/db.h"
#include "dsp/filters/biquad.h"
#include "dsp/live_params.h"
#include "dsp/simd_pair.h"

// A clip setting of 0 dB clips at this fraction of full scale.
constexpr double kClipScale = 0.2;
// clipPeak is held within 0 ... this at every block end.
constexpr double kClipPeakLimit = 30;

// Block constants from "Saturator.*", per band.
struct SaturatorBlock {
    double amount[kBandCount];  // lambda: share of the square-root curve, 0 ... 1
    double gain[kBandCount];    // G: linear post gain, drives the clipper
    double clip[kBandCount];    // C: clip level, 10^(dB/20) x 0.2, always positive
    bool clipEnable[kBandCount];
    bool refilter;              // "Saturator.Refilter"
    // The per-band switches as lane masks (all bits set where on), and 1 - lambda, computed once:
    // saturating where amount > 0, clipping where clipEnable.
    uint64_t saturateMask[kBandCount];
    uint64_t clipMask[kBandCount];
    double oneMinusAmount[kBandCount];
    bool anySaturation[kBandCount / 2];  // per band pair: does either band saturate?
    DbToLinearMemo gainMemo[kBandCount], clipMemo[kBandCount];
};

// lambda s(x) + (1 - lambda) x with the sign-preserving square root s. Fixed points 0 and +-1,
// magnitudes below 1 raised (0.25 -> 0.5 at lambda 1, a level in dB halved); infinite slope at 0
// for lambda > 0, which is why the stage only calls it when lambda > 0.
inline double saturate(double x, double amount) {
    const double s = x >= 0 ? std::sqrt(x) : -std::sqrt(-x);
    return amount * s + (1 - amount) * x;
}

// Symmetric hard clip to +-clipLevel; slope 1 inside, 0 outside.
inline double hardClip(double x, double clipLevel) {
    if (x > clipLevel) return clipLevel;
    if (x < -clipLevel) return -clipLevel;
    return x;
}

// saturate on two bands (lanes j, j + 1); oneMinusAmount is 1 - amount. The sign test picks the
// argument and the sign of the square root lane by lane, so -0 stays -0 as in the scalar form.
inline Pair saturatePair(Pair x, Pair amount, Pair oneMinusAmount) {
    const Pair signBit = splat(-0.0);
    const Pair nonNegative = _mm_cmpge_pd(x, _mm_setzero_pd());
    const Pair root = _mm_sqrt_pd(select(nonNegative, x, _mm_xor_pd(x, signBit)));
    const Pair s = select(nonNegative, root, _mm_xor_pd(root, signBit));
    return _mm_add_pd(_mm_mul_pd(amount, s), _mm_mul_pd(oneMinusAmount, x));
}

// hardClip on two bands: minpd(C, x) is C < x ? C : x, then maxpd(-C, y) is -C > y ? -C : y.
// With C > 0 (the block constants guarantee it) this is the scalar clip, NaN passing through.
inline Pair hardClipPair(Pair x, Pair clipLevel) {
    const Pair y = _mm_min_pd(clipLevel, x);
    return _mm_max_pd(_mm_xor_pd(clipLevel, splat(-0.0)), y);
}

// State glossary (index 0 = band 1). The re-filter is a whole copy of the ten-band split's bank
// with each band's trim multiplied by its re-filter factor; it runs on the bank's runtime path.
// clipPeak is a decaying hold of the largest positive clip overshoot, full scale, never cleared.
struct BandSaturator {
    ReverseCascadeFilter refilters[kBandCount];
    double clipPeak[kBandCount];
    double meter[kBandCount];  // clip level in dB, written at block end by the audio thread
    SaturatorBlock block;
};

void prepareBlock(BandSaturator& saturator, const SaturatorParams& params);

// The re-filter from a newly designed band bank: whole copies (states included), trims retuned.
void installRefilters(BandSaturator& saturator, const ReverseCascadeFilter bank[kBandCount]);

// One frame in place: saturation, post gain and clip per band, then the re-filter when enabled,
// on the runtime path the bank was designed for (`cascaded`). Raises clipPeak by positive
// overshoot only.
void saturateBands(BandSaturator& saturator, bool cascaded, BandSamples& bands);
// n consecutive frames, exactly as n calls of saturateBands.
void saturateFrames(BandSaturator& saturator, bool cascaded, BandSamples* bands, int n);
// End-of-block clip meters; the frame calls it while the saturator switch is on, after prepareBlock.
void finishBlock(BandSaturator& saturator, double bandMeterDecay);
// Clears the re-filter; clipPeak is left alone.
void idleReset(BandSaturator& saturator);
