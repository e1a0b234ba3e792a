// POSIX implementation of the platform services; resources come from the embedded table.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/embedded_resources.h"
#include "platform/platform.h"

namespace platform {
namespace {

uint32_t (*tickSource)() = nullptr;
MessageBoxHandler messageBoxHandler = nullptr;

uint32_t systemTick() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec / 1000000);
    return static_cast<uint32_t>(ms);
}

bool makeDirectories(const std::string& path) {
    std::string partial;
    for (size_t i = 0; i < path.size(); ++i) {
        partial += path[i];
        if ((path[i] == '/' && i > 0) || i + 1 == path.size()) {
            if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

}  // namespace

uint32_t tickCountMs() { return tickSource != nullptr ? tickSource() : systemTick(); }

void sleepMs(uint32_t milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

void setTickSourceForTesting(uint32_t (*source)()) { tickSource = source; }

const char* directorySeparator() { return "/"; }

bool directoryExists(const std::string& directory) {
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return false;
    const bool any = readdir(dir) != nullptr;
    closedir(dir);
    return any;
}

bool canCreateFileIn(const std::string& directory) {
    const std::string probe = directory + ".drelvant_probe_" + std::to_string(getpid());
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string perUserDirectory() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') return std::string();
        base = std::string(home) + "/.config";
    }
    const std::string directory = base + "/drelvant/";
    if (!makeDirectories(directory)) return std::string();
    return directory;
}

void findFiles(const std::string& pattern, void (*visit)(const char*, bool, void*), void* context) {
    const size_t slash = pattern.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    const std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir)) {
        if (fnmatch(namePattern.c_str(), entry->d_name, 0) != 0) continue;
        struct stat info {};
        const std::string full = (slash == std::string::npos ? std::string() : directory) + entry->d_name;
        const bool isDirectory = stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        visit(entry->d_name, isDirectory, context);
    }
    closedir(dir);
}

bool deleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool findModuleResource(const char* type, int id, const unsigned char** data, std::size_t* size) {
    for (const EmbeddedResource* r = embeddedResources; r->type != nullptr; ++r) {
        if (r->id == id && std::strcmp(r->type, type) == 0) {
            *data = r->data;
            *size = r->size;
            return true;
        }
    }
    return false;
}

int messageBox(void* owner, const char* text, const char* caption, unsigned kind) {
    if (messageBoxHandler != nullptr) return messageBoxHandler(owner, text, caption, kind);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return (kind & kButtonsYesNo) != 0 ? kAnswerNo : kAnswerOk;
}

void setMessageBoxHandler(MessageBoxHandler handler) { messageBoxHandler = handler; }

}  // namespace platform

#endif
