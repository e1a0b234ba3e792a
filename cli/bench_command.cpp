// `drelvant bench`: how many seconds of audio the processor handles per second of one core, per preset.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/hosting.h"
#include "cli/options.h"
#include "cli/programme.h"
#include "host/engine_api.h"

namespace cli {
namespace {

const char kBenchHelp[] =
    "Usage: drelvant bench [--preset P] [--seconds N] [--block FRAMES] [--repeat N] [--dir DIR]\n"
    "\n"
    "Measures the real-time factor of the processor: seconds of audio processed per\n"
    "second of CPU time of one core (the thread's own CPU time, so other load on the\n"
    "machine matters little). The audio is the generated demo programme (music-like\n"
    "tones, drums, noise, silence), fed through the processor in host-sized blocks.\n"
    "By default all seven factory presets are measured, one after the other. The\n"
    "first line names the width of the engine's SIMD kernels: 4 lanes (AVX2) where\n"
    "the processor has it, else 2 (SSE2); DRELVANT_LANE_WIDTH=2 in the environment\n"
    "keeps them at 2, for comparison (the output is the same either way).\n"
    "\n"
    "Options\n"
    "  --preset P       measure only P (F1 ... F7, a user slot 1 ... 99 or a preset\n"
    "                   file).\n"
    "  --seconds N      seconds of audio per preset, 1 ... 3600 (default 20).\n"
    "  --block FRAMES   frames per processing call (default 576).\n"
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

enum BenchOptionId { kSeconds = kFirstCommandOption, kRepeat };
const std::vector<OptionSpec> kBenchOptions = {kPresetOption, kDirOption, kBlockOption, {"seconds", 0, true, kSeconds},
                                               {"repeat", 0, true, kRepeat}};

}  // namespace

int runBenchCommand(int argc, char** argv) {
    ParsedArguments arguments;
    if (!parseArguments("bench", kBenchOptions, argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        std::fputs(kBenchHelp, stdout);
        return kExitOk;
    }
    if (!arguments.positional.empty()) return reportUnexpectedArgument("bench", arguments.positional[0]);
    SharedOptions shared;
    long long seconds = 20, repeat = 1;
    for (const ParsedOption& option : arguments.options) {
        if (takeSharedOption(option, &shared) == SharedTake::kBadValue) return kExitUsage;
        if (option.id == kSeconds && !parseInteger(option.value, 1, 3600, &seconds)) {
            printError("--seconds needs a whole number 1 ... 3600, not '%s'", option.value.c_str());
            return kExitUsage;
        }
        if (option.id == kRepeat && !parseInteger(option.value, 1, 100, &repeat)) {
            printError("--repeat needs a whole number 1 ... 100, not '%s'", option.value.c_str());
            return kExitUsage;
        }
    }
    std::string error;
    EngineSetup setup;
    setup.fixSeed = true;
    setup.seed = 1;
    if (!chooseSettingsDirectory(shared.directory, &setup.settingsDirectory, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    std::vector<PresetChoice> choices;
    if (!shared.preset.empty()) {
        PresetChoice choice;
        if (!parsePresetChoice(shared.preset, &choice, &error)) {
            printError("%s", error.c_str());
            return kExitFailure;
        }
        choices.push_back(choice);
    } else {
        for (int factory = 1; factory <= kFactoryPresetCount; ++factory) {
            PresetChoice choice;
            choice.kind = PresetChoice::kFactory;
            choice.number = factory;
            choices.push_back(choice);
        }
    }
    setup.preset = choices.front();

    const std::vector<short> programme = makeProgramme(static_cast<double>(seconds), kProgrammeSeed);
    const long totalFrames = static_cast<long>(programme.size() / 2);
    std::vector<short> audio(programme.size());
    HostedEngine* engine = startEngine(setup, &error);
    if (engine == nullptr) {
        printError("%s", error.c_str());
        return kExitFailure;
    }

    int status = kExitOk;
    std::printf("kernels: %s\n", engineLaneWidth() == 4 ? "4 lanes (AVX2)" : "2 lanes (SSE2)");
    std::printf("%-28s %8s %10s %12s %9s\n", "Preset", "audio s", "CPU s", "real time", "latency");
    for (const PresetChoice& choice : choices) {
        double cpuSeconds = 0;
        for (long long run = 0; run < repeat && status == kExitOk; ++run) {
            // Loading the preset again clears the chain's memories, so every run starts alike.
            if (!loadPreset(*engine, choice, &error)) {
                printError("%s", error.c_str());
                status = kExitFailure;
                break;
            }
            std::copy(programme.begin(), programme.end(), audio.begin());
            const double started = threadCpuSeconds();
            for (long frame = 0; frame < totalFrames && !interrupted();
                 frame += static_cast<long>(shared.blockFrames)) {
                const int frames = static_cast<int>(std::min<long>(shared.blockFrames, totalFrames - frame));
                processBlock(*engine, audio.data() + 2 * frame, frames);
            }
            if (interrupted()) {
                printError("interrupted");
                status = failureStatus();
                break;
            }
            const double runSeconds = threadCpuSeconds() - started;
            if (run == 0 || runSeconds < cpuSeconds) cpuSeconds = runSeconds;
        }
        if (status != kExitOk) break;
        const double audioSeconds = static_cast<double>(totalFrames) / kSampleRate;
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.1fx", cpuSeconds > 0 ? audioSeconds / cpuSeconds : 0.0);
        std::printf("%-28s %8.1f %10.3f %12s %7.1f ms\n", describeLoadedPreset(*engine).c_str(), audioSeconds, cpuSeconds,
                    factor, 1000.0 * latencyFrames(*engine) / kSampleRate);
        std::fflush(stdout);
    }
    stopEngine(engine);
    return status;
}

}  // namespace cli
