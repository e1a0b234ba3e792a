// Command-line options in the GNU forms, and the options every command that runs the engine shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_common.h"

namespace cli {

// One option a command accepts: "--name" (and "-c" when it has a short letter), with or without
// a value. Accepted forms: "--name VALUE", "--name=VALUE", "-c VALUE", "-cVALUE", grouped short
// switches ("-qk"; a letter that takes a value ends the group and takes the rest or the next
// argument), and "--" after which every argument is positional. "-" alone is positional.
struct OptionSpec {
    const char* longName;  // without the leading "--"
    char shortName;        // 0: no short form
    bool takesValue;
    int id;
};

// Ids of the options several commands share; a command's own options use kFirstCommandOption
// upwards.
enum SharedOptionId {
    kOptionHelp = 1,
    kOptionPreset,
    kOptionDir,
    kOptionSeed,
    kOptionBlock,
    kOptionQuiet,
    kFirstCommandOption = 100,
};

constexpr OptionSpec kHelpOption{"help", 'h', false, kOptionHelp};
constexpr OptionSpec kPresetOption{"preset", 0, true, kOptionPreset};
constexpr OptionSpec kDirOption{"dir", 0, true, kOptionDir};
constexpr OptionSpec kSeedOption{"seed", 0, true, kOptionSeed};
constexpr OptionSpec kBlockOption{"block", 0, true, kOptionBlock};
constexpr OptionSpec kQuietOption{"quiet", 'q', false, kOptionQuiet};

struct ParsedOption {
    int id;
    std::string written;  // as the user spelled it, for messages: "--seed", "-o"
    std::string value;
};

struct ParsedArguments {
    std::vector<ParsedOption> options;  // in the order given
    std::vector<std::string> positional;
    bool help = false;
};

// Splits the arguments after the command name. On a usage error (unknown option, missing value,
// a value given to a switch) prints one line naming `command` and returns false.
bool parseArguments(const char* command, const std::vector<OptionSpec>& specs, int argc, char** argv,
                    ParsedArguments* parsed);

// The values of the shared options, checked once here for every command.
struct SharedOptions {
    std::string preset;  // as given; empty when not given
    std::string directory;
    bool seedGiven = false;
    uint32_t seed = 0;
    int blockFrames = kDefaultBlockFrames;
    bool quiet = false;
};

enum class SharedTake { kNotShared, kTaken, kBadValue };
// Takes `option` into `shared` when it is one of the shared options; a bad value (a seed that is
// not a whole number 0 ... 4294967295, a block size out of range, an empty preset or directory)
// prints a usage error and gives kBadValue.
SharedTake takeSharedOption(const ParsedOption& option, SharedOptions* shared);

// "unexpected argument 'x' for COMMAND (see drelvant COMMAND --help)"; returns kExitUsage.
int reportUnexpectedArgument(const char* command, const std::string& argument);

// Whole decimal number within [minValue, maxValue], nothing else in the text.
bool parseInteger(const std::string& text, long long minValue, long long maxValue, long long* value);

}  // namespace cli
