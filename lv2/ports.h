// The LV2 plug-in's ports: one table read by the plug-in and by the Turtle writer, so the port
// indices, symbols and ranges the hosts read are the ones run() uses.
#pragma once

#include <cstdint>

namespace lv2port {

// Plug-in identities, kept forever once released.
constexpr const char* kStereoUri = "urn:drelvant:lv2:stereo";
constexpr const char* kMonoUri = "urn:drelvant:lv2:mono";
// Properties and state keys of this plug-in.
constexpr const char* kSettingsTextKey = "urn:drelvant:lv2:settings";
constexpr const char* kPresetFileKey = "urn:drelvant:lv2:presetFile";

enum ControlKind : int32_t {
    kEnabled,      // host bypass (lv2:enabled designation)
    kPresetChoice, // factory preset enumeration F1 ... F7
    kSwitch,       // a console stage switch, a registry check box
    kGain,         // a console gain in dB, a registry slider
    kLevelMeter,   // output: peak level in dBFS
    kGainMeter,    // output: a gain or gain reduction in dB
    kLatency,      // output: latency in frames at the host's rate
    kCeilingSwitch, // the true-peak ceiling after the chain, on or off
    kCeilingLevel,  // its ceiling in dBTP
};

struct ControlPort {
    const char* symbol;
    const char* name;
    ControlKind kind;
    const char* key;       // registry key of console controls, nullptr otherwise
    double minimum, maximum;
};

constexpr int kFactoryPresetCount = 7;
constexpr int kBandCount = 10;

// Input controls first, then output controls; indices follow the audio ports.
constexpr ControlPort kControls[] = {
    {"enabled", "Enabled", kEnabled, nullptr, 0, 1},
    {"preset", "Factory preset", kPresetChoice, nullptr, 1, kFactoryPresetCount},
    {"highpass", "Highpass filter", kSwitch, "General.HighpassFilter.Active", 0, 1},
    {"stereo_image", "Stereo image", kSwitch, "General.StereoImageProc.Active", 0, 1},
    {"agc", "AGC", kSwitch, "General.AGC.Active", 0, 1},
    {"eq3", "3-band EQ", kSwitch, "General.3BandEQ.Active", 0, 1},
    {"processor", "10-band processor", kSwitch, "General.Processor.Active", 0, 1},
    {"dynamic_eq", "Dynamic EQ", kSwitch, "General.DynamicEQ.Active", 0, 1},
    {"compressor", "Compressor", kSwitch, "General.Compressor.Active", 0, 1},
    {"expander", "Expander", kSwitch, "General.Expander.Active", 0, 1},
    {"limiter", "Band limiter", kSwitch, "General.Limiter.Active", 0, 1},
    {"saturator", "Saturator", kSwitch, "General.Saturator.Active", 0, 1},
    {"eq10", "10-band EQ", kSwitch, "General.10BandEQ.Active", 0, 1},
    {"final_limiter", "Final limiter", kSwitch, "General.FinalLimiter.Active", 0, 1},
    {"final_clipper", "Final clipper", kSwitch, "General.FinalClipper.Active", 0, 1},
    {"lowpass", "Lowpass filter", kSwitch, "General.LowpassFilter.Active", 0, 1},
    {"dither", "Quantization dither", kSwitch, "General.QuantizationDither.Active", 0, 1},
    // The console sliders' registered ranges (a test holds them to the registry).
    {"density_drive", "Density drive", kGain, "General.DensityDrive.dB", -12, 36},
    {"post_amp", "Post amp", kGain, "General.PostAmp.dB", -24, 24},
    {"input_level", "Input level", kLevelMeter, nullptr, -90, 0},
    {"output_level", "Output level", kLevelMeter, nullptr, -90, 0},
    {"agc_low", "AGC low band gain", kGainMeter, nullptr, -30, 30},
    {"agc_high", "AGC high band gain", kGainMeter, nullptr, -30, 30},
    {"final_limiter_gr", "Final limiter gain reduction", kGainMeter, nullptr, 0, 30},
    {"final_clipper_gr", "Final clipper activity", kGainMeter, nullptr, 0, 30},
    {"band1_gr", "Band 1 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band2_gr", "Band 2 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band3_gr", "Band 3 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band4_gr", "Band 4 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band5_gr", "Band 5 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band6_gr", "Band 6 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band7_gr", "Band 7 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band8_gr", "Band 8 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band9_gr", "Band 9 gain reduction", kGainMeter, nullptr, 0, 30},
    {"band10_gr", "Band 10 gain reduction", kGainMeter, nullptr, 0, 30},
    {"latency", "Latency", kLatency, nullptr, 0, 1048576},
    // Appended after the message port (released indices stay where they are).
    {"ceiling_on", "True-peak ceiling", kCeilingSwitch, nullptr, 0, 1},
    {"ceiling", "Ceiling", kCeilingLevel, nullptr, -12, 0},
};
constexpr int kControlCount = static_cast<int>(sizeof kControls / sizeof kControls[0]);

// Positions in kControls the plug-in addresses by name.
constexpr int kEnabledControl = 0;
constexpr int kPresetControl = 1;
constexpr int kFirstConsoleControl = 2;
constexpr int kConsoleControlCount = 17;
constexpr int kInputLevelControl = kFirstConsoleControl + kConsoleControlCount;
constexpr int kOutputLevelControl = kInputLevelControl + 1;
constexpr int kAgcLowControl = kInputLevelControl + 2;
constexpr int kAgcHighControl = kInputLevelControl + 3;
constexpr int kFinalLimiterControl = kInputLevelControl + 4;
constexpr int kFinalClipperControl = kInputLevelControl + 5;
constexpr int kFirstBandControl = kInputLevelControl + 6;
constexpr int kLatencyControl = kFirstBandControl + kBandCount;
// The controls released before the message port; later ones come after it.
constexpr int kControlsBeforeMessagePort = kLatencyControl + 1;
constexpr int kCeilingSwitchControl = kControlsBeforeMessagePort;
constexpr int kCeilingLevelControl = kCeilingSwitchControl + 1;
static_assert(kCeilingLevelControl == kControlCount - 1, "the ceiling is the last control");

constexpr bool isInput(ControlKind kind) { return kind != kLevelMeter && kind != kGainMeter && kind != kLatency; }
constexpr bool isConsole(ControlKind kind) { return kind == kSwitch || kind == kGain; }

// The two variants: audio ports come first (inputs, then outputs), then the controls released
// first, then the atom port that takes patch messages (a preset file to load), then the controls
// added since.
struct Variant {
    const char* uri;
    const char* name;
    int channels;
};
constexpr Variant kVariants[] = {
    {kStereoUri, "Drelvant", 2},
    {kMonoUri, "Drelvant Mono", 1},
};

constexpr int audioPortCount(int channels) { return 2 * channels; }
constexpr int messagePortIndex(int channels) { return audioPortCount(channels) + kControlsBeforeMessagePort; }
constexpr int controlPortIndex(int channels, int control) {
    return audioPortCount(channels) + control + (control >= kControlsBeforeMessagePort ? 1 : 0);
}
constexpr int portCount(int channels) { return audioPortCount(channels) + kControlCount + 1; }

// The stereo-image switch acts on the difference of two channels: the mono plug-in keeps its port
// (indices stay) but hides it and does not read it.
constexpr int kStereoImageControl = kFirstConsoleControl + 1;
constexpr bool actsOn(int channels, int control) { return channels == 2 || control != kStereoImageControl; }

}  // namespace lv2port
