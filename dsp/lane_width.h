// How many doubles the engine's side-by-side kernels take at once on this processor.
#pragma once

// Two doubles side by side (SSE2, every build) or four (AVX2: kernels compiled apart, with
// -mavx2 and without FMA, on x86-64 Linux builds, and taken only where the processor has AVX2).
// Every lane runs the scalar code's operations in its order, so both widths give the same bits;
// the width only changes the speed.
enum class LaneWidth : int { kTwo = 2, kFour = 4 };

// The widest the build and the processor offer, found once per process. The environment variable
// DRELVANT_LANE_WIDTH=2, set before the first block, keeps the engine on two lanes (to compare the
// widths end to end, or to measure the SSE2 kernels on a processor with AVX2).
constexpr const char* kLaneWidthVariable = "DRELVANT_LANE_WIDTH";
LaneWidth widestLanes();

// True when kernels asked for `width` may run on four lanes.
inline bool fourLanes(LaneWidth width) { return width == LaneWidth::kFour && widestLanes() == LaneWidth::kFour; }
