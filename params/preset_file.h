// Preset files named by a path of their own, loaded the way user preset slots are.
#pragma once

#include <cstddef>
#include <string>

struct Engine;

// Applies the preset file at `path` exactly as a user slot is loaded (ApplyPresetFile). Returns
// false, changing no value, when the file cannot be read or holds neither "General.Name" nor
// "General.BaseFactoryPreset" (not a preset).
bool LoadPresetFile(Engine& engine, const char* path);
// The same for a preset text in memory (at most 16,383 bytes of it are read).
bool LoadPresetFileText(Engine& engine, const char* text, std::size_t size);
