// Factory preset texts: their design values, the exact file format, and F1 checked line by line against its tables.
//
// The seven texts in resources/presets are written by this file's generator: run
//   DRELVANT_WRITE_FACTORY_PRESETS=1 drelvant_tests --gtest_filter='FactoryPresetTexts.*'
// to rewrite them after changing a design below; without the variable the test compares.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "params/engine.h"
#include "params/engine_model.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "params_rig.h"

using paramsrig::BuiltRegistry;
using paramsrig::liveValue;

namespace {

constexpr int kPresets = 7;

// Keys with one value per preset F1 ... F7: the stage switches, the console gains and the
// single-valued module keys.
struct ColumnRow {
    const char* key;
    double values[kPresets];
};

const ColumnRow kColumns[] = {
    {"General.MainBypass", {0, 0, 0, 0, 0, 0, 0}},
    {"General.HighpassFilter.Active", {0, 0, 0, 0, 0, 0, 0}},
    {"General.StereoImageProc.Active", {1, 1, 1, 1, 0, 0, 0}},
    {"General.AGC.Active", {1, 1, 1, 1, 1, 1, 0}},
    {"General.3BandEQ.Active", {0, 0, 0, 0, 0, 0, 0}},
    {"General.Processor.Active", {1, 1, 1, 1, 1, 1, 0}},
    {"General.DynamicEQ.Active", {1, 1, 0, 1, 1, 0, 0}},
    {"General.Compressor.Active", {1, 1, 1, 1, 1, 1, 0}},
    {"General.Expander.Active", {1, 1, 1, 1, 0, 0, 0}},
    {"General.Limiter.Active", {1, 1, 1, 1, 1, 1, 0}},
    {"General.Saturator.Active", {1, 1, 1, 1, 0, 0, 0}},
    {"General.10BandEQ.Active", {1, 0, 1, 1, 0, 0, 0}},
    {"General.FinalLimiter.Active", {1, 1, 1, 1, 1, 1, 0}},
    {"General.FinalClipper.Active", {1, 1, 1, 1, 0, 0, 0}},
    {"General.LowpassFilter.Active", {0, 0, 0, 1, 0, 0, 0}},
    {"General.QuantizationDither.Active", {1, 1, 1, 1, 1, 1, 0}},
    {"General.DensityDrive.dB", {0, 0, 0, 0, 0, 0, 0}},
    {"General.PostAmp.dB", {0, 0, 0, 0, 0, 0, 0}},
    {"Processor.Detect1.msec", {50, 50, 50, 50, 50, 50, 50}},
    {"Processor.Detect2.msec", {25, 25, 25, 25, 25, 25, 25}},
    {"Processor.Detect3.msec", {16, 16, 16, 16, 16, 16, 16}},
    {"Processor.Detect4.msec", {8, 8, 8, 8, 8, 8, 8}},
    {"Processor.Detect5.msec", {4, 4, 4, 4, 4, 4, 4}},
    {"Processor.Detect6.msec", {2, 2, 2, 2, 2, 2, 2}},
    {"Processor.Detect7.msec", {1, 1, 1, 1, 1, 1, 1}},
    {"Processor.Detect8.msec", {1, 1, 1, 1, 1, 1, 1}},
    {"Processor.Detect9.msec", {1, 1, 1, 1, 1, 1, 1}},
    {"Processor.Detect10.msec", {1, 1, 1, 1, 1, 1, 1}},
    {"AGC.Detect.LowBand.msec", {50, 50, 50, 50, 50, 50, 400}},
    {"AGC.Detect.HighBand.msec", {25, 25, 25, 25, 25, 25, 250}},
    {"FinalLimiter.Detect.msec", {20, 20, 20, 20, 20, 20, 20}},
    {"AGC.Level.%", {85, 85, 85, 85, 85, 85, 85}},
    {"AGC.MaxGain.dB", {25, 25, 25, 25, 25, 25, 25}},
    {"AGC.Crossover", {200, 200, 200, 200, 200, 200, 400}},
    {"AGC.BandLink.%", {50, 50, 50, 50, 50, 50, 50}},
    {"AGC.Attack.LowBand.msec", {500, 500, 100, 500, 500, 500, 100}},
    {"AGC.Release.LowBand.msec", {1500, 1500, 1500, 1500, 1500, 1500, 1000}},
    {"AGC.Gain.LowBand.dB", {0, 0, 0, 0, 0, 0, 0}},
    {"AGC.Attack.HighBand.msec", {500, 500, 100, 500, 500, 500, 100}},
    {"AGC.Release.HighBand.msec", {1500, 1500, 1500, 1500, 1500, 1500, 1000}},
    {"AGC.Gain.HighBand.dB", {-1, -1, -1, -1, -1, -1, 0}},
    {"AGC.SingleBand", {1, 1, 1, 1, 1, 1, 0}},
    {"DynamicEQ.Speed.msec", {2000, 2000, 2000, 2000, 2000, 2000, 2000}},
    {"DynamicEQ.Amount.%", {80, 80, 50, 80, 80, 80, 50}},
    {"DynamicEQ.MaxEnhance.dB", {10, 10, 9, 10, 10, 10, 9}},
    {"3BandEQ.Band1.dB", {0, 0, 0, 0, 0, 0, 0}},
    {"3BandEQ.Band2.dB", {0, 0, 0, 0, 0, 0, 0}},
    {"3BandEQ.Band3.dB", {0, 0, 0, 0, 0, 0, 0}},
    {"3BandEQ.Band1.Mute", {0, 0, 0, 0, 0, 0, 0}},
    {"3BandEQ.Band2.Mute", {0, 0, 0, 0, 0, 0, 0}},
    {"3BandEQ.Band3.Mute", {0, 0, 0, 0, 0, 0, 0}},
    {"3BandEQ.Crossover.L-M", {880, 880, 880, 880, 880, 880, 880}},
    {"3BandEQ.Crossover.M-H", {5000, 5000, 5000, 5000, 5000, 5000, 5000}},
    {"FinalClipper.Complex", {0, 0, 0, 0, 0, 0, 0}},
    {"FinalClipper.Drive.dB", {-1, -1, 0, -1, -1, -1, 0}},
    {"FinalClipper.Threshold.dB", {-0.1, -0.1, -0.1, -0.1, -0.1, -0.1, -0.1}},
    {"FinalLimiter.Drive.dB", {-8, -6, -10, -8, -8, -8, 0}},
    {"FinalLimiter.Threshold.dB", {-0.1, -0.1, -0.1, -0.1, -0.1, -0.1, 0}},
    {"FinalLimiter.Lookahead.msec", {2, 2, 2, 2, 2, 2, 5}},
    {"FinalLimiter.Attack.msec", {20, 20, 20, 20, 20, 20, 10}},
    {"FinalLimiter.Release.msec", {20, 20, 20, 20, 20, 20, 500}},
    {"FinalLimiter.PeakDetect", {1, 1, 1, 1, 1, 1, 0}},
    {"HighpassFilter.Cutoff.Hz", {20, 20, 20, 20, 20, 20, 30}},
    {"LowpassFilter.Cutoff.Hz", {16984, 16984, 16984, 5487, 16984, 16984, 18000}},
    {"Processor.CascadedFilters", {1, 1, 1, 1, 1, 1, 0}},
    {"Processor.NarrowBandwidth", {0, 0, 0, 0, 0, 0, 0}},
    {"StereoImageProc.Mono", {0, 0, 0, 1, 0, 0, 0}},
    {"StereoImageProc.Amount.%", {25, 25, 30, 25, 25, 25, 50}},
    {"StereoImageProc.Detect1.msec", {50, 50, 50, 50, 50, 50, 50}},
    {"StereoImageProc.Detect2.msec", {500, 500, 500, 500, 500, 500, 500}},
    {"StereoImageProc.MaxEnhance.dB", {4, 4, 10, 4, 4, 4, 6}},
};

struct Family {
    const char* keyFormat;  // takes the band number 1 ... 10
    double values[kBandCount];
};

struct BandSingle {
    const char* key;
    double value;
};

struct PresetDesign {
    const char* name;
    double base;  // the "General.BaseFactoryPreset" line of the resource
    std::vector<Family> families;
    std::vector<BandSingle> singles;
};

// Rows shared by several designs.
constexpr double kF1CompressorLookahead[kBandCount] = {30, 30, 20, 20, 20, 20, 15, 16, 10, 10};
constexpr double kF1CompressorAttack[kBandCount] = {800, 600, 400, 300, 200, 150, 100, 80, 45, 10};
constexpr double kF1ExpanderThreshold[kBandCount] = {0, -2, -4, -5, -6, -6, -6, -6, -6, -6};
constexpr double kF1ExpanderTimes[kBandCount] = {20, 20, 15, 10, 8, 5, 4, 3, 2, 1};
constexpr double kF1LimiterGain[kBandCount] = {5, 5, 5, 5, 4.5, 4, 3.5, 3, 2.5, 2};
constexpr double kF1LimiterThreshold[kBandCount] = {8, 7, 6, 4, 3, 2, 1, 0, -1, -2};
constexpr double kF1LimiterAttack[kBandCount] = {50, 25, 12, 7, 6, 5, 4, 3, 2, 1};
constexpr double kF1LimiterRelease[kBandCount] = {70, 70, 30, 20, 15, 10, 8, 6, 4, 2};
constexpr double kF1SaturatorClip[kBandCount] = {10, 9, 8, 6, 5, 5, 5, 5, 5, 5};

Family row(const char* keyFormat, const double (&values)[kBandCount]) {
    Family family{keyFormat, {}};
    for (int band = 0; band < kBandCount; ++band) family.values[band] = values[band];
    return family;
}

Family flat(const char* keyFormat, double value) {
    Family family{keyFormat, {}};
    for (double& v : family.values) v = value;
    return family;
}

const std::vector<BandSingle> kUsualSingles = {
    {"Compressor.PeakDetect", 0}, {"Limiter.PeakDetect", 1}, {"10BandEQ.Preamp.dB", 0}, {"Saturator.Refilter", 0}};

std::vector<PresetDesign> designs() {
    std::vector<PresetDesign> all;

    // F1, FM Stereo 1: the reference sound and the startup preset of a fresh installation.
    all.push_back({"FM Stereo 1", 0,
                   {row("Compressor.Gain%d.dB", {6.0, 7.0, 8.0, 9.0, 9.5, 9.5, 9.0, 8.5, 8.0, 8.0}),
                    flat("Compressor.Ratio%d", 2.0), flat("Compressor.Threshold%d.dB", -6.0),
                    row("Compressor.Lookahead%d.msec", kF1CompressorLookahead),
                    row("Compressor.Attack%d.msec", kF1CompressorAttack), flat("Compressor.Release%d.msec", 50),
                    row("10BandEQ.Band%d.dB", {1.8, 1.8, 1.5, 1.2, 0.8, 0.4, 0.0, 0.0, 0.0, 0.0}),
                    flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 5.0),
                    row("Expander.Threshold%d.dB", kF1ExpanderThreshold), row("Expander.Attack%d.msec", kF1ExpanderTimes),
                    row("Expander.Release%d.msec", kF1ExpanderTimes), row("Limiter.Gain%d.dB", kF1LimiterGain),
                    row("Limiter.Threshold%d.dB", kF1LimiterThreshold), flat("Limiter.Lookahead%d.msec", 2),
                    row("Limiter.Attack%d.msec", kF1LimiterAttack), row("Limiter.Release%d.msec", kF1LimiterRelease),
                    flat("Saturator.Level%d.%%", 0), flat("Saturator.Gain%d.dB", 0.0),
                    row("Saturator.Clip%d.dB", kF1SaturatorClip), flat("Saturator.Clip%d.Enable", 1)},
                   kUsualSingles});

