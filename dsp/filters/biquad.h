// Second-order IIR sections and the linear-phase reverse-cascade runtime built on them.
#pragma once

#include <cstdint>

#include "dsp/lane_width.h"

// Transfer function H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2): the feedback
// coefficients are stored already divided by a0 and are subtracted in the recursion. `gain` is
// not part of H; it scales every value the section emits, so the reverse cascade applies it twice.
struct Biquad {
    double b0, b1, b2;  // feed-forward coefficients / a0
    double a1, a2;      // feedback coefficients / a0, used with a minus sign
    double leftX1, leftX2, leftY1, leftY2;      // left state: last two inputs, last two unscaled outputs
    double rightX1, rightX2, rightY1, rightY2;  // right state
    double gain;        // linear output gain
};

constexpr int kChunkFrames = 4096;                  // one chunk of the reverse-cascade ring
constexpr int kRingFrames = 3 * kChunkFrames;       // three chunks per channel
constexpr int kReverseCascadeDelay = 2 * kChunkFrames;  // 8,192 frames from input to output
constexpr uint16_t kChunkStartMask = 0x3000;
constexpr uint16_t kChunkOffsetMask = 0x0FFF;

// A Biquad run forward and then backward in time over 4,096-frame chunks: the squared magnitude
// of the section, linear phase, and a fixed delay of 8,192 frames. Indices per channel: `pending`
// is the chunk waiting for its backward pass, `write` receives forward output, `read` is emitted.
struct ReverseCascadeFilter {
    Biquad biquad;
    uint16_t leftPending, leftWrite, leftRead;
    uint16_t rightPending, rightWrite, rightRead;
    // (left, right) of each frame side by side: both channels of a frame load and store as one pair.
    double ring[kRingFrames][2];
};

enum BiquadType : int { kLowPass = 0, kHighPass = 1, kBandPass = 2 };

// Coefficients and gain of one design; what a redesign hands to the audio thread.
struct BiquadCoefficients {
    double b0, b1, b2, a1, a2, gain;
};

// Audio-EQ-cookbook design in bandwidth form (octaves); band-pass has a constant 0 dB peak.
BiquadCoefficients DesignCoefficients(int type, double gainDb, double frequencyHz, double sampleRateHz,
                                      double bandwidthOctaves);
void SetCoefficients(Biquad& filter, const BiquadCoefficients& coefficients);
BiquadCoefficients CoefficientsOf(const Biquad& filter);

void DesignBiquad(Biquad& filter, bool reset, int type, double gainDb, double frequencyHz, double sampleRateHz,
                  double bandwidthOctaves);
void DesignBiquad(ReverseCascadeFilter& filter, bool reset, int type, double gainDb, double frequencyHz,
                  double sampleRateHz, double bandwidthOctaves);

void Reset(Biquad& filter);
void Reset(ReverseCascadeFilter& filter);

// One forward step of the plain section on the left or right state.
double BiquadLeft(double x, Biquad& filter);
double BiquadRight(double x, Biquad& filter);
// Both channels' steps at once: exactly L = BiquadLeft(L), R = BiquadRight(R).
void BiquadStereo(Biquad& filter, double& L, double& R);

// One frame of the reverse cascade; returns the output belonging to the input 8,192 frames earlier.
double ReverseCascadeLeft(double x, ReverseCascadeFilter& filter);
double ReverseCascadeRight(double x, ReverseCascadeFilter& filter);

// The same frame for both channels at once: exactly ReverseCascadeLeft(L) then
// ReverseCascadeRight(R), computed side by side while the two channels' indices agree (they do
// whenever a stage calls left and right once each per frame, as every stage does).
void ReverseCascadeStereo(ReverseCascadeFilter& filter, double& L, double& R);

// Largest bank the bank functions take.
constexpr int kMaxBankFilters = 16;

// Where a bank's frames live: frame f of filter j at left[f * stride + j] and right[f * stride + j].
struct BankFrames {
    double* left;
    double* right;
    int stride;  // doubles from one frame to the next
};

// n frames of `count` independent filters (a filter bank) in place: frame f of filter j through
// filters[j], exactly as ReverseCascadeStereo frame by frame. A bank whose filters are in step
// (as the engine's always are) runs its filters side by side over the frames, keeping each
// recursion in registers, and the filters that finish a chunk together run their backward passes
// side by side, which overlaps their otherwise serial recursions. With four lanes, two filters'
// two channels share a register; `lanes` changes only the speed, never a bit.
void ReverseCascadeBank(ReverseCascadeFilter* filters, int count, BankFrames frames, int n,
                        LaneWidth lanes = widestLanes());
// The same with one input pair per frame for every filter (the bank split): frame f's input is
// (inputPairs[2 f], inputPairs[2 f + 1]).
void ReverseCascadeBankSplit(ReverseCascadeFilter* filters, int count, const double* inputPairs, BankFrames out,
                             int n, LaneWidth lanes = widestLanes());

// n frames of `count` filters in series, in place: frame f's (L, R) is (pairs[2 f], pairs[2 f + 1])
// and goes through filters[0], then filters[1], ..., exactly as ReverseCascadeStereo on each in
// turn frame by frame. Filters stepped together run as a bank does.
void ReverseCascadeSeries(ReverseCascadeFilter* const* filters, int count, double* pairs, int n);
