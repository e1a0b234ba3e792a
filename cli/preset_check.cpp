// The preset file check: lines in their order, each against the header, the registry and the
// readable size.
#include "cli/preset_check.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "cli/hosting.h"
#include "host/engine_api.h"

namespace cli {
namespace {

constexpr size_t kReadableBytes = 16383;  // what the settings text holds of a file
constexpr size_t kLongestName = 31;
constexpr int kHeaderLines = 4;  // "Drelvant", the description, "Filename: ...", the dashes

std::string trim(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

bool parseNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && errno == 0 && std::isfinite(*value);
}

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::vector<PresetFault> checkPresetBytes(const std::string& bytes) {
    std::vector<PresetFault> faults;
    // The text the loader reads: line ends made CR LF (which moves later lines toward the cut), and
    // nothing after a NUL byte, which ends the text for it.
    std::string text = presetFileText(bytes.data(), bytes.size());
    const size_t nul = text.find('\0');
    struct Line {
        std::string text;
        size_t start;  // the byte of the loader's text it starts at
    };
    std::vector<Line> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            if (i < text.size() || i > start) lines.push_back({text.substr(start, i - start), start});
            start = i + 2;
            ++i;
        }
    }
    if (nul != std::string::npos) {
        size_t line = 0;
        while (line + 1 < lines.size() && lines[line + 1].start <= nul) ++line;
        size_t keys = 0;
        for (size_t rest = line + 1; rest < lines.size(); ++rest) {
            if (lines[rest].text.find('=') != std::string::npos) ++keys;
        }
        faults.push_back({static_cast<int>(line) + 1, "a NUL byte: the loader stops there; the rest of this line and the " +
                                                          std::to_string(keys) + " keys after it are never read"});
        lines.resize(line + 1);
        lines[line].text.resize(nul - lines[line].start);
    }
    std::map<std::string, size_t> firstLineOfKey;
    // Keys met again: one fault each, at the first repeat, counting the repeats.
    struct Repeats {
        size_t count = 0;
        size_t fault = 0;  // its index in `faults`
        std::string message;
    };
    std::map<std::string, Repeats> repeatsOfKey;
    if (lines.empty() || trim(lines[0].text) != "Drelvant") {
        faults.push_back({1, "missing header: a preset file starts with the line \"Drelvant\""});
    }
    bool named = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        const int number = static_cast<int>(index) + 1;
        const std::string& text = lines[index].text;
        const std::string trimmed = trim(text);
        if (trimmed.empty()) continue;
        const size_t sign = text.find('=');
        if (index < kHeaderLines && sign == std::string::npos) continue;  // header lines
        if (lines[index].start >= kReadableBytes) {
            size_t keys = 0;
            for (size_t rest = index; rest < lines.size(); ++rest) {
                if (lines[rest].text.find('=') != std::string::npos) ++keys;
            }
            faults.push_back({number, "past the readable size (16,383 bytes): this line and the " +
                                          std::to_string(lines.size() - index - 1) + " after it (" +
                                          std::to_string(keys) + " keys in all) are never read"});
            break;
        }
        if (sign == std::string::npos) {
            faults.push_back({number, "not a 'Key = value' line"});
            continue;
        }
        const std::string key = trim(text.substr(0, sign));
        const std::string value = trim(text.substr(sign + 1));
        if (!isPresetKey(key)) {
            faults.push_back({number, "unknown key '" + key + "'"});
            continue;
        }
        // The loader finds a key only at the start of a line with a blank after it, and reads
        // the value from the second character after "=".
        if (text.compare(0, key.size(), key) != 0 || text.size() == key.size() || text[key.size()] != ' ') {
            faults.push_back({number, "'" + key + "' is not read: a key starts its line and a blank follows it"});
            continue;
        }
        if (!value.empty() && sign + 1 < text.size() && text[sign + 1] != ' ') {
            faults.push_back({number, key + ": the value is not read as written: \"=\" is followed by a blank"});
            continue;
        }
        const auto first = firstLineOfKey.find(key);
        if (first != firstLineOfKey.end()) {
            Repeats& repeats = repeatsOfKey[key];
            if (repeats.count++ == 0) {
                repeats.fault = faults.size();
                const std::string& firstText = lines[first->second].text;
                repeats.message = ": the loader reads only the first, on line " + std::to_string(first->second + 1) +
                                  " (" + trim(firstText.substr(firstText.find('=') + 1)) + ")";
                faults.push_back({number, std::string()});
            }
            const std::string times =
                repeats.count > 1 ? " (" + std::to_string(repeats.count) + " more times)" : std::string();
            faults[repeats.fault].message = "duplicate key '" + key + "'" + times + repeats.message;
            continue;
        }
        firstLineOfKey.emplace(key, index);
        if (key == "General.Name") {
            if (value.size() > kLongestName) {
                faults.push_back({number, "the name is longer than 31 characters and is not read"});
            } else if (!value.empty()) {
                named = true;
            }
            continue;
        }
        if (lines[index].start + text.size() > kReadableBytes) {
            faults.push_back({number, "cut by the readable size (16,383 bytes): its value is not read whole"});
        }
        double parsed = 0.0;
        if (!parseNumber(value, &parsed)) {
            faults.push_back({number, key + ": '" + value + "' is not a number"});
            continue;
        }
        double min = 0.0, max = 0.0;
        if (key == "General.BaseFactoryPreset") {
            if (parsed != std::floor(parsed) || parsed > 0 || parsed < -(kFactoryPresetCount - 1)) {
                faults.push_back({number, key + " = " + value + " is not a factory preset (0 ... -6 for F1 ... F7)"});
            }
        } else if (registeredRange(key, &min, &max) && (parsed < min || parsed > max)) {
            faults.push_back({number,
                              key + " = " + value + " is outside the registered range " + numberText(min) + " ... " +
                                  numberText(max),
                              true});
        }
    }
    if (!named) faults.push_back({0, "missing name: no readable General.Name line"});
    return faults;
}

std::vector<std::string> outOfRangeMessages(const std::string& presetText) {
    std::vector<std::string> messages;
    for (const PresetFault& fault : checkPresetBytes(presetText)) {
        if (fault.outOfRange) messages.push_back(fault.message + "; the processor takes the value as it stands");
    }
    return messages;
}

}  // namespace cli
