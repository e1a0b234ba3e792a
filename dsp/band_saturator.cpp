// Band saturator and clipper, the re-filter pass and the block-end clip meters.
#include "dsp/band_saturator.h"

#include "dsp/band_dynamics.h"
#include "dsp/db.h"
#include "dsp/filter_bank.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

// How a band pair's clip switches stand for the block: neither band clips, both do, or one.
enum class PairClip { kNone, kBoth, kMixed };

// The constants of one band pair, taken once per call.
struct ShapeConstants {
    Pair amount, oneMinusAmount, saturateMask, gain, clip, clipMask;
};

// One channel's pair of bands through saturation (where enabled), post gain and clip (where
// enabled); raises clipPeak by the positive overshoot of the clipped lanes. kSaturate and kClip
// only leave out work whose masks would keep the input: with both bands clipping, the masked
// update of the hold is maxpd(overshoot, hold), which is overshoot > hold ? overshoot : hold.
template <bool kSaturate, PairClip kClip>
inline Pair shapePair(Pair x, const ShapeConstants& c, Pair& clipPeak) {
    if (kSaturate) x = select(c.saturateMask, saturatePair(x, c.amount, c.oneMinusAmount), x);
    x = _mm_mul_pd(x, c.gain);
    if (kClip == PairClip::kNone) return x;
    const Pair p = x;
    // Below the negative rail p - x is negative and leaves the hold alone.
    if (kClip == PairClip::kBoth) {
        x = hardClipPair(p, c.clip);
        clipPeak = _mm_max_pd(_mm_sub_pd(p, x), clipPeak);
    } else {
        x = select(c.clipMask, hardClipPair(p, c.clip), p);
        const Pair overshoot = _mm_sub_pd(p, x);
        clipPeak = select(_mm_and_pd(c.clipMask, _mm_cmpgt_pd(overshoot, clipPeak)), overshoot, clipPeak);
    }
    return x;
}

ShapeConstants shapeConstantsOf(const SaturatorBlock& block, int j) {
    return {loadAdjacent(&block.amount[j]), loadAdjacent(&block.oneMinusAmount[j]),
            loadMask(&block.saturateMask[j]), loadAdjacent(&block.gain[j]),
            loadAdjacent(&block.clip[j]),   loadMask(&block.clipMask[j])};
}

// Bands j and j + 1 over n frames; each band's hold sees its left value, then its right, frame
// after frame.
template <bool kSaturate, PairClip kClip>
void shapeFrames(BandSaturator& saturator, BandSamples* bands, int n, int j) {
    const ShapeConstants c = shapeConstantsOf(saturator.block, j);
    Pair clipPeak = loadAdjacent(&saturator.clipPeak[j]);
    for (int f = 0; f < n; ++f) {
        storeAdjacent(&bands[f].left[j], shapePair<kSaturate, kClip>(loadAdjacent(&bands[f].left[j]), c, clipPeak));
        storeAdjacent(&bands[f].right[j], shapePair<kSaturate, kClip>(loadAdjacent(&bands[f].right[j]), c, clipPeak));
    }
    storeAdjacent(&saturator.clipPeak[j], clipPeak);
}

// The path of band pair j, j + 1 by its clip switches.
PairClip pairClip(const SaturatorBlock& block, int j) {
    const bool low = block.clipEnable[j];
    const bool high = block.clipEnable[j + 1];
    return low && high ? PairClip::kBoth : low || high ? PairClip::kMixed : PairClip::kNone;
}

template <bool kSaturate>
void shapeFrames(BandSaturator& saturator, BandSamples* bands, int n, int j) {
    switch (pairClip(saturator.block, j)) {
        case PairClip::kBoth:
            shapeFrames<kSaturate, PairClip::kBoth>(saturator, bands, n, j);
            break;
        case PairClip::kMixed:
            shapeFrames<kSaturate, PairClip::kMixed>(saturator, bands, n, j);
            break;
        case PairClip::kNone:
            shapeFrames<kSaturate, PairClip::kNone>(saturator, bands, n, j);
            break;
    }
}

constexpr int kBandPairs = kBandCount / 2;

// All five band pairs frame by frame, where they all take the same path: each pair's hold is a
// chain of maxima from frame to frame, and five chains side by side keep the processor busy where
// one pair after the other would wait on each chain in turn. Each pair sees the operations of
// shapeFrames in their order.
template <bool kSaturate, PairClip kClip>
void shapeAllPairs(BandSaturator& saturator, BandSamples* bands, int n) {
    ShapeConstants c[kBandPairs];
    Pair clipPeak[kBandPairs];
    for (int p = 0; p < kBandPairs; ++p) {
        c[p] = shapeConstantsOf(saturator.block, 2 * p);
        clipPeak[p] = loadAdjacent(&saturator.clipPeak[2 * p]);
    }
    for (int f = 0; f < n; ++f) {
        for (int p = 0; p < kBandPairs; ++p) {
            const int j = 2 * p;
            storeAdjacent(&bands[f].left[j],
                          shapePair<kSaturate, kClip>(loadAdjacent(&bands[f].left[j]), c[p], clipPeak[p]));
            storeAdjacent(&bands[f].right[j],
                          shapePair<kSaturate, kClip>(loadAdjacent(&bands[f].right[j]), c[p], clipPeak[p]));
        }
    }
    for (int p = 0; p < kBandPairs; ++p) storeAdjacent(&saturator.clipPeak[2 * p], clipPeak[p]);
}

