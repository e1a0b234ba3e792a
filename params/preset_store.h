// Factory presets, 99 user slots, loading, saving, deleting and the startup preset.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kFactorySlots = 10;
constexpr int kUserSlots = 99;
constexpr int kPresetNameSize = 32;  // wide enough for any name a hand-edited file can carry

// Preset numbers: 1 ... 99 user slots, 0 ... -9 factory presets F1 ... F10 (F = 1 - number).
constexpr int32_t kLowestPresetNumber = -(kFactorySlots - 1);
constexpr int kFactoryResources = 7;               // F1 ... F7 exist as module resources
constexpr int kFirstFactoryResourceId = 106;       // F1; F7 is 112
constexpr const char* kFactoryResourceType = "FACTORYPRESETS";
constexpr std::size_t kPresetFileNameSize = 32;

extern char FactoryPresetNames[kFactorySlots][kPresetNameSize];
extern char UserPresetNames[kUserSlots + 1][kPresetNameSize];  // index 1 ... 99
extern double BaseFactoryPreset;

void ScanPresets();
bool LoadFactoryText(int index);
void ApplyText(bool forceAll);
bool LoadPreset(int32_t number);
bool SavePreset(int32_t slot);
bool DeletePreset(int32_t slot);

// The preset loaded at start-up (processorState.startupPreset, shared with the playback thread).
int32_t StartupPreset();
void SetStartupPreset(int32_t number);

// "DV_Preset%.2d.ini" for a slot.
void PresetFileName(int32_t slot, char out[kPresetFileNameSize]);
// Builds a complete preset text in the settings text from the live values, the current name and
// base: header for `fileName`, "General.Name", "General.BaseFactoryPreset", then every keyed slider
// and check box in registration order. SavePreset writes exactly this text.
void BuildPresetText(const char* fileName);
// The console's startup label: "Default: %d" for a user slot, "Default: F%d" for a factory preset.
void FormatDefaultLabel(int32_t number, char* out, std::size_t size);
