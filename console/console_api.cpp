// The console's API: checks first (size, Host and Origin, token), then one handler per route.
#include "console/console_api.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "console/embedded_page.h"

namespace console {

using nlohmann::json;

namespace {

constexpr int kScopeFrames = 1024;      // as wide as the oscilloscope draws, about 23 ms
constexpr int kMostScopeFrames = 16384;

ConsoleResponse jsonAnswer(int status, const json& body) {
    ConsoleResponse response;
    response.status = status;
    response.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    return response;
}

ConsoleResponse refusal(int status, const std::string& message) { return jsonAnswer(status, {{"error", message}}); }

std::string header(const ConsoleRequest& request, const char* name) {
    const auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string() : found->second;
}

bool isLoopbackAddress(const std::string& address) {
    return address == "127.0.0.1" || address == "::1" || address == "localhost";
}

bool isWildcardAddress(const std::string& address) { return address == "0.0.0.0" || address == "::"; }

// The Host values that name this console: its address and port, and the loopback names when it
// listens on loopback. A console on every address (which always needs its token) takes any name.
bool isOwnHost(const ConsoleAccess& access, const std::string& host) {
    if (host.empty()) return false;
    if (host.find_first_of(" /\\@\r\n\t") != std::string::npos) return false;
    const std::string port = ":" + std::to_string(access.port);
    if (host.size() <= port.size() || host.compare(host.size() - port.size(), port.size(), port) != 0) return false;
    std::string name = host.substr(0, host.size() - port.size());
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    if (isWildcardAddress(access.address)) return !name.empty();
    if (name == access.address) return true;
    return isLoopbackAddress(access.address) && isLoopbackAddress(name);
}

std::string cookieValue(const std::string& cookies, const std::string& name) {
    size_t at = 0;
    while (at < cookies.size()) {
        const size_t end = cookies.find(';', at);
        std::string pair = cookies.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const size_t start = pair.find_first_not_of(' ');
        pair = start == std::string::npos ? std::string() : pair.substr(start);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return std::string();
}

bool hasToken(const ConsoleState& state, const ConsoleRequest& request) {
    if (state.access.token.empty()) return true;
    const std::string authorization = header(request, "authorization");
    const std::string bearer = "Bearer ";
    if (authorization.compare(0, bearer.size(), bearer) == 0 &&
        sameSecret(authorization.substr(bearer.size()), state.access.token)) {
        return true;
    }
    const std::string cookie = cookieValue(header(request, "cookie"), kTokenCookie);
    return !cookie.empty() && sameSecret(cookie, state.access.token);
}

std::string urlDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

const char kLoginPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\">"
    "<title>Drelvant console</title></head><body style=\"font-family:sans-serif\"><h1>Drelvant console</h1>"
    "<form method=\"post\" action=\"/login\"><label>Token <input name=\"token\" type=\"password\" autofocus>"
    "</label> <button>Open</button></form></body></html>";

ConsoleResponse login(ConsoleState& state, const ConsoleRequest& request) {
    if (request.method == "GET") {
        ConsoleResponse response;
        response.contentType = "text/html; charset=utf-8";
        response.body = kLoginPage;
        return response;
    }
    const std::string prefix = "token=";
    const std::string given = request.body.compare(0, prefix.size(), prefix) == 0
                                  ? urlDecode(request.body.substr(prefix.size()))
                                  : std::string();
    if (state.access.token.empty() || !sameSecret(given, state.access.token)) {
        return refusal(401, "wrong token");
    }
    ConsoleResponse response;
    response.status = 303;
    response.contentType = "text/plain";
    response.headers.emplace_back("Location", "/");
    response.headers.emplace_back("Set-Cookie", std::string(kTokenCookie) + "=" + state.access.token +
                                                    "; Path=/; HttpOnly; SameSite=Strict");
    return response;
}

// ---- handlers; each takes the control lock for the engine's control calls ----

json paramJson(const ParamInfo& param) {
    return {{"key", param.key},         {"window", param.window},     {"kind", param.kind},
            {"unit", param.unit},       {"caption", param.caption},   {"min", param.minValue},
            {"max", param.maxValue},    {"default", param.defaultValue}, {"decimals", param.decimals},
            {"tick", param.tickSpacing}, {"line", param.lineStep},    {"page", param.pageStep},
            {"value", param.value}};
}

ConsoleResponse getEngine(ConsoleState& state) {
    const EngineFacts facts = engineFacts(*state.model);
    const double uptime = std::chrono::duration<double>(std::chrono::steady_clock::now() - state.started).count();
    json body = {{"version", facts.version},
                 {"preset", {{"number", facts.presetNumber}, {"name", facts.presetName}}},
                 {"host_rate", state.hostRate},
                 {"engine_rate", facts.engineRate},
                 {"latency_frames", facts.latencyFrames},
                 {"latency_ms", facts.latencyFrames * 1000.0 / facts.engineRate},
                 {"frames_processed", facts.framesProcessed},
                 {"uptime_s", uptime},
                 {"settings_version", state.settingsVersion}};
    // A live host's delay in its own frames (resamplers included), as its ports report it.
    if (state.hostLatencyFrames != nullptr && state.hostRate > 0) {
        const int64_t frames = state.hostLatencyFrames->load();
        body["host_latency_frames"] = frames;
        body["latency_ms"] = frames * 1000.0 / state.hostRate;
    }
    if (state.droppedCycles != nullptr) body["dropped_cycles"] = state.droppedCycles->load();
    if (state.ceilingOffered) {
        const CeilingInfo ceiling = ceilingState(*state.model);
        body["ceiling"] = {{"on", ceiling.on}, {"dBTP", ceiling.dBTP}, {"min", ceiling.lowest}, {"max", ceiling.highest}};
    }
    return jsonAnswer(200, body);
}

// {"on": true, "dBTP": -1}: "dBTP" may be left out (the level stays).
ConsoleResponse putCeiling(ConsoleState& state, const ConsoleRequest& request) {
    if (!state.ceilingOffered) {
        return refusal(409, "this host runs no true-peak ceiling stage (drelvant process has --ceiling)");
    }
    const json body = json::parse(request.body, nullptr, false);
    const bool hasLevel = body.is_object() && body.contains("dBTP");
    if (body.is_discarded() || !body.is_object() || !body.contains("on") || !body["on"].is_boolean() ||
        (hasLevel && !body["dBTP"].is_number())) {
        return refusal(400, "the body needs {\"on\": true | false, \"dBTP\": -12 ... 0}");
    }
    const double level = hasLevel ? body["dBTP"].get<double>() : ceilingState(*state.model).dBTP;
    if (!std::isfinite(level)) return refusal(400, "the ceiling needs a finite level in dBTP");
    const CeilingInfo ceiling = requestCeiling(*state.model, body["on"].get<bool>(), level);
    ++state.settingsVersion;
    return jsonAnswer(200, {{"on", ceiling.on}, {"dBTP", ceiling.dBTP}});
}

ConsoleResponse getParams(ConsoleState& state, const ConsoleRequest& request) {
    const auto window = request.query.find("window");
    const std::string name = window == request.query.end() ? std::string() : window->second;
    json windows = json::array();
    bool known = name.empty();
    for (const WindowInfo& info : listWindows(*state.model)) {
        windows.push_back({{"name", info.name}, {"title", info.title}});
        known = known || info.name == name;
    }
    if (!known) return refusal(404, "there is no window '" + name + "'");
    json params = json::array();
    for (const ParamInfo& param : listParams(*state.model, name)) params.push_back(paramJson(param));
    return jsonAnswer(200, {{"windows", windows}, {"params", params}, {"settings_version", state.settingsVersion}});
}

ConsoleResponse putParams(ConsoleState& state, const ConsoleRequest& request) {
    const json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return refusal(400, "the body is not a JSON object of KEY: value");
    std::vector<std::pair<std::string, double>> values;
    for (const auto& [key, value] : body.items()) {
        double number = 0.0;
        if (value.is_boolean()) {
            number = value.get<bool>() ? 1.0 : 0.0;
        } else if (value.is_number()) {
            number = value.get<double>();
        } else {
            return refusal(400, "the value of '" + key + "' is not a number");
        }
        values.emplace_back(key, number);
    }
    std::vector<std::pair<std::string, double>> applied;
    std::string badKey;
    if (!applyValues(*state.model, values, &applied, &badKey)) {
        return refusal(400, "unknown key or unusable value: '" + badKey + "' (nothing applied)");
    }
    ++state.settingsVersion;
    json answer = json::object();
    for (const auto& [key, value] : applied) answer[key] = value;
    return jsonAnswer(200, answer);
}

ConsoleResponse getPresets(ConsoleState& state) {
    const PresetList list = listPresets(*state.model);
    json factory = json::array(), user = json::array();
    for (const PresetEntry& entry : list.factory) factory.push_back({{"number", entry.number}, {"name", entry.name}});
    for (const PresetEntry& entry : list.user) user.push_back({{"number", entry.number}, {"name", entry.name}});
    return jsonAnswer(200, {{"factory", factory}, {"user", user}, {"startup", list.startup}});
}

// {"preset": "F3" | 12 | "name"} as a text.
bool presetOfBody(const std::string& text, std::string* preset) {
    const json body = json::parse(text, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("preset")) return false;
    const json& value = body["preset"];
    if (value.is_number_integer()) {
        *preset = std::to_string(value.get<long long>());
        return true;
    }
    if (!value.is_string()) return false;
    *preset = value.get<std::string>();
    return true;
}

ConsoleResponse outcomeAnswer(ConsoleState& state, const PresetOutcome& outcome) {
    if (outcome.ok) {
        ++state.settingsVersion;
        return jsonAnswer(200, {{"ok", true}, {"message", outcome.message}});
    }
    if (outcome.notFound) return refusal(404, outcome.message);
    return jsonAnswer(409, {{"error", outcome.message}, {"question", outcome.question}});
}

// "/api/presets/12" -> 12; 0 when the rest is not a slot number.
int slotOfPath(const std::string& path) {
    const std::string prefix = "/api/presets/";
    const std::string rest = path.substr(prefix.size());
    if (rest.empty() || rest.size() > 2 || rest.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoi(rest);
}

ConsoleResponse presetSlot(ConsoleState& state, const ConsoleRequest& request) {
    const int slot = slotOfPath(request.path);
    if (slot < 1) return refusal(404, "user preset slots are 1 ... 99");
    if (request.method == "DELETE") return outcomeAnswer(state, deletePresetSlot(*state.model, slot));
    const json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("name") || !body["name"].is_string()) {
        return refusal(400, "the body needs {\"name\": \"...\"}");
    }
    const bool overwrite = body.contains("overwrite") && body["overwrite"].is_boolean() && body["overwrite"].get<bool>();
    return outcomeAnswer(state, savePresetSlot(*state.model, slot, body["name"].get<std::string>(), overwrite));
}

ConsoleResponse getMeters(ConsoleState& state) {
    MeterSnapshot snapshot;
    {
        std::lock_guard<std::mutex> lock(state.meterLock);
        snapshot = state.meters;
    }
    ConsoleResponse response;
    response.body = meterEvent(state, snapshot);
    return response;
}

std::string metricName(const std::string& name) { return "drelvant_" + name; }

ConsoleResponse getMetrics(ConsoleState& state) {
    MeterSnapshot snapshot;
    {
        std::lock_guard<std::mutex> lock(state.meterLock);
        snapshot = state.meters;
    }
    const EngineFacts facts = engineFacts(*state.model);
    std::string text;
    char line[256];
    auto gauge = [&](const std::string& name, const char* help, double value) {
        char number[32];
        if (std::isnan(value)) {
            std::snprintf(number, sizeof number, "NaN");
        } else if (std::isinf(value)) {
            std::snprintf(number, sizeof number, value < 0 ? "-Inf" : "+Inf");
        } else {
            std::snprintf(number, sizeof number, "%.17g", value);
        }
        std::snprintf(line, sizeof line, "# HELP %s %s\n# TYPE %s gauge\n%s %s\n", name.c_str(), help, name.c_str(),
                      name.c_str(), number);
        text += line;
    };
    auto counter = [&](const std::string& name, const char* help, double value) {
        std::snprintf(line, sizeof line, "# HELP %s %s\n# TYPE %s counter\n%s %.17g\n", name.c_str(), help,
                      name.c_str(), name.c_str(), value);
        text += line;
    };
    std::string bandLines[2];
    for (const auto& [name, value] : snapshot.values) {
        const bool band = name.rfind("band", 0) == 0;
        if (band) {
            const size_t underscore = name.find('_');
            const std::string number = name.substr(4, underscore - 4);
            const int kind = name.find("compression") != std::string::npos ? 0 : 1;
            std::snprintf(line, sizeof line, "%s{band=\"%s\"} %.17g\n",
                          kind == 0 ? "drelvant_band_compression_db" : "drelvant_band_limiting_db", number.c_str(),
                          value);
            bandLines[kind] += line;
        } else if (name.find("lufs") != std::string::npos || name.find("dbtp") != std::string::npos) {
            gauge(metricName(name), "loudness (EBU R 128; integrated since the start) or true peak so far", value);
        } else if (name != "clipped") {
            gauge(metricName(name), "meter of the processor, as its windows show it", value);
        }
    }
    if (!bandLines[0].empty()) {
        text += "# HELP drelvant_band_compression_db gain reduction of the ten-band compressor per band\n"
                "# TYPE drelvant_band_compression_db gauge\n" + bandLines[0];
        text += "# HELP drelvant_band_limiting_db gain reduction of the ten-band limiter per band\n"
                "# TYPE drelvant_band_limiting_db gauge\n" + bandLines[1];
    }
    counter("drelvant_clipped_ticks_total", "meter ticks (50 ms) in which a sample reached the output clamp",
            static_cast<double>(snapshot.clippedTicks));
    counter("drelvant_frames_processed_total", "frames handed to the processor", static_cast<double>(facts.framesProcessed));
    gauge("drelvant_latency_frames", "frames of delay through the stages switched on", static_cast<double>(facts.latencyFrames));
    if (state.droppedCycles != nullptr) {
        counter("drelvant_dropped_cycles_total", "audio cycles the sound server reported dropped (xruns)",
                static_cast<double>(state.droppedCycles->load()));
    }
    gauge("drelvant_uptime_seconds", "seconds since the console started",
          std::chrono::duration<double>(std::chrono::steady_clock::now() - state.started).count());
    ConsoleResponse response;
    response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    response.body = text;
    return response;
}

ConsoleResponse getResponse(ConsoleState& state) {
    std::vector<double> frequency, amplitude;
    if (!measureResponse(*state.model, &frequency, &amplitude)) return refusal(503, "the sweep did not finish");
    json points = json::array();
    for (size_t i = 0; i < frequency.size(); ++i) {
        points.push_back({{"hz", frequency[i]}, {"amplitude", amplitude[i]},
                          {"db", 20.0 * std::log10(amplitude[i] + 0.00001)}});
    }
    return jsonAnswer(200, {{"points", points}});
}

bool isApiPath(const std::string& path) { return path.rfind("/api/", 0) == 0 || path == "/metrics"; }

ConsoleResponse route(ConsoleState& state, const ConsoleRequest& request) {
    const std::string& method = request.method;
    const std::string& path = request.path;
    if (path == "/" || path == "/index.html") {
        if (method != "GET" && method != "HEAD") return refusal(405, "GET only");
        ConsoleResponse response;
        response.contentType = "text/html; charset=utf-8";
        response.body = consolePage();
        return response;
    }
    if (!isApiPath(path)) return refusal(404, "no such page");
    std::lock_guard<std::mutex> lock(state.control);
    if (state.model == nullptr) return refusal(503, "the processor is not running");
    if (path == "/api/meters/stream" && method == "GET") {
        ConsoleResponse response;
        response.meterStream = true;
        response.contentType = "text/event-stream";
        return response;
    }
    if (path == "/api/engine" && method == "GET") return getEngine(state);
    if (path == "/api/params" && method == "GET") return getParams(state, request);
    if (path == "/api/params" && method == "PUT") return putParams(state, request);
    if (path == "/api/ceiling" && method == "PUT") return putCeiling(state, request);
    if (path == "/api/presets" && method == "GET") return getPresets(state);
    if (path == "/api/preset" && method == "POST") {
        std::string preset;
        if (!presetOfBody(request.body, &preset)) return refusal(400, "the body needs {\"preset\": \"F3\" | 12 | \"name\"}");
        return outcomeAnswer(state, loadPresetNamed(*state.model, preset));
    }
    if (path == "/api/startup" && method == "POST") {
        std::string preset;
        if (!presetOfBody(request.body, &preset)) return refusal(400, "the body needs {\"preset\": \"F3\" | 12 | \"name\"}");
        return outcomeAnswer(state, setStartupPreset(*state.model, preset));
    }
    if (path.rfind("/api/presets/", 0) == 0 && (method == "PUT" || method == "DELETE")) return presetSlot(state, request);
    if (path == "/api/meters" && method == "GET") return getMeters(state);
    if (path == "/metrics" && method == "GET") return getMetrics(state);
    if (path == "/api/response" && method == "GET") return getResponse(state);
    if (path == "/api/scope" && method == "GET") {
        const auto given = request.query.find("frames");
        int frames = kScopeFrames;
        if (given != request.query.end()) {
            const std::string& text = given->second;
            if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(text) < 1 || std::stoi(text) > kMostScopeFrames) {
                return refusal(400, "frames is a number 1 ... " + std::to_string(kMostScopeFrames));
            }
            frames = std::stoi(text);
        }
        return jsonAnswer(200, {{"rate", 44100}, {"samples", scopeSamples(*state.model, frames)}});
    }
    if (path == "/api/spectrum" && method == "GET") {
        json bars = json::array();
        for (const auto& [hz, height] : spectrumBars(*state.model)) bars.push_back({{"hz", hz}, {"height", height}});
        return jsonAnswer(200, {{"bars", bars}});
    }
    return refusal(404, "no such API: " + method + " " + path);
}

}  // namespace

bool sameSecret(const std::string& a, const std::string& b) {
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (size_t i = 0; i < b.size(); ++i) {
        difference |= static_cast<unsigned>(static_cast<unsigned char>(i < a.size() ? a[i] : 0) ^
                                            static_cast<unsigned char>(b[i]));
    }
    return difference == 0;
}

std::string meterEvent(ConsoleState& state, const MeterSnapshot& snapshot) {
    json meters = json::object();
    for (const auto& [name, value] : snapshot.values) meters[name] = std::isfinite(value) ? json(value) : json(nullptr);
    return json({{"tick", snapshot.tick},
                 {"meters", meters},
                 {"clipped_ticks", snapshot.clippedTicks},
                 {"settings_version", state.settingsVersion}})
        .dump();
}

std::string consolePage() { return std::string(kConsolePage, kConsolePageSize); }

ConsoleResponse handleRequest(ConsoleState& state, const ConsoleRequest& request) {
    if (request.body.size() > kMostBodyBytes) return refusal(413, "bodies are limited to 64 KB");
    const std::string host = header(request, "host");
    if (!isOwnHost(state.access, host)) return refusal(403, "the Host '" + host + "' is not this console");
    const std::string origin = header(request, "origin");
    if (!origin.empty() && origin != "http://" + host) {
        return refusal(403, "requests from '" + origin + "' are refused (not this console's page)");
    }
    if (request.path == "/login") {
        if (request.method != "GET" && request.method != "POST") return refusal(405, "GET or POST only");
        return login(state, request);
    }
    if (!hasToken(state, request)) {
        if (request.method == "GET" && (request.path == "/" || request.path == "/index.html")) {
            ConsoleResponse response;
            response.status = 303;
            response.contentType = "text/plain";
            response.headers.emplace_back("Location", "/login");
            return response;
        }
        ConsoleResponse response = refusal(401, "this console needs its token (Authorization: Bearer, or log in at /login)");
        response.headers.emplace_back("WWW-Authenticate", "Bearer");
        return response;
    }
    return route(state, request);
}

}  // namespace console
