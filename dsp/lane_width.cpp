// Run-time choice of the kernels' lane width from the processor's features.
#include "dsp/lane_width.h"

#include <cstdlib>
#include <cstring>

LaneWidth widestLanes() {
#if defined(DRELVANT_AVX2_KERNELS)
    // __builtin_cpu_supports also checks that the operating system saves the AVX registers.
    static const LaneWidth widest = [] {
        __builtin_cpu_init();
        if (!__builtin_cpu_supports("avx2")) return LaneWidth::kTwo;
        const char* asked = std::getenv(kLaneWidthVariable);
        if (asked != nullptr && std::strcmp(asked, "2") == 0) return LaneWidth::kTwo;
        return LaneWidth::kFour;
    }();
    return widest;
#else
    return LaneWidth::kTwo;
#endif
}
