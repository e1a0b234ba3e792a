// The settings text: key lines in one 16 KB buffer, read from and written to files beside the host.
#include "params/settings_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "params/fixed_decimal.h"
#include "params/version.h"
#include "platform/platform.h"

namespace {

constexpr int kMaxFixedDecimals = 20;
constexpr std::size_t kNumberTextSize = 400;  // room for any double printed with 20 decimals
constexpr char kSettingsFilePrefix[] = "dsp_";  // files named so get the settings header
constexpr char kHeaderRule[] = "-----------------------------------------";  // 41 hyphens

// Where the search would find the host's folder on Windows, in the order they are tried.
#ifdef _WIN32
constexpr const char* kCandidateDirectories[] = {
    "C:\\Progra~1\\Winamp\\", "D:\\Progra~1\\Winamp\\", "E:\\Progra~1\\Winamp\\",
    "C:\\Windows\\",          "D:\\Windows\\",          "E:\\Windows\\",
    "C:\\WINNT\\",            "D:\\WINNT\\",            "E:\\WINNT\\",
    "C:\\",                   "D:\\",                   "E:\\",
};
#endif

// A directory counts only when a file can really be created in it: a folder that exists but is
// write-protected (Program Files without elevation) would lose every preset saved there.
void searchHostDirectory(HostFolder& folder) {
#ifdef _WIN32
    for (const char* candidate : kCandidateDirectories) {
        if (DirectoryExists(candidate) && platform::canCreateFileIn(candidate)) {
            folder.found = candidate;
            return;
        }
    }
#endif
    const std::string perUser = platform::perUserDirectory();
    if (!perUser.empty() && platform::canCreateFileIn(perUser)) folder.found = perUser;
}

bool isUsableKey(const char* key) {
    if (key == nullptr || key[0] == '\0') return false;
    const std::size_t length = std::strlen(key);
    return length <= static_cast<std::size_t>(kSettingsKeyMaxLength) && std::strchr(key, ' ') == nullptr;
}

// The first "=" after the first line that starts with the key and a blank; nullptr when the key
// is unusable, absent, has no "=" after it, or the "=" ends the text (no value characters follow).
const char* findValueSign(const SettingsText& text, const char* key, bool* keyPresent) {
    *keyPresent = false;
    if (!isUsableKey(key)) return nullptr;
    char pattern[kSettingsKeyMaxLength + 4];
    std::snprintf(pattern, sizeof pattern, "\r\n%s ", key);
    const char* line = std::strstr(text.text, pattern);
    if (line == nullptr) return nullptr;
    *keyPresent = true;
    const char* sign = std::strchr(line + std::strlen(pattern), '=');
    if (sign == nullptr || sign[1] == '\0') return nullptr;
    return sign;
}

bool startsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        const char a = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text - 'A' + 'a') : *text;
        if (a != *prefix) return false;  // the prefix is lower case; a shorter text stops at its NUL
    }
    return true;
}

bool isCLocaleSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Appends key, padding, " = ", value and CR LF when the text has room; refuses otherwise.
bool appendLine(SettingsText& text, const char* key, const char* valueText) {
    if (!isUsableKey(key)) return false;
    const std::size_t used = std::strlen(text.text);
    if (used > static_cast<std::size_t>(kSettingsTextAppendLimit)) return false;
    const std::size_t keyLength = std::strlen(key);
    const std::size_t padding = keyLength < static_cast<std::size_t>(kSettingsKeyColumnWidth)
                                    ? static_cast<std::size_t>(kSettingsKeyColumnWidth) - keyLength
                                    : 1;
    const std::size_t valueLength = std::strlen(valueText);
    const std::size_t lineLength = keyLength + padding + 3 + valueLength + 2;
    // A very long text value must not run past the buffer; such a line is refused whole.
    if (used + lineLength >= static_cast<std::size_t>(kSettingsTextSize)) return false;
    char* out = text.text + used;
    std::memcpy(out, key, keyLength);
    out += keyLength;
    std::memset(out, ' ', padding);
    out += padding;
    std::memcpy(out, " = ", 3);
    out += 3;
    std::memcpy(out, valueText, valueLength);
    out += valueLength;
    std::memcpy(out, "\r\n", 3);
    return true;
}

}  // namespace

std::size_t FormatFixed(char* out, std::size_t size, double value, int decimals) {
    return formatFixedDecimal(out, size, value, decimals > kMaxFixedDecimals ? kMaxFixedDecimals : decimals);
}

