// The engine's pseudo-random source: a 15-bit linear congruential generator.
#pragma once

#include <cstdint>

// Shared by the silence guard, the test tone noise and the dither, whose calls interleave. Each
// engine owns one; it lives outside ProcessorState because Init seeds it before clearing that block.
struct EngineRandom {
    uint32_t state;
};

inline void seedEngineRandom(EngineRandom& random, uint32_t seed) { random.state = seed; }

// state = state * 214013 + 2531011 (mod 2^32); result = bits 16..30 of the state, 0 ... 32767.
inline int engineRand(EngineRandom& random) {
    random.state = random.state * 214013u + 2531011u;
    return static_cast<int>((random.state >> 16) & 32767u);
}
