// The frequency response sweep and the table the response plot draws.
#pragma once

#include <cstdint>

constexpr int kSweepTableSize = 1024;  // entries at multiples of 3 up to 999 are used

struct SweepFrequencyTable {
    uint16_t frequency[kSweepTableSize];
    double response[kSweepTableSize];  // linear amplitude, 1.0 = full scale
    double duration;                   // seconds the last sweep took
};

extern SweepFrequencyTable sweepTable;

// Builds the frequency column and clears responses and duration; called once by Init.
void ResetResponsePlot();
