// Output destinations, atomic replacement, same-file checks and scratch directories.
#include "cli/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/cli_common.h"

namespace cli {
namespace {

constexpr int kMaxSymlinkHops = 40;  // as the kernel's own limit

mode_t modeForNewFile(const std::string& finalPath) {
    struct stat existing {};
    // The permissions of the file replaced, never its set-user-ID, set-group-ID or sticky bits: a
    // new sound file is no program.
    if (stat(finalPath.c_str(), &existing) == 0) return existing.st_mode & 0777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The kernel's protected-symlinks rule, which does not guard links this program follows itself: in
// a sticky world-writable folder (/tmp) a link is followed only when it belongs to this user or to
// the folder's owner, so nobody can plant one there that points at this user's files.
bool mayFollowLink(const std::string& link, const struct stat& linkInfo) {
    struct stat folder {};
    if (stat(directoryOf(link).c_str(), &folder) != 0) return true;
    const bool stickyShared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !stickyShared || linkInfo.st_uid == geteuid() || linkInfo.st_uid == folder.st_uid;
}

}  // namespace

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

std::string extensionOf(const std::string& path) {
    const std::string name = baseNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::string();
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR && !interrupted()) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool resolveDestination(const std::string& path, Destination* destination, std::string* error) {
    *destination = Destination{};
    if (path == "-") {
        destination->path = path;
        destination->standardOutput = true;
        return true;
    }
    std::string target = path;
    for (int hop = 0;; ++hop) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        if (hop == kMaxSymlinkHops) {
            *error = "cannot write '" + path + "': too many levels of symbolic links";
            return false;
        }
        if (!mayFollowLink(target, info)) {
            *error = "cannot write '" + path + "': '" + target +
                     "' is a symbolic link of another user in a sticky world-writable folder; not followed (the "
                     "kernel's protected-symlinks rule)";
            return false;
        }
        std::vector<char> buffer(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1);
        const ssize_t length = readlink(target.c_str(), buffer.data(), buffer.size() - 1);
        if (length < 0) {
            *error = "cannot write '" + path + "': " + std::strerror(errno);
            return false;
        }
        const std::string link(buffer.data(), static_cast<size_t>(length));
        target = !link.empty() && link[0] == '/' ? link : directoryOf(target) + "/" + link;
    }
    struct stat info {};
    if (target.empty() || target.back() == '/' || (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        *error = "cannot write '" + path + "': it is a directory";
        return false;
    }
    destination->path = target;
    destination->stream = stat(target.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
    return true;
}

bool isSameFile(const std::string& first, const std::string& second) {
    if (first == "-" || second == "-") return false;
    struct stat a {}, b {};
    if (stat(first.c_str(), &a) != 0 || stat(second.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

int openStream(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) *error = "cannot write '" + path + "': " + std::strerror(errno);
    return fd;
}

bool writeWholeFile(const std::string& path, const std::string& data, std::string* error) {
    Destination destination;
    if (!resolveDestination(path, &destination, error)) return false;
    if (destination.standardOutput || destination.stream) {
        const int fd = destination.standardOutput ? STDOUT_FILENO : openStream(destination.path, error);
        if (fd < 0) return false;
        const bool written = writeAll(fd, data.data(), data.size());
        const int savedErrno = errno;
        if (!destination.standardOutput) close(fd);
        if (!written) {
            *error = (destination.standardOutput ? std::string("cannot write to standard output")
                                                 : "cannot write '" + path + "'") +
                     ": " + std::strerror(savedErrno);
        }
        return written;
    }
    std::string temporary;
    const int fd = createTemporaryBeside(destination.path, &temporary, error);
    if (fd < 0) return false;
    const bool written = writeAll(fd, data.data(), data.size());
    const int savedErrno = errno;
    if (close(fd) != 0 || !written) {
        *error = "cannot write '" + path + "': " + std::strerror(written ? errno : savedErrno);
        unlink(temporary.c_str());
        return false;
    }
    return replaceWithTemporary(temporary, destination.path, error);
}

bool makeScratchDirectory(std::string* directory, std::string* error) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/drelvant-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        *error = "cannot create a temporary directory in '" + directoryOf(pattern) + "': " + std::strerror(errno);
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

}  // namespace cli
