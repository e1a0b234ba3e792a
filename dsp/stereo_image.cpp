// STUB: replaced by the stage implementation.
#include "dsp/stereo_image.h"
void prepareBlock(StereoImageProcessor&, const StereoImageParams&) {}
void processSample(StereoImageProcessor&, const StereoImageParams&, double&, double&) {}
void finishBlock(StereoImageProcessor&, const StereoImageParams&) {}
