// Floating-point samples from outside (files, hosts) made safe for the chain: NaN and infinities
// become silence where they stand, so one bad sample cannot poison the filters' memories.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

// What silenceNonFinite replaced: how many samples, and the index of the first (-1: none).
struct NonFiniteCount {
    uint64_t samples = 0;
    int64_t firstIndex = -1;
};

// Replaces every NaN and infinity of `samples[0, count)` by 0; allocation-free, one compare a
// sample in the common case.
template <class Sample>
inline NonFiniteCount silenceNonFinite(Sample* samples, size_t count) {
    NonFiniteCount found;
    if (samples == nullptr) return found;
    for (size_t i = 0; i < count; ++i) {
        if (std::isfinite(samples[i])) continue;
        if (found.samples == 0) found.firstIndex = static_cast<int64_t>(i);
        ++found.samples;
        samples[i] = 0;
    }
    return found;
}
