// The one in-memory settings text through which every settings and preset file is read or built.
#pragma once

#include <cstddef>
#include <string>

constexpr int kSettingsTextSize = 16384;
constexpr int kSettingsTextMaxFileBytes = kSettingsTextSize - 1;  // a file is read up to this length
constexpr int kSettingsTextAppendLimit = 16256;  // no line is appended to a longer text
constexpr int kSettingsKeyMaxLength = 40;        // longer keys are ignored by every operation
constexpr int kSettingsKeyColumnWidth = 30;      // keys are padded to this width before " = "
constexpr int kSettingsStringSize = 32;          // output size of GetString, terminator included
constexpr int kTextFileNameSize = 128;

// The folder all files live in: fixed by the host (tests, the command-line processor) or found
// by a search on first use and kept.
struct HostFolder {
    bool overridden = false;
    std::string override;  // with its trailing separator
    std::string found;     // empty until a usable directory has been found
};

// One in-memory text through which settings and preset files are read or built, and the name
// of the file it is written to. Each engine owns one.
struct SettingsText {
    char text[kSettingsTextSize] = {};
    char fileName[kTextFileNameSize] = {};
    HostFolder folder;
};

std::string ResolvePath(SettingsText& text, const char* fileName);
bool DirectoryExists(const std::string& directory);
void BeginText(SettingsText& text, const char* fileName);
bool ReadTextFile(SettingsText& text, const char* fileName);
bool WriteTextFile(SettingsText& text);
bool AppendNumber(SettingsText& text, const char* key, int decimals, double value);
bool AppendString(SettingsText& text, const char* key, const char* value);
bool HasKey(const SettingsText& text, const char* key);
double GetNumber(const SettingsText& text, const char* key, double fallback);
bool GetString(const SettingsText& text, const char* key, char out[32]);

// What a lookup of a numeric value found; GetNumber turns everything but kNumberFound into its
// fallback. A value that parses to infinity or NaN (or overflows single precision) is kept apart
// so that a preset applied over a base can keep the base's value instead.
enum NumberLookup { kNumberAbsent, kNumberUnparsed, kNumberNonFinite, kNumberFound };
NumberLookup LookupNumber(const SettingsText& text, const char* key, double* value);

// Fixed-point text of `value` with `decimals` digits after a point, independent of the C locale
// and of the C library (the same digits on every build); `decimals` is limited to 0 ... 20.
// Returns the length written, or 0 when `size` is too small.
std::size_t FormatFixed(char* out, std::size_t size, double value, int decimals);
// Reads a number the way "%f" does (leading white space, optional sign, digits, point,
// exponent) with a point as decimal separator whatever the locale, rounded to single precision.
// Returns kNumberFound, kNumberUnparsed or kNumberNonFinite.
NumberLookup ParseSinglePrecision(const char* text, double* value);

// Uses `directory` (with its trailing separator) instead of searching; tests and the command-line
// processor point it at a directory of their own. An empty text restores the search.
void SetHostDirectory(SettingsText& text, const std::string& directory);
const std::string& HostDirectory(const SettingsText& text);
// Drops a directory the search has found, so the next ResolvePath searches again (tests only:
// the module keeps what it found for its whole life).
void ForgetFoundHostDirectory(SettingsText& text);
