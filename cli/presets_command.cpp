// `drelvant presets`: listing the factory and user presets, showing and exporting one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "dsp/live_params.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/settings_text.h"

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
    "                   file holds them.\n"
    "  export P FILE    writes that text to FILE (CR LF line ends, as the plug-in\n"
    "                   writes its files; - for standard output). The file can be\n"
    "                   edited and used with 'drelvant process --preset FILE', or\n"
    "                   copied into the settings directory as DV_PresetNN.ini.\n"
    "\n"
    "P is F1 ... F7, a user slot 1 ... 99, or the path of a preset file.\n"
    "\n"
    "Options\n"
    "  --dir DIR        settings directory. Default: $XDG_CONFIG_HOME/drelvant or\n"
    "                   ~/.config/drelvant.\n"
    "  -h, --help       this text.\n";

std::string withUnixLineEnds(const char* text) {
    std::string result;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '\r' && p[1] == '\n') continue;
        result += *p;
    }
    return result;
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name the preset text's "Filename:" line carries.
std::string textFileNameFor(const PresetChoice& choice, const std::string& exportPath) {
    std::string name;
    if (!exportPath.empty() && exportPath != "-") {
        name = baseNameOf(exportPath);
    } else if (choice.kind == PresetChoice::kFile) {
        name = baseNameOf(choice.path);
    } else if (choice.number >= 1) {
        char fileName[kPresetFileNameSize];
        PresetFileName(choice.number, fileName);
        name = fileName;
    } else {
        char factoryName[16];
        std::snprintf(factoryName, sizeof factoryName, "F%d.ini", static_cast<int>(1 - choice.number));
        name = factoryName;
    }
    if (name.size() >= static_cast<size_t>(kTextFileNameSize)) name.resize(kTextFileNameSize - 1);
    return name;
}

int listPresets() {
    ScanPresets(PluginEngine());
    ReadTextFile(PluginEngine().text, kSettingsFileName);
    const int32_t startup = static_cast<int32_t>(GetNumber(PluginEngine().text, "General.StartupPreset", 0));

    std::printf("Factory presets\n");
    for (int index = 0; index < kFactorySlots; ++index) {
        if (PluginEngine().presets.factoryNames[index][0] == '\0') continue;
        std::printf("  F%-3d %s\n", index + 1, PluginEngine().presets.factoryNames[index]);
    }
    std::printf("\nUser presets in %s\n", settingsDirectory().c_str());
    int count = 0;
    for (int slot = 1; slot <= kUserSlots; ++slot) {
        if (PluginEngine().presets.userNames[slot][0] == '\0') continue;
        std::printf("  %-4d %s\n", slot, PluginEngine().presets.userNames[slot]);
        ++count;
    }
    if (count == 0) std::printf("  (none)\n");
    if (startup > 0) {
        std::printf("\nStartup preset: %d\n", static_cast<int>(startup));
    } else {
        std::printf("\nStartup preset: F%d\n", static_cast<int>(1 - startup));
    }
    return kExitOk;
}

int showOrExport(const std::string& presetText, const std::string& exportPath) {
    PresetChoice choice;
    std::string error;
    if (!parsePresetChoice(presetText, &choice, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    // Only reads: the module is started but not stopped, because stopping rewrites the settings file.
    startModule(true, 1);
    if (!applyPresetChoice(choice, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    BuildPresetText(PluginEngine(), textFileNameFor(choice, exportPath).c_str());
    if (exportPath.empty()) {
        std::fputs(withUnixLineEnds(PluginEngine().text.text).c_str(), stdout);
        return kExitOk;
    }
    if (!writeFileAtomically(exportPath, std::string(PluginEngine().text.text), &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (exportPath != "-") std::fprintf(stderr, "Wrote %s (%s)\n", exportPath.c_str(), describePreset(choice).c_str());
    return kExitOk;
}

}  // namespace

int runPresetsCommand(int argc, char** argv) {
    ArgumentCursor cursor = makeCursor(argc, argv, 0);
    std::vector<std::string> positional;
    std::string directory;
    while (!atEnd(cursor)) {
        const std::string argument = cursor.arguments[cursor.next++];
        if (isHelpOption(argument)) {
            std::fputs(kPresetsHelp, stdout);
            return kExitOk;
        } else if (argument == "--dir") {
            if (!takeValue(cursor, argument, &directory)) return kExitUsage;
        } else if (argument.size() > 1 && argument[0] == '-') {
            printError("unknown option '%s' for presets (see drelvant presets --help)", argument.c_str());
            return kExitUsage;
        } else {
            positional.push_back(argument);
        }
    }
    std::string error;
    if (!directory.empty() && !useSettingsDirectory(directory, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (positional.empty() || (positional.size() == 1 && positional[0] == "list")) return listPresets();
    if (positional[0] == "show") {
        if (positional.size() != 2) {
            printError("presets show needs one preset: drelvant presets show P");
            return kExitUsage;
        }
        return showOrExport(positional[1], std::string());
    }
    if (positional[0] == "export") {
        if (positional.size() != 3) {
            printError("presets export needs a preset and a file: drelvant presets export P FILE");
            return kExitUsage;
        }
        return showOrExport(positional[1], positional[2]);
    }
    printError("unknown presets subcommand '%s' (use show or export; see drelvant presets --help)",
               positional[0].c_str());
    return kExitUsage;
}

}  // namespace cli
