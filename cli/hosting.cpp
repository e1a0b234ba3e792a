// The hosted processor: today the Winamp module record (Init, ModifySamples), presets loaded through
// the module's preset store, nothing written back.
#include "cli/hosting.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/files.h"
#include "dsp/live_params.h"
#include "dsp/response_sweep.h"
#include "host/plugin.h"
#include "params/preset_file.h"
#include "params/preset_store.h"
#include "params/settings_text.h"
#include "platform/platform.h"

namespace cli {

struct HostedEngine {
    winampDSPModule* module = nullptr;
    std::string settingsDirectory;
    PresetChoice preset;
};

namespace {

constexpr const char* kSettingsFile = "dsp_Drelvant.ini";
constexpr const char* kNameKey = "General.Name";
constexpr const char* kStartupKey = "General.StartupPreset";
constexpr std::size_t kNameTextSize = 32;  // a name longer than 31 characters is not read
// A directory nothing can be read from or created in: the module's own search (which would create
// a per-user folder, or fall back to the current directory) never runs.
constexpr const char* kNowhere = "/dev/null/";

bool readWholeFile(const std::string& path, std::string* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) return false;
    *bytes = content.str();
    return true;
}

// The value of a "Key = value" line of a CR LF text as the settings text reads a string: the line
// must start with the key and a blank (and not be the first line); the value runs from two
// characters after the "=" to the line end. Empty when absent or too long.
std::string textValue(const std::string& text, const char* key) {
    const std::string pattern = std::string("\r\n") + key + " ";
    const size_t line = text.find(pattern);
    if (line == std::string::npos) return std::string();
    const size_t sign = text.find('=', line + pattern.size());
    if (sign == std::string::npos || sign + 1 >= text.size()) return std::string();
    const size_t start = text[sign + 1] == '\r' ? sign + 1 : sign + 2;
    const size_t end = text.find('\r', start);
    if (end == std::string::npos || end - start >= kNameTextSize) return std::string();
    return text.substr(start, end - start);
}

std::string userSlotPath(const std::string& directory, int slot) {
    return directory.empty() ? std::string() : directory + userPresetFileName(slot);
}

// Hands normalised preset text to the module's preset-file loader through a private file.
bool loadPresetTextIntoModule(const std::string& text, std::string* error) {
    std::string scratch;
    if (!makeScratchDirectory(&scratch, error)) return false;
    const std::string path = scratch + "preset.ini";
    bool loaded = false;
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (std::fclose(file) == 0 && written) loaded = LoadPresetFile(path.c_str());
    }
    removeScratchDirectory(scratch);
    return loaded;
}

int32_t presetNumberOf(const PresetChoice& choice) {
    return choice.kind == PresetChoice::kUser ? choice.number : 1 - choice.number;
}

std::string listText(int32_t number, const std::string& name) {
    char text[80];
    if (number <= 0) {
        std::snprintf(text, sizeof text, "F%d:%s", static_cast<int>(1 - number), name.c_str());
    } else {
        std::snprintf(text, sizeof text, "%.2d:%s", static_cast<int>(number), name.c_str());
    }
    return text;
}

}  // namespace

bool parsePresetChoice(const std::string& text, PresetChoice* choice, std::string* error) {
    long long number = 0;
    auto wholeNumber = [&number](const std::string& digits) {
        if (digits.empty() || digits.size() > 6) return false;
        number = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            number = number * 10 + (c - '0');
        }
        return true;
    };
    if (text.size() >= 2 && (text[0] == 'F' || text[0] == 'f') && wholeNumber(text.substr(1))) {
        if (number < 1 || number > kFactoryPresetCount) {
            *error = "there is no factory preset " + text + " (the factory presets are F1 to F7)";
            return false;
        }
        choice->kind = PresetChoice::kFactory;
        choice->number = static_cast<int>(number);
        return true;
    }
    const bool negative = !text.empty() && text[0] == '-';
    if (wholeNumber(negative ? text.substr(1) : text)) {
        if (negative || number < 1 || number > kUserSlotCount) {
            *error = "there is no user preset slot " + text + " (user slots are 1 to 99)";
            return false;
        }
        choice->kind = PresetChoice::kUser;
        choice->number = static_cast<int>(number);
        return true;
    }
    struct stat info {};
    if (stat(text.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = "unknown preset '" + text + "': use F1 to F7, a user slot 1 to 99, or the path of a preset file";
        return false;
    }
    choice->kind = PresetChoice::kFile;
    choice->path = text;
    return true;
}

