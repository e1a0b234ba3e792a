// `drelvant process`: one audio file or stream through the processor, or a batch of files into a folder.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/delivery.h"
#include "cli/files.h"
#include "cli/json_report.h"
#include "cli/options.h"
#include "cli/process_job.h"
#include "console/audio_tap.h"
#include "console/console_server.h"

namespace cli {
namespace {

const char kProcessHelp[] =
    "Usage: drelvant process [options] INPUT OUTPUT\n"
    "       drelvant process [options] INPUT... -o DIR [-j N] [--format EXT]\n"
    "\n"
    "Runs INPUT through the Drelvant processor and writes OUTPUT. The processor runs\n"
    "exactly as the Winamp plug-in runs, block by block, so with --keep-latency every\n"
    "sample written is the plug-in's own output.\n"
    "\n"
    "Input\n"
    "  Sound files are read with libsndfile: WAV, FLAC, Ogg Vorbis and Opus, MP3,\n"
    "  AIFF, AU, CAF, W64. A name ending in .raw is headerless 16-bit little-endian\n"
    "  stereo at 44100 Hz unless --input-rate, --input-channels, --input-bits say\n"
    "  otherwise. On standard input (-) a WAV, FLAC, Ogg, MP3, AIFF, AU or\n"
    "  CAF stream is recognised by its first bytes; anything else is read as raw.\n"
    "  Mono and stereo are processed; more channels are refused.\n"
    "\n"
    "Output\n"
    "  The container follows OUTPUT's extension: .wav .flac .aiff .au .caf .w64 (PCM),\n"
    "  .ogg (Vorbis), .opus (Opus), .mp3, .raw (headerless 16-bit little-endian at\n"
    "  the output's rate and channel count). Standard output (-) is raw unless\n"
    "  --output-format says otherwise; a name without an extension takes the input's\n"
    "  container. By default the output keeps the input's sample rate, channel count\n"
    "  (mono stays mono) and sample format (16-bit, 24-bit or float; FLAC holds no\n"
    "  float and takes 24-bit; 8-bit is written as 16-bit, 32-bit integer as 24-bit\n"
    "  and 64-bit float as 32-bit float). The processor itself works at 44100 Hz:\n"
    "  other rates are resampled to it and back with libsoxr. 16-bit audio at\n"
    "  44100 Hz takes the plug-in's own 16-bit path; everything else the\n"
    "  high-resolution path, which runs the same chain without rounding to 16 bits.\n"
    "  Whenever the audio is converted on its way (rate, channels, sample format), a\n"
    "  note on standard error names the conversion and the path; 16-bit 44100 Hz\n"
    "  stereo in and out gets none: it takes the plug-in's path as it is.\n"
    "  A regular OUTPUT is written under a temporary name in its directory and renamed\n"
    "  when complete: an existing file is only replaced by a finished one, and after\n"
    "  an error or Ctrl-C nothing is left behind. A FIFO or character device is\n"
    "  written straight, block by block; a symbolic link is followed and its target\n"
    "  replaced. OUTPUT may not be the INPUT file itself (unless --overwrite-input).\n"
    "  Title, artist, album, date, comment and track number are copied from INPUT\n"
    "  to OUTPUT where libsndfile reads and writes them (WAV INFO, FLAC and Ogg\n"
    "  comments, ...); ReplayGain fields are not, since the loudness changed.\n"
    "\n"
    "Options\n"
    "  --preset P          F1 ... F7 (factory presets), 1 ... 99 (user preset slots of\n"
    "                      the settings directory), a factory or user preset's name\n"
    "                      (case does not matter; the start of one name is enough;\n"
    "                      a name that fits several is refused with their list),\n"
    "                      or the path of a preset file (LF\n"
    "                      or CR LF line ends), applied as a user slot is loaded: its\n"
    "                      base factory preset first, then the keys the file holds.\n"
    "                      Default: the startup preset of the settings directory.\n"
    "  --set KEY=VALUE     a parameter's value over the preset (repeatable), read as a\n"
    "                      preset file's key is: --preset P --set K=V gives the bytes\n"
    "                      a preset file with base P and the line 'K = V' gives. An\n"
    "                      unknown key is refused with the nearest keys named;\n"
    "                      'drelvant params' lists every key with its range.\n"
    "  --dir DIR           settings directory with the user presets DV_Preset01.ini ...\n"
    "                      DV_Preset99.ini and dsp_Drelvant.ini. Default:\n"
    "                      $XDG_CONFIG_HOME/drelvant or ~/.config/drelvant. Processing\n"
    "                      only reads it: nothing is written there.\n"
    "  --seed N            seed of the processor's random generator (dither, silence\n"
    "                      noise), 0 ... 4294967295: the same input, preset and seed\n"
    "                      give the same output bytes. Default: the clock.\n"
    "  --block FRAMES      frames per processing call, 1 ... 1048576 (default 576).\n"
    "  --keep-latency      write the output as it comes from the processor, delayed by\n"
    "                      the active stages, with as many frames as the input: the\n"
    "                      plug-in's exact output (always on its 16-bit path, and\n"
    "                      never primed). Without it that delay is removed and the\n"
    "                      end is flushed with silence, so the output lines up with\n"
    "                      the input and has its length.\n"
    "  --no-prime          start from rest, as the plug-in does. Without it a file\n"
    "                      starts settled: the processor is first run (output\n"
    "                      discarded) on the file's opening, up to 10 s, played\n"
    "                      backwards from its first sample, so a steady programme\n"
    "                      comes out steady from the start instead of fading in.\n"
    "                      Input from a pipe is not primed: its output starts at\n"
    "                      once, as the plug-in's.\n"
    "  --output-format F   container of OUTPUT whatever its name: raw, wav, flac, ...\n"
    "  --format F          the same (in a batch: the outputs' extension too).\n"
    "  --rate HZ           output sample rate (default: the input's).\n"
    "  --bits B            output sample format: 16, 24, or 32 for 32-bit float\n"
    "                      (default: the input's).\n"
    "  --channels N        1 or 2 output channels (default: the input's).\n"
    "  --input-rate HZ     headerless input (standard input, *.raw) is at HZ\n"
    "                      (default 44100).\n"
    "  --input-channels N  headerless input has 1 or 2 channels (default 2).\n"
    "  --input-bits B      headerless input samples: 16, 24 (signed integers) or 32f\n"
    "                      (32-bit float), little-endian (default 16). A note on\n"
    "                      standard error says how raw input is read.\n"
    "  --overwrite-input   allow OUTPUT to be the INPUT file (it is replaced when the\n"
    "                      output is complete).\n"
    "  --json FILE         also write the report as JSON to FILE (- : standard\n"
    "                      output, when the audio does not go there; the text\n"
    "                      report then goes to standard error). Written also when\n"
    "                      processing failed. Its fields are listed at the end.\n"
    "  --strict            a warning about a file (cut short, samples that are not\n"
    "                      numbers, a target not reached) fails it: no output is\n"
    "                      left and the exit status is 1 instead of 3.\n"
    "  -q, --quiet         no progress bar, no notes, no report, and nothing measured\n"
    "                      (with --json the figures are measured for it all the same).\n"
    "  --console [ADDR:]PORT  serve the console (a page and an HTTP API to watch the\n"
    "                      meters and change any value while this run lasts) at\n"
    "                      ADDR (default 127.0.0.1); PORT 0 takes a free port. The\n"
    "                      address is printed on standard error. See drelvant live\n"
    "                      --help for the API.\n"
    "  --console-token FILE  the token a client must give (first line of FILE, 16\n"
    "                      characters or more); on an address that is not loopback\n"
    "                      one is generated and printed when this is not given.\n"
    "  -h, --help          this text.\n"
    "\n"
    "Delivery\n"
    "  --ceiling DBTP      a true-peak limiter after the processor, at the output's\n"
    "                      rate and channel count: 4x oversampled, 5 ms look-ahead,\n"
    "                      no overshoot, so the file measures at or below DBTP\n"
    "                      (-20 ... 0) on an EBU R 128 true-peak meter (ffmpeg's\n"
    "                      ebur128=peak=true). The output stays lined up with the\n"
    "                      input. A lossy output (Ogg, Opus, MP3) is limited 1.0 dB\n"
    "                      lower, room for the encoder's own peaks.\n"
    "  --target LUFS       bring the output's integrated loudness to LUFS (-40 ... -5):\n"
    "                      the processed output is kept in a temporary file and\n"
    "                      measured, then written with the gain that puts it on the\n"
    "                      target after the ceiling (--ceiling, default -1 dBTP).\n"
    "                      The preset keeps its sound; the target only moves the\n"
    "                      level. Files only: input from a pipe is refused. The\n"
    "                      temporary file (in $TMPDIR, else /tmp) takes 8 bytes a\n"
    "                      sample: 1.3 GB for an hour of 44.1 kHz stereo.\n"
    "  The report's \"Delivery\" line gives the gain, the ceiling and what the limiter\n"
    "  took off.\n"
    "\n"
    "Batch\n"
    "  -o, --output-dir DIR  process every INPUT (any number of files) into the\n"
    "                      existing folder DIR, each output named after its input\n"
    "                      (same file name; with --format EXT the extension becomes\n"
    "                      EXT and the container follows). Every file gets an engine\n"
    "                      of its own and comes out byte for byte as a run of its own\n"
    "                      with the same options and --seed would write it. An input\n"
    "                      that fails is reported and the others go on; the exit\n"
    "                      status is then 1. Two inputs of one file name are refused\n"
    "                      (the second would overwrite the first's output).\n"
    "  -j, --jobs N        files processed at once, 1 ... 256 (default: the number\n"
    "                      of processor cores).\n"
    "  --skip-existing     leave out the inputs whose output already exists (to go\n"
    "                      on with a batch that was stopped: an unfinished output is\n"
    "                      never left behind, so what exists is complete).\n"
    "  On a terminal a line on standard error shows the files done, the hours of\n"
    "  audio read and the speed. Each file's report follows a line \"IN -> OUT\" on\n"
    "  standard output as the file is done (files finish in any order), then a\n"
    "  summary: files processed, skipped and failed, hours of audio, wall time and\n"
    "  speed.\n"
    "\n"
    "Report\n"
    "  When done: the preset, the input and output formats, the latency removed and,\n"
    "  for input and output, the integrated loudness (LUFS, EBU R 128), the loudness\n"
    "  range (LU, EBU Tech 3342: short-term loudness every 100 ms), the true peak\n"
    "  (dBTP: the largest value of the signal interpolated between its samples, 4x\n"
    "  below 96 kHz, 2x below 192 kHz, the samples themselves from 192 kHz) and\n"
    "  the number of hard-clipped samples (at +/-32764 of 32768, the processor's\n"
    "  output limit).\n"
    "  The input is measured as it is (its own rate and channels), the output as the\n"
    "  file holds it; a lossy output (Ogg, Opus, MP3) is decoded and measured.\n"
    "  The report goes to standard output, or to standard error when the audio does.\n"
    "  A progress line is drawn on standard error when that is a terminal.\n"
    "\n"
    "Examples\n"
    "  drelvant process song.flac song-fm.flac --preset F1\n"
    "  drelvant process in.wav out.flac --preset=~/my-preset.ini --seed 1\n"
    "  drelvant process music/*.flac -o processed -j 2 --format ogg --preset F2\n"
    "  drelvant process show.wav show.ogg --preset F4 --target -16 --ceiling -1\n"
    "  sox in.mp3 -t wav - | drelvant process - - --preset F3 | aplay -q -f cd\n"
    "  ffmpeg -i in.mkv -f wav - | drelvant process - --output-format wav - | ...\n"
    "\n";

// Last in the help: scripts read the statuses from this line to the end.
const char kProcessExitStatus[] =
    "Exit status: 0 done, 1 error (in a batch: any file failed), 2 wrong usage,\n"
    "3 done with warnings (a file cut short, samples that are not numbers, a target\n"
    "not reached; with --strict these are errors), 128+N stopped by signal N (130\n"
    "Ctrl-C, 143 SIGTERM).\n";

enum ProcessOptionId {
    kKeepLatency = kFirstCommandOption,
    kNoPrime,
    kOutputFormat,
    kRate,
    kBits,
    kChannelsOption,
    kOverwriteInput,
    kOutputDirectory,
    kJobs,
    kSkipExisting,
    kCeiling,
    kTarget,
    kJson,
    kInputRate,
    kInputChannels,
    kInputBits,
    kSet,
    kConsoleOption,
    kConsoleToken,
    kStrict,
};

const std::vector<OptionSpec> kProcessOptions = {
    kPresetOption,
    kDirOption,
    kSeedOption,
    kBlockOption,
    kQuietOption,
    {"keep-latency", 0, false, kKeepLatency},
    {"no-prime", 0, false, kNoPrime},
    {"output-format", 0, true, kOutputFormat},
    {"rate", 0, true, kRate},
    {"bits", 0, true, kBits},
    {"channels", 0, true, kChannelsOption},
    {"overwrite-input", 0, false, kOverwriteInput},
    {"format", 0, true, kOutputFormat},
    {"output-dir", 'o', true, kOutputDirectory},
    {"jobs", 'j', true, kJobs},
    {"skip-existing", 0, false, kSkipExisting},
    {"ceiling", 0, true, kCeiling},
    {"target", 0, true, kTarget},
    {"json", 0, true, kJson},
    {"input-rate", 0, true, kInputRate},
    {"input-channels", 0, true, kInputChannels},
    {"input-bits", 0, true, kInputBits},
    {"set", 0, true, kSet},
    {"console", 0, true, kConsoleOption},
    {"console-token", 0, true, kConsoleToken},
    {"strict", 0, false, kStrict},
};

// A decimal number within [lowest, highest], nothing else in the text ("-1", "-0.5", "-16.0").
bool takeDecimal(const ParsedOption& option, double lowest, double highest, double* value) {
    const char* text = option.value.c_str();
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text, &end);
    if (option.value.empty() || end == text || *end != '\0' || errno != 0 || !(number >= lowest && number <= highest)) {
        return false;
    }
    *value = number;
    return true;
}

constexpr int kMostJobs = 256;

int defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMostJobs));
}

