// GNU-style option parsing and the shared option values.
#include "cli/options.h"

#include <cstdlib>

namespace cli {
namespace {

// "~/..." as the shell would have made it: after "--preset=" or "--dir=" it does not.
std::string withHomeExpanded(const std::string& path) {
    const char* home = std::getenv("HOME");
    if (path.compare(0, 2, "~/") != 0 || home == nullptr || home[0] == '\0') return path;
    return std::string(home) + path.substr(1);
}

const OptionSpec* findLong(const std::vector<OptionSpec>& specs, const std::string& name) {
    if (name == kHelpOption.longName) return &kHelpOption;
    for (const OptionSpec& spec : specs) {
        if (name == spec.longName) return &spec;
    }
    return nullptr;
}

const OptionSpec* findShort(const std::vector<OptionSpec>& specs, char letter) {
    if (letter == kHelpOption.shortName) return &kHelpOption;
    for (const OptionSpec& spec : specs) {
        if (spec.shortName != 0 && letter == spec.shortName) return &spec;
    }
    return nullptr;
}

bool unknownOption(const char* command, const std::string& written) {
    printError("unknown option '%s' for %s (see drelvant %s --help)", written.c_str(), command, command);
    return false;
}

bool missingValue(const char* command, const std::string& written) {
    printError("option '%s' needs a value (see drelvant %s --help)", written.c_str(), command);
    return false;
}

void add(ParsedArguments* parsed, const OptionSpec& spec, const std::string& written, const std::string& value) {
    if (spec.id == kOptionHelp) parsed->help = true;
    parsed->options.push_back({spec.id, written, value});
}

}  // namespace

bool parseArguments(const char* command, const std::vector<OptionSpec>& specs, int argc, char** argv,
                    ParsedArguments* parsed) {
    bool optionsEnded = false;
    for (int index = 0; index < argc; ++index) {
        const std::string argument = argv[index];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            parsed->positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument[1] == '-') {
            const size_t equals = argument.find('=');
            const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const std::string written = "--" + name;
            const OptionSpec* spec = findLong(specs, name);
            if (spec == nullptr) return unknownOption(command, written);
            if (!spec->takesValue) {
                if (equals != std::string::npos) {
                    printError("option '%s' takes no value (see drelvant %s --help)", written.c_str(), command);
                    return false;
                }
                add(parsed, *spec, written, std::string());
            } else if (equals != std::string::npos) {
                add(parsed, *spec, written, argument.substr(equals + 1));
            } else {
                if (index + 1 >= argc) return missingValue(command, written);
                add(parsed, *spec, written, argv[++index]);
            }
            continue;
        }
        // One or more short options in a group.
        for (size_t position = 1; position < argument.size(); ++position) {
            const std::string written = std::string("-") + argument[position];
            const OptionSpec* spec = findShort(specs, argument[position]);
            if (spec == nullptr) return unknownOption(command, position == 1 ? argument : written);
            if (!spec->takesValue) {
                add(parsed, *spec, written, std::string());
                continue;
            }
            if (position + 1 < argument.size()) {
                add(parsed, *spec, written, argument.substr(position + 1));
            } else {
                if (index + 1 >= argc) return missingValue(command, written);
                add(parsed, *spec, written, argv[++index]);
            }
            break;
        }
    }
    return true;
}

SharedTake takeSharedOption(const ParsedOption& option, SharedOptions* shared) {
    long long number = 0;
    switch (option.id) {
        case kOptionPreset:
            if (option.value.empty()) {
                printError("option '%s' needs a preset: F1 ... F7, a user slot 1 ... 99 or a preset file, not an empty text",
                           option.written.c_str());
                return SharedTake::kBadValue;
            }
            shared->preset = withHomeExpanded(option.value);
            return SharedTake::kTaken;
        case kOptionDir:
            if (option.value.empty()) {
                printError("option '%s' needs a directory, not an empty text", option.written.c_str());
                return SharedTake::kBadValue;
            }
            shared->directory = withHomeExpanded(option.value);
            return SharedTake::kTaken;
        case kOptionSeed:
            if (!parseInteger(option.value, 0, 4294967295LL, &number)) {
                printError("%s needs a whole number 0 ... 4294967295, not '%s'", option.written.c_str(),
                           option.value.c_str());
                return SharedTake::kBadValue;
            }
            shared->seedGiven = true;
            shared->seed = static_cast<uint32_t>(number);
            return SharedTake::kTaken;
        case kOptionBlock:
            if (!parseInteger(option.value, 1, kMaxBlockFrames, &number)) {
                printError("%s needs a frame count 1 ... %d, not '%s'", option.written.c_str(), kMaxBlockFrames,
                           option.value.c_str());
                return SharedTake::kBadValue;
            }
            shared->blockFrames = static_cast<int>(number);
            return SharedTake::kTaken;
        case kOptionQuiet:
            shared->quiet = true;
            setQuiet(true);
            return SharedTake::kTaken;
        default:
            return SharedTake::kNotShared;
    }
}

int reportUnexpectedArgument(const char* command, const std::string& argument) {
    printError("unexpected argument '%s' for %s (see drelvant %s --help)", argument.c_str(), command, command);
    return kExitUsage;
}

bool parseInteger(const std::string& text, long long minValue, long long maxValue, long long* value) {
    if (text.empty() || text.size() > 19) return false;
    size_t position = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        position = 1;
    }
    if (position == text.size()) return false;
    long long result = 0;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    if (negative) result = -result;
    if (result < minValue || result > maxValue) return false;
    *value = result;
    return true;
}

}  // namespace cli
