// Trackbar, meter and value-label arithmetic of registry parameters, shared by every window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "params/registry.h"

// Set-up of a trackbar: positions 0 ... rangeMax, tick marks, arrow-key and page steps.
struct TrackbarSetup {
    int32_t rangeMax;
    int32_t tickFrequency;
    int32_t lineSize;
    int32_t pageSize;
};

// Logarithmic frequency sliders: 1/100 octave per position above this frequency.
constexpr double kLogSliderBaseHz = 20.0;
constexpr double kLogSliderOctavesPerStep = 0.01;
constexpr int32_t kLogSliderStepsPerOctave = 100;
// Makes a value read back from single-precision text land on its own grid position.
constexpr double kSliderGridNudge = 1.0000001;
constexpr int32_t kMeterPositions = 1000;

// 10^decimals by repeated integer multiplication (1 for decimals <= 0).
int32_t sliderScale(int32_t decimals);
TrackbarSetup trackbarSetup(const ParamEntry& param);
// Trackbar position that shows `value` (clamped to the range for display only).
int32_t sliderPosition(const ParamEntry& param, double value);
// The value a trackbar position stands for.
double sliderValue(const ParamEntry& param, int32_t position);
// Progress-bar position 0 ... 1000 of a meter value.
int32_t meterPosition(const ParamEntry& param, double value);
// The value label: linear sliders (value clamped to the range) and meters with `decimals` digits
// ("%%.%df"), logarithmic sliders with none ("%.0f", the live value as it is).
void formatParamLabel(const ParamEntry& param, double value, char* out, std::size_t size);
// A linear slider's value clamped to [minValue, maxValue] for display; NaN shows as minValue.
// Other kinds return the value unchanged.
double clampedSliderValue(const ParamEntry& param, double value);
