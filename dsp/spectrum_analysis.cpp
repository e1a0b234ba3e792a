// STUB: replaced by the analysis implementation.
#include "dsp/spectrum_analysis.h"
uint16_t OctaveFrequencyTable[kOctaveTableSize];
void BuildOctaveFrequencyTable() {}
