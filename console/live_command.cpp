// `drelvant live`: the processor as a JACK client, with its console. JACK's process thread runs
// the engine (at 44,100 Hz directly, at any other rate inside the resampler pair the LV2 plug-in
// uses); the main thread waits for a signal or the loss of the server and keeps the ports'
// latency up to date; the console serves on threads of its own.
#include "console/live_command.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_common.h"
#include "cli/hosting.h"
#include "cli/options.h"
#include "console/audio_tap.h"
#include "console/console_help.h"
#include "console/console_server.h"
#include "console/engine_model.h"
#include "host/engine_api.h"
// The resampler pair moves from the LV2 plug-in into the engine library.
#if __has_include("host/rate_bridge.h")
#include "host/rate_bridge.h"
#else
#include "lv2/rate_bridge.h"
#endif

namespace console {
namespace {

const char kLiveHelp[] =
    "Usage: drelvant live [options]\n"
    "\n"
    "Runs the Drelvant processor as a JACK client (JACK itself, or PipeWire's JACK)\n"
    "with the console on by default at http://127.0.0.1:8731/. Its ports are in_l,\n"
    "in_r, out_l, out_r (with --channels 1: in, out). Any JACK rate runs: 44100 Hz\n"
    "directly, other rates through a resampler pair around the processor (as the\n"
    "LV2 plug-in does). The delay through it is reported on its ports and changes\n"
    "with the stages a preset switches on. Ctrl-C or SIGTERM ends it (status 0);\n"
    "losing the JACK server ends it with a message and status 1.\n"
    "\n"
    "Options\n"
    "  --preset P          F1 ... F7, a user slot 1 ... 99 or a preset's name (see\n"
    "                      drelvant process --help). Default: the startup preset.\n"
    "  --dir DIR           settings directory with the user presets (as process).\n"
    "  --seed N            seed of the random generator (dither). Default: the clock.\n"
    "  --set KEY=VALUE     a value on top of the preset (repeatable; as a line of a\n"
    "                      preset file; an unknown key is refused).\n"
    "  --channels N        1 (ports in, out) or 2 (default).\n"
    "  --name NAME         the JACK client's name (default drelvant).\n"
    "  --connect-in PORT   connect a port to the inputs, in order (repeatable).\n"
    "  --connect-out PORT  connect the outputs, in order, to a port (repeatable).\n"
    "  --console [ADDR:]PORT  where the console listens (default 127.0.0.1:8731).\n"
    "  --console-token FILE  the console's token (see below).\n"
    "  --no-console        no console.\n"
    "  -q, --quiet         no notes.\n"
    "  -h, --help          this text.\n"
    "\n";

enum LiveOptionId {
    kChannels = cli::kFirstCommandOption,
    kName,
    kConnectIn,
    kConnectOut,
    kConsoleAddress,
    kConsoleTokenFile,
    kNoConsole,
    kSet,
};

const std::vector<cli::OptionSpec> kLiveOptions = {
    cli::kPresetOption, cli::kDirOption, cli::kSeedOption, cli::kQuietOption,
    {"channels", 0, true, kChannels},
    {"name", 0, true, kName},
    {"connect-in", 0, true, kConnectIn},
    {"connect-out", 0, true, kConnectOut},
    {"console", 0, true, kConsoleAddress},
    {"console-token", 0, true, kConsoleTokenFile},
    {"no-console", 0, false, kNoConsole},
    {"set", 0, true, kSet},
};

constexpr int kEngineRate = 44100;

// Everything the process callback touches: set up before the client is activated.
struct LiveClient {
    jack_client_t* client = nullptr;
    int channels = 2;
    jack_port_t* inputs[2] = {};
    jack_port_t* outputs[2] = {};
    cli::HostedEngine* hosted = nullptr;
    Engine* engine = nullptr;
    bool bridged = false;  // a rate other than 44,100 Hz
    RateBridge bridge;
    std::vector<float> interleaved;  // one period at 44,100 Hz, sized before activation
    std::atomic<int64_t> latencyFrames{0};  // host frames through the client, as the ports report
    std::atomic<uint64_t> droppedCycles{0};
    AudioTap* tap = nullptr;  // the console's, when it runs
    std::atomic<bool> serverLost{false};
    char lostReason[256] = {};
};

int processCycle(jack_nframes_t frames, void* argument) {
    LiveClient& live = *static_cast<LiveClient*>(argument);
    const float* in[2];
    float* out[2];
    for (int c = 0; c < live.channels; ++c) {
        in[c] = static_cast<const float*>(jack_port_get_buffer(live.inputs[c], frames));
        out[c] = static_cast<float*>(jack_port_get_buffer(live.outputs[c], frames));
    }
    if (live.tap != nullptr) tapPlanar(*live.tap, kTapInput, in, live.channels, frames);
    if (live.bridged) {
        processRateBridge(live.bridge, *live.engine, in, out, static_cast<int>(frames));
    } else if (frames <= live.interleaved.size() / 2) {
        float* samples = live.interleaved.data();
        for (jack_nframes_t f = 0; f < frames; ++f) {
            for (int c = 0; c < live.channels; ++c) samples[f * live.channels + c] = in[c][f];
        }
        processBlockFloat(*live.engine, samples, static_cast<int>(frames), live.channels);
        for (jack_nframes_t f = 0; f < frames; ++f) {
            for (int c = 0; c < live.channels; ++c) out[c][f] = samples[f * live.channels + c];
        }
    } else {
        for (int c = 0; c < live.channels; ++c) std::memset(out[c], 0, frames * sizeof(float));
    }
    if (live.tap != nullptr) tapPlanar(*live.tap, kTapOutput, out, live.channels, frames);
    cli::addProcessedFrames(*live.hosted, static_cast<int>(frames));
    return 0;
}

int countXrun(void* argument) {
    ++static_cast<LiveClient*>(argument)->droppedCycles;
    return 0;
}

void serverShutdown(jack_status_t, const char* reason, void* argument) {
    LiveClient& live = *static_cast<LiveClient*>(argument);
    std::snprintf(live.lostReason, sizeof live.lostReason, "%s", reason != nullptr ? reason : "");
    live.serverLost = true;
}

// Each port's latency is the latency on its far side plus the frames through the client.
void reportLatency(jack_latency_callback_mode_t mode, void* argument) {
    LiveClient& live = *static_cast<LiveClient*>(argument);
    const jack_nframes_t own = static_cast<jack_nframes_t>(live.latencyFrames.load());
    jack_latency_range_t range;
    for (int c = 0; c < live.channels; ++c) {
        if (mode == JackCaptureLatency) {
            jack_port_get_latency_range(live.inputs[c], JackCaptureLatency, &range);
            range.min += own;
            range.max += own;
            jack_port_set_latency_range(live.outputs[c], JackCaptureLatency, &range);
        } else {
            jack_port_get_latency_range(live.outputs[c], JackPlaybackLatency, &range);
            range.min += own;
            range.max += own;
            jack_port_set_latency_range(live.inputs[c], JackPlaybackLatency, &range);
        }
    }
}

int64_t clientLatency(LiveClient& live) {
    const int64_t engineFrames = cli::latencyFrames(*live.hosted);
    return live.bridged ? rateBridgeLatency(live.bridge, engineFrames) : engineFrames;
}

int bufferSizeChanged(jack_nframes_t frames, void* argument) {
    // Called before the first cycle of a new size and never during one; a period longer than
    // the one sized for is passed through as silence rather than allocated on the audio thread.
    LiveClient& live = *static_cast<LiveClient*>(argument);
    if (!live.bridged && frames * 2 > live.interleaved.size()) {
        std::fprintf(stderr, "drelvant: JACK's period grew to %u frames; restart drelvant live to process it\n",
                     static_cast<unsigned>(frames));
    }
    return 0;
}

bool takeSet(const std::string& text, std::vector<std::pair<std::string, double>>* values) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    const std::string number = text.substr(equals + 1);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (number.empty() || end == nullptr || *end != '\0') return false;
    values->emplace_back(text.substr(0, equals), value);
    return true;
}

}  // namespace

