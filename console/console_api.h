// The console's HTTP API as records: a request in, a response out, with every check (address,
// Host and Origin, token, size) made here, so the same code serves the server and the fuzz target.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "console/engine_model.h"

namespace console {

constexpr std::size_t kMostBodyBytes = 64 * 1024;
constexpr const char* kTokenCookie = "drelvant_console";
constexpr int kMeterTickMs = 50;

struct ConsoleRequest {
    std::string method;
    std::string path;                           // without the query
    std::map<std::string, std::string> query;   // decoded
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

struct ConsoleResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool meterStream = false;  // the server answers with the meters' event stream
};

// Where the console listens and who may use it.
struct ConsoleAccess {
    std::string address = "127.0.0.1";  // as bound
    int port = 0;
    std::string token;                   // empty: none needed (loopback only)
};

// The meters as last sampled (every kMeterTickMs by the server's meter thread).
struct MeterSnapshot {
    uint64_t tick = 0;
    std::vector<std::pair<std::string, double>> values;
    uint64_t clippedTicks = 0;  // ticks in which a sample reached the clamp
};

// Everything the handlers share. `control` serialises the engine's control calls; the meter
// snapshot has a lock of its own that the audio thread never sees.
struct ConsoleState {
    ConsoleAccess access;
    std::mutex control;
    EngineModel* model = nullptr;  // null while no engine runs
    int hostRate = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::mutex meterLock;
    std::condition_variable meterTicked;
    MeterSnapshot meters;
    bool stopping = false;
    uint64_t settingsVersion = 0;  // counts changes made through the console (others follow them)
    // A live host's own figures, written by it at any time: host frames of delay through it
    // (as its ports report) and cycles it dropped. Null when the host has none.
    const std::atomic<int64_t>* hostLatencyFrames = nullptr;
    const std::atomic<uint64_t>* droppedCycles = nullptr;
    // The host runs the engine's true-peak ceiling (drelvant live): shown and set here.
    bool ceilingOffered = false;
};

ConsoleResponse handleRequest(ConsoleState& state, const ConsoleRequest& request);

// One "data:" event of the meter stream.
std::string meterEvent(ConsoleState& state, const MeterSnapshot& snapshot);

// True when both texts are equal, in a time that does not depend on where they differ.
bool sameSecret(const std::string& a, const std::string& b);

// The page, the dialog templates it is captioned from: embedded at build time.
std::string consolePage();

}  // namespace console
