// Loading a preset file from any path, or its text from memory, through the preset store's one path.
#include "params/preset_file.h"

#include <cstdio>
#include <cstring>

#include "params/engine.h"
#include "params/preset_store.h"
#include "params/settings_text.h"

namespace {

constexpr const char* kNameKey = "General.Name";
constexpr const char* kBaseKey = "General.BaseFactoryPreset";
constexpr const char* kScratchName = "DV_Preset.ini";  // never written

// A text is a preset when it names itself or its base.
bool looksLikePreset(Engine& engine, const char* file, std::size_t size) {
    SettingsText& text = engine.text;
    BeginText(text, kScratchName);
    std::memset(text.text, 0, sizeof text.text);
    std::memcpy(text.text, file, size);
    return HasKey(text, kNameKey) || HasKey(text, kBaseKey);
}

}  // namespace

bool LoadPresetFile(Engine& engine, const char* path) {
    char* file = engine.presets.fileCopy;
    std::memset(file, 0, sizeof engine.presets.fileCopy);
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return false;
    const std::size_t size = std::fread(file, 1, kSettingsTextMaxFileBytes, stream);
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed || !looksLikePreset(engine, file, size)) return false;
    ApplyPresetFile(engine, file, size);
    return true;
}

bool LoadPresetFileText(Engine& engine, const char* text, std::size_t size) {
    if (size > static_cast<std::size_t>(kSettingsTextMaxFileBytes)) size = kSettingsTextMaxFileBytes;
    char* file = engine.presets.fileCopy;
    std::memset(file, 0, sizeof engine.presets.fileCopy);
    if (text != nullptr) std::memcpy(file, text, size);
    if (!looksLikePreset(engine, file, size)) return false;
    ApplyPresetFile(engine, file, size);
    return true;
}