int runLiveCommand(int argc, char** argv) {
    cli::ParsedArguments arguments;
    if (!cli::parseArguments("live", kLiveOptions, argc, argv, &arguments)) return cli::kExitUsage;
    if (arguments.help) {
        std::fputs(kLiveHelp, stdout);
        std::fputs(kConsoleApiHelp, stdout);
        std::fputs("\nExit status: 0 stopped by Ctrl-C or SIGTERM, 1 error or the JACK server lost,\n2 wrong usage.\n",
                   stdout);
        return cli::kExitOk;
    }
    if (!arguments.positional.empty()) return cli::reportUnexpectedArgument("live", arguments.positional[0]);
    cli::SharedOptions shared;
    ConsoleOptions consoleOptions;
    consoleOptions.enabled = true;
    consoleOptions.port = 8731;
    std::string name = "drelvant";
    std::vector<std::string> connectIn, connectOut;
    std::vector<std::pair<std::string, double>> sets;
    int channels = 2;
    for (const cli::ParsedOption& option : arguments.options) {
        const cli::SharedTake taken = cli::takeSharedOption(option, &shared);
        if (taken == cli::SharedTake::kBadValue) return cli::kExitUsage;
        if (taken == cli::SharedTake::kTaken) continue;
        std::string error;
        switch (option.id) {
            case kChannels:
                if (option.value != "1" && option.value != "2") {
                    cli::printError("--channels needs 1 or 2, not '%s'", option.value.c_str());
                    return cli::kExitUsage;
                }
                channels = option.value == "1" ? 1 : 2;
                break;
            case kName:
                if (option.value.empty()) {
                    cli::printError("--name needs a client name");
                    return cli::kExitUsage;
                }
                name = option.value;
                break;
            case kConnectIn: connectIn.push_back(option.value); break;
            case kConnectOut: connectOut.push_back(option.value); break;
            case kConsoleAddress:
                if (!parseConsoleAddress(option.value, &consoleOptions, &error)) {
                    cli::printError("%s", error.c_str());
                    return cli::kExitUsage;
                }
                break;
            case kConsoleTokenFile: consoleOptions.tokenFile = option.value; break;
            case kNoConsole: consoleOptions.enabled = false; break;
            case kSet:
                if (!takeSet(option.value, &sets)) {
                    cli::printError("--set needs KEY=VALUE with a number, not '%s'", option.value.c_str());
                    return cli::kExitUsage;
                }
                break;
            default: break;
        }
    }

    cli::EngineSetup setup;
    std::string error;
    if (!cli::chooseSettingsDirectory(shared.directory, &setup.settingsDirectory, &error) ||
        (!shared.preset.empty() && !cli::choosePreset(shared.preset, setup.settingsDirectory, &setup.preset, &error))) {
        cli::printError("%s", error.c_str());
        return cli::kExitFailure;
    }
    setup.fixSeed = shared.seedGiven;
    setup.seed = shared.seed;
    LiveClient live;
    live.channels = channels;
    live.hosted = cli::startEngine(setup, &error);
    if (live.hosted == nullptr) {
        cli::printError("%s", error.c_str());
        return cli::kExitFailure;
    }
    live.engine = cli::hostApiEngine(*live.hosted);
    EngineModel* model = openEngineModel(*live.hosted, setup.settingsDirectory);
    std::vector<std::pair<std::string, double>> applied;
    std::string badKey;
    const bool setsApplied = applyValues(*model, sets, &applied, &badKey);
    closeEngineModel(model);
    auto stopAll = [&](int status) {
        if (live.client != nullptr) jack_client_close(live.client);
        if (live.bridged) releaseRateBridge(live.bridge);
        cli::stopEngine(live.hosted);
        return status;
    };
    if (!setsApplied) {
        cli::printError("--set: unknown key or unusable value '%s'", badKey.c_str());
        return stopAll(cli::kExitUsage);
    }

    jack_status_t status{};
    live.client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (live.client == nullptr) {
        cli::printError("cannot connect to a JACK server (is jackd or PipeWire's JACK running?)");
        return stopAll(cli::kExitFailure);
    }
    const double rate = jack_get_sample_rate(live.client);
    live.bridged = rate != kEngineRate;
    if (live.bridged && !prepareRateBridge(live.bridge, rate, channels)) {
        cli::printError("JACK runs at %.0f Hz, a rate the resampler pair cannot take", rate);
        return stopAll(cli::kExitFailure);
    }
    // The largest period JACK allows, so that no later period size needs memory.
    live.interleaved.assign(2 * std::max<jack_nframes_t>(jack_get_buffer_size(live.client), 8192), 0.0f);
    const char* const inNames[2] = {channels == 1 ? "in" : "in_l", "in_r"};
    const char* const outNames[2] = {channels == 1 ? "out" : "out_l", "out_r"};
    for (int c = 0; c < channels; ++c) {
        live.inputs[c] = jack_port_register(live.client, inNames[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        live.outputs[c] = jack_port_register(live.client, outNames[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (live.inputs[c] == nullptr || live.outputs[c] == nullptr) {
            cli::printError("cannot register the JACK ports");
            return stopAll(cli::kExitFailure);
        }
    }
    live.latencyFrames = clientLatency(live);
    jack_set_process_callback(live.client, processCycle, &live);
    jack_set_xrun_callback(live.client, countXrun, &live);
    jack_set_latency_callback(live.client, reportLatency, &live);
    jack_set_buffer_size_callback(live.client, bufferSizeChanged, &live);
    jack_on_info_shutdown(live.client, serverShutdown, &live);

    ConsoleServer* server = nullptr;
    if (consoleOptions.enabled) {
        server = startConsole(consoleOptions, &error);
        if (server == nullptr) {
            cli::printError("%s", error.c_str());
            return stopAll(cli::kExitFailure);
        }
        attachEngine(*server, live.hosted, setup.settingsDirectory, static_cast<int>(rate));
        setHostCounters(*server, &live.latencyFrames, &live.droppedCycles);
        offerTruePeakCeiling(*server);
        live.tap = consoleAudioTap(*server, static_cast<int>(rate));
    }
    auto stopWith = [&](int status) {
        // The process callback writes into the console's tap: it stops first.
        if (live.client != nullptr && !live.serverLost) jack_deactivate(live.client);
        if (server != nullptr) stopConsole(server);
        return stopAll(status);
    };
    if (jack_activate(live.client) != 0) {
        cli::printError("cannot activate the JACK client");
        return stopWith(cli::kExitFailure);
    }
    const std::string clientName = jack_get_client_name(live.client);
    for (size_t i = 0; i < connectIn.size(); ++i) {
        const std::string port = clientName + ":" + inNames[i % channels];
        if (jack_connect(live.client, connectIn[i].c_str(), port.c_str()) != 0) {
            cli::printError("cannot connect '%s' to %s", connectIn[i].c_str(), port.c_str());
            return stopWith(cli::kExitFailure);
        }
    }
    for (size_t i = 0; i < connectOut.size(); ++i) {
        const std::string port = clientName + ":" + outNames[i % channels];
        if (jack_connect(live.client, port.c_str(), connectOut[i].c_str()) != 0) {
            cli::printError("cannot connect %s to '%s'", port.c_str(), connectOut[i].c_str());
            return stopWith(cli::kExitFailure);
        }
    }
    if (!shared.quiet) {
        std::fprintf(stderr, "drelvant: JACK client '%s' at %.0f Hz, %s, latency %lld frames\n", clientName.c_str(),
                     rate, cli::describeLoadedPreset(*live.hosted).c_str(),
                     static_cast<long long>(live.latencyFrames.load()));
    }
    // The delay changes with the stages a preset or a switch turns on: the ports follow.
    while (!cli::interrupted() && !live.serverLost) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int64_t latency = clientLatency(live);
        if (latency != live.latencyFrames.load() && !live.serverLost) {
            live.latencyFrames = latency;
            jack_recompute_total_latencies(live.client);
        }
    }
    if (live.serverLost) {
        cli::printError("lost the JACK server%s%s", live.lostReason[0] != '\0' ? ": " : "", live.lostReason);
        return stopWith(cli::kExitFailure);
    }
    return stopWith(cli::kExitOk);
}

}  // namespace console
