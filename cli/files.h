// Where output goes: regular files through a temporary name, FIFOs and devices straight, symlinks to their target.
#pragma once

#include <string>

namespace cli {

// How an output path is written.
struct Destination {
    std::string path;              // the file really written: symlinks followed to their target
    bool standardOutput = false;   // "-"
    bool stream = false;           // a FIFO or character device: opened and written straight
};

// Looks at `path` without creating anything. A symlink (also a chain of them, also one whose
// target does not exist yet) is followed to the file it names, so the link stays and its target
// is replaced. A directory is refused.
bool resolveDestination(const std::string& path, Destination* destination, std::string* error);

// True when both paths name one existing file (same device and inode, whatever the spelling:
// links, "./", "..").
bool isSameFile(const std::string& first, const std::string& second);

// Creates a temporary file beside `finalPath` (same directory, hidden name) with the mode the
// final file should get; returns its descriptor, or -1 with a message.
int createTemporaryBeside(const std::string& finalPath, std::string* temporaryPath, std::string* error);
// Renames the finished temporary file over `finalPath`; on failure removes it.
bool replaceWithTemporary(const std::string& temporaryPath, const std::string& finalPath, std::string* error);
// Opens a FIFO or character device for writing; -1 with a message.
int openStream(const std::string& path, std::string* error);

// Writes `data` to `path`: "-" is standard output, FIFOs and devices are written straight,
// anything else through a temporary file and a rename, so an existing file is only ever replaced
// by a complete new one.
bool writeWholeFile(const std::string& path, const std::string& data, std::string* error);

// Writes all of `size` bytes, retrying after signals that did not stop the program.
bool writeAll(int fd, const void* data, std::size_t size);

// A temporary directory of its own (removed with removeScratchDirectory).
bool makeScratchDirectory(std::string* directory, std::string* error);
void removeScratchDirectory(const std::string& directory);

std::string directoryOf(const std::string& path);
std::string baseNameOf(const std::string& path);
// The lower-case text after the last dot of the file name; empty when it has none.
std::string extensionOf(const std::string& path);

}  // namespace cli
