// Four-lane (AVX2) kernels of the reverse-cascade bank: two filters' two channels in one register.
#pragma once

#include "dsp/filters/biquad.h"

// These are compiled apart, in bank_kernels_avx2.cpp with -mavx2 (never -mfma; the project's
// -ffp-contract=off holds), and only where DRELVANT_AVX2_KERNELS is defined; callers take them
// only when the processor has AVX2. The lanes of a register are (filter a left, filter a right,
// filter b left, filter b right), a frame of each filter's ring: each lane runs the scalar
// recursion's every operation in its order, so the results are the scalar bits.
//
// Every function takes an even number of filters that are in step (each filter's channels agree
// and all filters share the first one's indices), as the bank's two-lane runtime checks first.
namespace bank_avx2 {

// m frames of the forward half of `count` filters, all inside the chunk under `write`; with
// `completes` the last frame completes the chunk and the indices stop on it for finishChunks.
// Split: frame f's input for every filter is (inputPairs[2 f], inputPairs[2 f + 1]); filter j's
// output goes to out.left / out.right at f * out.stride + j.
void forwardSplit(ReverseCascadeFilter* const* filters, int count, int m, bool completes,
                  const double* inputPairs, BankFrames out);
// In place: filter j reads frame f's input from frames.left / frames.right at
// f * frames.stride + j and writes its output there.
void forwardInPlace(ReverseCascadeFilter* const* filters, int count, int m, bool completes,
                    BankFrames frames);
// The chunk-end passes (warm-up and backward) and the index rotation of `count` filters that
// completed a chunk on the same frame.
void finishChunks(ReverseCascadeFilter* const* filters, int count);

}  // namespace bank_avx2
