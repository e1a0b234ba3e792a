// Test tone block constants and the per-frame mute, sine and noise.
#include "dsp/test_tone.h"

#include <cmath>

#include "dsp/db.h"
#include "dsp/engine_random.h"
#include "dsp/param_ranges.h"
#include "dsp/shared_value.h"

namespace {

constexpr double kRadiansPerHzFrame = 0.00014247585730565955;  // 2 pi / 44,100
constexpr double kTwoPi = 6.283185307179586;
constexpr double kInverseRandMax = 0.00003051850947599719;     // 1 / 32,767

// The top frequency keeps the step below 2 pi, so one subtraction per frame bounds the phase.
static_assert(kTestToneFrequencyHz.range.max * kRadiansPerHzFrame < kTwoPi, "the phase step stays below 2 pi");

}  // namespace

void prepareBlock(TestToneGenerator& tone) {
    tone.toneAmplitude = DbToLinear(guardedParam(loadShared(tone.levelDb), kTestToneLevelDb.range));
    tone.toneStep = guardedParam(loadShared(tone.frequencyHz), kTestToneFrequencyHz.range) * kRadiansPerHzFrame;
}

void processSample(TestToneGenerator& tone, EngineRandom& random, double& L, double& R) {
    if (isOn(tone.muteInput)) {
        L = 0.0;
        R = 0.0;
    }
    if (isOn(tone.sine)) {
        const double s = std::sin(tone.tonePhase) * tone.toneAmplitude;
        L += s;
        R += s;
        tone.tonePhase += tone.toneStep;
        if (tone.tonePhase > kTwoPi) tone.tonePhase -= kTwoPi;
    }
    if (isOn(tone.noise)) {
        const int r = engineRand(random);
        const double n = (r * kInverseRandMax - 0.5) * tone.toneAmplitude * 2;
        L += n;
        R += n;
    }
}
