// Fuzz target: the JSON writer. Arbitrary bytes as file names and as a failure's reason;
// the document must always parse as JSON (strict: UTF-8, escapes, no raw control characters).
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// A small strict JSON reader: true when `text` from `at` holds one value, and moves `at` past it.
struct JsonReader {
    const std::string& text;
    size_t at = 0;

    void blanks() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t')) ++at;
    }
    bool literal(const char* word) {
        const std::string expected(word);
        if (text.compare(at, expected.size(), expected) != 0) return false;
        at += expected.size();
        return true;
    }
    bool utf8() {  // one well-formed sequence of two to four bytes
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) return false;
        uint32_t code = lead & (0xFF >> (length + 1));
        for (int i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        const uint32_t lowest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < lowest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        at += length;
        return true;
    }
    bool string() {
        if (at >= text.size() || text[at] != '"') return false;
        for (++at; at < text.size();) {
            const unsigned char c = static_cast<unsigned char>(text[at]);
            if (c == '"') {
                ++at;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++at >= text.size()) return false;
                const char e = text[at++];
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i, ++at) {
                        if (at >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at]))) return false;
                    }
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
                    return false;
                }
            } else if (c >= 0x80) {
                if (!utf8()) return false;
            } else {
                ++at;
            }
        }
        return false;
    }
    bool number() {
        const size_t start = at;
        while (at < text.size() && std::string("+-0123456789.eE").find(text[at]) != std::string::npos) ++at;
        return at > start;
    }
    bool value() {
        blanks();
        if (at >= text.size()) return false;
        const char c = text[at];
        if (c == '"') return string();
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at;
            blanks();
            if (at < text.size() && text[at] == close) return ++at, true;
            for (;;) {
                if (c == '{') {
                    blanks();
                    if (!string()) return false;
                    blanks();
                    if (at >= text.size() || text[at++] != ':') return false;
                }
                if (!value()) return false;
                blanks();
                if (at >= text.size()) return false;
                if (text[at] == close) return ++at, true;
                if (text[at++] != ',') return false;
            }
        }
        return literal("true") || literal("false") || literal("null") || number();
    }
};

bool parsesWhole(const std::string& text) {
    JsonReader reader{text};
    if (!reader.value()) return false;
    reader.blanks();
    return reader.at == text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzzCheck(parsesWhole(cli::jsonString(bytes)), "a string literal parses");
    const size_t half = size / 2;
    cli::JsonFileEntry failed;
    failed.input = bytes.substr(0, half);
    failed.output = bytes.substr(half);
    failed.status = "failed";
    failed.reason = bytes;
    cli::JsonFileEntry skipped;
    skipped.input = bytes;
    skipped.output = bytes;
    skipped.status = "skipped";
    fuzzCheck(parsesWhole(cli::jsonReport({failed, skipped})), "a report parses");
    return 0;
}
