// The console's server over cpp-httplib: a bounded pool of worker threads, a per-client request
// rate, the meter thread and the meter event stream.
#include "console/console_server.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <thread>

#include <httplib.h>

#include "cli/loudness.h"
#include "console/audio_tap.h"
#include "console/console_api.h"

namespace console {

namespace {

constexpr size_t kWorkerThreads = 16;
constexpr size_t kMostWaitingConnections = 32;  // beyond: the accept loop waits, clients queue in the kernel
constexpr int kMostMeterStreams = 8;
constexpr double kRequestsPerSecond = 50.0;     // per client address, sustained
constexpr double kRequestBurst = 100.0;
constexpr int kReadTimeoutSeconds = 2;  // an idle connection holds a worker no longer
constexpr size_t kShortestToken = 16;
constexpr int kMostMeasuredSpeed = 20;  // times real time the loudness meters follow

// Worker threads with a bounded queue: when it is full the accepting thread waits, so no client
// can make the console start threads or hold memory without bound.
class BoundedPool : public httplib::TaskQueue {
public:
    BoundedPool() {
        for (size_t i = 0; i < kWorkerThreads; ++i) threads_.emplace_back([this] { work(); });
    }
    void enqueue(std::function<void()> job) override {
        std::unique_lock<std::mutex> lock(lock_);
        roomLeft_.wait(lock, [this] { return jobs_.size() < kMostWaitingConnections || stopping_; });
        jobs_.push_back(std::move(job));
        jobWaiting_.notify_one();
    }
    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stopping_ = true;
        }
        jobWaiting_.notify_all();
        roomLeft_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }

private:
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(lock_);
                jobWaiting_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                roomLeft_.notify_one();
            }
            job();
        }
    }
    std::mutex lock_;
    std::condition_variable jobWaiting_, roomLeft_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
};

// Requests a client address may make: a bucket refilled at kRequestsPerSecond.
class RateLimit {
public:
    bool allow(const std::string& client) {
        std::lock_guard<std::mutex> lock(lock_);
        const auto now = std::chrono::steady_clock::now();
        if (buckets_.size() > 4096) buckets_.clear();  // many clients: start afresh rather than grow
        Bucket& bucket = buckets_.try_emplace(client, Bucket{kRequestBurst, now}).first->second;
        const double seconds = std::chrono::duration<double>(now - bucket.filled).count();
        bucket.tokens = std::min(kRequestBurst, bucket.tokens + seconds * kRequestsPerSecond);
        bucket.filled = now;
        if (bucket.tokens < 1.0) return false;
        bucket.tokens -= 1.0;
        return true;
    }

private:
    struct Bucket {
        double tokens;
        std::chrono::steady_clock::time_point filled;
    };
    std::mutex lock_;
    std::map<std::string, Bucket> buckets_;
};

std::string randomToken() {
    unsigned char bytes[24] = {};
    std::ifstream random("/dev/urandom", std::ios::binary);
    random.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (!random) return std::string();
    std::string token;
    char digits[3];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        token += digits;
    }
    return token;
}

bool readToken(const std::string& path, std::string* token, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read the console token file '" + path + "'";
        return false;
    }
    std::getline(file, *token);
    while (!token->empty() && std::isspace(static_cast<unsigned char>(token->back()))) token->pop_back();
    if (token->size() < kShortestToken || token->find_first_of(" \t;,\"") != std::string::npos) {
        *error = "the console token in '" + path + "' must be one word of at least 16 characters";
        return false;
    }
    return true;
}

bool isLoopback(const std::string& address) { return address == "127.0.0.1" || address == "::1" || address == "localhost"; }

}  // namespace

// The loudness of the tapped input and output (the meter thread's own).
struct TapMeters {
    AudioTap tap;
    bool enabled = false;
    cli::LoudnessMeter meters[2];
    std::vector<double> frames;
};

struct ConsoleServer {
    TapMeters loudness;
    httplib::Server http;
    ConsoleState state;
    RateLimit rate;
    std::thread listener;
    std::thread meterThread;
    std::atomic<int> meterStreams{0};
    cli::HostedEngine* engine = nullptr;
    int port = 0;
};

