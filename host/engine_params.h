// The engine described through the host API: its windows, every parameter with every field of
// its description, the values under the current setting, and settings applied as KEY=VALUE pairs.
// Faces (the command-line program, the LV2 plug-in, a remote console) learn what the engine has
// here instead of keeping lists of their own.
//
// Threads: the descriptions never change and may be read on any thread; paramValues and
// applySettings are control-thread calls, as the load functions of host/engine_api.h are.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Engine;

// A window of the plug-in, in registration order.
struct EngineWindowInfo {
    std::string name;   // "10_Band_Compressor"; the settings keep its place as "Window.<name>.X"
    std::string title;  // its caption, "Drelvant - 10 Band Compressor"
    int templateId;     // its dialog template
    int openButton;     // the console's button that shows it; 0 = none
};

// A stage the console switches, in the console's (and the chain's) order.
struct EngineStageInfo {
    std::string name;       // "10_Band_Compressor"
    std::string switchKey;  // "General.Compressor.Active"
    std::string window;     // the window its row opens; empty when it has none
    std::string caption;    // the console row's text, "- Compressor"
    bool indented;          // a stage inside the ten-band processor
    int chainPosition;      // its place in the chain, 0 = the first stage a sample meets
    bool pauseResets;       // a pause of more than 6 s clears its memories
    bool addsLatency;       // it may delay the output (stageLatencyFrames tells by how much)
    std::vector<std::string> meters;  // its meters by name (meterInfo of host/engine_api.h)
};

enum class EngineParamKind { kSlider, kSwitch, kMeter };

// Where a keyed value is kept.
enum class EngineParamStorage {
    kPreset,        // every preset and the settings file
    kSettingsOnly,  // only the settings file, never a preset
    kNowhere,       // meters and the test-tone controls: working values, never stored
};

// One registered parameter. Ranges, defaults and values are in the value's own unit (a
// logarithmic frequency slider's in Hz, a switch's 0 ... 1, a meter's its full scale).
struct EngineParamInfo {
    std::string key;     // settings key; empty for a parameter that is never stored
    std::string window;  // name of the window that shows it
    EngineParamKind kind;
    std::string unit;    // "dB", "ms", "%", "Hz", "ratio", or empty
    double minimum, maximum;
    double defaultValue;  // registered default (what a missing key loads as)
    int decimals;         // digits after the point that are shown and stored
    bool logarithmic;     // a frequency slider: 1/100 octave per position
    double tickSpacing, lineStep, pageStep;  // slider steps (logarithmic sliders: in positions)
    bool horizontal;      // a horizontal slider
    int controlId, labelId;  // the window's control and value label (0 = none)
    int consoleRow;       // the console row of a stage switch, 0 ... ; -1 = not a console row
    std::string lv2Symbol;  // its LV2 control port, empty when it has none
    std::string lv2Name;    // that port's name, "Highpass filter"
    EngineParamStorage storage;
};

const char* engineParamKindText(EngineParamKind kind);        // "slider", "switch", "meter"
const char* engineParamStorageText(EngineParamStorage storage);  // "preset", "settings", "none"

// Every window, and every parameter in registration order (the order of a preset's lines).
const std::vector<EngineWindowInfo>& engineWindows();
const std::vector<EngineParamInfo>& engineParams();
const std::vector<EngineStageInfo>& engineStages();
// Frames stage `stage` (an index in engineStages()) delays the output under the settings last
// loaded or set; 0 while it is off. Control thread, as latencyFrames.
int64_t stageLatencyFrames(const Engine& engine, int stage);
// The index of a keyed parameter in engineParams(), or -1.
int engineParamIndex(const std::string& key);
// Up to `count` keys of engineParams() nearest to `key` (fewest edits, case ignored), nearest first.
std::vector<std::string> nearestParamKeys(const std::string& key, int count);

// The value of every parameter under the current setting, in engineParams() order (switches 0
// or 1; meters as last written).
std::vector<double> paramValues(Engine& engine);

// Applies KEY=VALUE pairs on top of the current setting, whole, through the same path as the keys
// of a preset file: every value is read as a preset file's value is read (single precision) and
// the stages guard it as they guard a file's. Nothing is applied when any pair is refused: a key
// that is not a stored parameter of a preset (the error names the nearest keys), a value that is
// not a number. With kLikePresetLoad the next block starts from cleared filter memories, as after
// a preset load (`process --set`); with kKeepFilterMemories the values and the filter designs
// they need are handed to the audio thread whole, as setValue hands one value over, and the
// filters run on from where they stand (a console's slider move).
using SettingPair = std::pair<std::string, std::string>;
enum class ApplyMode { kLikePresetLoad, kKeepFilterMemories };
bool applySettings(Engine& engine, const std::vector<SettingPair>& pairs, std::string* error,
                   ApplyMode mode = ApplyMode::kLikePresetLoad);
// The checks of applySettings alone: true when every pair would be taken.
bool checkSettings(const std::vector<SettingPair>& pairs, std::string* error);
// Splits "KEY=VALUE" (blanks around either side dropped); false when there is no "=" or no key.
bool parseSettingPair(const std::string& text, SettingPair* pair);
