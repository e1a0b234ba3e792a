// Entry point of the drelvant command-line processor: picks the command and runs it.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/hosting.h"
#include "console/live_command.h"

namespace {

const char kOverview[] =
    "Usage: drelvant COMMAND [options]\n"
    "\n"
    "Broadcast-style audio dynamics processing on Linux: the Drelvant Winamp DSP\n"
    "plug-in's engine for files, streams and pipelines.\n"
    "\n"
    "Commands\n"
    "  process INPUT OUTPUT   process an audio file or a raw stream with a preset\n"
    "  process IN... -o DIR   process many files into a folder, several at once\n"
    "  presets                list, show, save, check and compare presets\n"
    "  params                 list every parameter: key, range, default, value\n"
    "  response               measure and draw the frequency response of a preset\n"
    "  live                   run as a JACK client, shaped from a browser (console)\n"
    "  demo                   make a demonstration programme and process it\n"
    "  bench                  measure how fast the presets process\n"
    "  manual                 print the plug-in's manual\n"
    "  version                print the version\n"
    "\n"
    "'drelvant COMMAND --help' explains a command and its options.\n"
    "\n"
    "Options\n"
    "  -h, --help             this text\n"
    "  -V, --version          the version\n";

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"process", cli::runProcessCommand}, {"presets", cli::runPresetsCommand}, {"response", cli::runResponseCommand},
    {"live", console::runLiveCommand},   {"demo", cli::runDemoCommand},       {"bench", cli::runBenchCommand},     {"manual", cli::runManualCommand},
    {"params", cli::runParamsCommand},
};

const Command* findCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kOverview, stderr);
        return cli::kExitUsage;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        std::fputs(kOverview, stdout);
        return cli::kExitOk;
    }
    if (first == "--version" || first == "-V" || first == "version") {
        if (argc == 3 && first == "version" && (std::string(argv[2]) == "--help" || std::string(argv[2]) == "-h")) {
            std::printf("Usage: drelvant version\n\nPrints the program's name and version, as -V and --version do.\n");
            return cli::kExitOk;
        }
        if (argc > 2) {
            cli::printError("unexpected argument '%s' for version", argv[2]);
            return cli::kExitUsage;
        }
        std::printf("%s\n", cli::versionText().c_str());
        return cli::kExitOk;
    }
    if (first == "help") {
        if (argc < 3) {
            std::fputs(kOverview, stdout);
            return cli::kExitOk;
        }
        const Command* command = findCommand(argv[2]);
        if (command == nullptr) {
            cli::printError("unknown command '%s' (see drelvant --help)", argv[2]);
            return cli::kExitUsage;
        }
        char help[] = "--help";
        char* arguments[] = {help, nullptr};
        return command->run(1, arguments);
    }
    const Command* command = findCommand(first);
    if (command == nullptr) {
        if (first.size() > 1 && first[0] == '-') {
            cli::printError("unknown option '%s' (see drelvant --help)", first.c_str());
        } else {
            cli::printError("unknown command '%s' (see drelvant --help)", first.c_str());
        }
        return cli::kExitUsage;
    }
    cli::installInterruptHandlers();
    return command->run(argc - 2, argv + 2);
}

int main(int argc, char** argv) {
    const int status = runCommandLine(argc, argv);
    // Whatever a command printed must have reached its reader: `presets show F1 > /dev/full` fails.
    if (!cli::finishStandardStream(stdout)) return status == cli::kExitOk || status == cli::kExitWarnings ? cli::kExitFailure : status;
    return status;
}
