// The hosted processor: one engine of the host API per job, presets read by the program itself
// (any line ends) and handed over as text, nothing written back.
#include "cli/hosting.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "analysis/response_sweep.h"
#include "host/block_pipeline.h"
#include "host/engine_api.h"
#include "host/engine_params.h"
#include "platform/platform.h"

namespace cli {

struct HostedEngine {
    Engine* engine = nullptr;
    BlockPipeline* pipeline = nullptr;  // the second thread, when started
    std::string settingsDirectory;
    PresetChoice preset;    // as chosen
    int32_t number = 0;     // what was loaded: 0 ... -6 factory, 1 ... 99 a slot (unused for files)
    std::atomic<uint64_t> framesSubmitted{0};  // written by the audio thread only
};

namespace {

constexpr const char* kSettingsFile = "dsp_Drelvant.ini";
constexpr const char* kNameKey = "General.Name";
constexpr const char* kStartupKey = "General.StartupPreset";
constexpr std::size_t kNameTextSize = 32;  // a name longer than 31 characters is not read
constexpr const char* kPresetFilePrefix = "DV_Preset";
constexpr std::size_t kFileNameLineLimit = 127;  // the header's "Filename:" text, as the plug-in keeps it

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

std::string listText(int32_t number, const std::string& name) {
    char text[160];
    if (number <= 0) {
        std::snprintf(text, sizeof text, "F%d:%s", static_cast<int>(1 - number), shownName(name).c_str());
    } else {
        std::snprintf(text, sizeof text, "%.2d:%s", static_cast<int>(number), shownName(name).c_str());
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

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool choosePreset(const std::string& text, const std::string& settingsDirectory, PresetChoice* choice,
                  std::string* error) {
    if (parsePresetChoice(text, choice, error)) return true;
    // "F8", "100": a number out of range, not a name.
    const bool numbered = !text.empty() && (text[0] == 'F' || text[0] == 'f' || text[0] == '-' ||
                                            (text[0] >= '0' && text[0] <= '9')) &&
                          text.find_first_not_of("0123456789", 1) == std::string::npos;
    if (numbered && text.size() > 1) return false;
    if (numbered && text[0] >= '0' && text[0] <= '9') return false;
    struct Candidate {
        PresetChoice choice;
        std::string label;
        std::string name;
    };
    std::vector<Candidate> all;
    Engine* engine = createEngine(1);
    if (engine == nullptr) return false;
    std::string ignored;
    for (int factory = 1; factory <= kFactoryPresetCount; ++factory) {
        if (!loadFactoryPreset(*engine, factory, &ignored)) continue;
        Candidate candidate;
        candidate.choice.kind = PresetChoice::kFactory;
        candidate.choice.number = factory;
        candidate.name = presetName(*engine);
        candidate.label = listText(1 - factory, candidate.name);
        all.push_back(candidate);
    }
    destroyEngine(engine);
    for (const UserPreset& user : userPresets(settingsDirectory)) {
        Candidate candidate;
        candidate.choice.kind = PresetChoice::kUser;
        candidate.choice.number = user.slot;
        candidate.name = user.name;
        candidate.label = listText(user.slot, user.name);
        all.push_back(candidate);
    }
    const std::string wanted = lowerCase(text);
    std::vector<const Candidate*> whole, starts;
    for (const Candidate& candidate : all) {
        const std::string name = lowerCase(candidate.name);
        if (name == wanted) whole.push_back(&candidate);
        if (name.compare(0, wanted.size(), wanted) == 0) starts.push_back(&candidate);
    }
    const std::vector<const Candidate*>& found = whole.empty() ? starts : whole;
    if (found.size() == 1) {
        *choice = found[0]->choice;
        return true;
    }
    if (found.empty()) {
        *error = "unknown preset '" + text +
                 "': use F1 to F7, a user slot 1 to 99, a preset's name, or the path of a preset file";
        return false;
    }
    *error = "preset name '" + text + "' fits several presets:";
    for (const Candidate* candidate : found) {
        *error += " ";
        *error += candidate->label;
        *error += ";";
    }
    error->back() = ' ';
    *error += "(give the number)";
    return false;
}

bool isPresetKey(const std::string& key) {
    if (key == kNameKey || key == "General.BaseFactoryPreset") return true;
    const int index = engineParamIndex(key);
    return index >= 0 && engineParams()[index].storage == EngineParamStorage::kPreset;
}

bool registeredRange(const std::string& key, double* min, double* max) {
    const int index = engineParamIndex(key);
    if (index < 0 || engineParams()[index].kind != EngineParamKind::kSlider) return false;
    *min = engineParams()[index].minimum;
    *max = engineParams()[index].maximum;
    return true;
}

bool checkSetting(const std::string& text, std::string* error) {
    SettingPair pair;
    if (!parseSettingPair(text, &pair)) {
        *error = "--set takes KEY=VALUE, not '" + text + "'";
        return false;
    }
    return checkSettings({pair}, error);
}

bool applySettings(HostedEngine& engine, const std::vector<std::string>& settings, std::string* error) {
    std::vector<SettingPair> pairs;
    for (const std::string& text : settings) {
        SettingPair pair;
        if (!parseSettingPair(text, &pair)) {
            *error = "--set takes KEY=VALUE, not '" + text + "'";
            return false;
        }
        pairs.push_back(pair);
    }
    return pairs.empty() || ::applySettings(*engine.engine, pairs, error);
}

std::vector<double> parameterValues(HostedEngine& engine) { return paramValues(*engine.engine); }

bool presetLatency(const std::string& settingsDirectory, const PresetChoice& choice, long* frames, std::string* error) {
    EngineSetup setup;
    setup.settingsDirectory = settingsDirectory;
    setup.preset = choice;
    setup.fixSeed = true;
    setup.seed = 1;
    HostedEngine* engine = startEngine(setup, error);
    if (engine == nullptr) return false;
    *frames = latencyFrames(*engine);
    stopEngine(engine);
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

std::string userPresetFileName(int slot) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%.2d.ini", kPresetFilePrefix, slot);
    return name;
}

HostedEngine* startEngine(const EngineSetup& setup, std::string* error) {
    const uint32_t seed = setup.fixSeed ? setup.seed : static_cast<uint32_t>(std::time(nullptr));
    Engine* created = createEngine(seed);
    if (created == nullptr) {
        *error = "not enough memory for the processor";
        return nullptr;
    }
    HostedEngine* engine = new HostedEngine;
    engine->engine = created;
    engine->settingsDirectory = setup.settingsDirectory;
    if (!loadPreset(*engine, setup.preset, error) || !applySettings(*engine, setup.settings, error)) {
        stopEngine(engine);
        return nullptr;
    }
    return engine;
}

void stopEngine(HostedEngine* engine) {
    if (engine == nullptr) return;
    stopBlockPipeline(engine->pipeline);
    destroyEngine(engine->engine);
    delete engine;
}

bool loadPreset(HostedEngine& engine, const PresetChoice& choice, std::string* error) {
    PresetChoice chosen = choice;
    if (choice.kind == PresetChoice::kStartup) {
        const int32_t startup = startupPresetNumber(engine.settingsDirectory);
        chosen.kind = startup >= 1 ? PresetChoice::kUser : PresetChoice::kFactory;
        chosen.number = startup >= 1 ? startup : 1 - startup;
    }
    std::string text;
    Engine& processor = *engine.engine;
    switch (chosen.kind) {
        case PresetChoice::kStartup:
            break;
        case PresetChoice::kFactory:
            if (!loadFactoryPreset(processor, chosen.number, error)) return false;
            engine.number = 1 - chosen.number;
            break;
        case PresetChoice::kUser: {
            const std::string path = userSlotPath(engine.settingsDirectory, chosen.number);
            if (path.empty()) {
                *error = "user preset slot " + std::to_string(chosen.number) +
                         " cannot be read: there is no settings directory (set HOME or give --dir)";
                return false;
            }
            if (!readWholeFile(path, &text) || textValue(text = presetFileText(text.data(), text.size()), kNameKey).empty()) {
                if (choice.kind == PresetChoice::kStartup) {  // as the plug-in: an empty startup slot gives F1
                    if (!loadFactoryPreset(processor, 1, error)) return false;
                    engine.number = 0;
                    break;
                }
                *error = "user preset slot " + std::to_string(chosen.number) + " is empty (no named preset in " +
                         path + ")";
                return false;
            }
            if (!loadPresetText(processor, text.data(), text.size(), error)) {
                *error = "'" + path + "' is not a preset file (it has no General.Name or General.BaseFactoryPreset line)";
                return false;
            }
            engine.number = chosen.number;
            break;
        }
        case PresetChoice::kFile:
            if (access(chosen.path.c_str(), R_OK) != 0 || !readWholeFile(chosen.path, &text)) {
                *error = "cannot read preset file '" + chosen.path + "': " + std::strerror(errno);
                return false;
            }
            text = presetFileText(text.data(), text.size());
            if (!loadPresetText(processor, text.data(), text.size(), error)) {
                *error = "'" + chosen.path +
                         "' is not a preset file (it has no General.Name or General.BaseFactoryPreset line)";
                return false;
            }
            break;
    }
    engine.preset = choice;
    return true;
}

namespace {

void countFrames(HostedEngine& engine, int frames) {
    engine.framesSubmitted.store(engine.framesSubmitted.load(std::memory_order_relaxed) + static_cast<uint64_t>(frames),
                                 std::memory_order_relaxed);
}

}  // namespace

Engine* hostApiEngine(HostedEngine& engine) { return engine.engine; }

uint64_t framesSubmitted(const HostedEngine& engine) { return engine.framesSubmitted.load(std::memory_order_relaxed); }

void addProcessedFrames(HostedEngine& engine, int frames) { countFrames(engine, frames); }

void processBlock(HostedEngine& engine, short* interleaved, int frames) {
    countFrames(engine, frames);
    processBlock16(*engine.engine, interleaved, frames);
}

void processBlock(HostedEngine& engine, double* interleavedStereo, int frames) {
    countFrames(engine, frames);
    processBlockDouble(*engine.engine, interleavedStereo, frames, 2);
}

int engineThreadsToUse() {
    const char* forced = std::getenv(kEngineThreadsVariable);
    if (forced != nullptr && std::strcmp(forced, "1") == 0) return 1;
    // The processors this thread may run on (taskset, a container's CPU set), not all the machine
    // has: two threads on one processor only take turns, and waiting costs.
    cpu_set_t allowed;
    const int cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                          ? CPU_COUNT(&allowed)
                          : static_cast<int>(std::thread::hardware_concurrency());
    return cores >= 2 ? 2 : 1;
}

bool startSecondThread(HostedEngine& engine) {
    if (engine.pipeline == nullptr) engine.pipeline = startBlockPipeline(*engine.engine);
    return engine.pipeline != nullptr;
}

uint64_t submitBlock(HostedEngine& engine, short* interleaved, int frames) {
    countFrames(engine, frames);
    if (engine.pipeline == nullptr) {
        processBlock16(*engine.engine, interleaved, frames);
        return 0;
    }
    submitBlock16(*engine.pipeline, interleaved, frames);
    return submittedMark(*engine.pipeline);
}

uint64_t submitBlock(HostedEngine& engine, double* interleavedStereo, int frames) {
    countFrames(engine, frames);
    if (engine.pipeline == nullptr) {
        processBlockDouble(*engine.engine, interleavedStereo, frames, 2);
        return 0;
    }
    submitBlockDouble(*engine.pipeline, interleavedStereo, frames);
    return submittedMark(*engine.pipeline);
}

void waitForBlocks(HostedEngine& engine, uint64_t mark) {
    if (engine.pipeline != nullptr) waitForMark(*engine.pipeline, mark);
}

long latencyFrames(const HostedEngine& engine) { return static_cast<long>(::latencyFrames(*engine.engine)); }

std::string describeLoadedPreset(const HostedEngine& engine) {
    const PresetChoice& choice = engine.preset;
    const std::string name = presetName(*engine.engine);
    switch (choice.kind) {
        case PresetChoice::kStartup:
            return "startup preset " + listText(engine.number, name);
        case PresetChoice::kFactory:
        case PresetChoice::kUser:
            return listText(engine.number, name);
        case PresetChoice::kFile: {
            char base[48];
            const double number = basePreset(*engine.engine);
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

PresetFacts loadedPresetFacts(const HostedEngine& engine) {
    PresetFacts facts;
    facts.name = presetName(*engine.engine);
    const PresetChoice& choice = engine.preset;
    if (choice.kind == PresetChoice::kFile) {
        facts.source = "file";
        facts.file = choice.path;
        return facts;
    }
    const bool factory = engine.number <= 0;
    char number[16];
    std::snprintf(number, sizeof number, factory ? "F%d" : "%d", factory ? 1 - engine.number : engine.number);
    facts.number = number;
    facts.source = std::string(choice.kind == PresetChoice::kStartup ? "startup " : "") + (factory ? "factory" : "user");
    return facts;
}

std::string loadedPresetText(HostedEngine& engine, const std::string& fileName) {
    std::string text = presetText(*engine.engine);
    const std::string label = "\r\nFilename: ";
    const size_t line = text.find(label);
    if (line != std::string::npos) {
        const size_t start = line + label.size();
        const size_t end = text.find('\r', start);
        text.replace(start, end == std::string::npos ? std::string::npos : end - start,
                     fileName.substr(0, kFileNameLineLimit));
    }
    return text;
}

std::vector<std::string> factoryPresetNames(HostedEngine& engine) {
    std::vector<std::string> names;
    std::string error;
    for (int factory = 1; factory <= kFactoryPresetCount; ++factory) {
        names.push_back(loadFactoryPreset(*engine.engine, factory, &error) ? presetName(*engine.engine) : std::string());
    }
    loadPreset(engine, engine.preset, &error);
    return names;
}

std::vector<UserPreset> userPresets(const std::string& settingsDirectory) {
    std::vector<UserPreset> presets;
    if (settingsDirectory.empty()) return presets;
    for (int slot = 1; slot <= kUserSlotCount; ++slot) {
        std::string text;
        if (!readWholeFile(userSlotPath(settingsDirectory, slot), &text)) continue;
        const std::string name = textValue(presetFileText(text.data(), text.size()), kNameKey);
        if (!name.empty()) presets.push_back({slot, name});
    }
    return presets;
}

int32_t startupPresetNumber(const std::string& settingsDirectory) {
    std::string text;
    if (settingsDirectory.empty() || !readWholeFile(settingsDirectory + kSettingsFile, &text)) return 0;
    const std::string value = textValue(presetFileText(text.data(), text.size()), kStartupKey);
    const long number = std::strtol(value.c_str(), nullptr, 10);
    return number >= -(kFactoryPresetCount - 1) && number <= kUserSlotCount ? static_cast<int32_t>(number) : 0;
}

int responsePointCount() { return kSweepPointCount; }

bool measureResponse(HostedEngine& engine, ResponseCurve* curve, const std::atomic<bool>* cancel,
                     std::atomic<int>* pointsDone) {
    static SweepFrequencyTable sweepTable;  // large; one sweep at a time
    ResetResponsePlot(sweepTable);
    Engine* copy = createEngineCopy(*engine.engine, 1);
    if (copy == nullptr) return false;
    const bool complete = FrequencyResponseSweep(*copy, sweepTable, cancel, pointsDone);
    destroyEngine(copy);
    curve->frequencyHz.clear();
    curve->amplitude.clear();
    for (int i = 0; i <= kSweepTableLast; i += kSweepTableStep) {
        curve->frequencyHz.push_back(sweepTable.frequency[i]);
        curve->amplitude.push_back(sweepTable.response[i]);
    }
    curve->seconds = sweepTable.duration;
    return complete;
}

std::string versionText() { return engineVersion(); }

bool findBuiltInText(const char* type, int id, std::string* text) {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource(type, id, &data, &size)) return false;
    text->assign(reinterpret_cast<const char*>(data), size);
    return true;
}

std::string shownName(const std::string& name) {
    std::string shown;
    for (const char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string withStartupPreset(std::string text, int32_t number) {
    const std::string key = "General.StartupPreset";
    const std::string value = std::to_string(number);
    const size_t line = text.find("\r\n" + key + " ");
    if (line != std::string::npos) {
        const size_t sign = text.find('=', line + 2);
        const size_t end = text.find('\r', line + 2);
        if (sign != std::string::npos && (end == std::string::npos || sign < end)) {
            text.replace(sign, (end == std::string::npos ? text.size() : end) - sign, "= " + value);
        }
        return text;
    }
    if (text.empty()) text = "Drelvant\r\n";
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
    char entry[80];
    std::snprintf(entry, sizeof entry, "%-30s = %s\r\n", key.c_str(), value.c_str());
    return text + entry;
}

}  // namespace cli

