// The preset file check: lines in their order, each against the header, the registry and the
// readable size.
#include "cli/preset_check.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cli/hosting.h"

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
    // Lines as written (any line ends), with the byte each starts at.
    struct Line {
        std::string text;
        size_t start;
    };
    std::vector<Line> lines;
    size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t i = start; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\r' || bytes[i] == '\n') {
            if (i < bytes.size() || i > start) lines.push_back({bytes.substr(start, i - start), start});
            if (i + 1 < bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
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
            faults.push_back({number, key + " = " + value + " is outside the registered range " + numberText(min) +
                                          " ... " + numberText(max)});
        }
    }
    if (!named) faults.push_back({0, "missing name: no readable General.Name line"});
    return faults;
}

}  // namespace cli
