// `drelvant manual`: the plug-in's built-in manual on standard output.
#include <cstdio>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "platform/platform.h"

namespace cli {
namespace {

constexpr int kManualResourceId = 110;

const char kManualHelp[] =
    "Usage: drelvant manual\n"
    "\n"
    "Prints the manual built into the plug-in (the text its Documentation window\n"
    "shows), with Unix line ends. Pipe it into a pager: drelvant manual | less\n";

}  // namespace

int runManualCommand(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (isHelpOption(argument)) {
            std::fputs(kManualHelp, stdout);
            return kExitOk;
        }
        printError("unexpected argument '%s' for manual (see drelvant manual --help)", argument.c_str());
        return kExitUsage;
    }
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource("TEXT", kManualResourceId, &data, &size)) {
        printError("this build carries no manual");
        return kExitFailure;
    }
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;
        text += static_cast<char>(data[i]);
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        return kExitFailure;  // a pager that quit early
    }
    return kExitOk;
}

}  // namespace cli
