// Shared pieces of the command-line processor: messages, option values, interruption, the hosted module and presets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/winamp_dsp.h"

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr int kBitsPerSample = 16;
constexpr int kDefaultBlockFrames = 576;  // what Winamp hands a DSP plug-in per call
constexpr int kMaxBlockFrames = 1 << 20;
constexpr short kHardClipValue = 32764;   // the frame's clamp: 0.9999 x 32768, truncated

// "drelvant: <message>" on standard error, one line.
void printError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "drelvant: note: <message>" on standard error, one line.
void printNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

bool isHelpOption(const std::string& argument);
// Whole decimal number within [minValue, maxValue], nothing else in the text.
bool parseInteger(const std::string& text, long long minValue, long long maxValue, long long* value);

// Walks a command's arguments: options with or without a value, and positional arguments.
struct ArgumentCursor {
    std::vector<std::string> arguments;
    size_t next = 0;
};
ArgumentCursor makeCursor(int argc, char** argv, int first);
bool atEnd(const ArgumentCursor& cursor);
const std::string& peek(const ArgumentCursor& cursor);
// The value of the option just taken; prints a usage error and returns false when it is missing.
bool takeValue(ArgumentCursor& cursor, const std::string& option, std::string* value);
// The value of --seed, a whole number 0 ... 4294967295; prints a usage error and returns false
// when it is missing or not such a number.
bool takeSeed(ArgumentCursor& cursor, const std::string& option, uint32_t* seed);

// Ctrl-C and termination requests: caught so that long work can stop cleanly and remove what
// it had not finished. Also ignores SIGPIPE, so a closed output pipe becomes a write error.
void installInterruptHandlers();
bool interrupted();

// True when standard error is a terminal (progress bars are drawn only there).
bool stderrIsTerminal();

// Settings directory: checks that it exists and points the module at it (before Init).
bool useSettingsDirectory(const std::string& directory, std::string* error);
// The directory the module reads and writes its files in (searching for it if need be).
std::string settingsDirectory();

// A temporary settings directory of its own (removed with removeScratchDirectory), for work that
// must not depend on or touch the user's settings.
bool makeScratchDirectory(std::string* directory, std::string* error);
void removeScratchDirectory(const std::string& directory);

// The module as a Winamp-style host reaches it: winampDSPGetHeader2, getModule(0), then Init.
winampDSPModule* startModule(bool fixSeed, uint32_t seed);
void stopModule(winampDSPModule* module);

// A preset as named on the command line.
struct PresetChoice {
    enum Kind { kStartup, kNumber, kFile } kind = kStartup;
    int32_t number = 0;  // kNumber: 1 ... 99 user slots, 0 ... -6 factory presets F1 ... F7
    std::string path;    // kFile
};

// "F1" ... "F7", "1" ... "99", or the path of an existing file.
bool parsePresetChoice(const std::string& text, PresetChoice* choice, std::string* error);
// Loads the chosen preset into the running module; a user slot must hold a preset.
bool applyPresetChoice(const PresetChoice& choice, std::string* error);
// "F1:FM Stereo 1", "07:Rock", "file.ini (Name)" or "startup preset F1:FM Stereo 1".
std::string describePreset(const PresetChoice& choice);
// The list text of a preset number: "F%d:%s" or "%.2d:%s".
std::string presetListText(int32_t number);

// Creates a temporary file beside `finalPath` (same directory, hidden name) with the mode the
// final file should get; returns its descriptor, or -1 with a message.
int createTemporaryBeside(const std::string& finalPath, std::string* temporaryPath, std::string* error);
// Renames the finished temporary file over `finalPath`; on failure removes it.
bool replaceWithTemporary(const std::string& temporaryPath, const std::string& finalPath, std::string* error);

// Writes `data` to `path` through a temporary file in the same directory and a rename, so an
// existing file is only ever replaced by a complete new one. "-" writes to standard output.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error);

}  // namespace cli
