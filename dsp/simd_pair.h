// Two independent doubles side by side in one SSE2 register (two channels, or two bands).
#pragma once

// SSE2 is part of every x86-64 target and the i686 DLL is built with -msse2 -mfpmath=sse.
#if !defined(__SSE2__)
#error "the engine's two-lane kernels need SSE2"
#endif

#include <emmintrin.h>

#include <cstdint>

// Each lane of an SSE2 add, subtract, multiply, divide or square root is the IEEE result of the
// same scalar operation, so running two channels or two bands side by side gives exactly the bits
// of the scalar code, as long as every expression keeps its operations, operands and order.
// Comparisons with a blend stand in for branches: both sides are computed and the mask picks one.
using Pair = __m128d;

// Lane 0 from `low`, lane 1 from `high`.
inline Pair loadPair(const double* low, const double* high) { return _mm_loadh_pd(_mm_load_sd(low), high); }
inline void storePair(double* low, double* high, Pair v) {
    _mm_storel_pd(low, v);
    _mm_storeh_pd(high, v);
}
// Two neighbouring doubles. Always the unaligned form: the 32-bit Windows heap hands out 8-byte
// aligned blocks (while the compiler assumes 16 for operator new), and an engine state may live
// there, so no access may depend on 16-byte alignment.
inline Pair loadAdjacent(const double* p) { return _mm_loadu_pd(p); }
inline void storeAdjacent(double* p, Pair v) { _mm_storeu_pd(p, v); }
inline Pair splat(double x) { return _mm_set1_pd(x); }
inline Pair makePair(double low, double high) { return _mm_set_pd(high, low); }
inline double lowLane(Pair v) { return _mm_cvtsd_f64(v); }
inline double highLane(Pair v) { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

// Two lane masks kept as integers (all bits set for true), so that no mask ever passes through a
// floating-point register as a NaN.
inline Pair loadMask(const uint64_t* p) { return _mm_castsi128_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))); }
inline uint64_t laneMask(bool on) { return on ? ~uint64_t{0} : 0; }

// mask ? ifTrue : ifFalse, lane by lane; the mask comes from a _mm_cmp*_pd or loadMask.
inline Pair select(Pair mask, Pair ifTrue, Pair ifFalse) {
    return _mm_or_pd(_mm_and_pd(mask, ifTrue), _mm_andnot_pd(mask, ifFalse));
}
// |x|: clears the sign bit, as std::fabs does.
inline Pair absolute(Pair x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }
