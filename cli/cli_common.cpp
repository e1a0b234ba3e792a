// Messages, interruption and the terminal.
#include "cli/cli_common.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace cli {
namespace {

std::atomic<int> interruptSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
bool quietMessages = false;

constexpr int kFallbackColumns = 80;

void onInterrupt(int signalNumber) {
    int none = 0;
    interruptSignal.compare_exchange_strong(none, signalNumber, std::memory_order_relaxed);
}

// The whole line is put together first and written with one call, so that lines of jobs running
// at once never interleave.
void printPrefixed(const char* prefix, const char* format, va_list arguments) {
    std::fflush(stdout);
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line(prefix);
    const size_t start = line.size();
    if (length > 0) {
        line.resize(start + static_cast<size_t>(length) + 1);
        std::vsnprintf(&line[start], static_cast<size_t>(length) + 1, format, arguments);
        line.resize(start + static_cast<size_t>(length));
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

}  // namespace

void printError(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    printPrefixed("drelvant: ", format, arguments);
    va_end(arguments);
}

void printWarning(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    printPrefixed("drelvant: warning: ", format, arguments);
    va_end(arguments);
}

void printNote(const char* format, ...) {
    if (quietMessages) return;
    va_list arguments;
    va_start(arguments, format);
    printPrefixed("drelvant: note: ", format, arguments);
    va_end(arguments);
}

void setQuiet(bool quiet) { quietMessages = quiet; }

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

bool interrupted() { return interruptSignal.load(std::memory_order_relaxed) != 0; }

int interruptedStatus() {
    const int signalNumber = interruptSignal.load(std::memory_order_relaxed);
    return kExitSignalBase + (signalNumber != 0 ? signalNumber : SIGINT);
}

int failureStatus() { return interrupted() ? interruptedStatus() : kExitFailure; }

bool finishStandardStream(std::FILE* stream) {
    errno = 0;
    const bool flushed = std::fflush(stream) == 0;
    if (flushed && !std::ferror(stream)) return true;
    const int cause = errno;
    if (stream != stderr) {
        printError("cannot write to standard output: %s",
                   cause != 0 ? std::strerror(cause) : "the output was not all written");
    }
    return false;
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kFallbackColumns;
}

}  // namespace cli
