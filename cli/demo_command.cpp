// `drelvant demo`: a programme of its own, processed with F1, written before and after, with the report.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/audio_io.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/process_job.h"
#include "cli/programme.h"

namespace cli {
namespace {

const char kDemoHelp[] =
    "Usage: drelvant demo [--out DIR] [--seed N]\n"
    "\n"
    "Makes a 20-second programme of its own - a quiet melody, a loud passage of\n"
    "drums, bass and chords, swelling noise, three seconds of digital silence and a\n"
    "medium passage with a loud crash - processes it with the factory preset F1\n"
    "(FM Stereo 1) and writes both into DIR:\n"
    "  before.wav   the programme as generated\n"
    "  after.wav    the programme after the processor, lined up with before.wav\n"
    "Then prints the before/after report: loudness, loudness range, true peak and\n"
    "hard-clipped samples. Listen to both to hear what the processor does.\n"
    "It uses a temporary settings directory of its own, so it works on a fresh\n"
    "machine and leaves the user's settings alone.\n"
    "\n"
    "Options\n"
    "  --out DIR        folder for the two files (default ./drelvant-demo; created\n"
    "                   if missing).\n"
    "  --seed N         seed of the processor's random generator (default 1).\n"
    "  -h, --help       this text.\n";

constexpr uint32_t kProgrammeSeed = 20240501;

}  // namespace

int runDemoCommand(int argc, char** argv) {
    ArgumentCursor cursor = makeCursor(argc, argv, 0);
    std::string directory = "drelvant-demo";
    uint32_t seed = 1;
    while (!atEnd(cursor)) {
        const std::string argument = cursor.arguments[cursor.next++];
        if (isHelpOption(argument)) {
            std::fputs(kDemoHelp, stdout);
            return kExitOk;
        } else if (argument == "--out") {
            if (!takeValue(cursor, argument, &directory)) return kExitUsage;
        } else if (argument == "--seed") {
            if (!takeSeed(cursor, argument, &seed)) return kExitUsage;
        } else {
            printError("unexpected argument '%s' for demo (see drelvant demo --help)", argument.c_str());
            return kExitUsage;
        }
    }
    if (mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) {
        printError("cannot create '%s': %s", directory.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        printError("'%s' is not a directory", directory.c_str());
        return kExitFailure;
    }
    std::string folder = directory;
    if (folder.back() != '/') folder += '/';

    std::string error, scratch;
    if (!makeScratchDirectory(&scratch, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    std::fprintf(stderr, "Making a %.0f-second programme ...\n", kProgrammeSeconds);
    const std::vector<short> programme = makeProgramme(kProgrammeSeconds, kProgrammeSeed);
    if (!writeWavFile(folder + "before.wav", programme, &error)) {
        removeScratchDirectory(scratch);
        printError("%s", error.c_str());
        return kExitFailure;
    }

    ProcessJob job;
    job.input = folder + "before.wav";
    job.output = folder + "after.wav";
    job.preset.kind = PresetChoice::kNumber;
    job.preset.number = 0;  // F1
    job.settingsDirectory = scratch;
    job.fixSeed = true;
    job.seed = seed;
    ProcessReport report;
    const int status = runProcessJob(job, &report);
    removeScratchDirectory(scratch);
    if (status != kExitOk) return status;

    std::printf("Wrote %s (before) and %s (after)\n\n%s", job.input.c_str(), job.output.c_str(),
                formatReport(report).c_str());
    return kExitOk;
}

}  // namespace cli
