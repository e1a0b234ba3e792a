// `drelvant process`: one audio file or stream through the plug-in.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/process_job.h"

namespace cli {
namespace {

const char kProcessHelp[] =
    "Usage: drelvant process INPUT OUTPUT [options]\n"
    "\n"
    "Runs INPUT through the Drelvant processor and writes OUTPUT. The processor is\n"
    "hosted exactly as Winamp hosts the plug-in (Init, ModifySamples block by block,\n"
    "Quit), so every sample written is the plug-in's own output.\n"
    "\n"
    "Input and output\n"
    "  Sound files are read with libsndfile (WAV, FLAC, Ogg Vorbis, AIFF, MP3, ...).\n"
    "  The output format follows the extension: .wav .flac .aiff .au .caf .w64 are\n"
    "  written as 16-bit PCM, .ogg as Ogg Vorbis. A name ending in .raw, or - for\n"
    "  standard input or output, is headerless 16-bit little-endian stereo at\n"
    "  44100 Hz, streamed block by block in bounded memory.\n"
    "  The processor works on 44100 Hz 16-bit stereo. Other input is converted first,\n"
    "  and a note on standard error says how: other sample rates are resampled with\n"
    "  libsoxr (the output is then 44100 Hz), mono is copied to both channels, other\n"
    "  sample formats are rounded to 16 bits. Files with more than two channels are\n"
    "  refused: mix them down to stereo first.\n"
    "  OUTPUT is written under a temporary name in its directory and renamed when it\n"
    "  is complete; an existing OUTPUT is replaced only by a finished file, and\n"
    "  after an error or Ctrl-C nothing is left behind.\n"
    "\n"
    "Options\n"
    "  --preset P       F1 ... F7 (factory presets), 1 ... 99 (user preset slots of the\n"
    "                   settings directory), or the path of a preset file, applied as\n"
    "                   a user slot is loaded: its base factory preset first, then the\n"
    "                   keys the file holds. Default: the startup preset.\n"
    "  --dir DIR        settings directory: dsp_Drelvant.ini and the user presets\n"
    "                   DV_Preset01.ini ... DV_Preset99.ini. Default: the plug-in's own\n"
    "                   choice, $XDG_CONFIG_HOME/drelvant or ~/.config/drelvant. Like\n"
    "                   the plug-in, the command rewrites dsp_Drelvant.ini on exit.\n"
    "  --seed N         seed of the processor's random generator (dither, silence\n"
    "                   noise), 0 ... 4294967295: the same input, preset and seed give\n"
    "                   the same output bytes. Default: the clock.\n"
    "  --block FRAMES   frames per ModifySamples call, 1 ... 1048576 (default 576).\n"
    "  --keep-latency   write the output as it comes from the processor, delayed by\n"
    "                   the active stages, with as many frames as the input. Without\n"
    "                   it that delay is removed and the end is flushed with silence,\n"
    "                   so the output lines up with the input and has its length.\n"
    "  -q, --quiet      no progress bar and no report.\n"
    "  -h, --help       this text.\n"
    "\n"
    "Report\n"
    "  When done, the preset, the latency removed and, for input and output, the\n"
    "  integrated loudness (LUFS), loudness range (LU), true peak (dBTP) and the\n"
    "  number of hard-clipped samples (at +/-32764, the processor's output limit).\n"
    "  It goes to standard output, or to standard error when the audio does.\n"
    "  A progress bar is drawn on standard error when that is a terminal.\n"
    "\n"
    "Examples\n"
    "  drelvant process song.flac song-fm.wav --preset F1\n"
    "  drelvant process in.wav out.flac --preset ~/my-preset.ini --seed 1\n"
    "  sox in.mp3 -t raw -r 44100 -c 2 -b 16 -e signed - | \\\n"
    "      drelvant process - - --preset F3 | aplay -q -f cd\n"
    "\n"
    "Exit status: 0 done, 1 error, 2 wrong usage, 130 interrupted.\n";

}  // namespace

int runProcessCommand(int argc, char** argv) {
    ArgumentCursor cursor = makeCursor(argc, argv, 0);
    ProcessJob job;
    bool quiet = false;
    std::string presetText;
    std::vector<std::string> positional;
    while (!atEnd(cursor)) {
        const std::string argument = cursor.arguments[cursor.next++];
        std::string value;
        long long number = 0;
        if (isHelpOption(argument)) {
            std::fputs(kProcessHelp, stdout);
            return kExitOk;
        } else if (argument == "--preset") {
            if (!takeValue(cursor, argument, &presetText)) return kExitUsage;
        } else if (argument == "--dir") {
            if (!takeValue(cursor, argument, &job.settingsDirectory)) return kExitUsage;
        } else if (argument == "--seed") {
            if (!takeSeed(cursor, argument, &job.seed)) return kExitUsage;
            job.fixSeed = true;
        } else if (argument == "--block") {
            if (!takeValue(cursor, argument, &value)) return kExitUsage;
            if (!parseInteger(value, 1, kMaxBlockFrames, &number)) {
                printError("--block needs a frame count 1 ... %d, not '%s'", kMaxBlockFrames, value.c_str());
                return kExitUsage;
            }
            job.blockFrames = static_cast<int>(number);
        } else if (argument == "--keep-latency") {
            job.keepLatency = true;
        } else if (argument == "-q" || argument == "--quiet") {
            quiet = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            printError("unknown option '%s' for process (see drelvant process --help)", argument.c_str());
            return kExitUsage;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        printError("process needs an INPUT and an OUTPUT (see drelvant process --help)");
        return kExitUsage;
    }
    job.input = positional[0];
    job.output = positional[1];
    if (!presetText.empty()) {
        std::string error;
        if (!parsePresetChoice(presetText, &job.preset, &error)) {
            printError("%s", error.c_str());
            return kExitFailure;
        }
    }
    job.showProgress = !quiet;

    ProcessReport report;
    const int status = runProcessJob(job, &report);
    if (status != kExitOk || quiet) return status;
    std::FILE* destination = job.output == "-" ? stderr : stdout;
    std::fputs(formatReport(report).c_str(), destination);
    return kExitOk;
}

}  // namespace cli
