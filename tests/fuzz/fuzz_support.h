// Shared set-up of the fuzz targets: one initialised plug-in in a private settings directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Initialises the plug-in once (settings directory in a fresh temporary folder) and returns that folder.
const std::string& fuzzSettingsDirectory();
// Puts the whole engine state back to how Init left it, so every input starts alike. Copies the
// 6.8 MB state block: use it in targets that process audio.
void restoreInitialEngineState();
// The cheaper restore for inputs that never reach the audio chain (files, presets, unprocessed
// formats): the live values, the random generator, the clock and every part of the state block
// that a preset load or a poll writes; the stages' filter memories and the capture ring are left
// alone because only processed audio changes them.
void restoreInitialSettingsState();
void writeFile(const std::string& path, const uint8_t* data, size_t size);
// A broken promise of the code under test: names it on standard error and aborts, so that the
// fuzzer keeps the input (one trap instruction per target would not say which check failed).
[[noreturn]] void fuzzFailure(const char* what);
inline void fuzzCheck(bool holds, const char* what) {
    if (!holds) fuzzFailure(what);
}
