// Shared pieces of the command-line processor: exit statuses, messages, interruption, the terminal.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWarnings = 3;  // `process`: done, but with warnings (cut short, a target not reached, ...)
constexpr int kExitSignalBase = 128;  // a run stopped by signal N exits with 128 + N

constexpr int kSampleRate = 44100;   // the processor's own rate
constexpr int kChannels = 2;         // ... and channel count
constexpr int kLowestSampleRate = 8000;     // rates read or written, Hz
constexpr int kHighestSampleRate = 384000;
constexpr int kDefaultBlockFrames = 576;  // what Winamp hands a DSP plug-in per call
constexpr int kMaxBlockFrames = 1 << 20;
constexpr short kHardClipValue = 32764;   // the frame's clamp: 0.9999 x 32768, truncated

// std::nearbyint (the current rounding mode, to even by default), by one SSE2 conversion for
// values within int range instead of a library call per sample. A zero comes back positive.
inline double roundToInteger(double x) {
#if defined(__SSE2__)
    if (x > -2147483648.0 && x < 2147483647.0) return static_cast<double>(_mm_cvtsd_si32(_mm_set_sd(x)));
#endif
    return std::nearbyint(x);
}

// "drelvant: <message>" on standard error, one line.
void printError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "drelvant: warning: <message>": something the user should know although the work goes on.
void printWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "drelvant: note: <message>": what was done on the user's behalf; silenced by -q.
void printNote(const char* format, ...) __attribute__((format(printf, 1, 2)));
void setQuiet(bool quiet);

// Ctrl-C, SIGTERM and SIGHUP: caught so that long work can stop cleanly and remove what it had
// not finished. Also ignores SIGPIPE, so a closed output pipe becomes a write error.
void installInterruptHandlers();
bool interrupted();
// The exit status of an interrupted run: 128 + the signal's number (130 for Ctrl-C, 143 for
// SIGTERM).
int interruptedStatus();
// kExitFailure, or the interrupted status when a signal stopped the work.
int failureStatus();

// Flushes standard output or standard error; false, with a message on standard error, when
// something written to it could not be written (a full disk, a closed pipe).
bool finishStandardStream(std::FILE* stream);

// True when standard error is a terminal (progress bars are drawn only there).
bool stderrIsTerminal();
// Columns of the terminal on standard error; 80 when it cannot be asked.
int terminalColumns();

}  // namespace cli
