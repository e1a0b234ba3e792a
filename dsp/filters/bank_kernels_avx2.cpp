// The reverse-cascade bank on four lanes: forward runs and chunk-end passes of two filters per register.
#include "dsp/filters/bank_kernels_avx2.h"
#include "dsp/kernel_entry.h"

// Built with -mavx2 only where the build defines DRELVANT_AVX2_KERNELS (x86-64, not the DLL).
// Nothing here may be an inline function or template shared with other files: the linker keeps
// one copy of such a function, and an AVX2 copy would then run on processors without AVX2. So
// every helper sits in the anonymous namespace and no header with inline code is included.
#if defined(DRELVANT_AVX2_KERNELS) && defined(__AVX2__)

#include <immintrin.h>

namespace {

using Quad = __m256d;

// Lane order: (a left, a right, b left, b right), each filter's frame as its ring holds it.
struct QuadSection {
    Quad b0, b1, b2, a1, a2, gain;
};

inline Quad spread(double a, double b) { return _mm256_setr_pd(a, a, b, b); }

inline QuadSection sectionOf(const Biquad& a, const Biquad& b) {
    return {spread(a.b0, b.b0), spread(a.b1, b.b1), spread(a.b2, b.b2),
            spread(a.a1, b.a1), spread(a.a2, b.a2), spread(a.gain, b.gain)};
}

// b1 x1 + b2 x2 + b0 x - a1 y1 - a2 y2 on every lane, left to right, as the scalar section step.
inline Quad sectionQuad(const QuadSection& c, Quad x, Quad x1, Quad x2, Quad y1, Quad y2) {
    const Quad feedForward =
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(c.b1, x1), _mm256_mul_pd(c.b2, x2)), _mm256_mul_pd(c.b0, x));
    return _mm256_sub_pd(_mm256_sub_pd(feedForward, _mm256_mul_pd(c.a1, y1)), _mm256_mul_pd(c.a2, y2));
}

inline Quad joinHalves(__m128d low, __m128d high) {
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(low), high, 1);
}

// Two filters' ring frames at one index: a's (left, right), then b's.
struct RingPair {
    double (*a)[2];
    double (*b)[2];
    Quad load(int i) const { return joinHalves(_mm_loadu_pd(a[i]), _mm_loadu_pd(b[i])); }
    void store(int i, Quad v) const {
        _mm_storeu_pd(a[i], _mm256_castpd256_pd128(v));
        _mm_storeu_pd(b[i], _mm256_extractf128_pd(v, 1));
    }
};

inline RingPair ringsOf(ReverseCascadeFilter& a, ReverseCascadeFilter& b) { return {a.ring, b.ring}; }

// (a left, b left, a right, b right), as a bank's frames hold a pair of neighbouring bands, to
// the lane order and back: the middle lanes trade places.
inline Quad tradeMiddleLanes(Quad v) { return _mm256_permute4x64_pd(v, 0xD8); }

// The recursion state of two filters, loaded into and stored from lanes.
inline Quad stateOf(const double& aLeft, const double& aRight, const double& bLeft, const double& bRight) {
    return _mm256_setr_pd(aLeft, aRight, bLeft, bRight);
}

inline void storeState(Quad v, double& aLeft, double& aRight, double& bLeft, double& bRight) {
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, v);
    aLeft = lanes[0];
    aRight = lanes[1];
    bLeft = lanes[2];
    bRight = lanes[3];
}

// Q pairs of filters (2 Q filters) with their coefficients, rings and recursion state in two
// register sets, "a" (newer) and "b" (older), that swap roles every step as in the two-lane code.
template <int Q>
struct QuadGroup {
    QuadSection c[Q];
    RingPair ring[Q];
    Quad xa[Q], xb[Q], ya[Q], yb[Q];

    explicit QuadGroup(ReverseCascadeFilter* const* f) {
        for (int q = 0; q < Q; ++q) {
            Biquad& a = f[2 * q]->biquad;
            Biquad& b = f[2 * q + 1]->biquad;
            c[q] = sectionOf(a, b);
            ring[q] = ringsOf(*f[2 * q], *f[2 * q + 1]);
            xa[q] = stateOf(a.leftX1, a.rightX1, b.leftX1, b.rightX1);
            xb[q] = stateOf(a.leftX2, a.rightX2, b.leftX2, b.rightX2);
            ya[q] = stateOf(a.leftY1, a.rightY1, b.leftY1, b.rightY1);
            yb[q] = stateOf(a.leftY2, a.rightY2, b.leftY2, b.rightY2);
        }
    }

