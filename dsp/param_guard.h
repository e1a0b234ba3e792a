// Registered ranges of stage parameters and the clamp that keeps file values usable.
#pragma once

// Values from settings or preset files are not range-checked when loaded, so a stage clamps
// what it reads when it computes its block constants: a value inside the range is used exactly
// as it comes, anything outside (and NaN) is replaced by the nearest end (NaN by the minimum).
// Envelopes and gains are never cleared, so one non-finite coefficient would poison a stage
// until the module is unloaded; the clamp keeps every coefficient finite and every index in range.
struct ParamRange {
    double min;
    double max;
};

inline double guardedParam(double value, ParamRange range) {
    if (!(value >= range.min)) return range.min;
    if (value > range.max) return range.max;
    return value;
}
