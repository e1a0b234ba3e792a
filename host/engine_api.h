// The engine's host API: independent engine instances for the command-line processor, the LV2
// plug-in and tests. Each engine owns its processor state, live values, random generator, design
// hand-over, meters, capture ring, registry and settings text; any number live in one process.
//
// Threads: one audio thread calls the process functions, setLiveValue and readMeters; one
// control thread (which may be the same) calls the load functions, setValue, presetText and
// requestIdleReset. A load made while audio runs is applied by the audio thread at its next block
// start, whole: values, filter designs and the cleared filter memories together. The process
// functions never allocate, lock or wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Engine;

// A new engine with the factory preset F1 loaded, its random generator seeded with `seed`. The
// first block starts from cleared filter memories, exactly as the plug-in's first block after
// Init. Returns nullptr when memory is short. Engines are large (several megabytes).
Engine* createEngine(uint32_t seed);
void destroyEngine(Engine* engine);

// Seeds the random generator (dither, silence guard, test tone noise): the same seed gives the
// same output bytes.
void seedEngine(Engine& engine, uint32_t seed);

// ---- presets: each loads exactly as the plug-in loads a user slot (the base factory preset, then
// every key the text holds, then the forced redesign), and the next block starts from cleared
// filter memories. On failure nothing changes and `error` (when given) says why. ----

// Factory preset F1 ... F7 (factory = 1 ... 7).
bool loadFactoryPreset(Engine& engine, int factory, std::string* error);
// User slot 1 ... 99 ("DV_Preset%.2d.ini") from `settingsDirectory`.
bool loadUserPreset(Engine& engine, const std::string& settingsDirectory, int slot, std::string* error);
// A preset file anywhere; LF or CR LF line ends, an optional UTF-8 byte-order mark.
bool loadPresetFile(Engine& engine, const std::string& path, std::string* error);
// Preset text in memory, as a file would hold it (up to 16,383 bytes are read).
bool loadPresetText(Engine& engine, const char* text, std::size_t size, std::string* error);

// The text of a preset file as the plug-in's own files hold it: a UTF-8 byte-order mark dropped,
// LF and lone CR line ends turned into CR LF, so files written on any system load alike. The load
// functions apply it themselves; faces that read a preset text for their own use call it too.
std::string presetFileText(const char* bytes, std::size_t size);

// "General.Name" of the current setting, and its base ("General.BaseFactoryPreset").
std::string presetName(const Engine& engine);
double basePreset(const Engine& engine);
// The current setting as a complete preset text (CR LF lines), loadable by loadPresetText.
std::string presetText(Engine& engine);

// ---- live values by registry key ("General.DensityDrive.dB", "Compressor.Threshold3.dB", ...).
// Switches read 0 or 1 and take any number (non-zero = on). False for an unknown key. ----

bool getValue(const Engine& engine, const char* key, double* value);
// Control thread: sets the value and hands it (with any filter redesign it needs) to the audio
// thread as a preset load is handed over, without clearing filter memories.
bool setValue(Engine& engine, const char* key, double value);

// Audio thread: a handle resolved once, then written directly into the values the next frames
// read (no redesign: for switches and gains that take effect per block, such as stage switches,
// density drive and post amp). kNoParam for an unknown key. A later load or setValue hands over
// the control thread's values whole and so replaces what was set here.
using ParamHandle = int32_t;
constexpr ParamHandle kNoParam = -1;
ParamHandle findParam(const Engine& engine, const char* key);
void setLiveValue(Engine& engine, ParamHandle param, double value);

// ---- audio ----

// The plug-in's path: interleaved signed 16-bit stereo at 44,100 Hz, processed in place, exactly
// as ModifySamples processes it (the master bypass passes the block through).
void processBlock16(Engine& engine, int16_t* interleaved, int frames);

// The high-resolution path: interleaved floating-point samples, full scale +-1.0, `channels` 1 or
// 2, processed in place at 44,100 Hz. Input enters the chain at the 16-bit scale without rounding;
// the output is the chain's value after the clamp (+-0.9999) and before the 16-bit truncation.
// Every stage, the dither included, runs as on the 16-bit path. Mono is processed as L = R and
// returned as one channel. NaN and infinite samples are replaced by silence (0) in place before
// the chain sees them.
void processBlockFloat(Engine& engine, float* interleaved, int frames, int channels);
void processBlockDouble(Engine& engine, double* interleaved, int frames, int channels);

// ---- the true-peak ceiling: an optional stage after the chain on the floating-point paths (not
// the 16-bit path), off in a new engine so the exact output stays one switch away. A look-ahead
// limiter (the one of `drelvant process --ceiling`) holds sample and interpolated peaks under
// the ceiling; while on, its look-ahead is part of the latency. It runs in processBlockFloat and
// processBlockDouble only: the two-thread block pipeline runs the chain without it. ----

constexpr double kDefaultTruePeakCeilingDbtp = -1.0;
constexpr double kLowestTruePeakCeilingDbtp = -12.0;
constexpr double kHighestTruePeakCeilingDbtp = 0.0;

