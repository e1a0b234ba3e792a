// Run-time choice of the kernels' lane width from the processor's features.
#include "dsp/lane_width.h"

LaneWidth widestLanes() {
#if defined(DRELVANT_AVX2_KERNELS)
    // __builtin_cpu_supports also checks that the operating system saves the AVX registers.
    static const LaneWidth widest = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? LaneWidth::kFour : LaneWidth::kTwo;
    }();
    return widest;
#else
    return LaneWidth::kTwo;
#endif
}
