// Test tone generator: mutes the input and adds a sine and white noise at the head of the chain.
#pragma once

#include <cstdint>

#include "dsp/engine_random.h"

// The window's controls are bound straight to the first five fields (written by the user
// interface, read once per block or per frame); they are never stored in presets. Both tones
// are mono and share one level: 0 dB is a full-scale peak.
struct TestToneGenerator {
    double levelDb;       // shared level of sine and noise, dB re full scale
    double frequencyHz;   // sine frequency
    uint8_t muteInput;
    uint8_t sine;
    uint8_t noise;
    double tonePhase;     // oscillator phase, radians, kept within (0, 2*pi] plus one step; stands while the sine is off
    double toneAmplitude; // block constant: linear level
    double toneStep;      // block constant: phase advance per frame, radians
};

void prepareBlock(TestToneGenerator& tone);
// Mute, then sine, then noise, each by its switch; the noise draws from the engine's generator.
void processSample(TestToneGenerator& tone, EngineRandom& random, double& L, double& R);
