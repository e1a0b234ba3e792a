// STUB: replaced by the stage implementation.
#include "dsp/test_tone.h"
void prepareBlock(TestToneGenerator&) {}
void processSample(TestToneGenerator&, double&, double&) {}