namespace {

// Each tick measures what the audio thread handed over since the last, up to twenty times real
// time (a file processed faster is measured in part), and names the figures.
void measureLoudness(TapMeters& loudness, std::vector<std::pair<std::string, double>>* values) {
    const std::size_t most = static_cast<std::size_t>(loudness.tap.rate) * kMeterTickMs * kMostMeasuredSpeed / 1000;
    const char* const sides[2] = {"input", "output"};
    for (int side = 0; side < 2; ++side) {
        cli::LoudnessMeter& meter = loudness.meters[side];
        const std::size_t frames = drainAudioTap(loudness.tap, static_cast<TapSide>(side), most, &loudness.frames);
        if (frames > 0) cli::addFrames(meter, loudness.frames.data(), frames);
        meter.shortTermLufs.clear();  // kept for the loudness range, which the console does not show
        const cli::RunningLoudness figures = cli::runningLoudness(meter);
        const std::string name = sides[side];
        values->emplace_back(name + "_momentary_lufs", figures.momentaryLufs);
        values->emplace_back(name + "_short_term_lufs", figures.shortTermLufs);
        values->emplace_back(name + "_integrated_lufs", figures.integratedLufs);
        values->emplace_back(name + "_true_peak_dbtp", figures.truePeakDbtp);
    }
}

void sampleMeters(ConsoleServer& server) {
    ConsoleState& state = server.state;
    for (;;) {
        {
            // The model is swapped only under this lock too, so the meters are read without
            // waiting for a control call (a response sweep takes seconds).
            std::unique_lock<std::mutex> lock(state.meterLock);
            if (state.stopping) return;
            std::vector<std::pair<std::string, double>> values;
            if (state.model != nullptr) values = readMeterValues(*state.model);
            if (server.loudness.enabled) measureLoudness(server.loudness, &values);
            for (const auto& [name, value] : values) {
                if (name == "clipped" && value != 0.0) ++state.meters.clippedTicks;
            }
            state.meters.values = std::move(values);
            ++state.meters.tick;
            state.meterTicked.notify_all();
            state.meterTicked.wait_for(lock, std::chrono::milliseconds(kMeterTickMs), [&] { return state.stopping; });
            if (state.stopping) return;
        }
    }
}

ConsoleRequest requestRecord(const httplib::Request& in) {
    ConsoleRequest request;
    request.method = in.method;
    request.path = in.path;
    for (const auto& [name, value] : in.params) request.query.emplace(name, value);
    for (const auto& [name, value] : in.headers) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        request.headers[lower] = value;
    }
    request.body = in.body;
    return request;
}

void serveMeterStream(ConsoleServer& server, httplib::Response& out) {
    if (++server.meterStreams > kMostMeterStreams) {
        --server.meterStreams;
        out.status = 503;
        out.set_content("{\"error\":\"too many meter streams\"}", "application/json");
        return;
    }
    out.set_header("Cache-Control", "no-store");
    auto lastTick = std::make_shared<uint64_t>(0);
    out.set_chunked_content_provider(
        "text/event-stream",
        [&server, lastTick](size_t, httplib::DataSink& sink) {
            ConsoleState& state = server.state;
            MeterSnapshot snapshot;
            {
                std::unique_lock<std::mutex> lock(state.meterLock);
                state.meterTicked.wait_for(lock, std::chrono::milliseconds(4 * kMeterTickMs),
                                           [&] { return state.stopping || state.meters.tick != *lastTick; });
                if (state.stopping) {
                    sink.done();
                    return false;
                }
                snapshot = state.meters;
            }
            *lastTick = snapshot.tick;
            const std::string event = "data: " + meterEvent(state, snapshot) + "\n\n";
            // A client that stopped reading fails the write (after the write timeout) and ends here.
            return sink.write(event.data(), event.size());
        },
        [&server](bool) { --server.meterStreams; });
}

void handle(ConsoleServer& server, const httplib::Request& in, httplib::Response& out) {
    if (!server.rate.allow(in.remote_addr)) {
        out.status = 429;
        out.set_header("Retry-After", "1");
        out.set_content("{\"error\":\"too many requests\"}", "application/json");
        return;
    }
    const ConsoleResponse response = handleRequest(server.state, requestRecord(in));
    out.status = response.status;
    for (const auto& [name, value] : response.headers) out.set_header(name.c_str(), value);
    out.set_header("X-Content-Type-Options", "nosniff");
    out.set_header("X-Frame-Options", "DENY");
    out.set_header("Content-Security-Policy",
                   "default-src 'self'; script-src 'self' 'unsafe-inline'; style-src 'self' 'unsafe-inline'; "
                   "frame-ancestors 'none'");
    out.set_header("Cache-Control", "no-store");
    if (response.meterStream) {
        serveMeterStream(server, out);
        return;
    }
    out.set_content(response.body, response.contentType.c_str());
}

}  // namespace

bool parseConsoleAddress(const std::string& text, ConsoleOptions* options, std::string* error) {
    std::string address = options->address;
    std::string port = text;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find("]:");
        if (close == std::string::npos) {
            *error = "--console needs [ADDR:]PORT, not '" + text + "'";
            return false;
        }
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (text.find(':') != std::string::npos) {
        const size_t colon = text.rfind(':');
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (address.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) > 65535) {
        *error = "--console needs [ADDR:]PORT with a port 0 ... 65535, not '" + text + "'";
        return false;
    }
    options->enabled = true;
    options->address = address;
    options->port = std::stoi(port);
    return true;
}

