// The band stages' level passes on four lanes: bands 0 ... 3 and 4 ... 7 per register, 8 and 9 on two.
#include "dsp/band_kernels_avx2.h"
#include "dsp/kernel_entry.h"

// Built with -mavx2 only where the build defines DRELVANT_AVX2_KERNELS (x86-64, not the DLL).
// No inline function of another header is called here (the headers are included for the records
// only): the linker keeps one copy of an inline function, and an AVX2 copy would then run on
// processors without AVX2. The formulas below are the two-lane ones of band_dynamics.h,
// band_compressor.h, band_limiter.h, band_expander.h, band_line_pass.h and dynamic_eq.cpp,
// operation for operation.
#if defined(DRELVANT_AVX2_KERNELS) && defined(__AVX2__)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

// The register types are template arguments here; GCC notes that their alignment attributes do
// not take part in template matching, which is what this file relies on anyway (Quad and Duo
// differ in size).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wignored-attributes"
#endif

namespace {

// Four bands per register (bands 0 ... 3 and 4 ... 7) and two (bands 8 and 9, 128-bit AVX
// encodings of the SSE2 operations): the formulas are written once over the register type.
using Quad = __m256d;
using Duo = __m128d;

inline Quad add(Quad a, Quad b) { return _mm256_add_pd(a, b); }
inline Duo add(Duo a, Duo b) { return _mm_add_pd(a, b); }
inline Quad sub(Quad a, Quad b) { return _mm256_sub_pd(a, b); }
inline Duo sub(Duo a, Duo b) { return _mm_sub_pd(a, b); }
inline Quad mul(Quad a, Quad b) { return _mm256_mul_pd(a, b); }
inline Duo mul(Duo a, Duo b) { return _mm_mul_pd(a, b); }
inline Quad div(Quad a, Quad b) { return _mm256_div_pd(a, b); }
inline Duo div(Duo a, Duo b) { return _mm_div_pd(a, b); }
inline Quad root(Quad a) { return _mm256_sqrt_pd(a); }
inline Duo root(Duo a) { return _mm_sqrt_pd(a); }
// maxpd / minpd: a > b ? a : b and a < b ? a : b, NaN and signed zeros as the two-lane code.
inline Quad larger(Quad a, Quad b) { return _mm256_max_pd(a, b); }
inline Duo larger(Duo a, Duo b) { return _mm_max_pd(a, b); }
inline Quad smaller(Quad a, Quad b) { return _mm256_min_pd(a, b); }
inline Duo smaller(Duo a, Duo b) { return _mm_min_pd(a, b); }
inline Quad bitAnd(Quad a, Quad b) { return _mm256_and_pd(a, b); }
inline Duo bitAnd(Duo a, Duo b) { return _mm_and_pd(a, b); }
inline Quad bitXor(Quad a, Quad b) { return _mm256_xor_pd(a, b); }
inline Duo bitXor(Duo a, Duo b) { return _mm_xor_pd(a, b); }
inline Quad select(Quad mask, Quad ifTrue, Quad ifFalse) {
    return _mm256_or_pd(_mm256_and_pd(mask, ifTrue), _mm256_andnot_pd(mask, ifFalse));
}
inline Duo select(Duo mask, Duo ifTrue, Duo ifFalse) { return _mm_or_pd(_mm_and_pd(mask, ifTrue), _mm_andnot_pd(mask, ifFalse)); }
inline Quad lessThan(Quad a, Quad b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline Duo lessThan(Duo a, Duo b) { return _mm_cmplt_pd(a, b); }
inline Quad greaterThan(Quad a, Quad b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
inline Duo greaterThan(Duo a, Duo b) { return _mm_cmpgt_pd(a, b); }
inline Quad atMost(Quad a, Quad b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
inline Duo atMost(Duo a, Duo b) { return _mm_cmple_pd(a, b); }
inline Quad absolute(Quad x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }
inline Duo absolute(Duo x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }

// Whether a comparison holds in every lane.
inline bool allLanes(Quad mask) { return _mm256_movemask_pd(mask) == 0xF; }
inline bool allLanes(Duo mask) { return _mm_movemask_pd(mask) == 0x3; }

// A factor just below 1 (1 - 2^-50): a positive level below threshold times this factor has a
// quotient level / threshold below 1 - 2^-51, which rounds below 1.
constexpr double kSurelyBelowOne = 1.0 - 0x1p-50;

// The smallest power of which the rounded RMS level (square root, then the level floor added) is
// surely above `level`, a positive finite level: (level (1 + 2^-40))^2, rounded at each step, is
// above level^2 (1 + 2^-41) and its root above level (1 + 2^-43), far beyond the few roundings
// on the way. +infinity (no power is surely above) for any other level.
inline double powerSurelyAbove(double level) {
    if (!(level > 0) || !(level < 0x1p500)) return __builtin_inf();
    const double raised = level * (1.0 + 0x1p-40);
    return raised * raised;
}

template <class V> V splat(double x);
template <> inline Quad splat<Quad>(double x) { return _mm256_set1_pd(x); }
template <> inline Duo splat<Duo>(double x) { return _mm_set1_pd(x); }
template <class V> V load(const double* p);
template <> inline Quad load<Quad>(const double* p) { return _mm256_loadu_pd(p); }
template <> inline Duo load<Duo>(const double* p) { return _mm_loadu_pd(p); }
inline void store(double* p, Quad v) { _mm256_storeu_pd(p, v); }
inline void store(double* p, Duo v) { _mm_storeu_pd(p, v); }

// followPowerPair: detect (L^2 + R^2) + complement power.
template <class V>
inline V followPower(V power, V left, V right, V detect, V complement) {
    return add(mul(detect, add(mul(left, left), mul(right, right))), mul(complement, power));
}

// followPeakPair: maxpd(|R|, |L|), then x > peak ? x : peak complement.
template <class V>
inline V followPeak(V peak, V left, V right, V complement) {
    const V x = larger(absolute(right), absolute(left));
    return select(greaterThan(x, peak), x, mul(peak, complement));
}

// smoothGainPair with the constants of SmoothingPair: attack ^ release and
// (1 - attack) ^ (1 - release) bitwise, so that a mask picks either constant's exact bits.
template <class V>
struct Smoothing {
    V release, oneMinusRelease, attackFlip, oneMinusAttackFlip;
};

template <class V>
inline Smoothing<V> smoothingAt(const double* attack, const double* oneMinusAttack, const double* release,
                                const double* oneMinusRelease, int j) {
    return {load<V>(&release[j]), load<V>(&oneMinusRelease[j]), bitXor(load<V>(&attack[j]), load<V>(&release[j])),
            bitXor(load<V>(&oneMinusAttack[j]), load<V>(&oneMinusRelease[j]))};
}

template <class V>
inline V smoothGain(V gain, V target, const Smoothing<V>& s) {
    const V attacking = lessThan(target, gain);
    const V c = bitXor(s.release, bitAnd(attacking, s.attackFlip));
    const V oneMinusC = bitXor(s.oneMinusRelease, bitAnd(attacking, s.oneMinusAttackFlip));
    return add(mul(oneMinusC, gain), mul(c, target));
}

// compressorGainPair<kCurves>.
template <RatioCurves kCurves, class V>
inline V compressorGain(V r, V ratio, V blend, V oneMinusBlend) {
    const V one = splat<V>(1.0);
    const V h = div(one, root(r));
    V g;
    if (kCurves == RatioCurves::kGentle) {
        g = add(mul(blend, h), oneMinusBlend);
    } else if (kCurves == RatioCurves::kSteep) {
        g = add(div(oneMinusBlend, r), mul(blend, h));
    } else {
        const V gentle = add(mul(blend, h), oneMinusBlend);
        const V steep = add(div(oneMinusBlend, r), mul(blend, h));
        g = select(lessThan(ratio, splat<V>(2.0)), gentle, steep);
    }
    return select(lessThan(r, one), one, g);
}

// expanderGainPair: r <= 1 ? r (1 - floor) + floor : 1.
template <class V>
inline V expanderGain(V r, V floor, V oneMinusFloor) {
    const V one = splat<V>(1.0);
    return select(atMost(r, one), add(mul(r, oneMinusFloor), floor), one);
}

// The ten bands as three groups: lanes 0 ... 3, 4 ... 7 and 8 ... 9. One band's recursion (level,
// then gain) is a chain of dependent operations, and the square roots and divisions are slow, so
// the three groups step through the frames together to keep three chains in flight.
static_assert(kBandCount == 10, "two groups of four bands and a pair");

// Calls visit(group start, Quad or Duo tag) for each group, in band order.
template <class Visit>
inline void forGroups(Visit visit) {
    visit.template operator()<Quad>(0);
    visit.template operator()<Quad>(4);
    visit.template operator()<Duo>(8);
}

// What a line pass reads and keeps (LinePass of band_line_pass.h), and one group's registers.
struct LinePassTen {
    LookaheadLine& line;
    const int* lookahead;
    const double* preGain;
    const double* attack;
    const double* oneMinusAttack;
    const double* release;
    const double* oneMinusRelease;
    const BandDetectors& detectors;
    double* level;
    double* gain;
};

template <class V>
struct LineGroup {
    int first;      // band of lane 0
    bool oneDelay;  // all lanes look the same number of frames ahead: their detector rows are one
    V preGain, detect, complement;
    Smoothing<V> smoothing;
    V level, gain;

    LineGroup(const LinePassTen& pass, int j)
        : first(j),
          preGain(load<V>(&pass.preGain[j])),
          detect(load<V>(&pass.detectors.detect[j])),
          complement(load<V>(&pass.detectors.complement[j])),
          smoothing(smoothingAt<V>(pass.attack, pass.oneMinusAttack, pass.release, pass.oneMinusRelease, j)),
          level(load<V>(&pass.level[j])),
          gain(load<V>(&pass.gain[j])) {
        oneDelay = true;
        for (int q = 1; q < static_cast<int>(sizeof(V) / sizeof(double)); ++q) {
            oneDelay = oneDelay && pass.lookahead[j + q] == pass.lookahead[j];
        }
    }
    void save(const LinePassTen& pass) const {
        store(&pass.level[first], level);
        store(&pass.gain[first], gain);
    }
};

// Lane q of a group from row rows[q] at band first + q.
inline Quad gather(const double (*const* rows)[kBandCount], int k, int first, Quad) {
    return _mm256_setr_pd(rows[first][k][first], rows[first + 1][k][first + 1], rows[first + 2][k][first + 2],
                          rows[first + 3][k][first + 3]);
}
inline Duo gather(const double (*const* rows)[kBandCount], int k, int first, Duo) {
    return _mm_setr_pd(rows[first][k][first], rows[first + 1][k][first + 1]);
}

// One frame of one group: pre-gain into the line, follower on the detector rows, static gain,
// smoothing, gain on the leaving row (runLinePair's frame).
template <bool kPeakMode, bool kFloorPeak, class V, class StaticGain>
inline void lineFrame(LineGroup<V>& g, double (*writeLeft)[kBandCount], double (*writeRight)[kBandCount],
                      const double (*const* detectLeft)[kBandCount], const double (*const* detectRight)[kBandCount],
                      const double (*outLeft)[kBandCount], const double (*outRight)[kBandCount], int k,
                      BandSamples& frame, bool firstFrame, double* gainAfterFirst, StaticGain staticGain) {
    const int j = g.first;
    store(&writeLeft[k][j], mul(g.preGain, load<V>(&frame.left[j])));
    store(&writeRight[k][j], mul(g.preGain, load<V>(&frame.right[j])));
    const V a = g.oneDelay ? load<V>(&detectLeft[j][k][j]) : gather(detectLeft, k, j, V{});
    const V b = g.oneDelay ? load<V>(&detectRight[j][k][j]) : gather(detectRight, k, j, V{});
    V detected;
    if (kPeakMode) {
        g.level = followPeak(g.level, a, b, g.complement);
        detected = kFloorPeak ? add(g.level, splat<V>(kLevelFloor)) : g.level;
    } else {
        g.level = followPower(g.level, a, b, g.detect, g.complement);
        detected = add(root(g.level), splat<V>(kLevelFloor));
    }
    g.gain = smoothGain(g.gain, staticGain(detected, j), g.smoothing);
    if (firstFrame) store(&gainAfterFirst[j], g.gain);
    store(&frame.left[j], mul(g.gain, load<V>(&outLeft[k][j])));
    store(&frame.right[j], mul(g.gain, load<V>(&outRight[k][j])));
}

// runLinePair on all ten bands: the frames go in stretches in which none of the rows a frame
// touches (write, out and the ten detector rows) wraps around the line. staticGain(level, first
// band) gives a group's gain target.
template <bool kPeakMode, bool kFloorPeak, class StaticGain>
void runLineTen(const LinePassTen& pass, BandSamples* bands, int n, double* gainAfterFirst, StaticGain staticGain) {
    LookaheadLine& line = pass.line;
    LineGroup<Quad> low(pass, 0), middle(pass, 4);
    LineGroup<Duo> high(pass, 8);
    for (int f = 0; f < n;) {
        const uint32_t c = line.counter + static_cast<uint32_t>(f);
        const uint32_t writeRow = c & kLookaheadRowMask;
        const uint32_t outRow = (c + 1) & kLookaheadRowMask;
        int frames = n - f;
        const auto limit = [&frames](uint32_t row) {
            const int beforeWrap = kLookaheadRows - static_cast<int>(row);
            if (beforeWrap < frames) frames = beforeWrap;
        };
        limit(writeRow);
        limit(outRow);
        const double(*detectLeft[kBandCount])[kBandCount];
        const double(*detectRight[kBandCount])[kBandCount];
        for (int j = 0; j < kBandCount; ++j) {
            const uint32_t row = (outRow + static_cast<uint32_t>(pass.lookahead[j])) & kLookaheadRowMask;
            limit(row);
            detectLeft[j] = &line.left[row];
            detectRight[j] = &line.right[row];
        }
        double(*writeLeft)[kBandCount] = &line.left[writeRow];
        double(*writeRight)[kBandCount] = &line.right[writeRow];
        const double(*outLeft)[kBandCount] = &line.left[outRow];
        const double(*outRight)[kBandCount] = &line.right[outRow];
        for (int k = 0; k < frames; ++k, ++f) {
            lineFrame<kPeakMode, kFloorPeak>(low, writeLeft, writeRight, detectLeft, detectRight, outLeft, outRight, k,
                                             bands[f], f == 0, gainAfterFirst, staticGain);
            lineFrame<kPeakMode, kFloorPeak>(middle, writeLeft, writeRight, detectLeft, detectRight, outLeft, outRight,
                                             k, bands[f], f == 0, gainAfterFirst, staticGain);
            lineFrame<kPeakMode, kFloorPeak>(high, writeLeft, writeRight, detectLeft, detectRight, outLeft, outRight, k,
                                             bands[f], f == 0, gainAfterFirst, staticGain);
        }
    }
    low.save(pass);
    middle.save(pass);
    high.save(pass);
}

template <bool kPeakMode, RatioCurves kCurves>
void compressTenWith(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n,
                     double* gainAfterFirst) {
    const CompressorBlock& block = compressor.block;
    const LinePassTen pass{compressor.line,      block.lookahead, block.preGain,        block.attack,
                           block.oneMinusAttack, block.release,   block.oneMinusRelease, detectors,
                           compressor.level,     compressor.gain};
    // Below its threshold a band's target is 1 (level / threshold < 1). Most frames of most bands
    // are there, and the divisions and square root of the curve are the slow part of a frame: a
    // group whose levels all lie below their threshold a little lowered (so that the rounded
    // quotient is surely below 1) takes 1 without them. Any other group takes the curve in full.
    double surelyBelow[kBandCount];
    for (int j = 0; j < kBandCount; ++j) surelyBelow[j] = block.threshold[j] * kSurelyBelowOne;
    runLineTen<kPeakMode, false>(pass, bands, n, gainAfterFirst, [&block, &surelyBelow](auto level, int j) {
        using V = decltype(level);
        if (allLanes(lessThan(level, load<V>(&surelyBelow[j])))) return splat<V>(1.0);
        return compressorGain<kCurves>(div(level, load<V>(&block.threshold[j])), load<V>(&block.ratio[j]),
                                       load<V>(&block.blend[j]), load<V>(&block.oneMinusBlend[j]));
    });
}

// The ratio curves the ten bands take: only a curve no band takes is left out.
template <bool kPeakMode>
void compressTen(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n,
                 double* gainAfterFirst) {
    int gentle = 0;
    for (int j = 0; j < kBandCount; ++j) gentle += compressor.block.ratio[j] < 2 ? 1 : 0;
    if (gentle == kBandCount) {
        compressTenWith<kPeakMode, RatioCurves::kGentle>(compressor, detectors, bands, n, gainAfterFirst);
    } else if (gentle == 0) {
        compressTenWith<kPeakMode, RatioCurves::kSteep>(compressor, detectors, bands, n, gainAfterFirst);
    } else {
        compressTenWith<kPeakMode, RatioCurves::kMixed>(compressor, detectors, bands, n, gainAfterFirst);
    }
}

template <bool kPeakMode>
void limitTen(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n,
              double* gainAfterFirst) {
    const LimiterBlock& block = limiter.block;
    const LinePassTen pass{limiter.line,         block.lookahead, block.preGain,        block.attack,
                           block.oneMinusAttack, block.release,   block.oneMinusRelease, detectors,
                           limiter.level,        limiter.gain};
    // limiterGainPair: minpd(threshold / level, 1). A positive level at or below the threshold
    // gives a quotient of at least 1, so a group whose levels all lie there takes 1 without the
    // division (a limiter is idle most of the time).
    runLineTen<kPeakMode, true>(pass, bands, n, gainAfterFirst, [&block](auto level, int j) {
        using V = decltype(level);
        const V threshold = load<V>(&block.threshold[j]);
        if (allLanes(bitAnd(atMost(level, threshold), greaterThan(level, splat<V>(0.0))))) return splat<V>(1.0);
        return smaller(div(threshold, level), splat<V>(1.0));
    });
}

// The expander's registers for one group.
template <class V>
struct ExpanderGroup {
    int first;
    V detect, complement, threshold, floor, oneMinusFloor;
    V loud;  // powers at which the level / threshold ratio is surely above 1 (target 1)
    Smoothing<V> smoothing;
    V power, gain;

    ExpanderGroup(const BandExpander& expander, const BandDetectors& detectors, int j)
        : first(j),
          detect(load<V>(&detectors.detect[j])),
          complement(load<V>(&detectors.complement[j])),
          threshold(load<V>(&expander.block.threshold[j])),
          floor(load<V>(&expander.block.floor[j])),
          oneMinusFloor(load<V>(&expander.block.oneMinusFloor[j])),
          smoothing(smoothingAt<V>(expander.block.attack, expander.block.oneMinusAttack, expander.block.release,
                                   expander.block.oneMinusRelease, j)),
          power(load<V>(&expander.level[j])),
          gain(load<V>(&expander.gain[j])) {
        double loudPower[sizeof(V) / sizeof(double)];
        for (std::size_t q = 0; q < sizeof(V) / sizeof(double); ++q) {
            loudPower[q] = powerSurelyAbove(expander.block.threshold[j + q]);
        }
        loud = load<V>(loudPower);
    }

    void frame(BandSamples& bands, bool firstFrame, double* gainAfterFirst) {
        const V left = load<V>(&bands.left[first]);
        const V right = load<V>(&bands.right[first]);
        power = followPower(power, left, right, detect, complement);
        // Above its threshold a band's target is 1; a group all loud enough skips the square root
        // and division (most of the time in programme material).
        V target = splat<V>(1.0);
        if (!allLanes(greaterThan(power, loud))) {
            const V r = div(add(root(power), splat<V>(kLevelFloor)), threshold);
            target = expanderGain(r, floor, oneMinusFloor);
        }
        gain = smoothGain(gain, target, smoothing);
        if (firstFrame) store(&gainAfterFirst[first], gain);
        store(&bands.left[first], mul(left, gain));
        store(&bands.right[first], mul(right, gain));
    }
    void save(BandExpander& expander) const {
        store(&expander.level[first], power);
        store(&expander.gain[first], gain);
    }
};

// The dynamic equaliser's correction of one group for one frame: follower, target, clamps,
// smoothing; returns the applied gain before normalisation.
struct EqConstants {
    double minGain, maxGain, speed, oneMinusSpeed, amount;
    // Powers at which target level / RMS level is surely below minGain, and the target clamped
    // there: the result of the clamps for any target at or below minGain.
    double loudPower, loudTarget;
};

template <class V>
inline V eqApplied(DynamicEq& eq, const BandDetectors& detectors, const BandSamples& frame, int j,
                   const EqConstants& c) {
    const V one = splat<V>(1.0);
    const V level = followPower(load<V>(&eq.level[j]), load<V>(&frame.left[j]), load<V>(&frame.right[j]),
                                load<V>(&detectors.detect[j]), load<V>(&detectors.complement[j]));
    store(&eq.level[j], level);
    V target = splat<V>(c.loudTarget);
    if (!allLanes(greaterThan(level, splat<V>(c.loudPower)))) {
        target = div(splat<V>(kDynamicEqTargetLevel), add(root(level), splat<V>(kLevelFloor)));
        target = larger(splat<V>(c.minGain), target);
        target = smaller(splat<V>(c.maxGain), target);
    }
    const V gain = add(mul(splat<V>(c.oneMinusSpeed), load<V>(&eq.gain[j])), mul(splat<V>(c.speed), target));
    store(&eq.gain[j], gain);
    return add(mul(sub(gain, one), splat<V>(c.amount)), one);
}

}  // namespace

namespace band_avx2 {

KERNEL_ENTRY void compressBands(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n,
                   double* gainAfterFirst) {
    if (compressor.block.peakMode) {
        compressTen<true>(compressor, detectors, bands, n, gainAfterFirst);
    } else {
        compressTen<false>(compressor, detectors, bands, n, gainAfterFirst);
    }
}

KERNEL_ENTRY void limitBands(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n,
                double* gainAfterFirst) {
    if (limiter.block.peakMode) {
        limitTen<true>(limiter, detectors, bands, n, gainAfterFirst);
    } else {
        limitTen<false>(limiter, detectors, bands, n, gainAfterFirst);
    }
}

KERNEL_ENTRY void expandBands(BandExpander& expander, const BandDetectors& detectors, BandSamples* bands, int n,
                 double* gainAfterFirst) {
    ExpanderGroup<Quad> low(expander, detectors, 0), middle(expander, detectors, 4);
    ExpanderGroup<Duo> high(expander, detectors, 8);
    for (int f = 0; f < n; ++f) {
        low.frame(bands[f], f == 0, gainAfterFirst);
        middle.frame(bands[f], f == 0, gainAfterFirst);
        high.frame(bands[f], f == 0, gainAfterFirst);
    }
    low.save(expander);
    middle.save(expander);
    high.save(expander);
}

KERNEL_ENTRY void equalizeFrames(DynamicEq& eq, const BandDetectors& detectors, const BandSamples* in, BandSamples* out,
                                 int n, double drive, double* firstApplied) {
    const DynamicEqBlock& block = eq.block;
    // A loud group (all its bands' targets surely below minGain) skips the square root and
    // division: the clamps give minGain, then min(maxGain, minGain) as minpd takes it.
    const double loudTarget = _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(block.maxGain), _mm_set_sd(block.minGain)));
    const double loudPower = block.minGain > 0 ? powerSurelyAbove(kDynamicEqTargetLevel / block.minGain)
                                               : __builtin_inf();
    const EqConstants c{block.minGain, block.maxGain, block.speed,          block.oneMinusSpeed,
                        block.amount,  loudPower,     loudTarget};
    for (int f = 0; f < n; ++f) {
        const BandSamples& frame = in[f];
        double applied[kBandCount];
        store(&applied[0], eqApplied<Quad>(eq, detectors, frame, 0, c));
        store(&applied[4], eqApplied<Quad>(eq, detectors, frame, 4, c));
        store(&applied[8], eqApplied<Duo>(eq, detectors, frame, 8, c));
        // The normalising sum runs band by band in order, as the scalar sum does.
        double sum = 0.0;
        for (int j = 0; j < kBandCount; ++j) sum += applied[j];
        const double k = 1 / (0.1 * sum);
        forGroups([&]<class V>(int j) {
            const V e = mul(load<V>(&applied[j]), splat<V>(k));
            store(&out[f].left[j], mul(mul(load<V>(&frame.left[j]), e), splat<V>(drive)));
            store(&out[f].right[j], mul(mul(load<V>(&frame.right[j]), e), splat<V>(drive)));
        });
        if (f == 0) {
            for (int j = 0; j < kBandCount; ++j) firstApplied[j] = applied[j] * k;
        }
    }
}

}  // namespace band_avx2

#endif
