// Fuzz target: arbitrary HTTP requests through the console's checks and API dispatch, against a
// real engine. The input is a request as it comes over the wire: "METHOD TARGET" on the first
// line, "Name: value" header lines, an empty line, the body. Its first byte chooses whether the
// console needs a token. The response sweep (seconds per call) is left out.
#include <cstdint>
#include <set>
#include <string>

#include "cli/hosting.h"
#include "console/console_api.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr const char* kToken = "fuzz-token-0123456789";

console::ConsoleState& consoleState() {
    static console::ConsoleState* state = [] {
        auto* made = new console::ConsoleState;
        cli::EngineSetup setup;
        setup.settingsDirectory = fuzzSettingsDirectory();
        setup.preset.kind = cli::PresetChoice::kFactory;
        setup.preset.number = 1;
        setup.fixSeed = true;
        std::string error;
        cli::HostedEngine* engine = cli::startEngine(setup, &error);
        fuzzCheck(engine != nullptr, "the engine starts");
        made->model = console::openEngineModel(*engine, setup.settingsDirectory);
        made->access.port = 8731;
        made->hostRate = 44100;
        made->ceilingOffered = true;  // as drelvant live offers it: /api/ceiling reached too
        return made;
    }();
    return *state;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    const size_t end = text.find_last_not_of(" \t\r");
    return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
}

// The request of a wire text, with the query split and decoded no further than the server does.
console::ConsoleRequest requestOf(const std::string& text) {
    console::ConsoleRequest request;
    size_t at = 0;
    auto nextLine = [&](std::string* line) {
        if (at >= text.size()) return false;
        const size_t end = text.find('\n', at);
        *line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        at = end == std::string::npos ? text.size() : end + 1;
        return true;
    };
    std::string line;
    if (!nextLine(&line)) return request;
    const size_t space = line.find(' ');
    request.method = line.substr(0, space);
    std::string target = space == std::string::npos ? std::string() : line.substr(space + 1);
    const size_t question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos) {
        const std::string query = target.substr(question + 1);
        size_t start = 0;
        while (start <= query.size()) {
            const size_t end = query.find('&', start);
            const std::string pair = query.substr(start, end == std::string::npos ? std::string::npos : end - start);
            const size_t equals = pair.find('=');
            request.query.emplace(pair.substr(0, equals),
                                  equals == std::string::npos ? std::string() : pair.substr(equals + 1));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    while (nextLine(&line) && !line.empty()) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        request.headers[lowerCase(trimmed(line.substr(0, colon)))] = trimmed(line.substr(colon + 1));
    }
    request.body = at < text.size() ? text.substr(at) : std::string();
    return request;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    console::ConsoleState& state = consoleState();
    state.access.token = (data[0] & 1) != 0 ? kToken : "";
    const console::ConsoleRequest request = requestOf(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (request.path == "/api/response") return 0;
    const console::ConsoleResponse response = console::handleRequest(state, request);

    static const std::set<int> known = {200, 303, 400, 401, 403, 404, 405, 409, 413, 503};
    fuzzCheck(known.count(response.status) == 1, "every answer has one of the console's statuses");
    const auto host = request.headers.find("host");
    const bool ownHost = host != request.headers.end() &&
                         (host->second == "127.0.0.1:8731" || host->second == "localhost:8731" ||
                          host->second == "[::1]:8731" || host->second == "::1:8731");
    if (response.status == 200 || response.status == 303) {
        fuzzCheck(ownHost, "only requests naming this console's own host are served");
        fuzzCheck(request.body.size() <= console::kMostBodyBytes, "no body over 64 KB is taken");
    }
    if (!state.access.token.empty() && (response.status == 200 || response.status == 303) && request.path != "/login") {
        const auto authorization = request.headers.find("authorization");
        const auto cookie = request.headers.find("cookie");
        const bool tokenGiven =
            (authorization != request.headers.end() && authorization->second.find(kToken) != std::string::npos) ||
            (cookie != request.headers.end() && cookie->second.find(kToken) != std::string::npos);
        fuzzCheck(tokenGiven || response.status == 303, "nothing but the login page without the token");
    }
    return 0;
}
