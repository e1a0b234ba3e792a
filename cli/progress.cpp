// Progress bar drawing for long commands.
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli_common.h"

namespace cli {
namespace {

constexpr int kBarWidth = 30;
constexpr int kMinimumBarWidth = 5;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string clock(double seconds) {
    char text[32];
    const long whole = static_cast<long>(seconds);
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

void startProgress(Progress& progress, const std::string& label, int64_t total, double unitsPerSecondOfAudio) {
    progress.enabled = stderrIsTerminal();
    progress.label = label;
    progress.total = total;
    progress.unitsPerSecondOfAudio = unitsPerSecondOfAudio;
    progress.started = std::chrono::steady_clock::now();
    progress.lastDrawn = progress.started - kRedrawInterval;
    progress.drawn = false;
}

void updateProgress(Progress& progress, int64_t done) {
    if (!progress.enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - progress.lastDrawn < kRedrawInterval) return;
    progress.lastDrawn = now;
    const double elapsed = std::chrono::duration<double>(now - progress.started).count();

    char text[96];
    std::string percent, figures;
    double fraction = 0.0;
    if (progress.total > 0) {
        fraction = done >= progress.total ? 1.0 : static_cast<double>(done) / progress.total;
        std::snprintf(text, sizeof text, " %3d%%", static_cast<int>(fraction * 100));
        percent = text;
    }
    if (progress.unitsPerSecondOfAudio > 0) {
        const double audioSeconds = done / progress.unitsPerSecondOfAudio;
        figures += "  " + clock(audioSeconds);
        if (progress.total > 0) figures += " of " + clock(progress.total / progress.unitsPerSecondOfAudio);
        if (elapsed > 0.2) {
            std::snprintf(text, sizeof text, "  %.1fx real time", audioSeconds / elapsed);
            figures += text;
        }
    } else if (progress.total > 0) {
        std::snprintf(text, sizeof text, "  %lld of %lld", static_cast<long long>(done),
                      static_cast<long long>(progress.total));
        figures += text;
    }
    // Never wider than the terminal (a line that wraps stacks up instead of being redrawn): the
    // bar shrinks first, then goes, then the line is cut.
    const int columns = std::max(1, terminalColumns() - 1);
    std::string line = progress.label + " ";
    if (progress.total > 0) {
        const int room = columns - static_cast<int>(line.size() + percent.size() + figures.size()) - 2;
        const int width = std::min(kBarWidth, room);
        if (width >= kMinimumBarWidth) {
            const int filled = static_cast<int>(fraction * width);
            line += '[';
            line.append(static_cast<size_t>(filled), '#');
            line.append(static_cast<size_t>(width - filled), '-');
            line += ']';
        }
        line += percent;
    }
    line += figures;
    if (line.size() > static_cast<size_t>(columns)) line.resize(static_cast<size_t>(columns));
    line = "\r" + line + "\033[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    progress.drawn = true;
}

void finishProgress(Progress& progress) {
    if (progress.enabled && progress.drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    progress.drawn = false;
}

}  // namespace cli
