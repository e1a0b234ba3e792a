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

extern char SettingsText[kSettingsTextSize];
extern char TextFileName[kTextFileNameSize];

std::string ResolvePath(const char* fileName);
bool DirectoryExists(const std::string& directory);
void BeginText(const char* fileName);
bool ReadTextFile(const char* fileName);
bool WriteTextFile();
bool AppendNumber(const char* key, int decimals, double value);
bool AppendString(const char* key, const char* text);
bool HasKey(const char* key);
double GetNumber(const char* key, double fallback);
bool GetString(const char* key, char out[32]);

// What a lookup of a numeric value found; GetNumber turns everything but kNumberFound into its
// fallback. A value that parses to infinity or NaN (or overflows single precision) is kept apart
// so that a preset applied over a base can keep the base's value instead.
enum NumberLookup { kNumberAbsent, kNumberUnparsed, kNumberNonFinite, kNumberFound };
NumberLookup LookupNumber(const char* key, double* value);

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
void SetHostDirectory(const std::string& directory);
const std::string& HostDirectory();
// Drops a directory the search has found, so the next ResolvePath searches again (tests only:
// the module keeps what it found for its whole life).
void ForgetFoundHostDirectory();
