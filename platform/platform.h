// The few operating-system services the portable code needs; one implementation per system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Milliseconds since system start; wraps at 2^32.
uint32_t tickCountMs();
void sleepMs(uint32_t milliseconds);

// Tests replace the tick counter with their own clock; nullptr restores the system's.
void setTickSourceForTesting(uint32_t (*source)());

// Directory separator to put after a directory name ("\\" on Windows, "/" elsewhere).
const char* directorySeparator();

// True when a search for `directory` followed by "*" finds any entry.
bool directoryExists(const std::string& directoryWithSeparator);
// True when a probe file can be created (and is deleted again) in the directory.
bool canCreateFileIn(const std::string& directoryWithSeparator);
// The per-user settings folder (created if missing), with a trailing separator; empty if none.
std::string perUserDirectory();

// Calls `visit` for every entry matching `pattern` (a path whose last part may hold '*' and '?'),
// in the order the system returns them. `name` is the bare entry name.
void findFiles(const std::string& pattern, void (*visit)(const char* name, bool isDirectory, void* context),
               void* context);

bool deleteFile(const std::string& path);

// A resource of the module itself: `type` "FACTORYPRESETS" or "TEXT", numeric id. Returns false
// when it is missing; the bytes stay valid for the life of the module.
bool findModuleResource(const char* type, int id, const unsigned char** data, std::size_t* size);

// Message boxes. `kind` combines one icon and one button set below; returns the button pressed.
enum MessageBoxKind : unsigned {
    kButtonsOk = 0x0,
    kButtonsYesNo = 0x4,
    kIconQuestion = 0x20,
    kIconWarning = 0x30,
};
enum MessageBoxAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

int messageBox(void* owner, const char* text, const char* caption, unsigned kind);

// Headless builds and tests route message boxes here instead; nullptr restores the default
// (Windows: a real message box; elsewhere: the text on standard error, answered "No"/"OK").
using MessageBoxHandler = int (*)(void* owner, const char* text, const char* caption, unsigned kind);
void setMessageBoxHandler(MessageBoxHandler handler);

}  // namespace platform
