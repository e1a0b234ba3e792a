// Test tone generator: mutes the input and adds a sine and white noise at the head of the chain.
#pragma once

#include <cstdint>

// The window's controls are bound straight to these fields; they are never stored in presets.
struct TestToneGenerator {
    double levelDb;       // shared level of sine and noise, dB re full scale
    double frequencyHz;   // sine frequency
    uint8_t muteInput;
    uint8_t sine;
    uint8_t noise;
    double tonePhase;     // oscillator phase, radians, kept within (0, 2*pi] plus one step
    double toneAmplitude; // block constant: linear level
    double toneStep;      // block constant: phase advance per frame
};

void prepareBlock(TestToneGenerator& tone);
void processSample(TestToneGenerator& tone, double& L, double& R);
