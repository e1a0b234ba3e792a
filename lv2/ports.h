// The LV2 plug-in's ports: one list read by the plug-in and by the Turtle writer, so the port
// indices, symbols and ranges the hosts read are the ones run() uses. Its console controls come
// from the engine's description (host/engine_params.h); the other ports are listed here.
#pragma once

#include <cstdint>
#include <vector>

#include "host/engine_params.h"

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

constexpr bool isConsole(ControlKind kind) { return kind == kSwitch || kind == kGain; }

struct ControlPort {
    const char* symbol;
    const char* name;
    ControlKind kind;
    const char* key;       // registry key of console controls, nullptr otherwise
    double minimum, maximum;
    const char* unit = ""; // console controls: the unit the engine gives ("dB" for the gains)
};

constexpr int kFactoryPresetCount = 7;
constexpr int kBandCount = 10;

// The console controls (stage switches and gains) are the parameters the engine's description
// gives an LV2 symbol. The ones released before the message port keep their places forever, in
// this order; any other is appended after every released port, in the description's order.
constexpr const char* kReleasedConsoleSymbols[] = {
    "highpass", "stereo_image", "agc", "eq3", "processor", "dynamic_eq", "compressor", "expander", "limiter",
    "saturator", "eq10", "final_limiter", "final_clipper", "lowpass", "dither", "density_drive", "post_amp",
};
constexpr int kReleasedConsoleCount = static_cast<int>(sizeof kReleasedConsoleSymbols / sizeof kReleasedConsoleSymbols[0]);

// The ports that are not console controls, in their places around them.
constexpr ControlPort kLeadingControls[] = {
    {"enabled", "Enabled", kEnabled, nullptr, 0, 1},
    {"preset", "Factory preset", kPresetChoice, nullptr, 1, kFactoryPresetCount},
};
constexpr ControlPort kMeterControls[] = {
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
};
// Appended after the message port (released indices stay where they are).
constexpr ControlPort kCeilingControls[] = {
    {"ceiling_on", "True-peak ceiling", kCeilingSwitch, nullptr, 0, 1},
    {"ceiling", "Ceiling", kCeilingLevel, nullptr, -12, 0},
};

// Positions in the control list the plug-in addresses by name.
constexpr int kEnabledControl = 0;
constexpr int kPresetControl = 1;
constexpr int kFirstConsoleControl = 2;
constexpr int kInputLevelControl = kFirstConsoleControl + kReleasedConsoleCount;
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
// Console controls added since the first release follow the ceiling.
constexpr int kFirstAppendedControl = kCeilingLevelControl + 1;
static_assert(kInputLevelControl - kFirstConsoleControl == kReleasedConsoleCount, "meters follow the released console");
static_assert(kControlsBeforeMessagePort ==
                  kFirstConsoleControl + kReleasedConsoleCount + static_cast<int>(sizeof kMeterControls / sizeof kMeterControls[0]),
              "the meters end with the latency");

// Room the plug-in keeps for its controls (console controls: one bit each in a 32-bit mask).
constexpr int kMaxConsoleControls = 32;
constexpr int kMaxControls = kFirstAppendedControl + kMaxConsoleControls - kReleasedConsoleCount;

// The control list: built once from the engine's description (on first use, a control-thread
// call; afterwards read-only on any thread).
struct ControlList {
    std::vector<ControlPort> controls;
    int consoleCount = 0;
    int consoleControl[kMaxConsoleControls] = {};  // control index of console control i
    bool fits = true;  // within kMaxControls and kMaxConsoleControls (else the plug-in refuses to start)
};

inline ControlList buildControlList() {
    ControlList list;
    const std::vector<EngineParamInfo>& params = engineParams();
    auto consolePort = [](const EngineParamInfo& param) {
        return ControlPort{param.lv2Symbol.c_str(), param.lv2Name.c_str(),
                           param.kind == EngineParamKind::kSwitch ? kSwitch : kGain, param.key.c_str(),
                           param.minimum, param.maximum, param.unit.c_str()};
    };
    auto add = [&](const ControlPort& port) {
        if (isConsole(port.kind)) {
            if (list.consoleCount == kMaxConsoleControls) {
                list.fits = false;
                return;
            }
            list.consoleControl[list.consoleCount++] = static_cast<int>(list.controls.size());
        }
        list.controls.push_back(port);
    };
    for (const ControlPort& port : kLeadingControls) add(port);
    for (const char* symbol : kReleasedConsoleSymbols) {
        const EngineParamInfo* found = nullptr;
        for (const EngineParamInfo& param : params) {
            if (param.lv2Symbol == symbol) found = &param;
        }
        // A released port the engine no longer has keeps its place and does nothing.
        add(found != nullptr ? consolePort(*found) : ControlPort{symbol, symbol, kSwitch, "", 0, 1});
    }
    for (const ControlPort& port : kMeterControls) add(port);
    for (const ControlPort& port : kCeilingControls) add(port);
    for (const EngineParamInfo& param : params) {
        if (param.lv2Symbol.empty()) continue;
        bool released = false;
        for (const char* symbol : kReleasedConsoleSymbols) released = released || param.lv2Symbol == symbol;
        if (!released) add(consolePort(param));
    }
    if (static_cast<int>(list.controls.size()) > kMaxControls) list.fits = false;
    return list;
}

inline const ControlList& controlList() {
    static const ControlList list = buildControlList();
    return list;
}
inline int controlCount() { return static_cast<int>(controlList().controls.size()); }

constexpr bool isInput(ControlKind kind) { return kind != kLevelMeter && kind != kGainMeter && kind != kLatency; }

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
inline int portCount(int channels) { return audioPortCount(channels) + controlCount() + 1; }

// The stereo-image switch acts on the difference of two channels: the mono plug-in keeps its port
// (indices stay) but hides it and does not read it.
constexpr int kStereoImageControl = kFirstConsoleControl + 1;
constexpr bool actsOn(int channels, int control) { return channels == 2 || control != kStereoImageControl; }

}  // namespace lv2port
