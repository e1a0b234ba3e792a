// The processor as the command-line program hosts it: presets chosen on the command line, an
// engine per job, blocks through it, its latency, preset texts, the response sweep. The only
// file of the program that reaches the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct Engine;

namespace cli {

constexpr int kFactoryPresetCount = 7;  // F1 ... F7
constexpr int kUserSlotCount = 99;

// A preset as named on the command line.
struct PresetChoice {
    enum Kind { kStartup, kFactory, kUser, kFile } kind = kStartup;
    int number = 0;    // kFactory: 1 ... 7; kUser: slot 1 ... 99
    std::string path;  // kFile
};

// "F1" ... "F7", "1" ... "99", or the path of an existing file.
bool parsePresetChoice(const std::string& text, PresetChoice* choice, std::string* error);

// As parsePresetChoice, and else the name of a factory preset or of a user preset of
// `settingsDirectory`, case-insensitive: a whole name, or the start of exactly one name. A name
// that fits several presets is refused with their list.
bool choosePreset(const std::string& text, const std::string& settingsDirectory, PresetChoice* choice,
                  std::string* error);

// Keys of preset texts: whether the engine knows `key`, and its registered range when it has one
// (false for switches, names and the base preset).
bool isPresetKey(const std::string& key);
bool registeredRange(const std::string& key, double* min, double* max);
// Whether "KEY=VALUE" would be taken by --set: a key a preset stores and a number; else `error`
// says why (an unknown key with the nearest keys).
bool checkSetting(const std::string& text, std::string* error);
// The frames of delay of a preset as it loads (the stages it switches on).
bool presetLatency(const std::string& settingsDirectory, const PresetChoice& choice, long* frames, std::string* error);

// The settings directory of a command: `given` (--dir; it must exist), or else
// $XDG_CONFIG_HOME/drelvant, or ~/.config/drelvant. Nothing is created: a default folder that does
// not exist simply holds no user presets. Empty when no folder can be named at all (no HOME).
bool chooseSettingsDirectory(const std::string& given, std::string* directory, std::string* error);

struct EngineSetup {
    std::string settingsDirectory;  // user slots and the startup preset come from here
    PresetChoice preset;
    bool fixSeed = false;  // false: seeded from the clock
    uint32_t seed = 0;
    // "KEY=VALUE" settings applied over the preset, whole, as a preset file's keys are (--set).
    std::vector<std::string> settings;
};

// One processor. Starting one writes nothing anywhere; stopping one writes nothing either.
struct HostedEngine;
HostedEngine* startEngine(const EngineSetup& setup, std::string* error);
void stopEngine(HostedEngine* engine);
// Loads another preset (the next block starts from cleared filter memories).
bool loadPreset(HostedEngine& engine, const PresetChoice& choice, std::string* error);

// Interleaved 16-bit stereo at 44,100 Hz through the plug-in's own path, in place.
void processBlock(HostedEngine& engine, short* interleaved, int frames);
// Interleaved stereo at 44,100 Hz, full scale +-1.0, through the high-resolution path: the same
// chain without the 16-bit rounding of input and output.
void processBlock(HostedEngine& engine, double* interleavedStereo, int frames);
// The engine's work shared from here on between this thread and a worker (the input stages and
// the filter bank here, the rest there), for the same output bytes in less time; false when no
// worker could start (the engine then stays on this thread). submitBlock processes a block as
// processBlock does, but with the second thread it is complete only once waitForBlocks has
// passed the mark it returned, and the samples must stay in place until then; without it, at once.
// engineThreadsToUse: 2 where this thread may run on two processors or more, unless
// DRELVANT_ENGINE_THREADS=1.
constexpr const char* kEngineThreadsVariable = "DRELVANT_ENGINE_THREADS";
int engineThreadsToUse();
bool startSecondThread(HostedEngine& engine);
uint64_t submitBlock(HostedEngine& engine, short* interleaved, int frames);
uint64_t submitBlock(HostedEngine& engine, double* interleavedStereo, int frames);
void waitForBlocks(HostedEngine& engine, uint64_t mark);

// Applies "KEY=VALUE" settings over the current setting, all or none (see checkSetting).
bool applySettings(HostedEngine& engine, const std::vector<std::string>& settings, std::string* error);
// The value of every parameter of host/engine_params.h's engineParams() under the current setting.
std::vector<double> parameterValues(HostedEngine& engine);

// Frames from a sample's entry to its exit through the stages the preset switches on.
long latencyFrames(const HostedEngine& engine);

// For a console watching the run: the host-API engine itself (its control calls one at a time,
// from one thread), and the frames handed to it so far (read on any thread).
Engine* hostApiEngine(HostedEngine& engine);
uint64_t framesSubmitted(const HostedEngine& engine);
// Audio thread of a host that processes through hostApiEngine itself: counts its frames.
void addProcessedFrames(HostedEngine& engine, int frames);

// The loaded preset as records: where it came from, its number and name.
struct PresetFacts {
    std::string source;  // "factory", "user", "file", "startup factory" or "startup user"
    std::string number;  // "F1" ... "F7", "1" ... "99"; empty for a file
    std::string name;    // its "General.Name"
    std::string file;    // the preset file's path (source "file"), else empty
};
PresetFacts loadedPresetFacts(const HostedEngine& engine);

// "F1:FM Stereo 1", "07:Rock", "file.ini ("Name", based on F3)", "startup preset F1:FM Stereo 1".
std::string describeLoadedPreset(const HostedEngine& engine);
// The loaded preset as a complete preset file text (CR LF lines) with `fileName` in its header.
std::string loadedPresetText(HostedEngine& engine, const std::string& fileName);

// Names of the factory presets F1 ... F7.
std::vector<std::string> factoryPresetNames(HostedEngine& engine);
struct UserPreset {
    int slot;
    std::string name;
};
// The named user presets of a settings directory, in slot order, and its startup preset
// (0 ... -6 for F1 ... F7, 1 ... 99 for a slot).
std::vector<UserPreset> userPresets(const std::string& settingsDirectory);
int32_t startupPresetNumber(const std::string& settingsDirectory);
// A settings text (CR LF lines, as presetFileText gives it) with "General.StartupPreset" set to
// `number` (1 - n for factory preset Fn): the key's value replaced where it stands, or the key
// appended; every other line kept as it was.
std::string withStartupPreset(std::string settingsText, int32_t number);
// "DV_Preset%.2d.ini" of a slot.
std::string userPresetFileName(int slot);

// The frequency response sweep of the loaded preset on a private copy of the engine.
struct ResponseCurve {
    std::vector<double> frequencyHz;
    std::vector<double> amplitude;  // of the output sine, 1.0 = full scale
    double seconds = 0;             // the time the sweep took
};
int responsePointCount();
bool measureResponse(HostedEngine& engine, ResponseCurve* curve, const std::atomic<bool>* cancel,
                     std::atomic<int>* pointsDone);

// The program's version text, "Drelvant v1.20".
std::string versionText();
// A preset name as printed: control characters (an escape sequence saved before they were
// refused) written as \xNN, so a name cannot drive the terminal.
std::string shownName(const std::string& name);
// A resource built into the program (the manual: type "TEXT", id 110).
bool findBuiltInText(const char* type, int id, std::string* text);

}  // namespace cli
