// What every window must show after start-up: each parameter's control, label, range and F1 value.
#pragma once

#include <string>
#include <vector>

namespace uitest {

enum ExpectedKind { kVertical, kHorizontal, kCheck, kMeter };

struct ExpectedParam {
    int templateId;
    ExpectedKind kind;
    int controlId;
    int labelId;        // 0: no label
    int decimals;       // -1: logarithmic frequency slider
    double minValue, maxValue;
    std::string key;    // empty for the test tones and the meters
    double startValue;  // the value shown after Init with no settings file (F1, or the tone start values)
};

// All 348 parameters of the 21 windows.
const std::vector<ExpectedParam>& expectedParams();

// Trackbar position and label text of a slider showing `value`, computed from the slider rules.
int expectedPosition(const ExpectedParam& param, double value);
int expectedRangeMax(const ExpectedParam& param);
std::string expectedLabel(const ExpectedParam& param, double value);

// A value as the preset reader delivers it: rounded to single precision.
double asStored(double value);

}  // namespace uitest