// Whether every band pair takes the first pair's path.
bool pairsTakeOnePath(const SaturatorBlock& block) {
    for (int p = 1; p < kBandPairs; ++p) {
        if (block.anySaturation[p] != block.anySaturation[0] || pairClip(block, 2 * p) != pairClip(block, 0)) {
            return false;
        }
    }
    return true;
}

// All pairs on the first pair's path.
void shapeAllPairs(BandSaturator& saturator, BandSamples* bands, int n) {
    const bool saturate = saturator.block.anySaturation[0];
    switch (pairClip(saturator.block, 0)) {
        case PairClip::kBoth:
            saturate ? shapeAllPairs<true, PairClip::kBoth>(saturator, bands, n)
                     : shapeAllPairs<false, PairClip::kBoth>(saturator, bands, n);
            break;
        case PairClip::kMixed:
            saturate ? shapeAllPairs<true, PairClip::kMixed>(saturator, bands, n)
                     : shapeAllPairs<false, PairClip::kMixed>(saturator, bands, n);
            break;
        case PairClip::kNone:
            saturate ? shapeAllPairs<true, PairClip::kNone>(saturator, bands, n)
                     : shapeAllPairs<false, PairClip::kNone>(saturator, bands, n);
            break;
    }
}

}  // namespace

void prepareBlock(BandSaturator& saturator, const SaturatorParams& params) {
    SaturatorBlock& block = saturator.block;
    for (int j = 0; j < kBandCount; ++j) {
        block.amount[j] = guardedParam(loadShared(params.levelPercent[j]), kSaturatorLevelPercent.range) * 0.01;
        block.gain[j] = DbToLinear(block.gainMemo[j], guardedParam(loadShared(params.gainDb[j]), kSaturatorGainDb.range));
        block.clip[j] =
            DbToLinear(block.clipMemo[j], guardedParam(loadShared(params.clipDb[j]), kSaturatorClipDb.range)) * kClipScale;
        block.clipEnable[j] = isOn(params.clipEnable[j]);
        block.saturateMask[j] = laneMask(block.amount[j] > 0);
        block.clipMask[j] = laneMask(block.clipEnable[j]);
        block.oneMinusAmount[j] = 1 - block.amount[j];
    }
    for (int j = 0; j < kBandCount; j += 2) block.anySaturation[j / 2] = block.amount[j] > 0 || block.amount[j + 1] > 0;
    block.refilter = isOn(params.refilter);
}

void installRefilters(BandSaturator& saturator, const ReverseCascadeFilter bank[kBandCount]) {
    for (int j = 0; j < kBandCount; ++j) {
        saturator.refilters[j] = bank[j];
        Biquad& refilter = saturator.refilters[j].biquad;
        refilter.gain = refilter.gain * kRefilterFactors[j];
    }
}

void saturateBands(BandSaturator& saturator, bool cascaded, BandSamples& bands) {
    saturateFrames(saturator, cascaded, &bands, 1);
}

void saturateFrames(BandSaturator& saturator, bool cascaded, BandSamples* bands, int n) {
    const SaturatorBlock& block = saturator.block;
    // Bands j and j + 1 side by side over all frames (the bands are independent). The re-filter
    // follows for all frames: the bank does not feed back into the shaping.
    if (pairsTakeOnePath(block)) {
        shapeAllPairs(saturator, bands, n);
    } else {
        for (int j = 0; j < kBandCount; j += 2) {
            if (block.anySaturation[j / 2]) {
                shapeFrames<true>(saturator, bands, n, j);
            } else {
                shapeFrames<false>(saturator, bands, n, j);
            }
        }
    }
    if (block.refilter) filterFrames(saturator.refilters, cascaded, bands, n);
}

void finishBlock(BandSaturator& saturator, double bandMeterDecay) {
    const SaturatorBlock& block = saturator.block;
    for (int j = 0; j < kBandCount; ++j) {
        double peak = saturator.clipPeak[j];
        if (!(peak >= 0)) peak = 0;
        if (peak > kClipPeakLimit) peak = kClipPeakLimit;
        storeShared(saturator.meter[j], LinearToDb(peak / block.clip[j] + 1));
        saturator.clipPeak[j] = peak - bandMeterDecay;
    }
}

void idleReset(BandSaturator& saturator) {
    for (ReverseCascadeFilter& filter : saturator.refilters) Reset(filter);
}
