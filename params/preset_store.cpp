// STUB: replaced by the preset store implementation.
#include "params/preset_store.h"
char FactoryPresetNames[kFactorySlots][kPresetNameSize];
char UserPresetNames[kUserSlots + 1][kPresetNameSize];
double BaseFactoryPreset = 0;
void ScanPresets() {}
bool LoadFactoryText(int) { return false; }
void ApplyText(bool) {}
bool LoadPreset(int32_t) { return true; }
bool SavePreset(int32_t) { return false; }
bool DeletePreset(int32_t) { return false; }