// Audio thread: switches the ceiling (switching on starts it from silence) and sets its level in
// dBTP, -12 ... 0 (clamped). Allocates nothing. A new engine's ceiling is -1 dBTP, off.
void setTruePeakCeiling(Engine& engine, bool on, double ceilingDbtp);
// Control thread: the same change, made by the audio thread at the start of its next
// processBlockFloat or processBlockDouble (a console switching the ceiling of a running stream).
void requestTruePeakCeiling(Engine& engine, bool on, double ceilingDbtp);
struct TruePeakCeiling {
    bool on;
    double ceilingDbtp;
};
// Any thread.
TruePeakCeiling truePeakCeiling(const Engine& engine);

// Frames from a sample's entry to its exit through the stages switched on, the ceiling included:
// latencyFrames for the settings last loaded or set (control thread), audioLatencyFrames for
// those the last block ran with (audio thread).
int64_t latencyFrames(const Engine& engine);
int64_t audioLatencyFrames(const Engine& engine);
// Audio thread: takes the settings handed over since the last block now, as the next block's
// start would, so that audioLatencyFrames tells the latency of the first block before it runs.
void takePendingSettings(Engine& engine);

// Asks for cleared filter memories at the next block, as after a pause of more than 6 s.
void requestIdleReset(Engine& engine);

// What the plug-in's windows show, read on any thread (each value whole); the meters by name
// (below) hold these and the rest.
struct EngineMeters {
    double inputPercent, outputPercent;     // peak meters, percent of full scale
    double agcLowDb, agcHighDb, agcReductionDb;
    double stereoEnhanceDb;
    double bandCompressionDb[10];
    double bandLimitingDb[10];
    double finalLimiterDb;
    double finalClipperDb;
    bool clipped;                           // a sample reached the clamp since the last read
};
EngineMeters readMeters(Engine& engine);
// Whether a sample reached the clamp since the last call (or readMeters), read and cleared in one
// step so that a clip flagged in between is never lost.
bool takeClipFlag(Engine& engine);

// ---- what the engine is ----

// "Drelvant v1.20": the name and version the plug-in reports and its files carry.
const char* engineVersion();
// Doubles the engine's side-by-side kernels take at once in this process: 2 (SSE2) or 4 (AVX2).
// Both widths give the same output bits; see DRELVANT_LANE_WIDTH in the README.
int engineLaneWidth();

// ---- meters by name ("Input.Percent", "Compressor.Band3.dB", ...), each as its window shows it ----

struct MeterInfo {
    const char* name;
    const char* unit;    // "%" or "dB"
    const char* window;  // the window that shows it, as the registry names it
    double minValue, maxValue;
};
int meterCount();
// Index 0 ... meterCount() - 1; an index outside gives a row of empty names.
MeterInfo meterInfo(const Engine& engine, int index);
// -1 for an unknown name.
int findMeter(const char* name);
// Any thread, each value whole; 0 for an index outside.
double readMeter(const Engine& engine, int index);

// ---- the capture ring: the chain's last 65,536 output frames as mono values ((L + R) / 2,
// full scale 1.0), written by the audio thread one frame at a time ----

constexpr int kCaptureRingFrames = 65536;
struct CaptureRingView {
    const double* samples;       // kCaptureRingFrames values; read each with loadShared
    const uint16_t* writeIndex;  // slot written next, wrapping from 65,535 to 0; read with loadShared
};
CaptureRingView captureRing(const Engine& engine);

// ---- a private copy, for measuring without touching the engine ----

// A new engine holding `source`'s current settings (every value its registry is bound to, and its
// base preset), put in place as a preset load puts them, with cleared audio state: what the
// response sweep runs on. Control thread of `source`. nullptr when memory is short.
Engine* createEngineCopy(const Engine& source, uint32_t seed);

// ---- the plug-in console's preset buttons, for a face that offers them (a remote console).
// Control thread. Each presses Save, Delete or Default with preset `number` (0 ... -6 = F1 ... F7,
// 1 ... 99 = a user slot) selected in the console's list of `settingsDirectory`, exactly as the
// plug-in's console does, with its message boxes answered here: a yes/no question (Save over a
// preset of another name) gets `answerYes`. `startupPreset` is the startup preset the settings
// file names now (0 ... -6, 1 ... 99). ----

enum class PresetButton { kSave, kDelete, kDefault };
struct PresetButtonAnswer {
    bool listed = false;   // the preset was in the list (else nothing was pressed)
    bool done = false;     // the button did its work: no message box, or a question answered yes
    bool asked = false;    // a yes/no question was asked
    std::string message;   // the last message box's text, empty when none appeared
    int32_t startupPreset = 0;  // the startup preset after the press (0 ... -6, 1 ... 99)
};
PresetButtonAnswer pressPresetButton(Engine& engine, const std::string& settingsDirectory, int32_t startupPreset,
                                     int32_t number, PresetButton button, bool answerYes);

// Names the current setting ("General.Name", what Save stores). A name is one line of at most
// kLongestPresetName characters: false (nothing changed) for a longer one or a line break.
constexpr int kLongestPresetName = 31;
bool setPresetName(Engine& engine, const std::string& name);
