// Portable computations of the spectrum analyser: octave table, transform, bar geometry.
#pragma once

#include <cstdint>

constexpr int kOctaveTableSize = 1024;  // 1,001 entries used

extern uint16_t OctaveFrequencyTable[kOctaveTableSize];

// Entry i = trunc(20 x 2^(i x 0.01)) Hz for i = 0 ... 1000; the rest zero.
void BuildOctaveFrequencyTable();
