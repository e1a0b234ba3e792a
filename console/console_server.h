// The console's HTTP server: its own threads, the API of console_api.h, and a meter thread that
// samples the engine's meters every 50 ms. Nothing here ever waits on the audio thread, and the
// audio thread never waits on anything here.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace cli {
struct HostedEngine;
}

namespace console {

// "--console [ADDR:]PORT" and "--console-token FILE".
struct ConsoleOptions {
    bool enabled = false;
    std::string address = "127.0.0.1";
    int port = 0;           // 0: any free port (printed at start)
    std::string tokenFile;  // empty: none, or one generated when the address is not loopback
};

// "8731", "127.0.0.1:8731", "0.0.0.0:8731", "[::1]:8731".
bool parseConsoleAddress(const std::string& text, ConsoleOptions* options, std::string* error);

struct ConsoleServer;
// Binds the address (refused: a port in use, a token file that cannot be read or holds fewer
// than 16 characters) and starts serving; says where on standard error, with the token when one
// was generated. nullptr with `error` on failure.
ConsoleServer* startConsole(const ConsoleOptions& options, std::string* error);
// The engine the console shows and controls from now on (nullptr: none, answered 503).
void attachEngine(ConsoleServer& server, cli::HostedEngine* engine, const std::string& settingsDirectory, int hostRate);
// A live host's latency in its own frames and its dropped cycles, shown by the console.
void setHostCounters(ConsoleServer& server, const std::atomic<int64_t>* latencyFrames,
                     const std::atomic<uint64_t>* droppedCycles);
// The host runs the engine's true-peak ceiling after the chain (drelvant live): the console
// shows it and sets it.
void offerTruePeakCeiling(ConsoleServer& server);
// Detaches, closes every connection and stops the threads.
void stopConsole(ConsoleServer* server);
int consolePort(const ConsoleServer& server);

// The tap through which the host hands the console its audio at `rate` (stereo, or mono as
// both channels): from then on the meters carry the momentary, short-term and integrated
// loudness and the true peak of input and output.
struct AudioTap;
AudioTap* consoleAudioTap(ConsoleServer& server, int rate);

}  // namespace console
