// STUB: replaced by the stage implementation.
#include "dsp/final_limiter.h"
void prepareBlock(FinalLimiter&, const FinalLimiterParams&) {}
void processSample(FinalLimiter&, double&, double&, bool) {}
void idleReset(FinalLimiter&) {}