bool chooseSettingsDirectory(const std::string& given, std::string* directory, std::string* error) {
    if (!given.empty()) {
        struct stat info {};
        if (stat(given.c_str(), &info) != 0) {
            *error = "settings directory '" + given + "' does not exist";
            return false;
        }
        if (!S_ISDIR(info.st_mode)) {
            *error = "'" + given + "' is not a directory";
            return false;
        }
        *directory = given.back() == '/' ? given : given + "/";
        return true;
    }
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        *directory = std::string(xdg) + "/drelvant/";
    } else if (home != nullptr && home[0] != '\0') {
        *directory = std::string(home) + "/.config/drelvant/";
    } else {
        directory->clear();
    }
    return true;
}

std::string normalisePresetText(const std::string& bytes) {
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    size_t start = bytes.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    for (size_t i = start; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            text += "\r\n";
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            text += "\r\n";
        } else {
            text += c;
        }
    }
    return text;
}

std::string userPresetFileName(int slot) {
    char name[kPresetFileNameSize];
    PresetFileName(slot, name);
    return name;
}

HostedEngine* startEngine(const EngineSetup& setup, std::string* error) {
    SetHostDirectory(setup.settingsDirectory.empty() ? std::string(kNowhere) : setup.settingsDirectory);
    setRandomSeedOverride(setup.fixSeed, setup.seed);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    module->Init(module);
    HostedEngine* engine = new HostedEngine;
    engine->module = module;
    engine->settingsDirectory = setup.settingsDirectory;
    if (!loadPreset(*engine, setup.preset, error)) {
        stopEngine(engine);
        return nullptr;
    }
    return engine;
}

// The module is never told to quit: Quit would write its settings file, and a command-line run
// changes no settings.
void stopEngine(HostedEngine* engine) { delete engine; }

bool loadPreset(HostedEngine& engine, const PresetChoice& choice, std::string* error) {
    PresetChoice chosen = choice;
    if (choice.kind == PresetChoice::kStartup) {
        const int32_t startup = startupPresetNumber(engine.settingsDirectory);
        chosen.kind = startup >= 1 ? PresetChoice::kUser : PresetChoice::kFactory;
        chosen.number = startup >= 1 ? startup : 1 - startup;
        if (chosen.kind == PresetChoice::kFactory && (chosen.number < 1 || chosen.number > kFactoryPresetCount)) {
            chosen.number = 1;
        }
    }
    std::string text;
    switch (chosen.kind) {
        case PresetChoice::kStartup:
            break;
        case PresetChoice::kFactory:
            LoadPreset(1 - chosen.number);
            break;
        case PresetChoice::kUser: {
            const std::string path = userSlotPath(engine.settingsDirectory, chosen.number);
            if (path.empty()) {
                *error = "user preset slot " + std::to_string(chosen.number) +
                         " cannot be read: there is no settings directory (set HOME or give --dir)";
                return false;
            }
            if (!readWholeFile(path, &text) || textValue(text = normalisePresetText(text), kNameKey).empty()) {
                if (choice.kind == PresetChoice::kStartup) {  // as the plug-in: an empty startup slot gives F1
                    LoadPreset(0);
                    break;
                }
                *error = "user preset slot " + std::to_string(chosen.number) + " is empty (no named preset in " +
                         path + ")";
                return false;
            }
            if (!loadPresetTextIntoModule(text, error)) {
                if (error->empty()) *error = "cannot load user preset slot " + std::to_string(chosen.number);
                return false;
            }
            break;
        }
        case PresetChoice::kFile:
            if (access(chosen.path.c_str(), R_OK) != 0 || !readWholeFile(chosen.path, &text)) {
                *error = "cannot read preset file '" + chosen.path + "': " + std::strerror(errno);
                return false;
            }
            if (!loadPresetTextIntoModule(normalisePresetText(text), error)) {
                if (error->empty()) {
                    *error = "'" + chosen.path +
                             "' is not a preset file (it has no General.Name or General.BaseFactoryPreset line)";
                }
                return false;
            }
            break;
    }
    engine.preset = choice;
    return true;
}

