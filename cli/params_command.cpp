// `drelvant params`: every parameter the engine has, with its description and its value under a preset.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/hosting.h"
#include "cli/json_report.h"
#include "cli/options.h"
#include "host/engine_params.h"

namespace cli {
namespace {

const char kParamsHelp[] =
    "Usage: drelvant params [--window NAME] [--preset P] [--set KEY=VALUE] [--json]\n"
    "\n"
    "Lists every parameter of the processor in the order of a preset file: key,\n"
    "window, kind (slider, switch, meter), unit, range, default, decimals, slider\n"
    "steps and the value under the preset. Meters and the test-tone controls have\n"
    "no key: they are never stored, and are listed by their window's control id.\n"
    "\n"
    "Options\n"
    "  --window NAME       only the parameters of one window (Main, Advanced,\n"
    "                      10_Band_Compressor, ...; case does not matter)\n"
    "  --preset P          the preset whose values are shown (as for process).\n"
    "                      Default: the startup preset of the settings directory.\n"
    "  --set KEY=VALUE     a value over the preset, as process takes it (repeatable)\n"
    "  --dir DIR           settings directory (as for process)\n"
    "  --json              a JSON document: {\"windows\": [...], \"stages\": [...],\n"
    "                      \"parameters\": [...]}\n"
    "  -h, --help          this text\n"
    "\n"
    "Examples\n"
    "  drelvant params --window Final_Limiter\n"
    "  drelvant params --preset F3 --json | jq '.parameters[] | select(.key != \"\")'\n"
    "\n"
    "Exit status: 0 done, 1 the preset could not be loaded, 2 usage error (an\n"
    "unknown window or key is named with the nearest ones).\n";

enum ParamsOptionId { kWindow = kFirstCommandOption, kJson, kSet };

const std::vector<OptionSpec> kParamsOptions = {
    kPresetOption, kDirOption, {"window", 0, true, kWindow}, {"json", 0, false, kJson}, {"set", 0, true, kSet},
};

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// A number as a preset file stores it: `decimals` digits after the point.
std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Slider steps as "line/page" in value units; a logarithmic slider's in octaves (its positions
// are 1/100 octave apart).
std::string stepsText(const EngineParamInfo& param) {
    if (param.kind != EngineParamKind::kSlider) return "-";
    if (param.logarithmic) return fixed(param.lineStep / 100.0, 2) + "/" + fixed(param.pageStep / 100.0, 2) + " oct";
    return fixed(param.lineStep, param.decimals) + "/" + fixed(param.pageStep, param.decimals);
}

std::string nameOf(const EngineParamInfo& param) {
    return param.key.empty() ? "(control " + std::to_string(param.controlId) + ")" : param.key;
}

void printText(const std::vector<int>& chosen, const std::vector<double>& values) {
    const std::vector<EngineParamInfo>& params = engineParams();
    std::printf("%-34s %-19s %-6s %-5s %9s %9s %9s %3s %-13s %9s\n", "KEY", "WINDOW", "KIND", "UNIT", "MIN", "MAX",
                "DEFAULT", "DEC", "STEPS", "VALUE");
    for (int index : chosen) {
        const EngineParamInfo& p = params[index];
        std::printf("%-34s %-19s %-6s %-5s %9s %9s %9s %3d %-13s %9s\n", nameOf(p).c_str(), p.window.c_str(),
                    engineParamKindText(p.kind), p.unit.empty() ? "-" : p.unit.c_str(),
                    fixed(p.minimum, p.decimals).c_str(), fixed(p.maximum, p.decimals).c_str(),
                    fixed(p.defaultValue, p.decimals).c_str(), p.decimals, stepsText(p).c_str(),
                    fixed(values[index], p.decimals).c_str());
    }
}

std::string jsonNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

void printJson(const std::vector<int>& chosen, const std::vector<double>& values, const std::string& window) {
    std::string out = "{\n  \"windows\": [";
    bool first = true;
    for (const EngineWindowInfo& w : engineWindows()) {
        if (!window.empty() && w.name != window) continue;
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"name\": " + jsonString(w.name) + ", \"title\": " + jsonString(w.title) +
               ", \"template\": " + std::to_string(w.templateId) + ", \"open_button\": " + std::to_string(w.openButton) +
               "}";
    }
    out += "\n  ],\n  \"stages\": [";
    first = true;
    for (const EngineStageInfo& stage : engineStages()) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"name\": " + jsonString(stage.name) + ", \"switch\": " + jsonString(stage.switchKey) +
               ", \"window\": " + jsonString(stage.window) + ", \"caption\": " + jsonString(stage.caption) +
               ", \"indented\": " + (stage.indented ? "true" : "false") +
               ", \"chain_position\": " + std::to_string(stage.chainPosition) +
               ", \"pause_resets\": " + (stage.pauseResets ? "true" : "false") + "}";
    }
    out += "\n  ],\n  \"parameters\": [";
    first = true;
    for (int index : chosen) {
        const EngineParamInfo& p = engineParams()[index];
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"key\": " + jsonString(p.key) + ", \"window\": " + jsonString(p.window) +
               ", \"kind\": " + jsonString(engineParamKindText(p.kind)) + ", \"unit\": " + jsonString(p.unit) +
               ", \"min\": " + jsonNumber(p.minimum) + ", \"max\": " + jsonNumber(p.maximum) +
               ", \"default\": " + jsonNumber(p.defaultValue) + ", \"decimals\": " + std::to_string(p.decimals) +
               ", \"logarithmic\": " + (p.logarithmic ? "true" : "false") +
               ", \"tick\": " + jsonNumber(p.tickSpacing) + ", \"line\": " + jsonNumber(p.lineStep) +
               ", \"page\": " + jsonNumber(p.pageStep) + ", \"control\": " + std::to_string(p.controlId) +
               ", \"label\": " + std::to_string(p.labelId) + ", \"console_row\": " + std::to_string(p.consoleRow) +
               ", \"lv2\": " + jsonString(p.lv2Symbol) +
               ", \"storage\": " + jsonString(engineParamStorageText(p.storage)) +
               ", \"value\": " + jsonNumber(values[index]) + "}";
    }
    out += "\n  ]\n}\n";
    std::fputs(out.c_str(), stdout);
}

}  // namespace

