// Factory presets, 99 user slots, loading, saving, deleting and the startup preset.
#pragma once

#include <cstddef>
#include <cstdint>

#include "params/settings_text.h"

constexpr int kFactorySlots = 10;
constexpr int kUserSlots = 99;
constexpr int kPresetNameSize = 32;  // wide enough for any name a hand-edited file can carry

// Preset numbers: 1 ... 99 user slots, 0 ... -9 factory presets F1 ... F10 (F = 1 - number).
constexpr int32_t kLowestPresetNumber = -(kFactorySlots - 1);
constexpr int kFactoryResources = 7;               // F1 ... F7 exist as module resources
constexpr int kFirstFactoryResourceId = 106;       // F1; F7 is 112
constexpr const char* kFactoryResourceType = "FACTORYPRESETS";
constexpr std::size_t kPresetFileNameSize = 32;

struct Engine;

// The names the console lists and the base of the current setting.
struct PresetStore {
    char factoryNames[kFactorySlots][kPresetNameSize];
    char userNames[kUserSlots + 1][kPresetNameSize];  // index 1 ... 99
    double baseFactoryPreset;
    char fileCopy[kSettingsTextSize];  // the preset file being applied, which the settings text is refilled from
};

// Reads the names of the factory presets and of every user file in the host directory.
void ScanPresets(Engine& engine);
// The factory text F(index + 1) into the settings text (cleared first); false when there is none.
bool LoadFactoryText(SettingsText& text, int index);
// Applies the settings text to the bound values: every keyed parameter when forced (registered
// default where a key is missing), otherwise only the keys the text holds.
void ApplyText(Engine& engine, bool forceAll);
// Loads a factory preset (0 ... -9) or user slot (1 ... 99); other numbers change nothing.
bool LoadPreset(Engine& engine, int32_t number);
// Applies the preset file text `file` (as read from a file: at most 16,383 bytes) exactly as a
// user slot is applied: the base factory preset it names, then every key it holds; then commits
// (forced redesign, cleared filter memories at the next block). The one path for user slots and
// preset files from anywhere.
void ApplyPresetFile(Engine& engine, const char* file, std::size_t size);
bool SavePreset(Engine& engine, int32_t slot);
bool DeletePreset(Engine& engine, int32_t slot);

// The preset loaded at start-up (state.startupPreset, shared with the playback thread).
int32_t StartupPreset(const Engine& engine);
void SetStartupPreset(Engine& engine, int32_t number);
// "General.StartupPreset" from the settings text as a preset number: a value that is not a
// whole number in 32-bit range is clamped into that range first (it then names no preset, as
// any other number outside -9 ... 99 does).
int32_t StartupPresetFromSettings(const SettingsText& text);

// "DV_Preset%.2d.ini" for a slot.
void PresetFileName(int32_t slot, char out[kPresetFileNameSize]);
// Builds a complete preset text in the settings text from the live values, the current name and
// base: header for `fileName`, "General.Name", "General.BaseFactoryPreset", then every keyed slider
// and check box in registration order. SavePreset writes exactly this text.
void BuildPresetText(Engine& engine, const char* fileName);
// The console's startup label: "Default: %d" for a user slot, "Default: F%d" for a factory preset.
void FormatDefaultLabel(int32_t number, char* out, std::size_t size);