    // F2, FM Stereo 2: F1 made gentler, at about F1's loudness, so more of a recording's
    // loudness range survives. The compressor only rounds off (ratio 1.3 from 0 dB, slow 500 ms
    // recovery) behind its band gains; the band limiters sit 2 dB higher than F1's and are
    // driven 4 to 4.5 dB less (which also makes up for the final limiter's 2 dB more drive), and
    // the clippers sit 1 dB higher. The expander works as in F1, keeping quiet passages quiet.
    // The graphic EQ is off; if switched on it gives a milder version of F1's low-end lift.
    all.push_back({"FM Stereo 2", 0,
                   {flat("Compressor.Gain%d.dB", 9.0), flat("Compressor.Ratio%d", 1.3),
                    flat("Compressor.Threshold%d.dB", 0.0), row("Compressor.Lookahead%d.msec", kF1CompressorLookahead),
                    row("Compressor.Attack%d.msec", kF1CompressorAttack), flat("Compressor.Release%d.msec", 500),
                    row("10BandEQ.Band%d.dB", {1.2, 1.2, 1.0, 0.8, 0.5, 0.2, 0.0, 0.0, 0.0, 0.0}),
                    flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 5.0),
                    row("Expander.Threshold%d.dB", kF1ExpanderThreshold), row("Expander.Attack%d.msec", kF1ExpanderTimes),
                    row("Expander.Release%d.msec", kF1ExpanderTimes),
                    row("Limiter.Gain%d.dB", {0.5, 0.5, 0.5, 0.5, 0.0, -0.5, -1.0, -1.5, -2.0, -2.0}),
                    row("Limiter.Threshold%d.dB", {10, 9, 8, 6, 5, 4, 3, 2, 1, 0}), flat("Limiter.Lookahead%d.msec", 2),
                    row("Limiter.Attack%d.msec", kF1LimiterAttack),
                    row("Limiter.Release%d.msec", {100, 100, 45, 30, 22, 15, 12, 9, 6, 3}),
                    flat("Saturator.Level%d.%%", 0), flat("Saturator.Gain%d.dB", 0.0),
                    row("Saturator.Clip%d.dB", {11, 10, 9, 7, 6, 6, 6, 6, 6, 6}), flat("Saturator.Clip%d.Enable", 1)},
                   kUsualSingles});

    // F3, FM Stereo Loud: the loudest and densest. Compression at ratio 2.5 with twice F1's
    // attack speed and a quick recovery; the band limiters are driven 5 dB harder than F1's
    // against thresholds 1 dB lower, so they ride every band; a little square-root saturation
    // (less in the top bands, where it would turn harsh) and band clippers 1 dB lower add
    // density, and the re-filter (this preset uses the reverse-cascaded bank) takes the
    // harmonics they make back out of each band. The expander only gates deep pauses, so quiet
    // passages stay up.
    all.push_back({"FM Stereo Loud", -1,
                   {flat("Compressor.Gain%d.dB", 18.0), flat("Compressor.Ratio%d", 2.5),
                    flat("Compressor.Threshold%d.dB", -6.0), row("Compressor.Lookahead%d.msec", kF1CompressorLookahead),
                    row("Compressor.Attack%d.msec", {400, 300, 200, 150, 100, 75, 50, 40, 25, 10}),
                    flat("Compressor.Release%d.msec", 40),
                    row("10BandEQ.Band%d.dB", {2.0, 2.0, 1.5, 1.0, 0.5, 0.0, 0.5, 1.0, 1.0, 0.5}),
                    flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 3.0),
                    row("Expander.Threshold%d.dB", {-4, -6, -8, -9, -10, -10, -10, -10, -10, -10}),
                    row("Expander.Attack%d.msec", kF1ExpanderTimes), row("Expander.Release%d.msec", kF1ExpanderTimes),
                    row("Limiter.Gain%d.dB", {10.0, 10.0, 10.0, 10.0, 9.5, 9.0, 8.5, 8.0, 7.5, 7.0}),
                    row("Limiter.Threshold%d.dB", {7, 6, 5, 3, 2, 1, 0, -1, -2, -3}), flat("Limiter.Lookahead%d.msec", 2),
                    row("Limiter.Attack%d.msec", kF1LimiterAttack), row("Limiter.Release%d.msec", kF1LimiterRelease),
                    row("Saturator.Level%d.%%", {15, 15, 15, 15, 12, 12, 8, 8, 8, 8}), flat("Saturator.Gain%d.dB", 0.0),
                    row("Saturator.Clip%d.dB", {9, 8, 7, 5, 4, 4, 4, 4, 4, 4}), flat("Saturator.Clip%d.Enable", 1)},
                   {{"Compressor.PeakDetect", 0}, {"Limiter.PeakDetect", 1}, {"10BandEQ.Preamp.dB", 0},
                    {"Saturator.Refilter", 1}}});

    // F4, AM Radio: mono and band-limited by its switches and its 5.5 kHz lowpass; dense through
    // ratio 3 and faster attacks than F1. The graphic EQ is shaped for speech on small receivers:
    // the lowest octaves (which an AM set cannot reproduce and which would only eat modulation)
    // are cut, presence around 1-4 kHz is lifted for intelligibility, and the top bands, which the
    // 5.5 kHz lowpass removes anyway, are pulled down so they do not drive the limiters.
    all.push_back({"AM Radio", 0,
                   {row("Compressor.Gain%d.dB", {9.0, 10.0, 11.0, 12.0, 12.5, 12.5, 12.0, 11.5, 11.0, 11.0}),
                    flat("Compressor.Ratio%d", 3.0), flat("Compressor.Threshold%d.dB", -6.0),
                    row("Compressor.Lookahead%d.msec", kF1CompressorLookahead),
                    row("Compressor.Attack%d.msec", {600, 450, 300, 200, 150, 100, 60, 40, 25, 10}),
                    flat("Compressor.Release%d.msec", 50),
                    row("10BandEQ.Band%d.dB", {-6.0, -3.0, 0.0, 0.0, 0.5, 1.5, 2.5, 3.0, -3.0, -12.0}),
                    flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 5.0),
                    row("Expander.Threshold%d.dB", kF1ExpanderThreshold), row("Expander.Attack%d.msec", kF1ExpanderTimes),
                    row("Expander.Release%d.msec", kF1ExpanderTimes), row("Limiter.Gain%d.dB", kF1LimiterGain),
                    row("Limiter.Threshold%d.dB", kF1LimiterThreshold), flat("Limiter.Lookahead%d.msec", 2),
                    row("Limiter.Attack%d.msec", kF1LimiterAttack), row("Limiter.Release%d.msec", kF1LimiterRelease),
                    flat("Saturator.Level%d.%%", 0), flat("Saturator.Gain%d.dB", 0.0),
                    row("Saturator.Clip%d.dB", kF1SaturatorClip), flat("Saturator.Clip%d.Enable", 1)},
                   kUsualSingles});

    // F5, Normalizer: one loudness for everything. The AGC lifts quiet programme; behind it each
    // band's compressor works as a leveller (ratio 10 from -20 dB, 30 ms attack against its
    // lookahead, 3 s recovery, so the gain holds through the pauses of speech instead of
    // breathing), and the limiters' 14 dB pre-gain brings the levelled bands back up. Passages
    // quieter than the levelling point keep their distance, so wide-range music stays wide. The
    // band limiters catch peaks only (instant attack, thresholds well above the levelled
    // bands), because with the final clipper off nothing else would stop the peaks that the
    // final limiter's 20 ms attack lets through from reaching the output clamp. The dynamic EQ
    // keeps the balance; expander, saturator and graphic EQ are off and left neutral (light
    // expander, clippers near the top of their range, flat EQ).
    all.push_back({"Normalizer", 0,
                   {row("Compressor.Gain%d.dB", {0.0, 1.0, 2.0, 3.0, 3.5, 3.5, 3.0, 2.5, 2.0, 2.0}),
                    flat("Compressor.Ratio%d", 10.0), flat("Compressor.Threshold%d.dB", -20.0),
                    row("Compressor.Lookahead%d.msec", kF1CompressorLookahead), flat("Compressor.Attack%d.msec", 30),
                    flat("Compressor.Release%d.msec", 3000), flat("10BandEQ.Band%d.dB", 0.0),
                    flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 2.0),
                    row("Expander.Threshold%d.dB", kF1ExpanderThreshold), row("Expander.Attack%d.msec", kF1ExpanderTimes),
                    row("Expander.Release%d.msec", kF1ExpanderTimes), flat("Limiter.Gain%d.dB", 14.0),
                    flat("Limiter.Threshold%d.dB", 8.0), flat("Limiter.Lookahead%d.msec", 2),
                    flat("Limiter.Attack%d.msec", 0),
                    row("Limiter.Release%d.msec", {140, 140, 60, 40, 30, 20, 16, 12, 8, 4}),
                    flat("Saturator.Level%d.%%", 0), flat("Saturator.Gain%d.dB", 0.0), flat("Saturator.Clip%d.dB", 12.0),
                    flat("Saturator.Clip%d.Enable", 0)},
                   kUsualSingles});

    // F6, Vol Normalizer: F5's levelling for volume only. No band gain and no dynamic EQ, and the
    // same levelling point in every band, so the programme's own balance is changed as little
    // as levelling allows; the limiters' pre-gain is 1 dB more than F5's to make up for the
    // band gains it lacks, and their thresholds 1 dB higher to match.
    all.push_back({"Vol Normalizer", 0,
                   {flat("Compressor.Gain%d.dB", 0.0), flat("Compressor.Ratio%d", 10.0),
                    flat("Compressor.Threshold%d.dB", -20.0), row("Compressor.Lookahead%d.msec", kF1CompressorLookahead),
                    flat("Compressor.Attack%d.msec", 30), flat("Compressor.Release%d.msec", 3000),
                    flat("10BandEQ.Band%d.dB", 0.0), flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 2.0),
                    row("Expander.Threshold%d.dB", kF1ExpanderThreshold), row("Expander.Attack%d.msec", kF1ExpanderTimes),
                    row("Expander.Release%d.msec", kF1ExpanderTimes), flat("Limiter.Gain%d.dB", 15.0),
                    flat("Limiter.Threshold%d.dB", 9.0), flat("Limiter.Lookahead%d.msec", 2),
                    flat("Limiter.Attack%d.msec", 0),
                    row("Limiter.Release%d.msec", {140, 140, 60, 40, 30, 20, 16, 12, 8, 4}),
                    flat("Saturator.Level%d.%%", 0), flat("Saturator.Gain%d.dB", 0.0), flat("Saturator.Clip%d.dB", 12.0),
                    flat("Saturator.Clip%d.Enable", 0)},
                   kUsualSingles});

    // F7, CD (No Proc): every stage is off; the band stages are also neutral in themselves
    // (ratio 1 compressor and expander, limiters and clippers at the top of their range, no
    // saturation, flat EQ), so switching one on by hand still changes nothing.
    all.push_back({"CD (No Proc)", -3,
                   {flat("Compressor.Gain%d.dB", 0.0), flat("Compressor.Ratio%d", 1.0),
                    flat("Compressor.Threshold%d.dB", 0.0), flat("Compressor.Lookahead%d.msec", 5),
                    flat("Compressor.Attack%d.msec", 10), flat("Compressor.Release%d.msec", 500),
                    flat("10BandEQ.Band%d.dB", 0.0), flat("10BandEQ.Band%d.Mute", 0), flat("Expander.Ratio%d", 1.0),
                    flat("Expander.Threshold%d.dB", -6.0), flat("Expander.Attack%d.msec", 10),
                    flat("Expander.Release%d.msec", 500), flat("Limiter.Gain%d.dB", 0.0),
                    flat("Limiter.Threshold%d.dB", 24.0), flat("Limiter.Lookahead%d.msec", 5),
                    flat("Limiter.Attack%d.msec", 10), flat("Limiter.Release%d.msec", 500),
                    flat("Saturator.Level%d.%%", 0), flat("Saturator.Gain%d.dB", 0.0), flat("Saturator.Clip%d.dB", 24.0),
                    flat("Saturator.Clip%d.Enable", 0)},
                   {{"Compressor.PeakDetect", 0}, {"Limiter.PeakDetect", 0}, {"10BandEQ.Preamp.dB", 0},
                    {"Saturator.Refilter", 0}}});
    return all;
}

