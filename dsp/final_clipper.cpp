// STUB: replaced by the stage implementation.
#include "dsp/final_clipper.h"
void clearHilbertLines(FinalClipper&) {}
void prepareBlock(FinalClipper&, const FinalClipperParams&) {}
void processSample(FinalClipper&, const FinalClipperParams&, double&, double&) {}
void finishBlock(FinalClipper&, double) {}
void idleReset(FinalClipper&) {}
