// What the console asks of a running engine: its windows and parameters with their fields and
// current values, values applied whole, presets, meters by name. One adapter file implements it
// over the engine's host API; the console's other files see only this.
//
// Threads: every call but readMeterValues and framesProcessed is a control call; the console
// makes them one at a time (under its own lock). readMeterValues and framesProcessed read without
// locks and may run on any thread at once with the audio.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cli {
struct HostedEngine;
}

namespace console {

struct EngineModel;

struct WindowInfo {
    std::string name;   // the registry's window name: "Main", "10_Band_Compressor", ...
    std::string title;  // the window's caption: "Drelvant - 10 Band Compressor"
};

struct ParamInfo {
    std::string key;     // settings key
    std::string window;  // WindowInfo::name
    std::string kind;    // "slider", "frequency" (logarithmic slider, value in Hz) or "switch"
    std::string unit;    // from the key's last part: "dB", "msec", "%", "Hz", "" ...
    std::string caption; // the control's text in its window, where it has one
    double minValue = 0, maxValue = 0;  // in the value's unit (switches 0 ... 1)
    double defaultValue = 0;
    int decimals = 0;    // digits of the value label (frequency sliders: 0)
    double tickSpacing = 0, lineStep = 0, pageStep = 0;  // in the value's unit
    double value = 0;    // current (switches 0 or 1)
};

struct EngineFacts {
    std::string version;
    std::string presetNumber;  // "F1" ... "F7", "1" ... "99"; empty for a preset file
    std::string presetName;
    int engineRate = 44100;
    int64_t latencyFrames = 0;
    uint64_t framesProcessed = 0;
};

// The engine a console watches, with the settings directory its user presets live in.
EngineModel* openEngineModel(cli::HostedEngine& engine, const std::string& settingsDirectory);
void closeEngineModel(EngineModel* model);

std::vector<WindowInfo> listWindows(EngineModel& model);
// Every keyed parameter in window and registration order; only `window`'s when it is not empty.
std::vector<ParamInfo> listParams(EngineModel& model, const std::string& window);

// Applies every value at once, through the guards of a preset file, handed to the audio thread
// whole for its next block (filter memories kept). An unknown key (or a value a preset file
// could not hold): nothing applied, false, `badKey` names it. `applied` gets the values as they
// now stand.
bool applyValues(EngineModel& model, const std::vector<std::pair<std::string, double>>& values,
                 std::vector<std::pair<std::string, double>>* applied, std::string* badKey);

struct PresetEntry {
    std::string number;  // "F1" ... "F7" or "1" ... "99"
    std::string name;
};
struct PresetList {
    std::vector<PresetEntry> factory;
    std::vector<PresetEntry> user;
    std::string startup;  // "F1" ... or "1" ... "99"
};
PresetList listPresets(EngineModel& model);

// The answer of a preset action: ok, or the message the plug-in's console shows and whether it
// is a refusal (a question left unanswered counts as one: `question` set).
struct PresetOutcome {
    bool ok = false;
    bool notFound = false;
    bool question = false;
    std::string message;
};
// A factory preset "F3", a user slot "12", or a preset's name (whole, or the start of one);
// never a path. Loads as the console's Load button does.
PresetOutcome loadPresetNamed(EngineModel& model, const std::string& preset);
// The console's Save button: names the current setting `name` and saves it to `slot`.
// `overwrite` answers the question asked before replacing a preset of another name.
PresetOutcome savePresetSlot(EngineModel& model, int slot, const std::string& name, bool overwrite);
PresetOutcome deletePresetSlot(EngineModel& model, int slot);
// The console's Default button, kept in the settings directory's settings file.
PresetOutcome setStartupPreset(EngineModel& model, const std::string& preset);

EngineFacts engineFacts(EngineModel& model);

// The analysis windows' views of the output, from the capture ring (read without locks): the
// last `frames` mono samples (oscilloscope), and the spectrum analyser's bars (frequency of
// each bar in Hz, its height as the analyser draws it).
std::vector<double> scopeSamples(EngineModel& model, int frames);
std::vector<std::pair<double, double>> spectrumBars(EngineModel& model);

// The frequency response of the current values (a sine sweep on a private copy of the engine,
// as `drelvant response` measures it): amplitude of the output sine, 1.0 = full scale.
bool measureResponse(EngineModel& model, std::vector<double>* frequencyHz, std::vector<double>* amplitude);
uint64_t framesProcessed(const EngineModel& model);

// The engine's true-peak ceiling after the chain (run where the host processes through the
// floating-point paths: `drelvant live`). A change is made by the audio thread at its next block;
// requestCeiling gives back the values as they will apply (the level held to lowest ... highest).
struct CeilingInfo {
    bool on = false;
    double dBTP = 0;
    double lowest = 0, highest = 0;  // dBTP
};
CeilingInfo ceilingState(EngineModel& model);
CeilingInfo requestCeiling(EngineModel& model, bool on, double dBTP);

// Every meter by name ("input_percent", "agc_low_db", "band3_compression_db", ...), read
// without locks. `clipped` is 1 when a sample reached the clamp since the last reading.
std::vector<std::pair<std::string, double>> readMeterValues(EngineModel& model);

}  // namespace console