    void saveState(ReverseCascadeFilter* const* f) const {
        for (int q = 0; q < Q; ++q) {
            Biquad& a = f[2 * q]->biquad;
            Biquad& b = f[2 * q + 1]->biquad;
            storeState(xa[q], a.leftX1, a.rightX1, b.leftX1, b.rightX1);
            storeState(xb[q], a.leftX2, a.rightX2, b.leftX2, b.rightX2);
            storeState(ya[q], a.leftY1, a.rightY1, b.leftY1, b.rightY1);
            storeState(yb[q], a.leftY2, a.rightY2, b.leftY2, b.rightY2);
        }
    }
};

// m forward frames of Q filter pairs: input(frame, q) gives pair q's input, output(frame, q, v)
// takes its output (ring[read]) after the input was read, and the filtered value goes to
// ring[write]. The indices stop on the completing frame when `completes` is set.
template <int Q, class Input, class Output>
void forwardQuads(ReverseCascadeFilter* const* f, int m, bool completes, Input input, Output output) {
    QuadGroup<Q> g(f);
    const int read = f[0]->leftRead;
    const int write = f[0]->leftWrite;
    int i = 0;
    for (; i + 2 <= m; i += 2) {
        for (int q = 0; q < Q; ++q) {
            const Quad x = input(i, q);
            output(i, q, g.ring[q].load(read + i));
            g.yb[q] = sectionQuad(g.c[q], x, g.xa[q], g.xb[q], g.ya[q], g.yb[q]);
            g.xb[q] = x;
            g.ring[q].store(write + i, _mm256_mul_pd(g.yb[q], g.c[q].gain));
        }
        for (int q = 0; q < Q; ++q) {
            const Quad x = input(i + 1, q);
            output(i + 1, q, g.ring[q].load(read + i + 1));
            g.ya[q] = sectionQuad(g.c[q], x, g.xb[q], g.xa[q], g.yb[q], g.ya[q]);
            g.xa[q] = x;
            g.ring[q].store(write + i + 1, _mm256_mul_pd(g.ya[q], g.c[q].gain));
        }
    }
    if (i < m) {
        for (int q = 0; q < Q; ++q) {
            const Quad x = input(i, q);
            output(i, q, g.ring[q].load(read + i));
            g.yb[q] = sectionQuad(g.c[q], x, g.xa[q], g.xb[q], g.ya[q], g.yb[q]);
            g.xb[q] = x;
            g.ring[q].store(write + i, _mm256_mul_pd(g.yb[q], g.c[q].gain));
            const Quad x1 = g.xa[q], y1 = g.ya[q];  // the newest step is in the "b" set: swap
            g.xa[q] = g.xb[q];
            g.ya[q] = g.yb[q];
            g.xb[q] = x1;
            g.yb[q] = y1;
        }
    }
    g.saveState(f);
    const int advance = completes ? m - 1 : m;
    for (int k = 0; k < 2 * Q; ++k) {
        f[k]->leftRead = f[k]->rightRead = static_cast<uint16_t>(read + advance);
        f[k]->leftWrite = f[k]->rightWrite = static_cast<uint16_t>(write + advance);
    }
}

