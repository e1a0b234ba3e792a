// Biquad design, the plain section step and the reverse-cascade step: per channel, and for both
// channels, banks and series of filters side by side in SSE2 registers.
#include "dsp/filters/biquad.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "dsp/db.h"
#include "dsp/filters/bank_kernels_avx2.h"
#include "dsp/simd_pair.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfLn2 = 0.34657359027997264;

// One step of the section on one channel's state; returns the unscaled output.
inline double sectionStep(const Biquad& f, double x, double& x1, double& x2, double& y1, double& y2) {
    const double y = f.b1 * x1 + f.b2 * x2 + f.b0 * x - f.a1 * y1 - f.a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

// One channel's step: `channel` picks its column of the ring (0 left, 1 right).
double reverseCascadeStep(double x, ReverseCascadeFilter& filter, int channel, uint16_t& pending, uint16_t& write,
                          uint16_t& read, double& x1, double& x2, double& y1, double& y2) {
    const Biquad& f = filter.biquad;
    double (*const ring)[2] = filter.ring;
    const double out = ring[read][channel];
    const double forward = sectionStep(f, x, x1, x2, y1, y2);
    ring[write][channel] = forward * f.gain;

    if ((write & kChunkOffsetMask) != kChunkOffsetMask) {
        ++read;
        ++write;
        return out;
    }

    // The chunk under `write` is complete: warm up over it backward, then run the older chunk
    // backward in place, and put the forward state back afterwards.
    const double savedX1 = x1, savedX2 = x2, savedY1 = y1, savedY2 = y2;
    const int writeChunkStart = write & kChunkStartMask;
    for (int i = write; i >= writeChunkStart; --i) {
        sectionStep(f, ring[i][channel], x1, x2, y1, y2);
    }
    for (int i = pending + (kChunkFrames - 1); i >= pending; --i) {
        const double y = sectionStep(f, ring[i][channel], x1, x2, y1, y2);
        ring[i][channel] = y * f.gain;
    }
    x1 = savedX1;
    x2 = savedX2;
    y1 = savedY1;
    y2 = savedY2;

    const uint16_t oldPending = pending;
    pending = static_cast<uint16_t>(write & kChunkStartMask);
    write = static_cast<uint16_t>(read & kChunkStartMask);
    read = oldPending;
    return out;
}

// ---- both channels side by side ----
// The stereo runtime keeps the scalar recursion's every operation and order; it only puts the
// left channel in lane 0 and the right channel in lane 1.

// A section's coefficients with each value in both lanes.
struct PairSection {
    Pair b0, b1, b2, a1, a2, gain;
};

inline PairSection splatSection(const Biquad& f) {
    return {splat(f.b0), splat(f.b1), splat(f.b2), splat(f.a1), splat(f.a2), splat(f.gain)};
}

// b1 x1 + b2 x2 + b0 x - a1 y1 - a2 y2 on both lanes, left to right, as sectionStep.
inline Pair sectionPair(const PairSection& c, Pair x, Pair x1, Pair x2, Pair y1, Pair y2) {
    const Pair feedForward = _mm_add_pd(_mm_add_pd(_mm_mul_pd(c.b1, x1), _mm_mul_pd(c.b2, x2)), _mm_mul_pd(c.b0, x));
    return _mm_sub_pd(_mm_sub_pd(feedForward, _mm_mul_pd(c.a1, y1)), _mm_mul_pd(c.a2, y2));
}

// The forward step of both channels on the record itself. Each channel keeps (x1, x2) and
// (y1, y2) as neighbours, and so do (b1, b2) and (a1, a2): one multiply gives (b1 x1, b2 x2) of a
// channel, and transposing the two channels' products lines up the terms of the sum.
inline Pair forwardStepPair(Biquad& f, Pair x) {
    const Pair b12 = loadAdjacent(&f.b1);
    const Pair a12 = loadAdjacent(&f.a1);
    const Pair xLeft = loadAdjacent(&f.leftX1);
    const Pair yLeft = loadAdjacent(&f.leftY1);
    const Pair xRight = loadAdjacent(&f.rightX1);
    const Pair yRight = loadAdjacent(&f.rightY1);
    const Pair bxLeft = _mm_mul_pd(b12, xLeft);  // (b1 x1, b2 x2), left
    const Pair bxRight = _mm_mul_pd(b12, xRight);
    const Pair ayLeft = _mm_mul_pd(a12, yLeft);  // (a1 y1, a2 y2), left
    const Pair ayRight = _mm_mul_pd(a12, yRight);
    const Pair feedForward = _mm_add_pd(_mm_add_pd(_mm_unpacklo_pd(bxLeft, bxRight), _mm_unpackhi_pd(bxLeft, bxRight)),
                                        _mm_mul_pd(splat(f.b0), x));
    const Pair y = _mm_sub_pd(_mm_sub_pd(feedForward, _mm_unpacklo_pd(ayLeft, ayRight)), _mm_unpackhi_pd(ayLeft, ayRight));
    storeAdjacent(&f.leftX1, _mm_unpacklo_pd(x, xLeft));        // (x, x1) become (x1, x2)
    storeAdjacent(&f.rightX1, _mm_shuffle_pd(x, xRight, 1));
    storeAdjacent(&f.leftY1, _mm_unpacklo_pd(y, yLeft));
    storeAdjacent(&f.rightY1, _mm_shuffle_pd(y, yRight, 1));
    return y;
}

// Every stage advances both channels of a filter once per frame, so their indices agree; a filter
// driven one channel at a time (as some tests do) takes the scalar path instead.
inline bool channelsInStep(const ReverseCascadeFilter& f) {
    return f.leftRead == f.rightRead && f.leftWrite == f.rightWrite && f.leftPending == f.rightPending;
}

// The scalar path, out of line: it is never taken by the engine's own stages.
[[gnu::noinline, gnu::cold]] Pair reverseCascadeByChannel(ReverseCascadeFilter& f, Pair x) {
    const double left = ReverseCascadeLeft(lowLane(x), f);
    const double right = ReverseCascadeRight(highLane(x), f);
    return makePair(left, right);
}

// The forward half of reverseCascadeStep for both channels: emits ring[read], filters x into
// ring[write]. Indices move on here unless the frame completes a chunk (then `completed` is set and
// finishChunks moves them after the backward passes).
inline Pair forwardPair(ReverseCascadeFilter& f, Pair x, bool& completed) {
    const uint16_t read = f.leftRead;
    const uint16_t write = f.leftWrite;
    const Pair out = loadAdjacent(f.ring[read]);
    const Pair forward = forwardStepPair(f.biquad, x);
    storeAdjacent(f.ring[write], _mm_mul_pd(forward, splat(f.biquad.gain)));
    completed = (write & kChunkOffsetMask) == kChunkOffsetMask;
    if (!completed) {
        f.leftRead = f.rightRead = static_cast<uint16_t>(read + 1);
        f.leftWrite = f.rightWrite = static_cast<uint16_t>(write + 1);
    }
    return out;
}

// Two steps of K filters' recursions, at ring indices i and i - 1. The state lives in two register
// sets per filter, "a" (newer) and "b" (older): each step overwrites the older set with its input
// and output, so two steps bring the roles back without copying any register.
template <int K, bool kWriteBack>
inline void twoSteps(const PairSection (&c)[K], double (*const (&ring)[K])[2], int i,
                     Pair (&xa)[K], Pair (&xb)[K], Pair (&ya)[K], Pair (&yb)[K]) {
    for (int k = 0; k < K; ++k) {
        const Pair x = loadAdjacent(ring[k][i]);
        yb[k] = sectionPair(c[k], x, xa[k], xb[k], ya[k], yb[k]);
        xb[k] = x;
        if (kWriteBack) storeAdjacent(ring[k][i], _mm_mul_pd(yb[k], c[k].gain));
    }
    for (int k = 0; k < K; ++k) {
        const Pair x = loadAdjacent(ring[k][i - 1]);
        ya[k] = sectionPair(c[k], x, xb[k], xa[k], yb[k], ya[k]);
        xa[k] = x;
        if (kWriteBack) storeAdjacent(ring[k][i - 1], _mm_mul_pd(ya[k], c[k].gain));
    }
}

// The chunk-end half of reverseCascadeStep for K filters whose indices all agree: warm-up over
// the chunk under `write`, then the backward pass over the pending chunk, then the index rotation.
// One filter's recursion is a serial chain (each output waits for the one before), so K filters
// are stepped in the same loop to keep K chains in flight. Both passes are exactly one chunk
// long (write is at the chunk's last frame), an even number of steps. The passes run on copies of
// the forward state, which therefore stays as the frame left it (the scalar code restores it).
template <int K>
void finishChunks(ReverseCascadeFilter* const (&f)[K]) {
    static_assert(kChunkFrames % 2 == 0, "the passes run two steps at a time");
    PairSection c[K];
    double (*ring[K])[2];
    Pair xa[K], xb[K], ya[K], yb[K];
    for (int k = 0; k < K; ++k) {
        const Biquad& b = f[k]->biquad;
        c[k] = splatSection(b);
        ring[k] = f[k]->ring;
        xa[k] = loadPair(&b.leftX1, &b.rightX1);
        xb[k] = loadPair(&b.leftX2, &b.rightX2);
        ya[k] = loadPair(&b.leftY1, &b.rightY1);
        yb[k] = loadPair(&b.leftY2, &b.rightY2);
    }
    const int write = f[0]->leftWrite;
    const int read = f[0]->leftRead;
    const int pending = f[0]->leftPending;
    const int writeChunkStart = write & kChunkStartMask;
    for (int i = write; i >= writeChunkStart; i -= 2) twoSteps<K, false>(c, ring, i, xa, xb, ya, yb);
    for (int i = pending + (kChunkFrames - 1); i >= pending; i -= 2) twoSteps<K, true>(c, ring, i, xa, xb, ya, yb);

    const uint16_t newPending = static_cast<uint16_t>(write & kChunkStartMask);
    const uint16_t newWrite = static_cast<uint16_t>(read & kChunkStartMask);
    const uint16_t newRead = static_cast<uint16_t>(pending);
    for (int k = 0; k < K; ++k) {
        f[k]->leftPending = f[k]->rightPending = newPending;
        f[k]->leftWrite = f[k]->rightWrite = newWrite;
        f[k]->leftRead = f[k]->rightRead = newRead;
    }
}

// The passes of a bank whose filters all completed a chunk on this frame with the same indices:
// three filters side by side keep enough independent chains in flight to hide the recursion's
// latency without running out of registers; a remainder of four runs as two pairs.
template <int K>
void finishGroup(ReverseCascadeFilter* const* filters) {
    ReverseCascadeFilter* group[K];
    for (int k = 0; k < K; ++k) group[k] = filters[k];
    finishChunks<K>(group);
}

void finishChunksTogether(ReverseCascadeFilter* const* filters, int count) {
    if (count <= 0) return;
    int j = 0;
    while (count - j > 4 || count - j == 3) {
        finishGroup<3>(&filters[j]);
        j += 3;
    }
    while (count - j >= 2) {
        finishGroup<2>(&filters[j]);
        j += 2;
    }
    if (j < count) finishGroup<1>(&filters[j]);
}

// Filters of a bank are reset together and stepped together, so each filter's two channels agree
// and every filter shares the first one's indices. Then whole runs of frames go filter by filter
// and chunk ends are handled for the bank at once.
bool bankInStep(ReverseCascadeFilter* const* filters, int count) {
    const ReverseCascadeFilter& first = *filters[0];
    for (int j = 0; j < count; ++j) {
        const ReverseCascadeFilter& f = *filters[j];
        if (!channelsInStep(f) || f.leftWrite != first.leftWrite || f.leftRead != first.leftRead ||
            f.leftPending != first.leftPending) {
            return false;
        }
    }
    return true;
}

// One bank frame filter by filter, for banks out of step (never in the engine): input(j) gives
// filter j's input pair, output(j, out) takes its output after the input was read.
template <class Input, class Output>
void runBankFrame(ReverseCascadeFilter* const* filters, int count, Input input, Output output) {
    for (int j = 0; j < count; ++j) {
        ReverseCascadeFilter& f = *filters[j];
        const Pair x = input(j);
        if (!channelsInStep(f)) {
            output(j, reverseCascadeByChannel(f, x));
            continue;
        }
        bool completed;
        output(j, forwardPair(f, x, completed));
        if (completed) {
            ReverseCascadeFilter* const one[1] = {&f};
            finishChunks<1>(one);
        }
    }
}

// m frames of K filters' forward halves (filters[first] ... filters[first + K - 1]), all inside the
// chunk under `write`; with `completes` the last of them completes it, and the indices stop on
// that frame for finishChunks. One filter's recursion is a serial chain, so the K filters step
// frame by frame in one loop to keep K chains in flight; the state stays in registers for the
// whole run, in two sets that swap roles as in twoSteps. Within a frame the filters go in order
// and each reads its input before it emits, so input and output may share memory, and a series
// (filter j reading what filter j - 1 emitted on the same frame) runs as it does frame by frame.
template <int K, class Input, class Output>
inline void forwardRuns(ReverseCascadeFilter* const* filters, int first, int m, bool completes, Input input,
                        Output output) {
    PairSection c[K];
    double (*ring[K])[2];
    Pair xa[K], xb[K], ya[K], yb[K];
    for (int k = 0; k < K; ++k) {
        const Biquad& b = filters[first + k]->biquad;
        c[k] = splatSection(b);
        ring[k] = filters[first + k]->ring;
        xa[k] = loadPair(&b.leftX1, &b.rightX1);
        xb[k] = loadPair(&b.leftX2, &b.rightX2);
        ya[k] = loadPair(&b.leftY1, &b.rightY1);
        yb[k] = loadPair(&b.leftY2, &b.rightY2);
    }
    const int read = filters[first]->leftRead;
    const int write = filters[first]->leftWrite;
    int i = 0;
    for (; i + 2 <= m; i += 2) {
        for (int k = 0; k < K; ++k) {
            const Pair x0 = input(i, first + k);
            output(i, first + k, loadAdjacent(ring[k][read + i]));
            yb[k] = sectionPair(c[k], x0, xa[k], xb[k], ya[k], yb[k]);
            xb[k] = x0;
            storeAdjacent(ring[k][write + i], _mm_mul_pd(yb[k], c[k].gain));
        }
        for (int k = 0; k < K; ++k) {
            const Pair x1 = input(i + 1, first + k);
            output(i + 1, first + k, loadAdjacent(ring[k][read + i + 1]));
            ya[k] = sectionPair(c[k], x1, xb[k], xa[k], yb[k], ya[k]);
            xa[k] = x1;
            storeAdjacent(ring[k][write + i + 1], _mm_mul_pd(ya[k], c[k].gain));
        }
    }
    if (i < m) {
        for (int k = 0; k < K; ++k) {
            const Pair x0 = input(i, first + k);
            output(i, first + k, loadAdjacent(ring[k][read + i]));
            yb[k] = sectionPair(c[k], x0, xa[k], xb[k], ya[k], yb[k]);
            xb[k] = x0;
            storeAdjacent(ring[k][write + i], _mm_mul_pd(yb[k], c[k].gain));
            std::swap(xa[k], xb[k]);
            std::swap(ya[k], yb[k]);
        }
    }
    const int advance = completes ? m - 1 : m;
    for (int k = 0; k < K; ++k) {
        Biquad& b = filters[first + k]->biquad;
        storePair(&b.leftX1, &b.rightX1, xa[k]);
        storePair(&b.leftX2, &b.rightX2, xb[k]);
        storePair(&b.leftY1, &b.rightY1, ya[k]);
        storePair(&b.leftY2, &b.rightY2, yb[k]);
        ReverseCascadeFilter& f = *filters[first + k];
        f.leftRead = f.rightRead = static_cast<uint16_t>(read + advance);
        f.leftWrite = f.rightWrite = static_cast<uint16_t>(write + advance);
    }
}

// Runs `run.template operator()<K>(first)` over filters first ... count - 1 in groups of three
// (enough chains in flight to hide the recursion's latency without running out of registers),
// with a remainder of four as two pairs.
template <class Run>
inline void forFilterGroups(int first, int count, Run run) {
    int j = first;
    while (count - j > 4 || count - j == 3) {
        run.template operator()<3>(j);
        j += 3;
    }
    while (count - j >= 2) {
        run.template operator()<2>(j);
        j += 2;
    }
    if (j < count) run.template operator()<1>(j);
}

// n frames of a bank: input(frame, j) gives filter j's input pair, output(frame, j, out) takes its
// output. A bank in step runs its filters side by side over the frames up to the next chunk end
// (the read and write indices share their offset, so neither wraps inside such a run), then all
// its backward passes, and goes on. fourLanes(done, m, completes) may run the forward halves of a
// leading even number of the filters on four lanes and returns how many it ran (0: none); their
// backward passes then run on four lanes as well.
template <class Input, class Output, class FourLanes>
void runBankFrames(ReverseCascadeFilter* const* filters, int count, int n, Input input, Output output,
                   FourLanes fourLanes) {
    int done = 0;
    while (done < n) {
        if (!bankInStep(filters, count)) {
            for (; done < n; ++done) {
                const int frame = done;
                runBankFrame(
                    filters, count, [&](int j) { return input(frame, j); },
                    [&](int j, Pair out) { output(frame, j, out); });
            }
            return;
        }
        const int untilChunkEnd = kChunkFrames - (filters[0]->leftWrite & kChunkOffsetMask);
        const int m = n - done < untilChunkEnd ? n - done : untilChunkEnd;
        const bool completes = m == untilChunkEnd;
        const int wide = fourLanes(done, m, completes);
        forFilterGroups(wide, count, [&]<int K>(int first) {
            forwardRuns<K>(
                filters, first, m, completes, [&](int i, int j) { return input(done + i, j); },
                [&](int i, int j, Pair out) { output(done + i, j, out); });
        });
        if (completes) {
#if defined(DRELVANT_AVX2_KERNELS)
            if (wide > 0) bank_avx2::finishChunks(filters, wide);
#endif
            finishChunksTogether(filters + wide, count - wide);
        }
        done += m;
    }
}

// The bank's filters in even number for the four-lane kernels, or 0 where they are not used.
int fourLaneFilters(int count, LaneWidth lanes) {
#if defined(DRELVANT_AVX2_KERNELS)
    if (fourLanes(lanes)) return count & ~1;
#else
    (void)lanes;
    (void)count;
#endif
    return 0;
}

// Banks and series that run on two lanes only.
int noFourLanes(int, int, bool) { return 0; }

}  // namespace

