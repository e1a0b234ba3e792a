// The band stages' level passes on four lanes: bands j ... j + 3 side by side.
#include "dsp/band_kernels_avx2.h"

// Built with -mavx2 only where the build defines DRELVANT_AVX2_KERNELS (x86-64, not the DLL).
// No inline function of another header is called here (the headers are included for the records
// only): the linker keeps one copy of an inline function, and an AVX2 copy would then run on
// processors without AVX2. The formulas below are the two-lane ones of band_dynamics.h,
// band_compressor.h, band_limiter.h, band_expander.h, band_line_pass.h and dynamic_eq.cpp,
// operation for operation.
#if defined(DRELVANT_AVX2_KERNELS) && defined(__AVX2__)

#include <immintrin.h>

#include <cstdint>

namespace {

using Quad = __m256d;

inline Quad splat4(double x) { return _mm256_set1_pd(x); }
inline Quad load4(const double* p) { return _mm256_loadu_pd(p); }
inline void store4(double* p, Quad v) { _mm256_storeu_pd(p, v); }
inline Quad select4(Quad mask, Quad ifTrue, Quad ifFalse) {
    return _mm256_or_pd(_mm256_and_pd(mask, ifTrue), _mm256_andnot_pd(mask, ifFalse));
}
inline Quad absolute4(Quad x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }

// followPowerPair: detect (L^2 + R^2) + complement power.
inline Quad followPower4(Quad power, Quad left, Quad right, Quad detect, Quad complement) {
    return _mm256_add_pd(_mm256_mul_pd(detect, _mm256_add_pd(_mm256_mul_pd(left, left), _mm256_mul_pd(right, right))),
                         _mm256_mul_pd(complement, power));
}

// followPeakPair: maxpd(|R|, |L|), then x > peak ? x : peak complement.
inline Quad followPeak4(Quad peak, Quad left, Quad right, Quad complement) {
    const Quad x = _mm256_max_pd(absolute4(right), absolute4(left));
    return select4(_mm256_cmp_pd(x, peak, _CMP_GT_OQ), x, _mm256_mul_pd(peak, complement));
}

// smoothGainPair with the attack and release constants of SmoothingPair.
struct Smoothing4 {
    Quad release, oneMinusRelease, attackFlip, oneMinusAttackFlip;
};

inline Smoothing4 smoothing4(const double* attack, const double* oneMinusAttack, const double* release,
                             const double* oneMinusRelease) {
    return {load4(release), load4(oneMinusRelease), _mm256_xor_pd(load4(attack), load4(release)),
            _mm256_xor_pd(load4(oneMinusAttack), load4(oneMinusRelease))};
}

inline Quad smoothGain4(Quad gain, Quad target, const Smoothing4& s) {
    const Quad attacking = _mm256_cmp_pd(target, gain, _CMP_LT_OQ);
    const Quad c = _mm256_xor_pd(s.release, _mm256_and_pd(attacking, s.attackFlip));
    const Quad oneMinusC = _mm256_xor_pd(s.oneMinusRelease, _mm256_and_pd(attacking, s.oneMinusAttackFlip));
    return _mm256_add_pd(_mm256_mul_pd(oneMinusC, gain), _mm256_mul_pd(c, target));
}

// compressorGainPair<kCurves>.
template <RatioCurves kCurves>
inline Quad compressorGain4(Quad r, Quad ratio, Quad blend, Quad oneMinusBlend) {
    const Quad one = splat4(1.0);
    const Quad h = _mm256_div_pd(one, _mm256_sqrt_pd(r));
    Quad g;
    if (kCurves == RatioCurves::kGentle) {
        g = _mm256_add_pd(_mm256_mul_pd(blend, h), oneMinusBlend);
    } else if (kCurves == RatioCurves::kSteep) {
        g = _mm256_add_pd(_mm256_div_pd(oneMinusBlend, r), _mm256_mul_pd(blend, h));
    } else {
        const Quad gentle = _mm256_add_pd(_mm256_mul_pd(blend, h), oneMinusBlend);
        const Quad steep = _mm256_add_pd(_mm256_div_pd(oneMinusBlend, r), _mm256_mul_pd(blend, h));
        g = select4(_mm256_cmp_pd(ratio, splat4(2.0), _CMP_LT_OQ), gentle, steep);
    }
    return select4(_mm256_cmp_pd(r, one, _CMP_LT_OQ), one, g);
}

// What the pass reads and keeps (LinePass of band_line_pass.h).
struct LinePass4 {
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

// The longest stretch from counter value c, at most maxFrames, in which none of the six rows
// (write, out, and the four bands' detector rows) wraps around the line (lookaheadStretch).
struct Stretch4 {
    uint32_t write, out, detect[4];
    int frames;
};

inline Stretch4 stretchOf(uint32_t c, const int* lookahead, int maxFrames) {
    Stretch4 s;
    s.write = c & kLookaheadRowMask;
    s.out = (c + 1) & kLookaheadRowMask;
    int frames = maxFrames;
    int beforeWrap = kLookaheadRows - static_cast<int>(s.write);
    if (beforeWrap < frames) frames = beforeWrap;
    beforeWrap = kLookaheadRows - static_cast<int>(s.out);
    if (beforeWrap < frames) frames = beforeWrap;
    for (int q = 0; q < 4; ++q) {
        s.detect[q] = (s.out + static_cast<uint32_t>(lookahead[q])) & kLookaheadRowMask;
        beforeWrap = kLookaheadRows - static_cast<int>(s.detect[q]);
        if (beforeWrap < frames) frames = beforeWrap;
    }
    s.frames = frames;
    return s;
}

// runLinePair on bands j ... j + 3.
template <bool kPeakMode, bool kFloorPeak, class StaticGain>
void runLineFour(const LinePass4& pass, BandSamples* bands, int n, int j, double* gainAfterFirst,
                 StaticGain staticGain) {
    LookaheadLine& line = pass.line;
    const Quad preGain = load4(&pass.preGain[j]);
    const Quad detect = load4(&pass.detectors.detect[j]);
    const Quad complement = load4(&pass.detectors.complement[j]);
    const Smoothing4 smoothing =
        smoothing4(&pass.attack[j], &pass.oneMinusAttack[j], &pass.release[j], &pass.oneMinusRelease[j]);
    const Quad levelFloor = splat4(kLevelFloor);
    Quad level = load4(&pass.level[j]);
    Quad gain = load4(&pass.gain[j]);
    for (int f = 0; f < n;) {
        const Stretch4 rows = stretchOf(line.counter + static_cast<uint32_t>(f), &pass.lookahead[j], n - f);
        double(*writeLeft)[kBandCount] = &line.left[rows.write];
        double(*writeRight)[kBandCount] = &line.right[rows.write];
        const double(*detectLeft[4])[kBandCount];
        const double(*detectRight[4])[kBandCount];
        for (int q = 0; q < 4; ++q) {
            detectLeft[q] = &line.left[rows.detect[q]];
            detectRight[q] = &line.right[rows.detect[q]];
        }
        const double(*outLeft)[kBandCount] = &line.left[rows.out];
        const double(*outRight)[kBandCount] = &line.right[rows.out];
        for (int k = 0; k < rows.frames; ++k, ++f) {
            store4(&writeLeft[k][j], _mm256_mul_pd(preGain, load4(&bands[f].left[j])));
            store4(&writeRight[k][j], _mm256_mul_pd(preGain, load4(&bands[f].right[j])));

            // Band j + q's detector reads its own row: lane q from row detect[q] + k.
            const Quad a = _mm256_setr_pd(detectLeft[0][k][j], detectLeft[1][k][j + 1], detectLeft[2][k][j + 2],
                                          detectLeft[3][k][j + 3]);
            const Quad b = _mm256_setr_pd(detectRight[0][k][j], detectRight[1][k][j + 1], detectRight[2][k][j + 2],
                                          detectRight[3][k][j + 3]);
            Quad detected;
            if (kPeakMode) {
                level = followPeak4(level, a, b, complement);
                detected = kFloorPeak ? _mm256_add_pd(level, levelFloor) : level;
            } else {
                level = followPower4(level, a, b, detect, complement);
                detected = _mm256_add_pd(_mm256_sqrt_pd(level), levelFloor);
            }

            gain = smoothGain4(gain, staticGain(detected), smoothing);
            if (f == 0) store4(gainAfterFirst, gain);

            store4(&bands[f].left[j], _mm256_mul_pd(gain, load4(&outLeft[k][j])));
            store4(&bands[f].right[j], _mm256_mul_pd(gain, load4(&outRight[k][j])));
        }
    }
    store4(&pass.level[j], level);
    store4(&pass.gain[j], gain);
}

template <bool kPeakMode, RatioCurves kCurves>
void compressFourWith(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                      double* gainAfterFirst) {
    const CompressorBlock& block = compressor.block;
    const LinePass4 pass{compressor.line,      block.lookahead, block.preGain,        block.attack,
                         block.oneMinusAttack, block.release,   block.oneMinusRelease, detectors,
                         compressor.level,     compressor.gain};
    const Quad threshold = load4(&block.threshold[j]);
    const Quad ratio = load4(&block.ratio[j]);
    const Quad blend = load4(&block.blend[j]);
    const Quad oneMinusBlend = load4(&block.oneMinusBlend[j]);
    runLineFour<kPeakMode, false>(pass, bands, n, j, gainAfterFirst, [&](Quad level) {
        return compressorGain4<kCurves>(_mm256_div_pd(level, threshold), ratio, blend, oneMinusBlend);
    });
}

// The ratio curves the four bands take, as compressFrames picks them for a pair.
template <bool kPeakMode>
void compressFourBands(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                       double* gainAfterFirst) {
    int gentle = 0;
    for (int q = 0; q < 4; ++q) gentle += compressor.block.ratio[j + q] < 2 ? 1 : 0;
    if (gentle == 4) {
        compressFourWith<kPeakMode, RatioCurves::kGentle>(compressor, detectors, bands, n, j, gainAfterFirst);
    } else if (gentle == 0) {
        compressFourWith<kPeakMode, RatioCurves::kSteep>(compressor, detectors, bands, n, j, gainAfterFirst);
    } else {
        compressFourWith<kPeakMode, RatioCurves::kMixed>(compressor, detectors, bands, n, j, gainAfterFirst);
    }
}

template <bool kPeakMode>
void limitFourBands(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                    double* gainAfterFirst) {
    const LimiterBlock& block = limiter.block;
    const LinePass4 pass{limiter.line,         block.lookahead, block.preGain,        block.attack,
                         block.oneMinusAttack, block.release,   block.oneMinusRelease, detectors,
                         limiter.level,        limiter.gain};
    const Quad threshold = load4(&block.threshold[j]);
    const Quad one = splat4(1.0);
    // limiterGainPair: minpd(threshold / level, 1).
    runLineFour<kPeakMode, true>(pass, bands, n, j, gainAfterFirst,
                                 [&](Quad level) { return _mm256_min_pd(_mm256_div_pd(threshold, level), one); });
}

// expanderGainPair: r <= 1 ? r (1 - floor) + floor : 1.
inline Quad expanderGain4(Quad r, Quad floor, Quad oneMinusFloor) {
    const Quad one = splat4(1.0);
    return select4(_mm256_cmp_pd(r, one, _CMP_LE_OQ), _mm256_add_pd(_mm256_mul_pd(r, oneMinusFloor), floor), one);
}

// The dynamic equaliser's correction of bands j ... j + 3 (or j, j + 1 on two lanes) for one
// frame: follower, target, clamps, smoothing; returns the applied gain before normalisation.
struct EqConstants4 {
    Quad targetLevel, levelFloor, minGain, maxGain, speed, oneMinusSpeed, amount, one;
};

inline Quad eqApplied4(DynamicEq& eq, const BandDetectors& detectors, const BandSamples& frame, int j,
                       const EqConstants4& c) {
    const Quad level = followPower4(load4(&eq.level[j]), load4(&frame.left[j]), load4(&frame.right[j]),
                                    load4(&detectors.detect[j]), load4(&detectors.complement[j]));
    store4(&eq.level[j], level);
    Quad target = _mm256_div_pd(c.targetLevel, _mm256_add_pd(_mm256_sqrt_pd(level), c.levelFloor));
    target = _mm256_max_pd(c.minGain, target);
    target = _mm256_min_pd(c.maxGain, target);
    const Quad gain = _mm256_add_pd(_mm256_mul_pd(c.oneMinusSpeed, load4(&eq.gain[j])), _mm256_mul_pd(c.speed, target));
    store4(&eq.gain[j], gain);
    return _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(gain, c.one), c.amount), c.one);
}