// Warm-up over the chunk under `write`, then the backward pass over the pending chunk, on copies
// of the forward state (which stays as the frame left it), then the index rotation: the two-lane
// finishChunks with two filters per register. Both passes are one chunk long, an even count.
template <int Q>
void finishQuads(ReverseCascadeFilter* const* f) {
    static_assert(kChunkFrames % 2 == 0, "the passes run two steps at a time");
    QuadGroup<Q> g(f);
    const int write = f[0]->leftWrite;
    const int read = f[0]->leftRead;
    const int pending = f[0]->leftPending;
    const int writeChunkStart = write & kChunkStartMask;
    for (int i = write; i >= writeChunkStart; i -= 2) {
        for (int q = 0; q < Q; ++q) {
            const Quad x = g.ring[q].load(i);
            g.yb[q] = sectionQuad(g.c[q], x, g.xa[q], g.xb[q], g.ya[q], g.yb[q]);
            g.xb[q] = x;
        }
        for (int q = 0; q < Q; ++q) {
            const Quad x = g.ring[q].load(i - 1);
            g.ya[q] = sectionQuad(g.c[q], x, g.xb[q], g.xa[q], g.yb[q], g.ya[q]);
            g.xa[q] = x;
        }
    }
    for (int i = pending + (kChunkFrames - 1); i >= pending; i -= 2) {
        for (int q = 0; q < Q; ++q) {
            const Quad x = g.ring[q].load(i);
            g.yb[q] = sectionQuad(g.c[q], x, g.xa[q], g.xb[q], g.ya[q], g.yb[q]);
            g.xb[q] = x;
            g.ring[q].store(i, _mm256_mul_pd(g.yb[q], g.c[q].gain));
        }
        for (int q = 0; q < Q; ++q) {
            const Quad x = g.ring[q].load(i - 1);
            g.ya[q] = sectionQuad(g.c[q], x, g.xb[q], g.xa[q], g.yb[q], g.ya[q]);
            g.xa[q] = x;
            g.ring[q].store(i - 1, _mm256_mul_pd(g.ya[q], g.c[q].gain));
        }
    }

    const uint16_t newPending = static_cast<uint16_t>(write & kChunkStartMask);
    const uint16_t newWrite = static_cast<uint16_t>(read & kChunkStartMask);
    const uint16_t newRead = static_cast<uint16_t>(pending);
    for (int k = 0; k < 2 * Q; ++k) {
        f[k]->leftPending = f[k]->rightPending = newPending;
        f[k]->leftWrite = f[k]->rightWrite = newWrite;
        f[k]->leftRead = f[k]->rightRead = newRead;
    }
}

// Runs `run.template operator()<Q>(first filter)` over the pairs of `count` filters in groups of
// three pairs (enough independent recursions to hide their latency within the sixteen registers),
// with a remainder of four pairs as two and two.
template <class Run>
void forPairGroups(int count, Run run) {
    const int pairs = count / 2;
    int p = 0;
    while (pairs - p > 4 || pairs - p == 3) {
        run.template operator()<3>(2 * p);
        p += 3;
    }
    while (pairs - p >= 2) {
        run.template operator()<2>(2 * p);
        p += 2;
    }
    if (p < pairs) run.template operator()<1>(2 * p);
}

}  // namespace

namespace bank_avx2 {

KERNEL_ENTRY void forwardSplit(ReverseCascadeFilter* const* filters, int count, int m, bool completes, const double* inputPairs,
                  BankFrames out) {
    forPairGroups(count, [&]<int Q>(int first) {
        forwardQuads<Q>(
            filters + first, m, completes,
            [inputPairs](int i, int) {
                // (L, R) of the frame as (L, R, L, R): every filter takes the same input.
                return _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(&inputPairs[2 * i]));
            },
            [out, first](int i, int q, Quad v) {
                const int at = i * out.stride + first + 2 * q;
                const Quad bands = tradeMiddleLanes(v);
                _mm_storeu_pd(&out.left[at], _mm256_castpd256_pd128(bands));
                _mm_storeu_pd(&out.right[at], _mm256_extractf128_pd(bands, 1));
            });
    });
}

KERNEL_ENTRY void forwardInPlace(ReverseCascadeFilter* const* filters, int count, int m, bool completes, BankFrames frames) {
    forPairGroups(count, [&]<int Q>(int first) {
        forwardQuads<Q>(
            filters + first, m, completes,
            [frames, first](int i, int q) {
                const int at = i * frames.stride + first + 2 * q;
                return tradeMiddleLanes(joinHalves(_mm_loadu_pd(&frames.left[at]), _mm_loadu_pd(&frames.right[at])));
            },
            [frames, first](int i, int q, Quad v) {
                const int at = i * frames.stride + first + 2 * q;
                const Quad bands = tradeMiddleLanes(v);
                _mm_storeu_pd(&frames.left[at], _mm256_castpd256_pd128(bands));
                _mm_storeu_pd(&frames.right[at], _mm256_extractf128_pd(bands, 1));
            });
    });
}

KERNEL_ENTRY void finishChunks(ReverseCascadeFilter* const* filters, int count) {
    forPairGroups(count, [&]<int Q>(int first) { finishQuads<Q>(filters + first); });
}

}  // namespace bank_avx2

#endif
