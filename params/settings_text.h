// The one in-memory settings text through which every settings and preset file is read or built.
#pragma once

#include <string>

constexpr int kSettingsTextSize = 16384;

extern char SettingsText[kSettingsTextSize];
extern char TextFileName[128];

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

// Uses `directory` (with its trailing separator) instead of searching; tests and the command-line
// processor point it at a directory of their own. An empty text restores the search.
void SetHostDirectory(const std::string& directory);
const std::string& HostDirectory();