BiquadCoefficients DesignCoefficients(int type, double gainDb, double frequencyHz, double sampleRateHz,
                                      double bandwidthOctaves) {
    const double w0 = kTwoPi * frequencyHz / sampleRateHz;
    const double sn = std::sin(w0);
    const double cs = std::cos(w0);
    const double alpha = sn * std::sinh(kHalfLn2 * bandwidthOctaves * w0 / sn);

    double b0, b1, b2;
    const double a0 = 1 + alpha;
    const double a1 = -2 * cs;
    const double a2 = 1 - alpha;
    switch (type) {
        case kLowPass:
            b0 = (1 - cs) / 2;
            b1 = 1 - cs;
            b2 = (1 - cs) / 2;
            break;
        case kHighPass:
            b0 = (1 + cs) / 2;
            b1 = -(1 + cs);
            b2 = (1 + cs) / 2;
            break;
        default:
            b0 = alpha;
            b1 = 0;
            b2 = -alpha;
            break;
    }
    BiquadCoefficients c;
    c.b0 = b0 / a0;
    c.b1 = b1 / a0;
    c.b2 = b2 / a0;
    c.a1 = a1 / a0;
    c.a2 = a2 / a0;
    c.gain = DbToLinear(gainDb);
    return c;
}

void SetCoefficients(Biquad& filter, const BiquadCoefficients& c) {
    filter.b0 = c.b0;
    filter.b1 = c.b1;
    filter.b2 = c.b2;
    filter.a1 = c.a1;
    filter.a2 = c.a2;
    filter.gain = c.gain;
}

