// Factory presets, 99 user slots, loading, saving, deleting and the startup preset.
#pragma once

#include <cstdint>

constexpr int kFactorySlots = 10;
constexpr int kUserSlots = 99;
constexpr int kPresetNameSize = 32;  // wide enough for any name a hand-edited file can carry

extern char FactoryPresetNames[kFactorySlots][kPresetNameSize];
extern char UserPresetNames[kUserSlots + 1][kPresetNameSize];  // index 1 ... 99
extern double BaseFactoryPreset;

void ScanPresets();
bool LoadFactoryText(int index);
void ApplyText(bool forceAll);
bool LoadPreset(int32_t number);
bool SavePreset(int32_t slot);
bool DeletePreset(int32_t slot);