inline __m128d eqApplied2(DynamicEq& eq, const BandDetectors& detectors, const BandSamples& frame, int j,
                          const EqConstants4& c) {
    const __m128d left = _mm_loadu_pd(&frame.left[j]);
    const __m128d right = _mm_loadu_pd(&frame.right[j]);
    const __m128d level = _mm_add_pd(
        _mm_mul_pd(_mm_loadu_pd(&detectors.detect[j]), _mm_add_pd(_mm_mul_pd(left, left), _mm_mul_pd(right, right))),
        _mm_mul_pd(_mm_loadu_pd(&detectors.complement[j]), _mm_loadu_pd(&eq.level[j])));
    _mm_storeu_pd(&eq.level[j], level);
    __m128d target = _mm_div_pd(_mm256_castpd256_pd128(c.targetLevel),
                                _mm_add_pd(_mm_sqrt_pd(level), _mm256_castpd256_pd128(c.levelFloor)));
    target = _mm_max_pd(_mm256_castpd256_pd128(c.minGain), target);
    target = _mm_min_pd(_mm256_castpd256_pd128(c.maxGain), target);
    const __m128d gain = _mm_add_pd(_mm_mul_pd(_mm256_castpd256_pd128(c.oneMinusSpeed), _mm_loadu_pd(&eq.gain[j])),
                                    _mm_mul_pd(_mm256_castpd256_pd128(c.speed), target));
    _mm_storeu_pd(&eq.gain[j], gain);
    const __m128d one = _mm256_castpd256_pd128(c.one);
    return _mm_add_pd(_mm_mul_pd(_mm_sub_pd(gain, one), _mm256_castpd256_pd128(c.amount)), one);
}

}  // namespace

