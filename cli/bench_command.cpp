// `drelvant bench`: how many seconds of audio the processor handles per second of one core, per preset.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/response_sweep.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/programme.h"
#include "dsp/lane_width.h"
#include "dsp/live_params.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"

namespace cli {
namespace {

const char kBenchHelp[] =
    "Usage: drelvant bench [--preset P] [--seconds N] [--block FRAMES] [--repeat N] [--dir DIR]\n"
    "\n"
    "Measures the real-time factor of the processor: seconds of audio processed per\n"
    "second of CPU time of one core (the thread's own CPU time, so other load on the\n"
    "machine matters little). The audio is the generated demo programme (music-like\n"
    "tones, drums, noise, silence), fed through ModifySamples in host-sized blocks.\n"
    "By default all seven factory presets are measured, one after the other. The\n"
    "first line names the width of the engine's SIMD kernels: 4 lanes (AVX2) where\n"
    "the processor has it, else 2 (SSE2); DRELVANT_LANE_WIDTH=2 in the environment\n"
    "keeps them at 2, for comparison (the output is the same either way).\n"
    "\n"
    "Options\n"
    "  --preset P       measure only P (F1 ... F7, a user slot 1 ... 99 or a preset\n"
    "                   file).\n"
    "  --seconds N      seconds of audio per preset, 1 ... 3600 (default 20).\n"
    "  --block FRAMES   frames per ModifySamples call (default 576).\n"
    "  --repeat N       runs per preset, 1 ... 100; the fastest counts (default 1).\n"
    "                   Each run starts from the preset just loaded.\n"
    "  --dir DIR        settings directory for user presets.\n"
    "  -h, --help       this text.\n";

constexpr uint32_t kProgrammeSeed = 20240501;

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

}  // namespace

int runBenchCommand(int argc, char** argv) {
    ArgumentCursor cursor = makeCursor(argc, argv, 0);
    std::string presetText, directory, value;
    long long seconds = 20, blockFrames = kDefaultBlockFrames, repeat = 1;
    while (!atEnd(cursor)) {
        const std::string argument = cursor.arguments[cursor.next++];
        if (isHelpOption(argument)) {
            std::fputs(kBenchHelp, stdout);
            return kExitOk;
        } else if (argument == "--preset") {
            if (!takeValue(cursor, argument, &presetText)) return kExitUsage;
        } else if (argument == "--dir") {
            if (!takeValue(cursor, argument, &directory)) return kExitUsage;
        } else if (argument == "--seconds") {
            if (!takeValue(cursor, argument, &value)) return kExitUsage;
            if (!parseInteger(value, 1, 3600, &seconds)) {
                printError("--seconds needs a whole number 1 ... 3600, not '%s'", value.c_str());
                return kExitUsage;
            }
        } else if (argument == "--repeat") {
            if (!takeValue(cursor, argument, &value)) return kExitUsage;
            if (!parseInteger(value, 1, 100, &repeat)) {
                printError("--repeat needs a whole number 1 ... 100, not '%s'", value.c_str());
                return kExitUsage;
            }
        } else if (argument == "--block") {
            if (!takeValue(cursor, argument, &value)) return kExitUsage;
            if (!parseInteger(value, 1, kMaxBlockFrames, &blockFrames)) {
                printError("--block needs a frame count 1 ... %d, not '%s'", kMaxBlockFrames, value.c_str());
                return kExitUsage;
            }
        } else {
            printError("unexpected argument '%s' for bench (see drelvant bench --help)", argument.c_str());
            return kExitUsage;
        }
    }
    std::string error;
    if (!directory.empty() && !useSettingsDirectory(directory, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    std::vector<PresetChoice> choices;
    if (!presetText.empty()) {
        PresetChoice choice;
        if (!parsePresetChoice(presetText, &choice, &error)) {
            printError("%s", error.c_str());
            return kExitFailure;
        }
        choices.push_back(choice);
    } else {
        for (int factory = 0; factory < kFactoryResources; ++factory) {
            PresetChoice choice;
            choice.kind = PresetChoice::kNumber;
            choice.number = -factory;
            choices.push_back(choice);
        }
    }

    const std::vector<short> programme = makeProgramme(static_cast<double>(seconds), kProgrammeSeed);
    const long totalFrames = static_cast<long>(programme.size() / 2);
    std::vector<short> audio(programme.size());
    // Only measures: the module is started but not stopped, because stopping rewrites the settings file.
    winampDSPModule* module = startModule(true, 1);

    std::printf("kernels: %s\n", widestLanes() == LaneWidth::kFour ? "4 lanes (AVX2)" : "2 lanes (SSE2)");
    std::printf("%-28s %8s %10s %12s %9s\n", "Preset", "audio s", "CPU s", "real time", "latency");
    for (const PresetChoice& choice : choices) {
        double cpuSeconds = 0;
        for (long long run = 0; run < repeat; ++run) {
            // Loading the preset again clears the chain's memories, so every run starts alike.
            if (!applyPresetChoice(choice, &error)) {
                printError("%s", error.c_str());
                return kExitFailure;
            }
            std::copy(programme.begin(), programme.end(), audio.begin());
            const double started = threadCpuSeconds();
            for (long frame = 0; frame < totalFrames; frame += static_cast<long>(blockFrames)) {
                const int frames = static_cast<int>(std::min<long>(blockFrames, totalFrames - frame));
                module->ModifySamples(module, audio.data() + 2 * frame, frames, kBitsPerSample, kChannels,
                                      kSampleRate);
                if (interrupted()) {
                    printError("interrupted");
                    return kExitInterrupted;
                }
            }
            const double runSeconds = threadCpuSeconds() - started;
            if (run == 0 || runSeconds < cpuSeconds) cpuSeconds = runSeconds;
        }
        const double audioSeconds = static_cast<double>(totalFrames) / kSampleRate;
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.1fx", cpuSeconds > 0 ? audioSeconds / cpuSeconds : 0.0);
        std::printf("%-28s %8.1f %10.3f %12s %7.1f ms\n", describePreset(choice).c_str(), audioSeconds, cpuSeconds,
                    factor, 1000.0 * ProcessingDelayFrames(PluginEngine().live) / kSampleRate);
        std::fflush(stdout);
    }
    return kExitOk;
}

}  // namespace cli