int runParamsCommand(int argc, char** argv) {
    ParsedArguments arguments;
    if (!parseArguments("params", kParamsOptions, argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        std::fputs(kParamsHelp, stdout);
        return kExitOk;
    }
    if (!arguments.positional.empty()) return reportUnexpectedArgument("params", arguments.positional[0]);
    SharedOptions shared;
    std::string window;
    bool json = false;
    std::vector<std::string> settings;
    for (const ParsedOption& option : arguments.options) {
        const SharedTake taken = takeSharedOption(option, &shared);
        if (taken == SharedTake::kBadValue) return kExitUsage;
        if (taken == SharedTake::kTaken) continue;
        if (option.id == kJson) json = true;
        if (option.id == kWindow) window = option.value;
        if (option.id == kSet) {
            std::string error;
            if (!checkSetting(option.value, &error)) {
                printError("%s", error.c_str());
                return kExitUsage;
            }
            settings.push_back(option.value);
        }
    }
    if (!window.empty()) {
        std::string names;
        bool found = false;
        for (const EngineWindowInfo& w : engineWindows()) {
            if (sameIgnoringCase(w.name, window)) {
                window = w.name;
                found = true;
            }
            names += (names.empty() ? "" : ", ") + w.name;
        }
        if (!found) {
            printError("no window '%s'; the windows: %s", window.c_str(), names.c_str());
            return kExitUsage;
        }
    }

    EngineSetup setup;
    std::string error;
    if (!chooseSettingsDirectory(shared.directory, &setup.settingsDirectory, &error) ||
        (!shared.preset.empty() && !choosePreset(shared.preset, setup.settingsDirectory, &setup.preset, &error))) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    setup.fixSeed = true;
    setup.settings = settings;
    HostedEngine* engine = startEngine(setup, &error);
    if (engine == nullptr) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    const std::vector<double> values = parameterValues(*engine);
    stopEngine(engine);

    std::vector<int> chosen;
    const std::vector<EngineParamInfo>& params = engineParams();
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (window.empty() || params[i].window == window) chosen.push_back(static_cast<int>(i));
    }
    if (json) {
        printJson(chosen, values, window);
    } else {
        printText(chosen, values);
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

}  // namespace cli
