// The reverse-cascade bank on two and on four lanes, held bit for bit to the scalar per-channel
// step: banks of every size the groupings meet, runs that cross chunk ends at every offset, split
// and in-place inputs, special values, and banks that fall out of step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "dsp/filters/biquad.h"

namespace {

constexpr LaneWidth kLaneWidths[] = {LaneWidth::kTwo, LaneWidth::kFour};

// Bank sizes: one filter, the pair and triple groups alone, remainders of one, two and four
// after groups of three, the ten-band bank and the largest bank.
constexpr int kBankSizes[] = {1, 2, 3, 4, 5, 7, 10, 11, 16};

// Run lengths that cross chunk ends at every offset pattern: single frames, odd runs, long runs.
constexpr int kRunLengths[] = {1, 5, 64, 13, 64, 2, 63, 64, 7, 300};

struct Noise {
    uint32_t state = 7;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

// Same bits, or NaN on both sides.
bool sameDouble(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual)) return true;
    return std::memcmp(&expected, &actual, sizeof expected) == 0;
}

bool sameFilter(const ReverseCascadeFilter& a, const ReverseCascadeFilter& b) {
    const double stateA[] = {a.biquad.leftX1,  a.biquad.leftX2,  a.biquad.leftY1,  a.biquad.leftY2,
                             a.biquad.rightX1, a.biquad.rightX2, a.biquad.rightY1, a.biquad.rightY2};
    const double stateB[] = {b.biquad.leftX1,  b.biquad.leftX2,  b.biquad.leftY1,  b.biquad.leftY2,
                             b.biquad.rightX1, b.biquad.rightX2, b.biquad.rightY1, b.biquad.rightY2};
    for (size_t k = 0; k < std::size(stateA); ++k) {
        if (!sameDouble(stateA[k], stateB[k])) return false;
    }
    return a.leftPending == b.leftPending && a.leftWrite == b.leftWrite && a.leftRead == b.leftRead &&
           a.rightPending == b.rightPending && a.rightWrite == b.rightWrite && a.rightRead == b.rightRead &&
           std::memcmp(a.ring, b.ring, sizeof a.ring) == 0;
}

// A bank of `count` different band-pass, low-pass and high-pass designs (each filter its own
// coefficients and gain, so a lane that took its neighbour's would show), and its scalar twin.
struct Banks {
    std::vector<ReverseCascadeFilter> lanes;
    std::vector<ReverseCascadeFilter> scalar;

    explicit Banks(int count) : lanes(count) {
        for (int j = 0; j < count; ++j) {
            DesignBiquad(lanes[j], true, j % 3, -0.5 * j, 40.0 * std::pow(1.6, j), 44100, 0.8 + 0.1 * j);
        }
        scalar = lanes;
    }
    bool same() const {
        for (size_t j = 0; j < lanes.size(); ++j) {
            if (!sameFilter(lanes[j], scalar[j])) return false;
        }
        return true;
    }
};

// Frame f of filter j at column j of a row of kMaxBankFilters.
constexpr int kStride = kMaxBankFilters;

// The input of frame `frame`: noise, with stretches of special values.
double inputAt(int frame, Noise& noise) {
    static const double kSpecial[] = {0.0, -0.0, std::numeric_limits<double>::denorm_min(), 1e-310, 1.0, -1.0,
                                      1e300, 0.9999999};
    if (frame % 5000 < 40) return kSpecial[frame % std::size(kSpecial)];
    return noise.next();
}

}  // namespace

TEST(BankLaneWidths, SplitMatchesEachChannelFrameByFrameOnEveryWidth) {
    for (LaneWidth lanes : kLaneWidths) {
        for (int count : kBankSizes) {
            SCOPED_TRACE(testing::Message() << "lanes " << static_cast<int>(lanes) << ", filters " << count);
            Banks banks(count);
            Noise noise;
            int frame = 0;
            for (int run = 0; frame < 3 * kChunkFrames + 700; ++run) {
                const int n = kRunLengths[run % std::size(kRunLengths)];
                std::vector<double> pairs(2 * n);
                for (int f = 0; f < n; ++f) {
                    pairs[2 * f] = inputAt(frame + f, noise);
                    pairs[2 * f + 1] = noise.next();
                }
                std::vector<double> left(n * kStride), right(n * kStride);
                ReverseCascadeBankSplit(banks.lanes.data(), count, pairs.data(), {left.data(), right.data(), kStride}, n,
                                        lanes);
                for (int f = 0; f < n; ++f, ++frame) {
                    for (int j = 0; j < count; ++j) {
                        ASSERT_TRUE(sameDouble(ReverseCascadeLeft(pairs[2 * f], banks.scalar[j]), left[f * kStride + j]))
                            << "frame " << frame << ", filter " << j;
                        ASSERT_TRUE(
                            sameDouble(ReverseCascadeRight(pairs[2 * f + 1], banks.scalar[j]), right[f * kStride + j]))
                            << "frame " << frame << ", filter " << j;
                    }
                }
            }
            EXPECT_TRUE(banks.same());
        }
    }
}

