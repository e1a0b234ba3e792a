// Trackbar, meter and value-label arithmetic: pure functions of a parameter entry and a value.
#include "params/slider_math.h"

#include <cmath>
#include <cstdio>

#include "params/settings_text.h"

namespace {

constexpr int32_t kLogSliderLineSize = 1;

bool isLogarithmic(const ParamEntry& param) { return param.decimals < 0; }

// Truncation toward zero that stays defined for values beyond the 32-bit range.
int32_t truncToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

double logSliderFrequency(int32_t steps) { return kLogSliderBaseHz * std::pow(2.0, steps * kLogSliderOctavesPerStep); }

}  // namespace

int32_t sliderScale(int32_t decimals) {
    int32_t scale = 1;
    for (int32_t i = 0; i < decimals && i < 9; ++i) scale *= 10;
    return scale;
}

TrackbarSetup trackbarSetup(const ParamEntry& param) {
    if (isLogarithmic(param)) {
        return {truncToInt(param.maxValue), kLogSliderStepsPerOctave, kLogSliderLineSize, kLogSliderStepsPerOctave};
    }
    const int32_t scale = sliderScale(param.decimals);
    const int32_t lo = truncToInt(scale * param.minValue);
    const int32_t hi = truncToInt(scale * param.maxValue);
    return {hi - lo, truncToInt(param.tickSpacing) * scale, truncToInt(scale * param.lineStep),
            truncToInt(scale * param.pageStep)};
}

double clampedSliderValue(const ParamEntry& param, double value) {
    if (isLogarithmic(param) || (param.kind != VerticalSlider && param.kind != HorizontalSlider)) return value;
    if (std::isnan(value) || value < param.minValue) return param.minValue;
    if (value > param.maxValue) return param.maxValue;
    return value;
}

int32_t sliderPosition(const ParamEntry& param, double value) {
    if (isLogarithmic(param)) {
        int32_t steps = 0;
        if (param.maxValue >= 0.0) {
            // The first grid frequency at or above the value; past the top when none is.
            while (steps <= param.maxValue && !(logSliderFrequency(steps) >= value)) ++steps;
        }
        return truncToInt(param.maxValue) - steps;
    }
    const int32_t scale = sliderScale(param.decimals);
    const double shown = clampedSliderValue(param, value);
    const int32_t grid = truncToInt(scale * shown * kSliderGridNudge);
    if (param.kind == VerticalSlider) return truncToInt(scale * param.maxValue) - grid;
    return grid - truncToInt(scale * param.minValue);
}

double sliderValue(const ParamEntry& param, int32_t position) {
    if (isLogarithmic(param)) return kLogSliderBaseHz * std::pow(2.0, (param.maxValue - position) * kLogSliderOctavesPerStep);
    const double scale = static_cast<double>(sliderScale(param.decimals));
    if (param.kind == VerticalSlider) return param.maxValue - position / scale;
    return param.minValue + position / scale;
}

int32_t meterPosition(const ParamEntry& param, double value) {
    const double span = param.maxValue - param.minValue;
    const double scaled = (value - param.minValue) / span * static_cast<double>(kMeterPositions);
    if (!(scaled > 0.0)) return 0;  // below the range, or NaN
    if (scaled >= kMeterPositions) return kMeterPositions;
    return static_cast<int32_t>(scaled);
}

void formatParamLabel(const ParamEntry& param, double value, char* out, std::size_t size) {
    if (isLogarithmic(param)) {
        FormatFixed(out, size, value, 0);
        return;
    }
    FormatFixed(out, size, clampedSliderValue(param, value), param.decimals);
}
