// Messages, option values, interruption, settings directories, temporary files, the hosted module and preset choice.
#include "cli/cli_common.h"
#include "host/plugin.h"
#include "params/engine.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsp/live_params.h"
#include "params/preset_file.h"
#include "params/preset_store.h"
#include "params/settings_text.h"

namespace cli {
namespace {

std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void onInterrupt(int) { interruptRequested.store(true, std::memory_order_relaxed); }

void printPrefixed(const char* prefix, const char* format, va_list arguments) {
    std::fflush(stdout);
    std::fputs(prefix, stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t modeForNewFile(const std::string& finalPath) {
    struct stat existing {};
    if (stat(finalPath.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

void printError(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    printPrefixed("drelvant: ", format, arguments);
    va_end(arguments);
}

void printNote(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    printPrefixed("drelvant: note: ", format, arguments);
    va_end(arguments);
}

bool isHelpOption(const std::string& argument) { return argument == "--help" || argument == "-h"; }

bool parseInteger(const std::string& text, long long minValue, long long maxValue, long long* value) {
    if (text.empty() || text.size() > 19) return false;
    size_t position = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        position = 1;
    }
    if (position == text.size()) return false;
    long long result = 0;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    if (negative) result = -result;
    if (result < minValue || result > maxValue) return false;
    *value = result;
    return true;
}

ArgumentCursor makeCursor(int argc, char** argv, int first) {
    ArgumentCursor cursor;
    for (int i = first; i < argc; ++i) cursor.arguments.emplace_back(argv[i]);
    return cursor;
}

bool atEnd(const ArgumentCursor& cursor) { return cursor.next >= cursor.arguments.size(); }

const std::string& peek(const ArgumentCursor& cursor) { return cursor.arguments[cursor.next]; }

bool takeValue(ArgumentCursor& cursor, const std::string& option, std::string* value) {
    if (atEnd(cursor)) {
        printError("option %s needs a value (see --help)", option.c_str());
        return false;
    }
    *value = cursor.arguments[cursor.next++];
    return true;
}

bool takeSeed(ArgumentCursor& cursor, const std::string& option, uint32_t* seed) {
    std::string value;
    if (!takeValue(cursor, option, &value)) return false;
    long long number = 0;
    if (!parseInteger(value, 0, 4294967295LL, &number)) {
        printError("%s needs a whole number 0 ... 4294967295, not '%s'", option.c_str(), value.c_str());
        return false;
    }
    *seed = static_cast<uint32_t>(number);
    return true;
}

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read returns so the flag is seen
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool interrupted() { return interruptRequested.load(std::memory_order_relaxed); }

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool useSettingsDirectory(const std::string& directory, std::string* error) {
    struct stat info {};
    if (directory.empty() || stat(directory.c_str(), &info) != 0) {
        *error = "settings directory '" + directory + "' does not exist";
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *error = "'" + directory + "' is not a directory";
        return false;
    }
    SetHostDirectory(PluginEngine().text, directory.back() == '/' ? directory : directory + "/");
    return true;
}

std::string settingsDirectory() {
    const std::string directory = ResolvePath(PluginEngine().text, "");
    return directory.empty() ? std::string("./") : directory;
}

bool makeScratchDirectory(std::string* directory, std::string* error) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/drelvant-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        *error = "cannot create a temporary settings directory in '" + directoryOf(pattern) + "': " +
                 std::strerror(errno);
        return false;
    }
    *directory = std::string(buffer.data()) + "/";
    return true;
}

void removeScratchDirectory(const std::string& directory) {
    if (directory.empty()) return;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            unlink((directory + entry->d_name).c_str());
        }
        closedir(dir);
    }
    rmdir(directory.c_str());
}

winampDSPModule* startModule(bool fixSeed, uint32_t seed) {
    setRandomSeedOverride(fixSeed, seed);
    winampDSPHeader* header = winampDSPGetHeader2();
    winampDSPModule* module = header->getModule(0);
    module->Init(module);
    return module;
}

void stopModule(winampDSPModule* module) { module->Quit(module); }

bool parsePresetChoice(const std::string& text, PresetChoice* choice, std::string* error) {
    long long number = 0;
    if (text.size() >= 2 && (text[0] == 'F' || text[0] == 'f') && parseInteger(text.substr(1), 0, 999, &number) &&
        text[1] != '+' && text[1] != '-') {
        if (number < 1 || number > kFactoryResources) {
            *error = "there is no factory preset " + text + " (the factory presets are F1 to F7)";
            return false;
        }
        choice->kind = PresetChoice::kNumber;
        choice->number = static_cast<int32_t>(1 - number);
        return true;
    }
    if (parseInteger(text, -999999, 999999, &number)) {
        if (number < 1 || number > kUserSlots) {
            *error = "there is no user preset slot " + text + " (user slots are 1 to 99)";
            return false;
        }
        choice->kind = PresetChoice::kNumber;
        choice->number = static_cast<int32_t>(number);
        return true;
    }
    struct stat info {};
    if (stat(text.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = "unknown preset '" + text + "': use F1 to F7, a user slot 1 to 99, or the path of a preset file";
        return false;
    }
    choice->kind = PresetChoice::kFile;
    choice->path = text;
    return true;
}

bool applyPresetChoice(const PresetChoice& choice, std::string* error) {
    switch (choice.kind) {
        case PresetChoice::kStartup:
            return true;
        case PresetChoice::kNumber:
            if (choice.number >= 1 && PluginEngine().presets.userNames[choice.number][0] == '\0') {
                char fileName[kPresetFileNameSize];
                PresetFileName(choice.number, fileName);
                *error = "user preset slot " + std::to_string(choice.number) + " is empty (no named preset in " +
                         ResolvePath(PluginEngine().text, fileName) + ")";
                return false;
            }
            LoadPreset(PluginEngine(), choice.number);
            return true;
        case PresetChoice::kFile:
            if (access(choice.path.c_str(), R_OK) != 0) {
                *error = "cannot read preset file '" + choice.path + "': " + std::strerror(errno);
                return false;
            }
            if (!LoadPresetFile(PluginEngine(), choice.path.c_str())) {
                *error = "'" + choice.path +
                         "' is not a preset file (it has no General.Name or General.BaseFactoryPreset line)";
                return false;
            }
            return true;
    }
    return false;
}

std::string presetListText(int32_t number) {
    char text[64];
    if (number <= 0 && number > -kFactorySlots) {
        std::snprintf(text, sizeof text, "F%d:%s", static_cast<int>(1 - number), PluginEngine().presets.factoryNames[-number]);
    } else if (number >= 1 && number <= kUserSlots) {
        std::snprintf(text, sizeof text, "%.2d:%s", static_cast<int>(number), PluginEngine().presets.userNames[number]);
    } else {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
    }
    return text;
}

std::string describePreset(const PresetChoice& choice) {
    switch (choice.kind) {
        case PresetChoice::kStartup:
            return "startup preset " + presetListText(StartupPreset(PluginEngine()));
        case PresetChoice::kNumber:
            return presetListText(choice.number);
        case PresetChoice::kFile: {
            char base[48];
            const double number = PluginEngine().presets.baseFactoryPreset;
            if (number <= 0 && number > -kFactoryResources) {
                std::snprintf(base, sizeof base, "based on F%d", 1 - static_cast<int>(number));
            } else {
                std::snprintf(base, sizeof base, "on registered defaults");
            }
            return choice.path + " (\"" + PluginEngine().live.presetName + "\", " + base + ")";
        }
    }
    return std::string();
}

int createTemporaryBeside(const std::string& finalPath, std::string* temporaryPath, std::string* error) {
    struct stat info {};
    if (finalPath.empty() || finalPath.back() == '/' ||
        (stat(finalPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        *error = "cannot write '" + finalPath + "': it is a directory";
        return -1;
    }
    const std::string pattern = directoryOf(finalPath) + "/." + baseNameOf(finalPath) + ".part-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        *error = "cannot write '" + finalPath + "': " + std::strerror(errno);
        return -1;
    }
    fchmod(fd, modeForNewFile(finalPath));
    *temporaryPath = buffer.data();
    return fd;
}

bool replaceWithTemporary(const std::string& temporaryPath, const std::string& finalPath, std::string* error) {
    if (std::rename(temporaryPath.c_str(), finalPath.c_str()) != 0) {
        *error = "cannot write '" + finalPath + "': " + std::strerror(errno);
        unlink(temporaryPath.c_str());
        return false;
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error) {
    if (path == "-") {
        if (!writeAll(STDOUT_FILENO, data.data(), data.size())) {
            *error = std::string("cannot write to standard output: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    std::string temporary;
    const int fd = createTemporaryBeside(path, &temporary, error);
    if (fd < 0) return false;
    const bool written = writeAll(fd, data.data(), data.size());
    const int savedErrno = errno;
    if (close(fd) != 0 || !written) {
        *error = "cannot write '" + path + "': " + std::strerror(written ? errno : savedErrno);
        unlink(temporary.c_str());
        return false;
    }
    return replaceWithTemporary(temporary, path, error);
}

}  // namespace cli
