// Preset files named by a path of their own, loaded the way user preset slots are.
#pragma once

// Applies the preset file at `path` exactly as a user slot is loaded: its base factory preset
// first, then every key the file holds, then the forced derived-parameter update, and the next
// block starts from cleared filter memories. Returns false, changing no value, when the file
// cannot be read or holds neither "General.Name" nor "General.BaseFactoryPreset" (not a preset).
bool LoadPresetFile(const char* path);
