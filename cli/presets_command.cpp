// `drelvant presets`: listing the factory and user presets, showing and exporting one.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/files.h"
#include "cli/hosting.h"
#include "cli/options.h"

namespace cli {
namespace {

const char kPresetsHelp[] =
    "Usage: drelvant presets [--dir DIR]\n"
    "       drelvant presets show P [--dir DIR]\n"
    "       drelvant presets export P FILE [--dir DIR]\n"
    "\n"
    "Without a subcommand, lists the seven factory presets (F1 ... F7), the user\n"
    "presets of the settings directory (slots 1 ... 99, files DV_Preset01.ini ...\n"
    "DV_Preset99.ini) and the startup preset.\n"
    "\n"
    "  show P           prints the complete preset text of P: its name, its base\n"
    "                   factory preset and every stored parameter, as a saved preset\n"
    "                   file holds them, with Unix line ends. What it prints loads\n"
    "                   with 'drelvant process --preset FILE' as it is.\n"
    "  export P FILE    writes that text to FILE with CR LF line ends, as the plug-in\n"
    "                   writes its files (- for standard output). The file can be\n"
    "                   edited and used with --preset FILE, or copied into the\n"
    "                   settings directory as DV_PresetNN.ini for the plug-in.\n"
    "\n"
    "P is F1 ... F7, a user slot 1 ... 99, or the path of a preset file. Preset files\n"
    "may have LF or CR LF line ends and a UTF-8 byte-order mark. These commands only\n"
    "read the settings directory; nothing is saved there.\n"
    "\n"
    "Options\n"
    "  --dir DIR        settings directory. Default: $XDG_CONFIG_HOME/drelvant or\n"
    "                   ~/.config/drelvant.\n"
    "  -h, --help       this text.\n";

const std::vector<OptionSpec> kPresetsOptions = {kDirOption};

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
    for (size_t index = 0; index < names.size(); ++index) std::printf("  F%-3d %s\n", static_cast<int>(index + 1), names[index].c_str());
    if (directory.empty()) {
        std::printf("\nNo settings directory (HOME is not set; give --dir): no user presets\n");
    } else {
        std::printf("\nUser presets in %s\n", directory.c_str());
    }
    const std::vector<UserPreset> user = userPresets(directory);
    for (const UserPreset& preset : user) std::printf("  %-4d %s\n", preset.slot, preset.name.c_str());
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
    if (!parsePresetChoice(presetText, &choice, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    HostedEngine* engine = engineWith(directory, choice);
    if (engine == nullptr) return kExitFailure;
    const std::string text = loadedPresetText(*engine, textFileNameFor(choice, exportPath));
    const std::string description = describeLoadedPreset(*engine);
    stopEngine(engine);
    if (exportPath.empty()) {
        std::fputs(withUnixLineEnds(text).c_str(), stdout);
        return kExitOk;
    }
    if (!writeWholeFile(exportPath, text, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (exportPath != "-") std::fprintf(stderr, "Wrote %s (%s)\n", exportPath.c_str(), description.c_str());
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
    for (const ParsedOption& option : arguments.options) {
        if (takeSharedOption(option, &shared) == SharedTake::kBadValue) return kExitUsage;
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
    printError("unknown presets subcommand '%s' (use list, show or export; see drelvant presets --help)",
               subcommand.c_str());
    return kExitUsage;
}

}  // namespace cli
