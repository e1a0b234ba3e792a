// STUB: replaced by the stage implementation.
#include "dsp/three_band_eq.h"
void designThreeBandChannel(ThreeBandEqChannel&, double, double, double, bool) {}
void processSample(ThreeBandEqualizer&, double&, double&) {}
