// STUB: replaced by the sweep implementation.
#include "dsp/response_sweep.h"
SweepFrequencyTable sweepTable;
void ResetResponsePlot() {}
