// STUB: replaced by the settings text implementation.
#include "params/settings_text.h"
char SettingsText[kSettingsTextSize];
char TextFileName[128];
namespace { std::string hostDirectory; }
std::string ResolvePath(const char* fileName) { return hostDirectory + fileName; }
bool DirectoryExists(const std::string&) { return false; }
void BeginText(const char*) {}
bool ReadTextFile(const char*) { return false; }
bool WriteTextFile() { return false; }
bool AppendNumber(const char*, int, double) { return false; }
bool AppendString(const char*, const char*) { return false; }
bool HasKey(const char*) { return false; }
double GetNumber(const char*, double fallback) { return fallback; }
bool GetString(const char*, char out[32]) { out[0] = 0; return false; }
void SetHostDirectory(const std::string& d) { hostDirectory = d; }
const std::string& HostDirectory() { return hostDirectory; }
