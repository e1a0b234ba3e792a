// The parameters of every window as the module descriptions list them, with the factory preset F1's values.
#include "tests/windows/expected_params.h"

#include <cmath>
#include <cstdio>

namespace uitest {

namespace {

using Row = std::vector<double>;

// Ten-band control ids: the first slider row skips 1003 (a label elsewhere), the other rows step by two.
const std::vector<int> kFirstRowSliders = {1001, 1002, 1006, 1008, 1010, 1012, 1014, 1016, 1018, 1020};
const std::vector<int> kFirstRowLabels = {1004, 1005, 1007, 1009, 1011, 1013, 1015, 1017, 1019, 1021};

std::vector<int> stepRow(int first, int step = 2) {
    std::vector<int> ids;
    for (int band = 0; band < 10; ++band) ids.push_back(first + step * band);
    return ids;
}

Row same(double value) { return Row(10, value); }

struct Builder {
    std::vector<ExpectedParam> params;

    void slider(int templateId, int controlId, int labelId, int decimals, double lo, double hi, const std::string& key,
                double value, ExpectedKind kind = kVertical) {
        params.push_back({templateId, kind, controlId, labelId, decimals, lo, hi, key, value});
    }
    void logSlider(int templateId, int controlId, int labelId, double steps, const std::string& key, double value) {
        params.push_back({templateId, kVertical, controlId, labelId, -1, 0.0, steps, key, value});
    }
    void check(int templateId, int controlId, const std::string& key, double value) {
        params.push_back({templateId, kCheck, controlId, 0, 0, 0.0, 1.0, key, value});
    }
    void meter(int templateId, int controlId, int labelId, double lo, double hi) {
        params.push_back({templateId, kMeter, controlId, labelId, 0, lo, hi, std::string(), 0.0});
    }
    // A family of ten band keys "<module>.<name>N<unit>".
    void band(int templateId, const std::vector<int>& sliders, const std::vector<int>& labels, int decimals,
              double lo, double hi, const std::string& module, const std::string& name, const std::string& unit,
              const Row& values) {
        for (int b = 0; b < 10; ++b) {
            slider(templateId, sliders[b], labels[b], decimals, lo, hi,
                   module + "." + name + std::to_string(b + 1) + unit, values[b]);
        }
    }
};

std::vector<ExpectedParam> build() {
    Builder r;
    // Main console (101)
    const struct { int id; const char* key; double value; } switches[] = {
        {1001, "General.MainBypass", 0},         {1038, "General.HighpassFilter.Active", 0},
        {1040, "General.StereoImageProc.Active", 1}, {1020, "General.AGC.Active", 1},
        {1018, "General.3BandEQ.Active", 0},     {1022, "General.Processor.Active", 1},
        {1052, "General.DynamicEQ.Active", 1},   {1016, "General.Compressor.Active", 1},
        {1025, "General.Expander.Active", 1},    {1027, "General.Limiter.Active", 1},
        {1045, "General.Saturator.Active", 1},   {1000, "General.10BandEQ.Active", 1},
        {1033, "General.FinalLimiter.Active", 1}, {1035, "General.FinalClipper.Active", 1},
        {1029, "General.LowpassFilter.Active", 0}, {1014, "General.QuantizationDither.Active", 1},
    };
    for (const auto& s : switches) r.check(101, s.id, s.key, s.value);
    r.slider(101, 1050, 1049, 1, -12, 36, "General.DensityDrive.dB", 0.0, kHorizontal);
    r.slider(101, 1043, 1044, 1, -24, 24, "General.PostAmp.dB", 0.0, kHorizontal);
    r.meter(101, 1006, 1030, 0, 100);
    r.meter(101, 1007, 1031, 0, 100);

    // Advanced (121)
    const Row detect = {50, 25, 16, 8, 4, 2, 1, 1, 1, 1};
    for (int b = 0; b < 10; ++b) {
        r.slider(121, 1085 + 2 * b, 1086 + 2 * b, 0, 1, 500, "Processor.Detect" + std::to_string(b + 1) + ".msec",
                 detect[b]);
    }
    r.slider(121, 1044, 1045, 0, 1, 500, "AGC.Detect.LowBand.msec", 50);
    r.slider(121, 1048, 1049, 0, 1, 500, "AGC.Detect.HighBand.msec", 25);
    r.slider(121, 1059, 1060, 0, 1, 500, "FinalLimiter.Detect.msec", 20);

    // Highpass (117)
    r.logSlider(117, 1055, 1056, 400, "HighpassFilter.Cutoff.Hz", 20);

    // Stereo image processor (118)
    r.check(118, 1107, "StereoImageProc.Mono", 0);
    r.slider(118, 1108, 1109, 0, 1, 100, "StereoImageProc.Amount.%", 25);
    r.slider(118, 1110, 1111, 0, 1, 500, "StereoImageProc.Detect1.msec", 50);
    r.slider(118, 1063, 1064, 0, 1, 2000, "StereoImageProc.Detect2.msec", 500);
    r.slider(118, 1116, 1117, 0, 1, 18, "StereoImageProc.MaxEnhance.dB", 4);
    r.meter(118, 1112, 1113, 0, 18);

    // Two-band AGC (109)
    r.slider(109, 1046, 1047, 0, 0, 100, "AGC.Level.%", 85);
    r.slider(109, 1042, 1043, 0, 0, 40, "AGC.MaxGain.dB", 25);
    r.logSlider(109, 1040, 1041, 700, "AGC.Crossover", 200);
    r.slider(109, 1048, 1049, 0, 0, 100, "AGC.BandLink.%", 50);
    r.meter(109, 1053, 1052, 0, 40);
    r.meter(109, 1056, 1057, 0, 40);
    r.meter(109, 1062, 1063, 0, 9);
    r.slider(109, 1114, 1118, 0, 0, 5000, "AGC.Attack.LowBand.msec", 500);
    r.slider(109, 1115, 1119, 0, 0, 5000, "AGC.Release.LowBand.msec", 1500);
    r.slider(109, 1058, 1059, 1, -24, 24, "AGC.Gain.LowBand.dB", 0.0);
    r.slider(109, 1116, 1065, 0, 0, 5000, "AGC.Attack.HighBand.msec", 500);
    r.slider(109, 1117, 1067, 0, 0, 5000, "AGC.Release.HighBand.msec", 1500);
    r.slider(109, 1060, 1061, 1, -24, 24, "AGC.Gain.HighBand.dB", -1.0);
    r.check(109, 1120, "AGC.SingleBand", 1);

    // Three-band equaliser (108)
    r.slider(108, 1001, 1004, 1, -24, 24, "3BandEQ.Band1.dB", 0.0);
    r.slider(108, 1002, 1005, 1, -24, 24, "3BandEQ.Band2.dB", 0.0);
    r.slider(108, 1006, 1007, 1, -24, 24, "3BandEQ.Band3.dB", 0.0);
    r.check(108, 1022, "3BandEQ.Band1.Mute", 0);
    r.check(108, 1023, "3BandEQ.Band2.Mute", 0);
    r.check(108, 1024, "3BandEQ.Band3.Mute", 0);
    r.logSlider(108, 1031, 1032, 850, "3BandEQ.Crossover.L-M", 880);
    r.logSlider(108, 1033, 1034, 850, "3BandEQ.Crossover.M-H", 5000);

    // Ten-band processor (111): two switches and four rows of meters
    r.check(111, 1037, "Processor.CascadedFilters", 1);
    r.check(111, 1038, "Processor.NarrowBandwidth", 0);
    for (int b = 0; b < 10; ++b) r.meter(111, 1054 + b, 0, 0, 24);
    for (int b = 0; b < 10; ++b) r.meter(111, 1064 + b, 0, 0, 24);
    for (int b = 0; b < 10; ++b) r.meter(111, 1074 + b, 0, 0, 24);
    for (int b = 0; b < 10; ++b) r.meter(111, 1084 + b, 0, 0, 12);

    // Dynamic equaliser (122)
    r.slider(122, 1135, 1136, 0, 200, 8000, "DynamicEQ.Speed.msec", 2000);
    r.slider(122, 1108, 1109, 0, 0, 100, "DynamicEQ.Amount.%", 80);
    r.slider(122, 1116, 1117, 0, 0, 24, "DynamicEQ.MaxEnhance.dB", 10);
    for (int b = 0; b < 10; ++b) r.meter(122, 1137 + b, 0, -12, 12);

    // Compressor (110)
    r.band(110, stepRow(1085), stepRow(1086), 1, -24, 24, "Compressor", "Gain", ".dB",
           {6.0, 7.0, 8.0, 9.0, 9.5, 9.5, 9.0, 8.5, 8.0, 8.0});
    r.band(110, stepRow(1106), stepRow(1107), 1, 1, 10, "Compressor", "Ratio", "", same(2.0));
    r.band(110, kFirstRowSliders, kFirstRowLabels, 1, -24, 24, "Compressor", "Threshold", ".dB", same(-6.0));
    r.band(110, stepRow(1065), stepRow(1066), 0, 0, 90, "Compressor", "Lookahead", ".msec",
           {30, 30, 20, 20, 20, 20, 15, 16, 10, 10});
    r.band(110, stepRow(1025), stepRow(1026), 0, 0, 1000, "Compressor", "Attack", ".msec",
           {800, 600, 400, 300, 200, 150, 100, 80, 45, 10});
    r.band(110, stepRow(1045), stepRow(1046), 0, 0, 5000, "Compressor", "Release", ".msec", same(50));
    r.check(110, 1105, "Compressor.PeakDetect", 0);

    // Expander (112)
    r.band(112, stepRow(1085), stepRow(1086), 1, 1, 10, "Expander", "Ratio", "", same(5.0));
    r.band(112, kFirstRowSliders, kFirstRowLabels, 1, -40, 6, "Expander", "Threshold", ".dB",
           {0.0, -2.0, -4.0, -5.0, -6.0, -6.0, -6.0, -6.0, -6.0, -6.0});
    r.band(112, stepRow(1025), stepRow(1026), 0, 0, 1000, "Expander", "Attack", ".msec",
           {20, 20, 15, 10, 8, 5, 4, 3, 2, 1});
    r.band(112, stepRow(1045), stepRow(1046), 0, 0, 1000, "Expander", "Release", ".msec",
           {20, 20, 15, 10, 8, 5, 4, 3, 2, 1});

    // Limiter (113)
    r.band(113, stepRow(1085), stepRow(1086), 1, -24, 24, "Limiter", "Gain", ".dB",
           {5.0, 5.0, 5.0, 5.0, 4.5, 4.0, 3.5, 3.0, 2.5, 2.0});
    r.band(113, kFirstRowSliders, kFirstRowLabels, 1, -24, 24, "Limiter", "Threshold", ".dB",
           {8.0, 7.0, 6.0, 4.0, 3.0, 2.0, 1.0, 0.0, -1.0, -2.0});
    r.band(113, stepRow(1065), stepRow(1066), 0, 0, 90, "Limiter", "Lookahead", ".msec", same(2));
    r.band(113, stepRow(1025), stepRow(1026), 0, 0, 1000, "Limiter", "Attack", ".msec",
           {50, 25, 12, 7, 6, 5, 4, 3, 2, 1});
    r.band(113, stepRow(1045), stepRow(1046), 0, 0, 5000, "Limiter", "Release", ".msec",
           {70, 70, 30, 20, 15, 10, 8, 6, 4, 2});
    r.check(113, 1105, "Limiter.PeakDetect", 1);

    // Saturator / clipper (120)
    r.band(120, kFirstRowSliders, kFirstRowLabels, 0, 0, 100, "Saturator", "Level", ".%", same(0));
    r.band(120, stepRow(1085), stepRow(1086), 1, -24, 24, "Saturator", "Gain", ".dB", same(0.0));
    r.band(120, stepRow(1105), stepRow(1106), 1, -24, 24, "Saturator", "Clip", ".dB",
           {10.0, 9.0, 8.0, 6.0, 5.0, 5.0, 5.0, 5.0, 5.0, 5.0});
    for (int b = 0; b < 10; ++b) r.check(120, 1125 + b, "Saturator.Clip" + std::to_string(b + 1) + ".Enable", 1);
    r.check(120, 1076, "Saturator.Refilter", 0);

    // Ten-band graphic equaliser (103)
    r.slider(103, 1000, 1003, 1, -24, 24, "10BandEQ.Preamp.dB", 0.0);
    r.band(103, kFirstRowSliders, kFirstRowLabels, 1, -24, 24, "10BandEQ", "Band", ".dB",
           {1.8, 1.8, 1.5, 1.2, 0.8, 0.4, 0.0, 0.0, 0.0, 0.0});
    for (int b = 0; b < 10; ++b) r.check(103, 1022 + b, "10BandEQ.Band" + std::to_string(b + 1) + ".Mute", 0);

    // Final limiter (115)
    r.slider(115, 1003, 1022, 1, -24, 24, "FinalLimiter.Drive.dB", -8.0);
    r.slider(115, 1057, 1058, 1, -24, 24, "FinalLimiter.Threshold.dB", -0.1);
    r.slider(115, 1061, 1062, 0, 0, 90, "FinalLimiter.Lookahead.msec", 2);
    r.slider(115, 1063, 1064, 0, 0, 1000, "FinalLimiter.Attack.msec", 20);
    r.slider(115, 1065, 1066, 0, 0, 5000, "FinalLimiter.Release.msec", 20);
    r.meter(115, 1067, 1068, 0, 12);
    r.check(115, 1105, "FinalLimiter.PeakDetect", 1);

    // Final clipper (116)
    r.check(116, 1106, "FinalClipper.Complex", 0);
    r.slider(116, 1003, 1022, 1, -24, 24, "FinalClipper.Drive.dB", -1.0);
    r.slider(116, 1057, 1058, 1, -12, 12, "FinalClipper.Threshold.dB", -0.1);
    r.meter(116, 1069, 1070, 0, 12);

    // Lowpass (114)
    r.logSlider(114, 1055, 1056, 1000, "LowpassFilter.Cutoff.Hz", 16984);

    // Test tones (104): no keys; the values Init writes
    r.slider(104, 1027, 1028, 1, -60, 12, std::string(), -12.0);
    r.logSlider(104, 1001, 1029, 1000, std::string(), 640);
    r.check(104, 1024, std::string(), 0);
    r.check(104, 1025, std::string(), 0);
    r.check(104, 1026, std::string(), 0);
    return r.params;
}

int scaleOf(int decimals) {
    int scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    return scale;
}

}  // namespace

const std::vector<ExpectedParam>& expectedParams() {
    static const std::vector<ExpectedParam> params = build();
    return params;
}

double asStored(double value) { return static_cast<double>(static_cast<float>(value)); }

int expectedRangeMax(const ExpectedParam& param) {
    if (param.decimals < 0) return static_cast<int>(param.maxValue);
    const int scale = scaleOf(param.decimals);
    return static_cast<int>(scale * param.maxValue) - static_cast<int>(scale * param.minValue);
}

int expectedPosition(const ExpectedParam& param, double value) {
    if (param.decimals < 0) {
        int steps = 0;
        while (steps <= param.maxValue && !(20.0 * std::pow(2.0, steps * 0.01) >= value)) ++steps;
        return static_cast<int>(param.maxValue) - steps;
    }
    const int scale = scaleOf(param.decimals);
    const double shown = value < param.minValue ? param.minValue : value > param.maxValue ? param.maxValue : value;
    const int grid = static_cast<int>(scale * shown * 1.0000001);
    if (param.kind == kVertical) return static_cast<int>(scale * param.maxValue) - grid;
    return grid - static_cast<int>(scale * param.minValue);
}

std::string expectedLabel(const ExpectedParam& param, double value) {
    char text[64];
    if (param.decimals < 0) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        const double shown = value < param.minValue ? param.minValue : value > param.maxValue ? param.maxValue : value;
        std::snprintf(text, sizeof text, "%.*f", param.decimals, shown);
    }
    return text;
}

}  // namespace uitest
