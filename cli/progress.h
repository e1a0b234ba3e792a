// A one-line progress bar on standard error, drawn only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cli {

struct Progress {
    bool enabled = false;
    std::string label;
    int64_t total = -1;  // units of work; -1 when unknown (then elapsed time and speed are shown)
    double unitsPerSecondOfAudio = 0;  // > 0: units are audio frames, speed shown as x real time
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastDrawn;
    bool drawn = false;
};

void startProgress(Progress& progress, const std::string& label, int64_t total, double unitsPerSecondOfAudio);
// Redraws at most ten times a second.
void updateProgress(Progress& progress, int64_t done);
// Clears the line.
void finishProgress(Progress& progress);

}  // namespace cli
