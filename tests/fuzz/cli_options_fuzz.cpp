// Fuzz target: option parsing. Arbitrary bytes split at NUL bytes into arguments, parsed against
// the shared options and a command's own (switches, values, short letters); every argument ends
// up as one of the command's options, an option's value or a positional argument, and shared
// values are checked.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const std::vector<cli::OptionSpec> kSpecs = {
    cli::kPresetOption, cli::kDirOption, cli::kSeedOption, cli::kBlockOption, cli::kQuietOption,
    {"keep-latency", 'k', false, cli::kFirstCommandOption},
    {"output-dir", 'o', true, cli::kFirstCommandOption + 1},
    {"jobs", 'j', true, cli::kFirstCommandOption + 2},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    arguments.push_back(current);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    cli::setQuiet(true);
    cli::ParsedArguments parsed;
    if (!cli::parseArguments("fuzz", kSpecs, static_cast<int>(arguments.size()), argv.data(), &parsed)) return 0;
    fuzzCheck(parsed.positional.size() <= arguments.size(), "no more positional arguments than arguments");
    for (const cli::ParsedOption& option : parsed.options) {
        bool known = option.id == cli::kOptionHelp;
        for (const cli::OptionSpec& spec : kSpecs) known = known || spec.id == option.id;
        fuzzCheck(known, "every option parsed is one of the command's");
    }
    cli::SharedOptions shared;
    for (const cli::ParsedOption& option : parsed.options) {
        if (cli::takeSharedOption(option, &shared) == cli::SharedTake::kBadValue) return 0;
    }
    fuzzCheck(shared.blockFrames >= 1 && shared.blockFrames <= cli::kMaxBlockFrames, "a block size taken is in range");
    return 0;
}