void processBlock(HostedEngine& engine, short* interleaved, int frames) {
    engine.module->ModifySamples(engine.module, interleaved, frames, 16, 2, 44100);
}

long latencyFrames(const HostedEngine&) { return ProcessingDelayFrames(liveParams); }

std::string describeLoadedPreset(const HostedEngine& engine) {
    const PresetChoice& choice = engine.preset;
    const std::string name = liveParams.presetName;
    switch (choice.kind) {
        case PresetChoice::kStartup: {
            const int32_t startup = startupPresetNumber(engine.settingsDirectory);
            return "startup preset " + listText(startup, name);
        }
        case PresetChoice::kFactory:
        case PresetChoice::kUser:
            return listText(presetNumberOf(choice), name);
        case PresetChoice::kFile: {
            char base[48];
            const double number = BaseFactoryPreset;
            if (number <= 0 && number > -kFactoryPresetCount) {
                std::snprintf(base, sizeof base, "based on F%d", 1 - static_cast<int>(number));
            } else {
                std::snprintf(base, sizeof base, "on registered defaults");
            }
            return choice.path + " (\"" + name + "\", " + base + ")";
        }
    }
    return std::string();
}

std::string loadedPresetText(HostedEngine&, const std::string& fileName) {
    std::string name = fileName;
    if (name.size() >= static_cast<size_t>(kTextFileNameSize)) name.resize(kTextFileNameSize - 1);
    BuildPresetText(name.c_str());
    return SettingsText;
}

std::vector<std::string> factoryPresetNames(HostedEngine&) {
    std::vector<std::string> names;
    for (int index = 0; index < kFactoryPresetCount; ++index) names.emplace_back(FactoryPresetNames[index]);
    return names;
}

std::vector<UserPreset> userPresets(const std::string& settingsDirectory) {
    std::vector<UserPreset> presets;
    if (settingsDirectory.empty()) return presets;
    for (int slot = 1; slot <= kUserSlotCount; ++slot) {
        std::string text;
        if (!readWholeFile(userSlotPath(settingsDirectory, slot), &text)) continue;
        const std::string name = textValue(normalisePresetText(text), kNameKey);
        if (!name.empty()) presets.push_back({slot, name});
    }
    return presets;
}

int32_t startupPresetNumber(const std::string& settingsDirectory) {
    std::string text;
    if (settingsDirectory.empty() || !readWholeFile(settingsDirectory + kSettingsFile, &text)) return 0;
    const std::string value = textValue(normalisePresetText(text), kStartupKey);
    const long number = std::strtol(value.c_str(), nullptr, 10);
    return number >= -(kFactoryPresetCount - 1) && number <= kUserSlotCount ? static_cast<int32_t>(number) : 0;
}

int responsePointCount() { return kSweepPointCount; }

bool measureResponse(HostedEngine&, ResponseCurve* curve, const std::atomic<bool>* cancel,
                     std::atomic<int>* pointsDone) {
    ResetResponsePlot();
    const LiveParams parameters = liveParams;
    const bool complete = FrequencyResponseSweep(parameters, sweepTable, cancel, pointsDone);
    curve->frequencyHz.clear();
    curve->amplitude.clear();
    for (int i = 0; i <= kSweepTableLast; i += kSweepTableStep) {
        curve->frequencyHz.push_back(sweepTable.frequency[i]);
        curve->amplitude.push_back(sweepTable.response[i]);
    }
    curve->seconds = sweepTable.duration;
    return complete;
}

std::string versionText() { return winampDSPGetHeader2()->description; }

bool findBuiltInText(const char* type, int id, std::string* text) {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource(type, id, &data, &size)) return false;
    text->assign(reinterpret_cast<const char*>(data), size);
    return true;
}

}  // namespace cli