namespace band_avx2 {

void expandFour(BandExpander& expander, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                double* gainAfterFirst) {
    const ExpanderBlock& block = expander.block;
    const Quad levelFloor = splat4(kLevelFloor);
    const Quad detect = load4(&detectors.detect[j]);
    const Quad complement = load4(&detectors.complement[j]);
    const Quad threshold = load4(&block.threshold[j]);
    const Quad floor = load4(&block.floor[j]);
    const Quad oneMinusFloor = load4(&block.oneMinusFloor[j]);
    const Smoothing4 smoothing =
        smoothing4(&block.attack[j], &block.oneMinusAttack[j], &block.release[j], &block.oneMinusRelease[j]);
    Quad power = load4(&expander.level[j]);
    Quad gain = load4(&expander.gain[j]);
    for (int f = 0; f < n; ++f) {
        const Quad left = load4(&bands[f].left[j]);
        const Quad right = load4(&bands[f].right[j]);
        power = followPower4(power, left, right, detect, complement);
        const Quad r = _mm256_div_pd(_mm256_add_pd(_mm256_sqrt_pd(power), levelFloor), threshold);
        gain = smoothGain4(gain, expanderGain4(r, floor, oneMinusFloor), smoothing);
        if (f == 0) store4(gainAfterFirst, gain);
        store4(&bands[f].left[j], _mm256_mul_pd(left, gain));
        store4(&bands[f].right[j], _mm256_mul_pd(right, gain));
    }
    store4(&expander.level[j], power);
    store4(&expander.gain[j], gain);
}

void equalizeFrames(DynamicEq& eq, const BandDetectors& detectors, BandSamples* bands, int n, double* firstApplied) {
    static_assert(kBandCount == 10, "two groups of four bands and a pair");
    const DynamicEqBlock& block = eq.block;
    const EqConstants4 c{splat4(kDynamicEqTargetLevel), splat4(kLevelFloor), splat4(block.minGain),
                         splat4(block.maxGain),          splat4(block.speed),  splat4(block.oneMinusSpeed),
                         splat4(block.amount),           splat4(1.0)};
    for (int f = 0; f < n; ++f) {
        BandSamples& frame = bands[f];
        alignas(32) double applied[12];
        store4(&applied[0], eqApplied4(eq, detectors, frame, 0, c));
        store4(&applied[4], eqApplied4(eq, detectors, frame, 4, c));
        _mm_storeu_pd(&applied[8], eqApplied2(eq, detectors, frame, 8, c));
        double sum = 0.0;
        for (int j = 0; j < kBandCount; ++j) sum += applied[j];
        const double k = 1 / (0.1 * sum);
        const Quad kk = splat4(k);
        for (int j = 0; j < 8; j += 4) {
            const Quad e = _mm256_mul_pd(load4(&applied[j]), kk);
            store4(&frame.left[j], _mm256_mul_pd(load4(&frame.left[j]), e));
            store4(&frame.right[j], _mm256_mul_pd(load4(&frame.right[j]), e));
        }
        const __m128d e = _mm_mul_pd(_mm_loadu_pd(&applied[8]), _mm256_castpd256_pd128(kk));
        _mm_storeu_pd(&frame.left[8], _mm_mul_pd(_mm_loadu_pd(&frame.left[8]), e));
        _mm_storeu_pd(&frame.right[8], _mm_mul_pd(_mm_loadu_pd(&frame.right[8]), e));
        if (f == 0) {
            for (int j = 0; j < kBandCount; ++j) firstApplied[j] = applied[j] * k;
        }
    }
}


void compressFour(BandCompressor& compressor, const BandDetectors& detectors, BandSamples* bands, int n, int j,
                  double* gainAfterFirst) {
    if (compressor.block.peakMode) {
        compressFourBands<true>(compressor, detectors, bands, n, j, gainAfterFirst);
    } else {
        compressFourBands<false>(compressor, detectors, bands, n, j, gainAfterFirst);
    }
}

void limitFour(BandLimiter& limiter, const BandDetectors& detectors, BandSamples* bands, int n, int j,
               double* gainAfterFirst) {
    if (limiter.block.peakMode) {
        limitFourBands<true>(limiter, detectors, bands, n, j, gainAfterFirst);
    } else {
        limitFourBands<false>(limiter, detectors, bands, n, j, gainAfterFirst);
    }
}

}  // namespace band_avx2

#endif