BiquadCoefficients CoefficientsOf(const Biquad& f) { return {f.b0, f.b1, f.b2, f.a1, f.a2, f.gain}; }

void DesignBiquad(Biquad& filter, bool reset, int type, double gainDb, double frequencyHz, double sampleRateHz,
                  double bandwidthOctaves) {
    SetCoefficients(filter, DesignCoefficients(type, gainDb, frequencyHz, sampleRateHz, bandwidthOctaves));
    if (reset) Reset(filter);
}

void DesignBiquad(ReverseCascadeFilter& filter, bool reset, int type, double gainDb, double frequencyHz,
                  double sampleRateHz, double bandwidthOctaves) {
    SetCoefficients(filter.biquad, DesignCoefficients(type, gainDb, frequencyHz, sampleRateHz, bandwidthOctaves));
    if (reset) Reset(filter);
}

void Reset(Biquad& f) {
    f.leftX1 = f.leftX2 = f.leftY1 = f.leftY2 = 0.0;
    f.rightX1 = f.rightX2 = f.rightY1 = f.rightY2 = 0.0;
}

void Reset(ReverseCascadeFilter& f) {
    Reset(f.biquad);
    f.leftPending = f.rightPending = 0;
    f.leftWrite = f.rightWrite = kChunkFrames;
    f.leftRead = f.rightRead = 2 * kChunkFrames;
    std::memset(f.ring, 0, sizeof f.ring);
}