ConsoleServer* startConsole(const ConsoleOptions& options, std::string* error) {
    auto server = std::make_unique<ConsoleServer>();
    ConsoleAccess& access = server->state.access;
    access.address = options.address;
    bool generated = false;
    if (!options.tokenFile.empty()) {
        if (!readToken(options.tokenFile, &access.token, error)) return nullptr;
    } else if (!isLoopback(options.address)) {
        access.token = randomToken();
        generated = true;
        if (access.token.empty()) {
            *error = "cannot make a console token (no /dev/urandom): give --console-token FILE";
            return nullptr;
        }
    }
    httplib::Server& http = server->http;
    http.new_task_queue = [] { return new BoundedPool; };
    http.set_payload_max_length(kMostBodyBytes);
    http.set_read_timeout(kReadTimeoutSeconds, 0);
    http.set_write_timeout(kReadTimeoutSeconds, 0);
    http.set_keep_alive_timeout(kReadTimeoutSeconds);
    http.set_keep_alive_max_count(100);
    ConsoleServer* raw = server.get();
    auto handler = [raw](const httplib::Request& in, httplib::Response& out) { handle(*raw, in, out); };
    const char* pattern = R"(/.*)";
    http.Get(pattern, handler);
    http.Put(pattern, handler);
    http.Post(pattern, handler);
    http.Delete(pattern, handler);
    http.Options(pattern, handler);
    http.Patch(pattern, handler);
    if (options.port == 0) {
        server->port = http.bind_to_any_port(options.address.c_str());
    } else {
        server->port = http.bind_to_port(options.address.c_str(), options.port) ? options.port : -1;
    }
    if (server->port <= 0) {
        *error = "the console cannot listen on " + options.address + ":" + std::to_string(options.port) +
                 " (address not on this machine, or the port in use)";
        return nullptr;
    }
    access.port = server->port;
    server->listener = std::thread([raw] { raw->http.listen_after_bind(); });
    server->meterThread = std::thread([raw] { sampleMeters(*raw); });
    const bool bracket = options.address.find(':') != std::string::npos;
    std::fprintf(stderr, "drelvant: console at http://%s%s%s:%d/\n", bracket ? "[" : "", options.address.c_str(),
                 bracket ? "]" : "", server->port);
    if (generated) std::fprintf(stderr, "drelvant: console token: %s\n", access.token.c_str());
    return server.release();
}

void attachEngine(ConsoleServer& server, cli::HostedEngine* engine, const std::string& settingsDirectory, int hostRate) {
    std::lock_guard<std::mutex> lock(server.state.control);
    std::lock_guard<std::mutex> meters(server.state.meterLock);
    if (server.state.model != nullptr) closeEngineModel(server.state.model);
    server.state.model = engine != nullptr ? openEngineModel(*engine, settingsDirectory) : nullptr;
    server.state.hostRate = hostRate;
    server.engine = engine;
}

void setHostCounters(ConsoleServer& server, const std::atomic<int64_t>* latencyFrames,
                     const std::atomic<uint64_t>* droppedCycles) {
    std::lock_guard<std::mutex> lock(server.state.control);
    server.state.hostLatencyFrames = latencyFrames;
    server.state.droppedCycles = droppedCycles;
}

void offerTruePeakCeiling(ConsoleServer& server) {
    std::lock_guard<std::mutex> lock(server.state.control);
    server.state.ceilingOffered = true;
}

void stopConsole(ConsoleServer* server) {
    if (server == nullptr) return;
    attachEngine(*server, nullptr, std::string(), 0);
    {
        std::lock_guard<std::mutex> lock(server->state.meterLock);
        server->state.stopping = true;
    }
    server->state.meterTicked.notify_all();
    server->http.stop();
    if (server->listener.joinable()) server->listener.join();
    if (server->meterThread.joinable()) server->meterThread.join();
    delete server;
}

int consolePort(const ConsoleServer& server) { return server.port; }

AudioTap* consoleAudioTap(ConsoleServer& server, int rate) {
    std::lock_guard<std::mutex> lock(server.state.meterLock);
    TapMeters& loudness = server.loudness;
    if (!loudness.enabled) {
        prepareAudioTap(loudness.tap, rate);
        for (cli::LoudnessMeter& meter : loudness.meters) cli::startMeter(meter, rate, 2);
        loudness.enabled = true;
    }
    return &loudness.tap;
}

}  // namespace console