constexpr int kLowestRate = kLowestSampleRate;
constexpr int kHighestRate = kHighestSampleRate;

bool takeNumber(const ParsedOption& option, long long lowest, long long highest, int* value) {
    long long number = 0;
    if (!parseInteger(option.value, lowest, highest, &number)) return false;
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

// The settings directory, preset, seed, block size and quietness of a job (measured for a JSON
// report even when quiet).
bool takeSharedIntoJob(const SharedOptions& shared, bool json, ProcessJob* job) {
    std::string error;
    if (!chooseSettingsDirectory(shared.directory, &job->settingsDirectory, &error) ||
        (!shared.preset.empty() && !choosePreset(shared.preset, job->settingsDirectory, &job->preset, &error))) {
        printError("%s", error.c_str());
        return false;
    }
    job->fixSeed = shared.seedGiven;
    job->seed = shared.seed;
    job->blockFrames = shared.blockFrames;
    job->showProgress = !shared.quiet;
    job->measure = !shared.quiet || json;
    return true;
}

struct TextReport {
    bool quiet = false;
    std::FILE* stream = stdout;  // standard error when the JSON report goes to standard output
};

// Each file's report as it is done.
void printBatchFile(const BatchFileResult& result, void* context) {
    const TextReport& text = *static_cast<const TextReport*>(context);
    if (result.skipped) {
        printNote("'%s' skipped: '%s' exists", result.input.c_str(), result.output.c_str());
        return;
    }
    if (result.status != kExitOk || text.quiet) return;
    const std::string report = result.input + " -> " + result.output + "\n" + formatReport(result.report) + "\n";
    std::fputs(report.c_str(), text.stream);
    std::fflush(text.stream);
}

// Writes the JSON document; false (with a message) when it cannot be written.
bool writeJson(const std::string& path, const std::vector<JsonFileEntry>& entries) {
    std::string error;
    if (writeWholeFile(path, jsonReport(entries), &error)) return true;
    printError("cannot write the JSON report: %s", error.c_str());
    return false;
}

JsonFileEntry jsonEntry(const std::string& input, const std::string& output, bool started, int status, bool skipped,
                        const ProcessReport* report) {
    JsonFileEntry entry;
    entry.input = input;
    entry.output = output;
    const Outcome outcome = outcomeOf(started, skipped, status, report);
    entry.status = outcomeName(outcome);
    if (outcome == Outcome::kFailed) entry.reason = report->failure.empty() ? "failed" : report->failure;
    const bool processed = outcome == Outcome::kProcessed || outcome == Outcome::kProcessedWithWarnings;
    entry.report = processed ? report : nullptr;
    return entry;
}

// An output name or --format that names no format is wrong usage, found before any input is read
// (judged against a 16-bit stereo WAV input: what the input is does not change it).
bool outputFormatIsKnown(const std::string& output, const OutputRequest& request) {
    AudioFormat probe;
    probe.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    AudioFormat chosen;
    std::string error;
    if (chooseOutputFormat(output, probe, request, &chosen, &error)) return true;
    printError("%s", error.c_str());
    return false;
}

// The JSON report may not land on an input or an output: compared as files (device and inode) and,
// for outputs not yet written, as the paths they resolve to.
bool jsonPathIsFree(const std::string& jsonPath, const std::vector<std::string>& inputs,
                    const std::vector<std::string>& outputs) {
    if (jsonPath.empty() || jsonPath == "-") return true;
    for (const std::string& input : inputs) {
        if (isSameFile(jsonPath, input)) {
            printError("--json '%s' is the input '%s': name another file for the report", jsonPath.c_str(),
                       input.c_str());
            return false;
        }
    }
    Destination report, output;
    std::string error;
    const bool resolved = resolveDestination(jsonPath, &report, &error);
    for (const std::string& path : outputs) {
        if (isSameFile(jsonPath, path) ||
            (resolved && resolveDestination(path, &output, &error) && output.path == report.path)) {
            printError("--json '%s' is the output '%s': name another file for the report", jsonPath.c_str(),
                       path.c_str());
            return false;
        }
    }
    return true;
}

int runBatchCommand(const std::vector<std::string>& inputs, const SharedOptions& shared, const ProcessJob& job,
                    BatchRequest batch, const std::string& jsonPath) {
    struct stat info {};
    if (stat(batch.directory.c_str(), &info) != 0) {
        // A missing folder is made (its parent must exist), so a batch can be sent into a new one.
        if (errno != ENOENT || mkdir(batch.directory.c_str(), 0777) != 0) {
            printError("cannot create the output folder '%s': %s", batch.directory.c_str(), std::strerror(errno));
            return kExitFailure;
        }
    } else if (!S_ISDIR(info.st_mode)) {
        printError("-o '%s' is not a folder: a batch writes its outputs into a folder", batch.directory.c_str());
        return kExitFailure;
    }
    for (const std::string& input : inputs) {
        if (input == "-") {
            printError("a batch reads files: standard input (-) cannot be one of its inputs");
            return kExitUsage;
        }
    }
    std::vector<std::string> outputs;
    for (const std::string& input : inputs) {
        outputs.push_back(batchOutputPath(batch.directory, input, job.outputRequest.container));
    }
    if (!jsonPathIsFree(jsonPath, inputs, outputs)) return kExitUsage;
    if (!job.outputRequest.container.empty() && !outputFormatIsKnown("out." + job.outputRequest.container, job.outputRequest)) {
        return kExitUsage;
    }
    batch.inputs = inputs;
    batch.model = job;
    if (!takeSharedIntoJob(shared, !jsonPath.empty(), &batch.model)) return kExitFailure;
    batch.model.measure = batch.model.measure || job.targetGiven;
    batch.extension = job.outputRequest.container;
    batch.showProgress = !shared.quiet;
    TextReport text;
    text.quiet = shared.quiet;
    text.stream = jsonPath == "-" ? stderr : stdout;
    const auto started = std::chrono::steady_clock::now();
    std::vector<BatchFileResult> results;
    int status = runBatch(batch, &results, printBatchFile, &text);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    size_t counts[kOutcomeCount] = {};
    double audio = 0.0;
    std::string failed;
    for (const BatchFileResult& result : results) {
        const Outcome outcome = outcomeOf(result.started, result.skipped, result.status, &result.report);
        ++counts[static_cast<int>(outcome)];
        if (outcome == Outcome::kProcessed || outcome == Outcome::kProcessedWithWarnings) {
            audio += result.report.audioSeconds;
        } else if (outcome == Outcome::kFailed) {
            if (!failed.empty()) failed += ", ";
            failed += "'";
            failed += result.input;
            failed += "'";
        }
    }
    if (!failed.empty()) printError("not processed: %s", failed.c_str());
    if (!jsonPath.empty()) {
        std::vector<JsonFileEntry> entries;
        for (const BatchFileResult& result : results) {
            entries.push_back(
                jsonEntry(result.input, result.output, result.started, result.status, result.skipped, &result.report));
        }
        if (!writeJson(jsonPath, entries) && (status == kExitOk || status == kExitWarnings)) status = kExitFailure;
    }
    if (!text.quiet) {
        auto count = [&counts](Outcome outcome) { return counts[static_cast<int>(outcome)]; };
        std::fprintf(text.stream,
                     "Batch: %zu processed, %zu skipped, %zu failed, %zu not started, %zu processed with warnings; "
                     "%.3f h of audio in %.1f s (%.1fx real time)\n",
                     count(Outcome::kProcessed), count(Outcome::kSkipped), count(Outcome::kFailed),
                     count(Outcome::kNotStarted), count(Outcome::kProcessedWithWarnings), audio / 3600.0, wall,
                     wall > 0.0 ? audio / wall : 0.0);
        if (!finishStandardStream(text.stream) && status != kExitFailure) status = kExitFailure;
    }
    return status;
}

int runProcessCommand(int argc, char** argv) {
    ParsedArguments arguments;
    if (!parseArguments("process", kProcessOptions, argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        std::fputs(kProcessHelp, stdout);
        std::fputs(jsonFieldsHelp().c_str(), stdout);
        std::fputc('\n', stdout);
        std::fputs(kProcessExitStatus, stdout);
        return kExitOk;
    }
    SharedOptions shared;
    ProcessJob job;
    BatchRequest batch;
    batch.jobs = defaultJobs();
    bool batchOptionGiven = false;
    std::string jsonPath;
    console::ConsoleOptions consoleOptions;
    for (const ParsedOption& option : arguments.options) {
        const SharedTake taken = takeSharedOption(option, &shared);
        if (taken == SharedTake::kBadValue) return kExitUsage;
        if (taken == SharedTake::kTaken) continue;
        switch (option.id) {
            case kSet: {
                std::string error;
                if (!checkSetting(option.value, &error)) {
                    printError("%s (drelvant params lists every key)", error.c_str());
                    return kExitUsage;
                }
                job.settings.push_back(option.value);
                break;
            }
            case kKeepLatency: job.keepLatency = true; break;
            case kNoPrime: job.noPrime = true; break;
            case kStrict: job.strict = true; break;
            case kOverwriteInput: job.overwriteInput = true; break;
            case kOutputDirectory: batch.directory = option.value; break;
            case kJobs:
                if (!takeNumber(option, 1, kMostJobs, &batch.jobs)) {
                    printError("--jobs needs a number of files at once, 1 ... %d, not '%s'", kMostJobs,
                               option.value.c_str());
                    return kExitUsage;
                }
                batchOptionGiven = true;
                break;
            case kCeiling:
                if (!takeDecimal(option, kLowestCeilingDbtp, kHighestCeilingDbtp, &job.ceilingDbtp)) {
                    printError("--ceiling needs a true-peak level %g ... %g dBTP, not '%s'", kLowestCeilingDbtp,
                               kHighestCeilingDbtp, option.value.c_str());
                    return kExitUsage;
                }
                job.ceilingGiven = true;
                break;
            case kTarget:
                if (!takeDecimal(option, kLowestTargetLufs, kHighestTargetLufs, &job.targetLufs)) {
                    printError("--target needs an integrated loudness %g ... %g LUFS, not '%s'", kLowestTargetLufs,
                               kHighestTargetLufs, option.value.c_str());
                    return kExitUsage;
                }
                job.targetGiven = true;
                break;
            case kJson:
                if (option.value.empty()) {
                    printError("option '%s' needs a file name, or - for standard output", option.written.c_str());
                    return kExitUsage;
                }
                jsonPath = option.value;
                break;
            case kSkipExisting:
                batch.skipExisting = true;
                batchOptionGiven = true;
                break;
            case kOutputFormat:
                if (option.value.empty()) {
                    printError("option '%s' needs a format such as wav or raw", option.written.c_str());
                    return kExitUsage;
                }
                job.outputRequest.container = option.value;
                for (char& c : job.outputRequest.container) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                break;
            case kRate:
                if (!takeNumber(option, kLowestRate, kHighestRate, &job.outputRequest.rate)) {
                    printError("--rate needs a sample rate %d ... %d Hz, not '%s'", kLowestRate, kHighestRate,
                               option.value.c_str());
                    return kExitUsage;
                }
                break;
            case kBits:
                if (!takeNumber(option, 16, 32, &job.outputRequest.bits) ||
                    (job.outputRequest.bits != 16 && job.outputRequest.bits != 24 && job.outputRequest.bits != 32)) {
                    printError("--bits needs 16, 24 or 32 (32-bit float), not '%s'", option.value.c_str());
                    return kExitUsage;
                }
                break;
            case kChannelsOption:
                if (!takeNumber(option, 1, 2, &job.outputRequest.channels)) {
                    printError("--channels needs 1 or 2, not '%s'", option.value.c_str());
                    return kExitUsage;
                }
                break;
            case kInputRate:
                if (!takeNumber(option, kLowestRate, kHighestRate, &job.rawInput.rate)) {
                    printError("--input-rate needs a sample rate %d ... %d Hz, not '%s'", kLowestRate, kHighestRate,
                               option.value.c_str());
                    return kExitUsage;
                }
                break;
            case kInputChannels:
                if (!takeNumber(option, 1, 2, &job.rawInput.channels)) {
                    printError("--input-channels needs 1 or 2, not '%s'", option.value.c_str());
                    return kExitUsage;
                }
                break;
            case kInputBits:
                if (option.value == "16" || option.value == "24") {
                    job.rawInput.bits = option.value == "16" ? 16 : 24;
                } else if (option.value == "32f") {
                    job.rawInput.bits = 32;
                } else {
                    printError("--input-bits needs 16, 24 or 32f (32-bit float), not '%s'", option.value.c_str());
                    return kExitUsage;
                }
                break;
            case kConsoleOption: {
                std::string error;
                if (!console::parseConsoleAddress(option.value, &consoleOptions, &error)) {
                    printError("%s", error.c_str());
                    return kExitUsage;
                }
                break;
            }
            case kConsoleToken: consoleOptions.tokenFile = option.value; break;
            default: break;
        }
    }
    if (!consoleOptions.tokenFile.empty() && !consoleOptions.enabled) {
        printError("--console-token goes with --console [ADDR:]PORT");
        return kExitUsage;
    }
    if (consoleOptions.enabled && (!batch.directory.empty() || batchOptionGiven)) {
        printError("--console watches one run, not a batch (-o DIR)");
        return kExitUsage;
    }
    if (!batch.directory.empty() || batchOptionGiven) {
        if (batch.directory.empty()) {
            printError("--jobs and --skip-existing go with -o DIR (see drelvant process --help)");
            return kExitUsage;
        }
        if (arguments.positional.empty()) {
            printError("process -o DIR needs at least one INPUT (see drelvant process --help)");
            return kExitUsage;
        }
        return runBatchCommand(arguments.positional, shared, job, batch, jsonPath);
    }
    if (arguments.positional.size() > 2) return reportUnexpectedArgument("process", arguments.positional[2]);
    if (arguments.positional.size() < 2) {
        printError("process needs an INPUT and an OUTPUT (see drelvant process --help)");
        return kExitUsage;
    }
    job.input = arguments.positional[0];
    job.output = arguments.positional[1];
    if (!takeSharedIntoJob(shared, !jsonPath.empty(), &job)) return kExitFailure;
    job.measure = job.measure || job.targetGiven;  // whether the target was reached is always checked
    job.engineThreads = engineThreadsToUse();

    if (jsonPath == "-" && job.output == "-") {
        printError("--json - and OUTPUT - would both use standard output: name a file for one of them");
        return kExitUsage;
    }
    if (!jsonPathIsFree(jsonPath, {job.input}, {job.output})) return kExitUsage;
    if (!outputFormatIsKnown(job.output, job.outputRequest)) return kExitUsage;

    console::ConsoleServer* consoleServer = nullptr;
    if (consoleOptions.enabled) {
        std::string error;
        consoleServer = console::startConsole(consoleOptions, &error);
        if (consoleServer == nullptr) {
            printError("%s", error.c_str());
            return kExitFailure;
        }
        const std::string directory = job.settingsDirectory;
        job.engineWatcher = [consoleServer, directory](HostedEngine* engine, int hostRate) {
            console::attachEngine(*consoleServer, engine, directory, hostRate);
        };
        console::AudioTap* tap = console::consoleAudioTap(*consoleServer, 44100);
        job.audioWatcher = [tap](bool output, const double* stereo, size_t frames) {
            console::tapInterleaved(*tap, output ? console::kTapOutput : console::kTapInput, stereo, frames);
        };
    }
    ProcessReport report;
    int status = runProcessJob(job, &report);
    console::stopConsole(consoleServer);
    if (!jsonPath.empty() && !writeJson(jsonPath, {jsonEntry(job.input, job.output, true, status, false, &report)}) &&
        status == kExitOk) {
        status = kExitFailure;
    }
    if (status != kExitOk) return status;
    const int done = report.warnings.empty() ? kExitOk : kExitWarnings;
    if (shared.quiet) return done;
    std::FILE* destination = job.output == "-" || jsonPath == "-" ? stderr : stdout;
    std::fputs(formatReport(report).c_str(), destination);
    if (!finishStandardStream(destination)) return kExitFailure;
    return done;
}

}  // namespace cli
