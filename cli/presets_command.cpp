// `drelvant presets`: listing the factory and user presets, showing, exporting, saving, checking
// and comparing them, and the startup preset.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/files.h"
#include "cli/hosting.h"
#include "cli/options.h"
#include "cli/preset_check.h"
#include "host/engine_api.h"

namespace cli {
namespace {

const char kPresetsHelp[] =
    "Usage: drelvant presets [--dir DIR]\n"
    "       drelvant presets show P [--dir DIR]\n"
    "       drelvant presets export P FILE [--dir DIR]\n"
    "       drelvant presets save SLOT FILE [--name NAME] [--dir DIR]\n"
    "       drelvant presets save SLOT --from P --name NAME [--dir DIR]\n"
    "       drelvant presets default P [--dir DIR]\n"
    "       drelvant presets check FILE\n"
    "       drelvant presets diff A B [--dir DIR]\n"
    "\n"
    "Without a subcommand, lists the seven factory presets (F1 ... F7), the user\n"
    "presets of the settings directory (slots 1 ... 99, files DV_Preset01.ini ...\n"
    "DV_Preset99.ini) and the startup preset, each with its latency (the delay of\n"
    "the stages it switches on, removed again by 'process').\n"
    "\n"
    "  show P           prints the complete preset text of P: its name, its base\n"
    "                   factory preset and every stored parameter, as a saved preset\n"
    "                   file holds them, with Unix line ends. What it prints loads\n"
    "                   with 'drelvant process --preset FILE' as it is.\n"
    "  export P FILE    writes that text to FILE with CR LF line ends, as the plug-in\n"
    "                   writes its files (- for standard output). The file can be\n"
    "                   edited and used with --preset FILE, or copied into the\n"
    "                   settings directory as DV_PresetNN.ini for the plug-in.\n"
    "                   'show' gives the preset's latency on standard error.\n"
    "  save SLOT FILE   loads the preset file FILE and saves it as user preset SLOT\n"
    "                   (1 ... 99): DIR/DV_PresetNN.ini, CR LF lines, as the plug-in\n"
    "                   saves; --name NAME renames it (at most 31 characters).\n"
    "  save SLOT --from P --name NAME\n"
    "                   saves preset P under NAME as user preset SLOT. The settings\n"
    "                   directory is created when it is the default one.\n"
    "  default P        makes P the startup preset: the \"General.StartupPreset\"\n"
    "                   line of DIR/dsp_Drelvant.ini (its other lines are kept),\n"
    "                   read by the plug-in and by 'process' without --preset.\n"
    "  check FILE       reads a preset file and reports, by line number, what the\n"
    "                   plug-in would not take: a missing header (\"Drelvant\") or\n"
    "                   name, lines that are not 'Key = value', unknown keys,\n"
    "                   values that are not numbers or lie outside the registered\n"
    "                   range, and lines past the readable size (16,383 bytes).\n"
    "                   Exit status 0 when nothing was found, 1 otherwise.\n"
    "  diff A B         the keys whose values differ between presets A and B (as\n"
    "                   they load: base preset first, then their own keys).\n"
    "\n"
    "P, A and B are F1 ... F7, a user slot 1 ... 99, a preset's name (case does not\n"
    "matter; the start of one name is enough), or the path of a preset file. Preset\n"
    "files may have LF or CR LF line ends and a UTF-8 byte-order mark. Only save\n"
    "and default write to the settings directory.\n"
    "\n"
    "Options\n"
    "  --dir DIR        settings directory. Default: $XDG_CONFIG_HOME/drelvant or\n"
    "                   ~/.config/drelvant.\n"
    "  -h, --help       this text.\n";

enum PresetsOptionId { kFrom = kFirstCommandOption, kName };
const std::vector<OptionSpec> kPresetsOptions = {kDirOption, {"from", 0, true, kFrom}, {"name", 0, true, kName}};

constexpr size_t kLongestName = 31;

std::string latencyText(long frames) {
    char text[48];
    std::snprintf(text, sizeof text, "latency %.1f ms", 1000.0 * frames / 44100.0);
    return text;
}

// "  (latency 650.1 ms)" of a preset, or empty when it cannot be loaded.
std::string latencyColumn(const std::string& directory, const PresetChoice& choice) {
    long frames = 0;
    std::string error;
    if (!presetLatency(directory, choice, &frames, &error)) return std::string();
    std::string column = "  (";
    column += latencyText(frames);
    column += ")";
    return column;
}

bool readFile(const std::string& path, std::string* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    *bytes = content.str();
    return !file.bad();
}

// The settings directory for writing: the default one is created when missing.
bool directoryForWriting(const std::string& directory) {
    if (directory.empty()) {
        printError("no settings directory: HOME is not set (give --dir)");
        return false;
    }
    std::string path;
    for (size_t i = 0; i < directory.size(); ++i) {
        path += directory[i];
        if ((directory[i] == '/' || i + 1 == directory.size()) && path.size() > 1 && mkdir(path.c_str(), 0755) != 0 &&
            errno != EEXIST) {
            printError("cannot create the settings directory '%s': %s", directory.c_str(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

// "Key = value" pairs of a CR LF preset text, in order.
std::vector<std::pair<std::string, std::string>> keyValues(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t sign = line.find(" = ");
        if (sign == std::string::npos) continue;
        std::string key = line.substr(0, sign);
        key.erase(key.find_last_not_of(' ') + 1);
        pairs.emplace_back(key, line.substr(sign + 3));
    }
    return pairs;
}

bool choose(const std::string& directory, const std::string& text, PresetChoice* choice) {
    std::string error;
    if (choosePreset(text, directory, choice, &error)) return true;
    printError("%s", error.c_str());
    return false;
}

std::string withUnixLineEnds(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result += text[i];
    }
    return result;
}

// The name the preset text's "Filename:" line carries.
std::string textFileNameFor(const PresetChoice& choice, const std::string& exportPath) {
    if (!exportPath.empty() && exportPath != "-") return baseNameOf(exportPath);
    if (choice.kind == PresetChoice::kFile) return baseNameOf(choice.path);
    if (choice.kind == PresetChoice::kUser) return userPresetFileName(choice.number);
    char name[16];
    std::snprintf(name, sizeof name, "F%d.ini", choice.number);
    return name;
}

HostedEngine* engineWith(const std::string& directory, const PresetChoice& choice) {
    EngineSetup setup;
    setup.settingsDirectory = directory;
    setup.preset = choice;
    setup.fixSeed = true;
    setup.seed = 1;
    std::string error;
    HostedEngine* engine = startEngine(setup, &error);
    if (engine == nullptr) printError("%s", error.c_str());
    return engine;
}

int listPresets(const std::string& directory) {
    PresetChoice factory;
    factory.kind = PresetChoice::kFactory;
    factory.number = 1;
    HostedEngine* engine = engineWith(directory, factory);
    if (engine == nullptr) return kExitFailure;
    const std::vector<std::string> names = factoryPresetNames(*engine);
    stopEngine(engine);
    std::printf("Factory presets\n");
    for (size_t index = 0; index < names.size(); ++index) {
        PresetChoice choice;
        choice.kind = PresetChoice::kFactory;
        choice.number = static_cast<int>(index + 1);
        std::printf("  F%-3d %-32s%s\n", static_cast<int>(index + 1), names[index].c_str(),
                    latencyColumn(directory, choice).c_str());
    }
    if (directory.empty()) {
        std::printf("\nNo settings directory (HOME is not set; give --dir): no user presets\n");
    } else {
        std::printf("\nUser presets in %s\n", directory.c_str());
    }
    const std::vector<UserPreset> user = userPresets(directory);
    for (const UserPreset& preset : user) {
        PresetChoice choice;
        choice.kind = PresetChoice::kUser;
        choice.number = preset.slot;
        std::printf("  %-4d %-32s%s\n", preset.slot, shownName(preset.name).c_str(),
                    latencyColumn(directory, choice).c_str());
    }
    if (user.empty() && !directory.empty()) std::printf("  (none)\n");
    const int32_t startup = startupPresetNumber(directory);
    if (startup > 0) {
        std::printf("\nStartup preset: %d\n", static_cast<int>(startup));
    } else {
        std::printf("\nStartup preset: F%d\n", static_cast<int>(1 - startup));
    }
    return kExitOk;
}

int showOrExport(const std::string& directory, const std::string& presetText, const std::string& exportPath) {
    PresetChoice choice;
    std::string error;
    if (!choose(directory, presetText, &choice)) return kExitFailure;
    HostedEngine* engine = engineWith(directory, choice);
    if (engine == nullptr) return kExitFailure;
    const std::string text = loadedPresetText(*engine, textFileNameFor(choice, exportPath));
    const std::string description = describeLoadedPreset(*engine);
    const long latency = latencyFrames(*engine);
    stopEngine(engine);
    if (exportPath.empty()) {
        std::fputs(withUnixLineEnds(text).c_str(), stdout);
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s (%ld frames)\n", description.c_str(), latencyText(latency).c_str(), latency);
        return kExitOk;
    }
    if (!writeWholeFile(exportPath, text, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (exportPath != "-") std::fprintf(stderr, "Wrote %s (%s)\n", exportPath.c_str(), description.c_str());
    return kExitOk;
}

int savePreset(const std::string& directory, const std::string& slotText, const std::string& source,
               const std::string& name) {
    long long slot = 0;
    if (!parseInteger(slotText, 1, kUserSlotCount, &slot)) {
        printError("presets save needs a user slot 1 ... 99, not '%s'", slotText.c_str());
        return kExitUsage;
    }
    if (name.size() > kLongestName) {
        printError("a preset name has at most 31 characters ('%s' has %zu)", name.c_str(), name.size());
        return kExitUsage;
    }
    if (name.find_first_of("\r\n") != std::string::npos) {
        printError("a preset name is one line");
        return kExitUsage;
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            printError("a preset name holds no control characters or escape sequences");
            return kExitUsage;
        }
    }
    PresetChoice choice;
    if (!choose(directory, source, &choice)) return kExitFailure;
    HostedEngine* engine = engineWith(directory, choice);
    if (engine == nullptr) return kExitFailure;
    const std::string fileName = userPresetFileName(static_cast<int>(slot));
    std::string text = loadedPresetText(*engine, fileName);
    stopEngine(engine);
    if (!name.empty()) {
        const std::string label = "\r\nGeneral.Name";
        const size_t line = text.find(label);
        const size_t sign = line == std::string::npos ? line : text.find(" = ", line);
        const size_t end = sign == std::string::npos ? sign : text.find('\r', sign);
        if (end == std::string::npos) {
            printError("the preset text has no General.Name line to rename");
            return kExitFailure;
        }
        text.replace(sign + 3, end - sign - 3, name);
    }
    // A slot holds only what `presets check` passes: values outside their ranges are refused with
    // its messages.
    const std::vector<PresetFault> faults = checkPresetBytes(text);
    bool refused = false;
    for (const PresetFault& fault : faults) {
        if (!fault.outOfRange) continue;
        printError("line %d: %s", fault.line, fault.message.c_str());
        refused = true;
    }
    if (refused) {
        printError("not saved: the preset has values outside their ranges");
        return kExitFailure;
    }
    if (!directoryForWriting(directory)) return kExitFailure;
    const std::string path = directory + fileName;
    std::string error;
    if (!writeWholeFile(path, text, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    std::printf("Saved user preset %lld to %s\n", slot, path.c_str());
    return kExitOk;
}

int setStartupPreset(const std::string& directory, const std::string& presetText) {
    PresetChoice choice;
    if (!choose(directory, presetText, &choice)) return kExitFailure;
    if (choice.kind == PresetChoice::kFile) {
        printError("the startup preset is a factory preset or a user slot, not a file (save it first: presets save)");
        return kExitFailure;
    }
    if (choice.kind == PresetChoice::kUser) {
        HostedEngine* engine = engineWith(directory, choice);  // refuses an empty slot
        if (engine == nullptr) return kExitFailure;
        stopEngine(engine);
    }
    const int number = choice.kind == PresetChoice::kFactory ? 1 - choice.number : choice.number;
    if (!directoryForWriting(directory)) return kExitFailure;
    const std::string path = directory + "dsp_Drelvant.ini";
    std::string text;
    const bool existed = readFile(path, &text);
    if (existed) text = presetFileText(text.data(), text.size());
    text = withStartupPreset(text, number);
    std::string error;
    if (!writeWholeFile(path, text, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    std::printf("Startup preset %s%d written to %s\n", number <= 0 ? "F" : "", number <= 0 ? 1 - number : number,
                path.c_str());
    return kExitOk;
}

int checkPreset(const std::string& path) {
    std::string bytes;
    if (!readFile(path, &bytes)) {
        printError("cannot read '%s': %s", path.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    const std::vector<PresetFault> faults = checkPresetBytes(bytes);
    for (const PresetFault& fault : faults) {
        if (fault.line > 0) {
            std::printf("%s:%d: %s\n", path.c_str(), fault.line, fault.message.c_str());
        } else {
            std::printf("%s: %s\n", path.c_str(), fault.message.c_str());
        }
    }
    if (faults.empty()) std::printf("%s: no faults found\n", path.c_str());
    return faults.empty() ? kExitOk : kExitFailure;
}

int diffPresets(const std::string& directory, const std::string& first, const std::string& second) {
    std::vector<std::pair<std::string, std::string>> values[2];
    std::string labels[2];
    const std::string* texts[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        PresetChoice choice;
        if (!choose(directory, *texts[i], &choice)) return kExitFailure;
        HostedEngine* engine = engineWith(directory, choice);
        if (engine == nullptr) return kExitFailure;
        values[i] = keyValues(loadedPresetText(*engine, "diff.ini"));
        labels[i] = describeLoadedPreset(*engine);
        stopEngine(engine);
    }
    std::map<std::string, std::string> second_values(values[1].begin(), values[1].end());
    std::printf("--- %s\n+++ %s\n", labels[0].c_str(), labels[1].c_str());
    int differences = 0;
    for (const auto& [key, value] : values[0]) {
        const auto other = second_values.find(key);
        const std::string otherValue = other == second_values.end() ? "(absent)" : other->second;
        if (otherValue == value) continue;
        std::printf("%-36s %-16s %s\n", key.c_str(), value.c_str(), otherValue.c_str());
        ++differences;
    }
    std::printf("%d key%s differ%s\n", differences, differences == 1 ? "" : "s", differences == 1 ? "s" : "");
    return kExitOk;
}

}  // namespace

int runPresetsCommand(int argc, char** argv) {
    ParsedArguments arguments;
    if (!parseArguments("presets", kPresetsOptions, argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        std::fputs(kPresetsHelp, stdout);
        return kExitOk;
    }
    SharedOptions shared;
    std::string from, name;
    bool fromGiven = false, nameGiven = false;
    for (const ParsedOption& option : arguments.options) {
        const SharedTake taken = takeSharedOption(option, &shared);
        if (taken == SharedTake::kBadValue) return kExitUsage;
        if (taken == SharedTake::kTaken) continue;
        if (option.id == kFrom) {
            from = option.value;
            fromGiven = true;
        } else if (option.id == kName) {
            name = option.value;
            nameGiven = true;
        }
    }
    const std::vector<std::string>& words = arguments.positional;
    if ((fromGiven || nameGiven) && (words.empty() || words[0] != "save")) {
        printError("--from and --name go with presets save");
        return kExitUsage;
    }
    std::string directory, error;
    if (!chooseSettingsDirectory(shared.directory, &directory, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    const std::vector<std::string>& positional = arguments.positional;
    if (positional.empty()) return listPresets(directory);
    const std::string& subcommand = positional[0];
    if (subcommand == "list") {
        if (positional.size() > 1) return reportUnexpectedArgument("presets", positional[1]);
        return listPresets(directory);
    }
    if (subcommand == "show") {
        if (positional.size() < 2) {
            printError("presets show needs one preset: drelvant presets show P");
            return kExitUsage;
        }
        if (positional.size() > 2) return reportUnexpectedArgument("presets", positional[2]);
        return showOrExport(directory, positional[1], std::string());
    }
    if (subcommand == "export") {
        if (positional.size() < 3) {
            printError("presets export needs a preset and a file: drelvant presets export P FILE");
            return kExitUsage;
        }
        if (positional.size() > 3) return reportUnexpectedArgument("presets", positional[3]);
        return showOrExport(directory, positional[1], positional[2]);
    }
    if (subcommand == "save") {
        if (fromGiven) {
            if (positional.size() < 2 || !nameGiven || name.empty()) {
                printError("presets save needs a slot and a name: drelvant presets save SLOT --from P --name NAME");
                return kExitUsage;
            }
            if (positional.size() > 2) return reportUnexpectedArgument("presets", positional[2]);
            return savePreset(directory, positional[1], from, name);
        }
        if (positional.size() < 3) {
            printError("presets save needs a slot and a file: drelvant presets save SLOT FILE");
            return kExitUsage;
        }
        if (positional.size() > 3) return reportUnexpectedArgument("presets", positional[3]);
        struct stat info {};
        if (stat(positional[2].c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            printError("cannot read preset file '%s'", positional[2].c_str());
            return kExitFailure;
        }
        return savePreset(directory, positional[1], positional[2], name);
    }
    if (subcommand == "default") {
        if (positional.size() < 2) {
            printError("presets default needs one preset: drelvant presets default P");
            return kExitUsage;
        }
        if (positional.size() > 2) return reportUnexpectedArgument("presets", positional[2]);
        return setStartupPreset(directory, positional[1]);
    }
    if (subcommand == "check") {
        if (positional.size() < 2) {
            printError("presets check needs a file: drelvant presets check FILE");
            return kExitUsage;
        }
        if (positional.size() > 2) return reportUnexpectedArgument("presets", positional[2]);
        return checkPreset(positional[1]);
    }
    if (subcommand == "diff") {
        if (positional.size() < 3) {
            printError("presets diff needs two presets: drelvant presets diff A B");
            return kExitUsage;
        }
        if (positional.size() > 3) return reportUnexpectedArgument("presets", positional[3]);
        return diffPresets(directory, positional[1], positional[2]);
    }
    printError("unknown presets subcommand '%s' (use list, show, export, save, default, check or diff; see drelvant presets --help)",
               subcommand.c_str());
    return kExitUsage;
}

}  // namespace cli