double BiquadLeft(double x, Biquad& f) {
    return sectionStep(f, x, f.leftX1, f.leftX2, f.leftY1, f.leftY2) * f.gain;
}

double BiquadRight(double x, Biquad& f) {
    return sectionStep(f, x, f.rightX1, f.rightX2, f.rightY1, f.rightY2) * f.gain;
}

void BiquadStereo(Biquad& f, double& L, double& R) {
    const Pair y = _mm_mul_pd(forwardStepPair(f, makePair(L, R)), splat(f.gain));
    L = lowLane(y);
    R = highLane(y);
}

double ReverseCascadeLeft(double x, ReverseCascadeFilter& f) {
    Biquad& b = f.biquad;
    return reverseCascadeStep(x, f, 0, f.leftPending, f.leftWrite, f.leftRead, b.leftX1, b.leftX2,
                              b.leftY1, b.leftY2);
}

double ReverseCascadeRight(double x, ReverseCascadeFilter& f) {
    Biquad& b = f.biquad;
    return reverseCascadeStep(x, f, 1, f.rightPending, f.rightWrite, f.rightRead, b.rightX1, b.rightX2,
                              b.rightY1, b.rightY2);
}

void ReverseCascadeStereo(ReverseCascadeFilter& f, double& L, double& R) {
    if (!channelsInStep(f)) {
        const Pair out = reverseCascadeByChannel(f, makePair(L, R));
        L = lowLane(out);
        R = highLane(out);
        return;
    }
    bool completed;
    const Pair out = forwardPair(f, makePair(L, R), completed);
    if (completed) {
        ReverseCascadeFilter* const one[1] = {&f};
        finishChunks<1>(one);
    }
    L = lowLane(out);
    R = highLane(out);
}