TEST(BankLaneWidths, InPlaceMatchesEachChannelFrameByFrameOnEveryWidth) {
    for (LaneWidth lanes : kLaneWidths) {
        for (int count : kBankSizes) {
            SCOPED_TRACE(testing::Message() << "lanes " << static_cast<int>(lanes) << ", filters " << count);
            Banks banks(count);
            Noise noise;
            int frame = 0;
            for (int run = 0; frame < 3 * kChunkFrames + 700; ++run) {
                const int n = kRunLengths[run % std::size(kRunLengths)];
                std::vector<double> left(n * kStride), right(n * kStride);
                for (int f = 0; f < n; ++f) {
                    for (int j = 0; j < count; ++j) {
                        left[f * kStride + j] = inputAt(frame + f, noise);
                        right[f * kStride + j] = noise.next();
                    }
                }
                const std::vector<double> inLeft = left, inRight = right;
                ReverseCascadeBank(banks.lanes.data(), count, {left.data(), right.data(), kStride}, n, lanes);
                for (int f = 0; f < n; ++f, ++frame) {
                    for (int j = 0; j < count; ++j) {
                        const int at = f * kStride + j;
                        ASSERT_TRUE(sameDouble(ReverseCascadeLeft(inLeft[at], banks.scalar[j]), left[at]))
                            << "frame " << frame << ", filter " << j;
                        ASSERT_TRUE(sameDouble(ReverseCascadeRight(inRight[at], banks.scalar[j]), right[at]))
                            << "frame " << frame << ", filter " << j;
                    }
                }
            }
            EXPECT_TRUE(banks.same());
        }
    }
}

TEST(BankLaneWidths, BankOutOfStepStillMatchesOnEveryWidth) {
    // Filter 1's left channel is a frame ahead, so the bank cannot run side by side until the
    // filters are reset together again.
    for (LaneWidth lanes : kLaneWidths) {
        Banks banks(6);
        ReverseCascadeLeft(0.25, banks.lanes[1]);
        ReverseCascadeLeft(0.25, banks.scalar[1]);
        Noise noise;
        constexpr int kRun = 64;
        std::vector<double> pairs(2 * kRun), left(kRun * kStride), right(kRun * kStride);
        for (int frame = 0; frame < 2 * kChunkFrames + 300; frame += kRun) {
            for (double& v : pairs) v = noise.next();
            ReverseCascadeBankSplit(banks.lanes.data(), 6, pairs.data(), {left.data(), right.data(), kStride}, kRun,
                                    lanes);
            for (int f = 0; f < kRun; ++f) {
                for (int j = 0; j < 6; ++j) {
                    ASSERT_TRUE(sameDouble(ReverseCascadeLeft(pairs[2 * f], banks.scalar[j]), left[f * kStride + j]));
                    ASSERT_TRUE(sameDouble(ReverseCascadeRight(pairs[2 * f + 1], banks.scalar[j]), right[f * kStride + j]));
                }
            }
        }
        EXPECT_TRUE(banks.same());
    }
}

TEST(BankLaneWidths, FourLanesAreTakenWhereTheProcessorHasAvx2) {
#if defined(__x86_64__) && defined(__linux__)
    // The x86-64 Linux build carries the four-lane kernels; losing them (a build flag dropped, the
    // detection broken) would cost speed silently.
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    EXPECT_EQ(widestLanes(), avx2 ? LaneWidth::kFour : LaneWidth::kTwo);
#else
    EXPECT_EQ(widestLanes(), LaneWidth::kTwo);
#endif
}