// Sets the live values of one design and returns the keys it named.
std::set<std::string> applyDesign(int preset, const PresetDesign& design) {
    std::set<std::string> named;
    for (const ColumnRow& column : kColumns) {
        paramsrig::setLive(column.key, column.values[preset]);
        named.insert(column.key);
    }
    for (const Family& family : design.families) {
        for (int band = 0; band < kBandCount; ++band) {
            char key[sizeof ParamEntry::key];
            std::snprintf(key, sizeof key, family.keyFormat, band + 1);
            paramsrig::setLive(key, family.values[band]);
            named.insert(key);
        }
    }
    for (const BandSingle& single : design.singles) {
        paramsrig::setLive(single.key, single.value);
        named.insert(single.key);
    }
    std::snprintf(PluginEngine().live.presetName, sizeof PluginEngine().live.presetName, "%s", design.name);
    PluginEngine().presets.baseFactoryPreset = design.base;
    return named;
}

// "F1.txt" ... "F7.txt": the resource's file name, also written into its header.
std::string factoryFileName(int preset) {
    char name[16];
    std::snprintf(name, sizeof name, "F%d.txt", preset + 1);
    return name;
}

std::string presetPath(int preset) { return std::string(DRELVANT_SOURCE_DIR) + "/resources/presets/" + factoryFileName(preset); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text of a factory resource as the module carries it.
std::string factoryText(int index) {
    EXPECT_TRUE(LoadFactoryText(PluginEngine().text, index));
    return PluginEngine().text.text;
}

// F1's key lines typed by hand, value by value, in registration order.
std::vector<std::string> f1ExpectedKeyLines() {
    std::vector<std::pair<std::string, std::string>> pairs;
    auto add = [&](const char* key, const char* value) { pairs.emplace_back(key, value); };
    auto family = [&](const char* keyFormat, std::vector<const char*> values) {
        for (int band = 0; band < kBandCount; ++band) {
            char key[64];
            std::snprintf(key, sizeof key, keyFormat, band + 1);
            pairs.emplace_back(key, values[band]);
        }
    };
    add("General.Name", "FM Stereo 1");
    add("General.BaseFactoryPreset", "0");
    // console
    add("General.MainBypass", "0");
    add("General.HighpassFilter.Active", "0");
    add("General.StereoImageProc.Active", "1");
    add("General.AGC.Active", "1");
    add("General.3BandEQ.Active", "0");
    add("General.Processor.Active", "1");
    add("General.DynamicEQ.Active", "1");
    add("General.Compressor.Active", "1");
    add("General.Expander.Active", "1");
    add("General.Limiter.Active", "1");
    add("General.Saturator.Active", "1");
    add("General.10BandEQ.Active", "1");
    add("General.FinalLimiter.Active", "1");
    add("General.FinalClipper.Active", "1");
    add("General.LowpassFilter.Active", "0");
    add("General.QuantizationDither.Active", "1");
    add("General.DensityDrive.dB", "0.0");
    add("General.PostAmp.dB", "0.0");
    // advanced
    family("Processor.Detect%d.msec", {"50", "25", "16", "8", "4", "2", "1", "1", "1", "1"});
    add("AGC.Detect.LowBand.msec", "50");
    add("AGC.Detect.HighBand.msec", "25");
    add("FinalLimiter.Detect.msec", "20");
    add("HighpassFilter.Cutoff.Hz", "20");
    // stereo image
    add("StereoImageProc.Mono", "0");
    add("StereoImageProc.Amount.%", "25");
    add("StereoImageProc.Detect1.msec", "50");
    add("StereoImageProc.Detect2.msec", "500");
    add("StereoImageProc.MaxEnhance.dB", "4");
    // AGC
    add("AGC.Level.%", "85");
    add("AGC.MaxGain.dB", "25");
    add("AGC.Crossover", "200");
    add("AGC.BandLink.%", "50");
    add("AGC.Attack.LowBand.msec", "500");
    add("AGC.Release.LowBand.msec", "1500");
    add("AGC.Gain.LowBand.dB", "0.0");
    add("AGC.Attack.HighBand.msec", "500");
    add("AGC.Release.HighBand.msec", "1500");
    add("AGC.Gain.HighBand.dB", "-1.0");
    add("AGC.SingleBand", "1");
    // three-band EQ
    add("3BandEQ.Band1.dB", "0.0");
    add("3BandEQ.Band2.dB", "0.0");
    add("3BandEQ.Band3.dB", "0.0");
    add("3BandEQ.Band1.Mute", "0");
    add("3BandEQ.Band2.Mute", "0");
    add("3BandEQ.Band3.Mute", "0");
    add("3BandEQ.Crossover.L-M", "880");
    add("3BandEQ.Crossover.M-H", "5000");
    // processor and dynamic EQ
    add("Processor.CascadedFilters", "1");
    add("Processor.NarrowBandwidth", "0");
    add("DynamicEQ.Speed.msec", "2000");
    add("DynamicEQ.Amount.%", "80");
    add("DynamicEQ.MaxEnhance.dB", "10");
    // compressor
    family("Compressor.Gain%d.dB", {"6.0", "7.0", "8.0", "9.0", "9.5", "9.5", "9.0", "8.5", "8.0", "8.0"});
    family("Compressor.Ratio%d", {"2.0", "2.0", "2.0", "2.0", "2.0", "2.0", "2.0", "2.0", "2.0", "2.0"});
    family("Compressor.Threshold%d.dB", {"-6.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0"});
    family("Compressor.Lookahead%d.msec", {"30", "30", "20", "20", "20", "20", "15", "16", "10", "10"});
    family("Compressor.Attack%d.msec", {"800", "600", "400", "300", "200", "150", "100", "80", "45", "10"});
    family("Compressor.Release%d.msec", {"50", "50", "50", "50", "50", "50", "50", "50", "50", "50"});
    add("Compressor.PeakDetect", "0");
    // expander
    family("Expander.Ratio%d", {"5.0", "5.0", "5.0", "5.0", "5.0", "5.0", "5.0", "5.0", "5.0", "5.0"});
    family("Expander.Threshold%d.dB", {"0.0", "-2.0", "-4.0", "-5.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0", "-6.0"});
    family("Expander.Attack%d.msec", {"20", "20", "15", "10", "8", "5", "4", "3", "2", "1"});
    family("Expander.Release%d.msec", {"20", "20", "15", "10", "8", "5", "4", "3", "2", "1"});
    // limiter
    family("Limiter.Gain%d.dB", {"5.0", "5.0", "5.0", "5.0", "4.5", "4.0", "3.5", "3.0", "2.5", "2.0"});
    family("Limiter.Threshold%d.dB", {"8.0", "7.0", "6.0", "4.0", "3.0", "2.0", "1.0", "0.0", "-1.0", "-2.0"});
    family("Limiter.Lookahead%d.msec", {"2", "2", "2", "2", "2", "2", "2", "2", "2", "2"});
    family("Limiter.Attack%d.msec", {"50", "25", "12", "7", "6", "5", "4", "3", "2", "1"});
    family("Limiter.Release%d.msec", {"70", "70", "30", "20", "15", "10", "8", "6", "4", "2"});
    add("Limiter.PeakDetect", "1");
    // saturator
    family("Saturator.Level%d.%%", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0"});
    family("Saturator.Gain%d.dB", {"0.0", "0.0", "0.0", "0.0", "0.0", "0.0", "0.0", "0.0", "0.0", "0.0"});
    family("Saturator.Clip%d.dB", {"10.0", "9.0", "8.0", "6.0", "5.0", "5.0", "5.0", "5.0", "5.0", "5.0"});
    family("Saturator.Clip%d.Enable", {"1", "1", "1", "1", "1", "1", "1", "1", "1", "1"});
    add("Saturator.Refilter", "0");
    // ten-band EQ
    add("10BandEQ.Preamp.dB", "0.0");
    family("10BandEQ.Band%d.dB", {"1.8", "1.8", "1.5", "1.2", "0.8", "0.4", "0.0", "0.0", "0.0", "0.0"});
    family("10BandEQ.Band%d.Mute", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0"});
    // final limiter, final clipper, lowpass
    add("FinalLimiter.Drive.dB", "-8.0");
    add("FinalLimiter.Threshold.dB", "-0.1");
    add("FinalLimiter.Lookahead.msec", "2");
    add("FinalLimiter.Attack.msec", "20");
    add("FinalLimiter.Release.msec", "20");
    add("FinalLimiter.PeakDetect", "1");
    add("FinalClipper.Complex", "0");
    add("FinalClipper.Drive.dB", "-1.0");
    add("FinalClipper.Threshold.dB", "-0.1");
    add("LowpassFilter.Cutoff.Hz", "16984");

    std::vector<std::string> lines;
    for (const auto& [key, value] : pairs) {
        const std::size_t padding = key.size() < 30 ? 30 - key.size() : 1;
        lines.push_back(key + std::string(padding, ' ') + " = " + value);
    }
    return lines;
}

const char* const kFactoryNames[kPresets] = {"FM Stereo 1", "FM Stereo 2", "FM Stereo Loud", "AM Radio",
                                             "Normalizer",  "Vol Normalizer", "CD (No Proc)"};
const char* const kFactoryBaseLines[kPresets] = {"0", "0", "-1", "0", "0", "0", "-3"};

}  // namespace

TEST(FactoryPresetTexts, ResourcesAreTheDesignsWrittenAsSavePresetWrites) {
    BuiltRegistry registry;
    const bool writeFiles = std::getenv("DRELVANT_WRITE_FACTORY_PRESETS") != nullptr;
    const std::vector<PresetDesign> all = designs();
    for (int preset = 0; preset < kPresets; ++preset) {
        std::memset(PluginEngine().text.text, 0, sizeof PluginEngine().text.text);
        ApplyText(PluginEngine(), true);  // registered defaults everywhere first
        const std::set<std::string> named = applyDesign(preset, all[preset]);
        // Keys added after a design was made keep their registered defaults in it.
        EXPECT_LE(named.size(), static_cast<std::size_t>(model::presetKeyCount())) << "F" << preset + 1;
        const std::string fileName = factoryFileName(preset);
        BuildPresetText(PluginEngine(), fileName.c_str());
        const std::string built = PluginEngine().text.text;
        if (writeFiles) {
            std::ofstream(presetPath(preset), std::ios::binary) << built;
        }
        EXPECT_EQ(readFile(presetPath(preset)), built) << fileName;
        EXPECT_EQ(factoryText(preset), built) << fileName << " as embedded in the module";
    }
}

TEST(FactoryPresetTexts, EveryResourceHasTheFormatOfAPresetFile) {
    for (int preset = 0; preset < kPresets; ++preset) {
        const std::string text = factoryText(preset);
        ASSERT_LE(text.size(), 16383u);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        const std::vector<std::string> lines = paramsrig::lines(text);
        ASSERT_EQ(lines.size(), 4u + 2u + model::presetKeyCount()) << "F" << preset + 1;
        EXPECT_EQ(lines[0], "Drelvant");
        EXPECT_EQ(lines[1], "This is a preset file for Drelvant v1.20");
        EXPECT_EQ(lines[2], "Filename: " + factoryFileName(preset));
        EXPECT_EQ(lines[3], std::string(41, '-'));
        EXPECT_EQ(lines[4], std::string("General.Name                   = ") + kFactoryNames[preset]);
        EXPECT_EQ(lines[5], std::string("General.BaseFactoryPreset      = ") + kFactoryBaseLines[preset]);
        for (const std::string& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    EXPECT_FALSE(LoadFactoryText(PluginEngine().text, 7));  // F8 ... F10 have no resource
    EXPECT_FALSE(LoadFactoryText(PluginEngine().text, -1));
}

TEST(FactoryPresetTexts, F1MatchesItsTablesLineByLine) {
    BuiltRegistry registry;
    const std::vector<std::string> lines = paramsrig::lines(factoryText(0));
    const std::vector<std::string> expected = f1ExpectedKeyLines();
    ASSERT_EQ(lines.size(), 4u + 2u + model::presetKeyCount());
    // The lines of the tables in their order; any other line is a key added since, which the text
    // holds at its registered default.
    std::size_t next = 0;
    for (std::size_t i = 4; i < lines.size(); ++i) {
        if (next < expected.size() && lines[i] == expected[next]) {
            ++next;
            continue;
        }
        const std::string key = lines[i].substr(0, lines[i].find(' '));
        const ParamEntry* param = paramsrig::findParam(key.c_str());
        ASSERT_NE(param, nullptr) << "key line " << i - 3 << ": " << lines[i];
        EXPECT_EQ(std::stod(lines[i].substr(lines[i].find("= ") + 2)), param->defaultValue) << lines[i];
    }
    EXPECT_EQ(next, expected.size()) << "first table line not in F1: " << (next < expected.size() ? expected[next] : "");
}

TEST(FactoryPresetTexts, LoadingAFactoryPresetGivesItsDesign) {
    BuiltRegistry registry;
    LoadPreset(PluginEngine(), -2);
    EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo Loud");
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, -2.0);  // its own number, not the base line of the resource
    EXPECT_EQ(liveValue("Compressor.Gain7.dB"), 18.0);
    EXPECT_EQ(liveValue("FinalLimiter.Drive.dB"), -10.0);
    EXPECT_EQ(liveValue("StereoImageProc.MaxEnhance.dB"), 10.0);
    EXPECT_EQ(liveValue("General.DynamicEQ.Active"), 0.0);
    LoadPreset(PluginEngine(), -3);
    EXPECT_EQ(liveValue("StereoImageProc.Mono"), 1.0);
    EXPECT_EQ(liveValue("LowpassFilter.Cutoff.Hz"), 5487.0);
    LoadPreset(PluginEngine(), -6);
    EXPECT_STREQ(PluginEngine().live.presetName, "CD (No Proc)");
    EXPECT_EQ(liveValue("General.QuantizationDither.Active"), 0.0);
    EXPECT_EQ(liveValue("AGC.Detect.LowBand.msec"), 400.0);
}