void ReverseCascadeBank(ReverseCascadeFilter* filters, int count, BankFrames frames, int n, LaneWidth lanes) {
    ReverseCascadeFilter* bank[kMaxBankFilters];
    for (int j = 0; j < count; ++j) bank[j] = &filters[j];
    const int wide = fourLaneFilters(count, lanes);
    runBankFrames(
        bank, count, n,
        [frames](int frame, int j) {
            return loadPair(&frames.left[frame * frames.stride + j], &frames.right[frame * frames.stride + j]);
        },
        [frames](int frame, int j, Pair out) {
            storePair(&frames.left[frame * frames.stride + j], &frames.right[frame * frames.stride + j], out);
        },
        [&](int done, int m, bool completes) {
#if defined(DRELVANT_AVX2_KERNELS)
            if (wide > 0) {
                const BankFrames at = {frames.left + done * frames.stride, frames.right + done * frames.stride,
                                       frames.stride};
                bank_avx2::forwardInPlace(bank, wide, m, completes, at);
            }
#else
            (void)done, (void)m, (void)completes;
#endif
            return wide;
        });
}

void ReverseCascadeBankSplit(ReverseCascadeFilter* filters, int count, const double* inputPairs, BankFrames out,
                             int n, LaneWidth lanes) {
    ReverseCascadeFilter* bank[kMaxBankFilters];
    for (int j = 0; j < count; ++j) bank[j] = &filters[j];
    const int wide = fourLaneFilters(count, lanes);
    runBankFrames(
        bank, count, n, [inputPairs](int frame, int) { return loadAdjacent(&inputPairs[2 * frame]); },
        [out](int frame, int j, Pair v) {
            storePair(&out.left[frame * out.stride + j], &out.right[frame * out.stride + j], v);
        },
        [&](int done, int m, bool completes) {
#if defined(DRELVANT_AVX2_KERNELS)
            if (wide > 0) {
                const BankFrames at = {out.left + done * out.stride, out.right + done * out.stride, out.stride};
                bank_avx2::forwardSplit(bank, wide, m, completes, inputPairs + 2 * done, at);
            }
#else
            (void)done, (void)m, (void)completes;
#endif
            return wide;
        });
}

void ReverseCascadeSeries(ReverseCascadeFilter* const* filters, int count, double* pairs, int n) {
    // Filter j reads frame f where filter j - 1 left it, within each run and frame by frame alike.
    runBankFrames(
        filters, count, n, [pairs](int frame, int) { return loadAdjacent(&pairs[2 * frame]); },
        [pairs](int frame, int, Pair v) { storeAdjacent(&pairs[2 * frame], v); }, noFourLanes);
}