NumberLookup ParseSinglePrecision(const char* text, double* value) {
    const char* p = text;
    while (isCLocaleSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
        if (*p == '+' || *p == '-') return kNumberUnparsed;
    }
    const char* end = p + std::strlen(p);
    float parsed = 0.0f;
    const std::from_chars_result result = std::from_chars(p, end, parsed, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return kNumberUnparsed;
    if (result.ec == std::errc::result_out_of_range) {
        // Too small for single precision reads as zero; too large would be infinity.
        double wide = 0.0;
        const std::from_chars_result again = std::from_chars(p, result.ptr, wide, std::chars_format::general);
        const float narrowed = static_cast<float>(wide);
        if (again.ec == std::errc() && std::isfinite(narrowed)) {
            parsed = narrowed;
        } else {
            bool underflow = false;
            for (const char* c = p; c + 1 < result.ptr; ++c) {
                if ((*c == 'e' || *c == 'E') && c[1] == '-') underflow = true;
            }
            if (!underflow) return kNumberNonFinite;
            parsed = 0.0f;
        }
    }
    if (!std::isfinite(parsed)) return kNumberNonFinite;
    *value = negative ? -static_cast<double>(parsed) : static_cast<double>(parsed);
    return kNumberFound;
}

std::string ResolvePath(SettingsText& text, const char* fileName) {
    HostFolder& folder = text.folder;
    if (!folder.overridden && folder.found.empty()) searchHostDirectory(folder);
    return HostDirectory(text) + fileName;
}

bool DirectoryExists(const std::string& directory) { return platform::directoryExists(directory); }

void BeginText(SettingsText& text, const char* fileName) {
    std::memset(text.text, 0, sizeof text.text);
    std::snprintf(text.fileName, sizeof text.fileName, "%s", fileName);
    const bool settingsFlavour = startsWithIgnoringCase(text.fileName, kSettingsFilePrefix);
    std::snprintf(text.text, sizeof text.text, "Drelvant\r\nThis is a %s file for %s\r\nFilename: %s\r\n%s\r\n",
                  settingsFlavour ? "settings" : "preset", kVersionString, text.fileName, kHeaderRule);
}

bool ReadTextFile(SettingsText& text, const char* fileName) {
    std::memset(text.text, 0, sizeof text.text);
    std::FILE* file = std::fopen(ResolvePath(text, fileName).c_str(), "rb");
    if (file == nullptr) return false;
    std::fread(text.text, 1, kSettingsTextMaxFileBytes, file);
    // A read error leaves nothing half-read behind: the text is empty as for a missing file.
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) std::memset(text.text, 0, sizeof text.text);
    return !failed;
}

bool WriteTextFile(SettingsText& text) {
    std::FILE* file = std::fopen(ResolvePath(text, text.fileName).c_str(), "wb");
    if (file == nullptr) return false;
    const std::size_t length = std::strlen(text.text);
    // A short write or a failing close (disk full) is a failed save, not a silent partial file.
    const bool written = std::fwrite(text.text, 1, length, file) == length;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool AppendNumber(SettingsText& text, const char* key, int decimals, double value) {
    char number[kNumberTextSize];
    if (FormatFixed(number, sizeof number, value, decimals) == 0) return false;
    return appendLine(text, key, number);
}

bool AppendString(SettingsText& text, const char* key, const char* value) {
    return appendLine(text, key, value != nullptr ? value : "");
}

bool HasKey(const SettingsText& text, const char* key) {
    bool present = false;
    findValueSign(text, key, &present);
    return present;
}

NumberLookup LookupNumber(const SettingsText& text, const char* key, double* value) {
    bool present = false;
    const char* sign = findValueSign(text, key, &present);
    if (sign == nullptr) return present ? kNumberUnparsed : kNumberAbsent;
    return ParseSinglePrecision(sign + 2, value);
}

double GetNumber(const SettingsText& text, const char* key, double fallback) {
    double value = fallback;
    return LookupNumber(text, key, &value) == kNumberFound ? value : fallback;
}

bool GetString(const SettingsText& text, const char* key, char out[32]) {
    std::memset(out, 0, kSettingsStringSize);
    bool present = false;
    const char* sign = findValueSign(text, key, &present);
    if (sign == nullptr) return false;
    const char* start = sign + 2;
    if (sign[1] == '\r') start = sign + 1;  // "=" right before CR: the value is empty
    const char* lineEnd = std::strchr(start, '\r');
    if (lineEnd == nullptr) return false;
    const std::size_t length = static_cast<std::size_t>(lineEnd - start);
    if (length >= static_cast<std::size_t>(kSettingsStringSize)) return false;
    std::memcpy(out, start, length);
    return true;
}

void SetHostDirectory(SettingsText& text, const std::string& directory) {
    text.folder.overridden = !directory.empty();
    text.folder.override = directory;
}

void ForgetFoundHostDirectory(SettingsText& text) { text.folder.found.clear(); }

const std::string& HostDirectory(const SettingsText& text) {
    return text.folder.overridden ? text.folder.override : text.folder.found;
}
