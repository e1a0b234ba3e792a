// `drelvant manual`: the plug-in's built-in manual on standard output.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/hosting.h"
#include "cli/options.h"

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
    ParsedArguments arguments;
    if (!parseArguments("manual", {}, argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        std::fputs(kManualHelp, stdout);
        return kExitOk;
    }
    if (!arguments.positional.empty()) return reportUnexpectedArgument("manual", arguments.positional[0]);
    std::string data;
    if (!findBuiltInText("TEXT", kManualResourceId, &data)) {
        printError("this build carries no manual");
        return kExitFailure;
    }
    std::string text;
    text.reserve(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
        text += data[i];
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        return kExitFailure;  // a pager that quit early
    }
    return kExitOk;
}

}  // namespace cli
