// The frequency response plot window: the sweep table as a red curve, and the click that starts a sweep.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analysis/plot_geometry.h"
#include "analysis/response_sweep.h"
#include "host/engine_api.h"
#include "host/plugin.h"
#include "params/registry.h"
#include "platform/platform.h"
#include "platform/shared_value.h"
#include "ui/analysis_drawing.h"
#include "ui/config_windows.h"
#include "ui/analysis_windows.h"

namespace {

constexpr COLORREF kGridColour = 0x000066;
constexpr COLORREF kTextColour = 0x0000FF;
constexpr COLORREF kCurveColour = 0x0000FF;
constexpr int kDurationTextTop = 30;
constexpr int kDurationTextBottom = 60;
constexpr int kHintTextTop = 12;
constexpr int kHintTextBottom = 28;
// Playback counts as stopped when no block has been processed for this long.
constexpr uint32_t kStoppedAfterMs = 500;

const char kHintStopped[] = "Click to measure the frequency response (playback stopped)";
const char kHintPlaying[] = "Stop playback, then click here to measure the frequency response";
const char kHintRunningFormat[] = "Measuring the frequency response: %d of %d frequencies";
const char kHintCancelled[] = "Measurement stopped when playback started: stop it and click again";

// The plot's table: frequencies from the module's load on, responses from the last sweep.
SweepFrequencyTable sweepTable;
const bool sweepTableReset = (ResetResponsePlot(sweepTable), true);

// Sweep hand-over between the user-interface thread and the sweep thread.
std::atomic<bool> sweepRunning{false};
std::atomic<bool> sweepCancel{false};
std::atomic<bool> sweepCancelled{false};  // the last sweep ended because playback started
std::atomic<int> sweepPointsDone{0};

bool playbackStopped() {
    const uint32_t elapsed = platform::tickCountMs() - ModuleLastBlockTick();
    return elapsed >= kStoppedAfterMs;
}

void writeHint(char* text, std::size_t size) {
    if (sweepRunning.load(std::memory_order_relaxed)) {
        std::snprintf(text, size, kHintRunningFormat, sweepPointsDone.load(std::memory_order_relaxed),
                      kResponsePointCount);
    } else if (!playbackStopped()) {
        std::snprintf(text, size, "%s", kHintPlaying);
    } else if (sweepCancelled.load(std::memory_order_relaxed)) {
        std::snprintf(text, size, "%s", kHintCancelled);
    } else {
        std::snprintf(text, size, "%s", kHintStopped);
    }
}

// The sweep feeds an engine of its own holding a copy of the module's settings (dither off),
// never the live one. It runs only while playback is stopped: once playback resumes it stops and
// keeps what it has measured.
void cancelSweepIfPlaying() {
    if (sweepRunning.load(std::memory_order_relaxed) && !playbackStopped()) {
        sweepCancel.store(true, std::memory_order_relaxed);
        sweepCancelled.store(true, std::memory_order_relaxed);
    }
}

// Runs the sweep on the engine copy it is handed and destroys the copy. The thread
// holds its own reference to this module, so a host that unloads the plug-in mid-sweep does
// not pull the code out from under it.
DWORD WINAPI sweepThread(LPVOID engineCopy) {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&sweepThread), &self);
    Engine* copy = static_cast<Engine*>(engineCopy);
    FrequencyResponseSweep(*copy, sweepTable, &sweepCancel, &sweepPointsDone);
    destroyEngine(copy);
    sweepRunning.store(false, std::memory_order_relaxed);
    if (self != nullptr) FreeLibraryAndExitThread(self, 0);
    return 0;
}

// Starts a sweep on a background thread with a copy of the module's engine settings taken here, on
// the thread that writes them. Returns false when nothing could be started.
bool startSweep() {
    Engine* copy = createEngineCopy(PluginEngine(), 1);
    if (copy == nullptr) return false;
    sweepCancel.store(false, std::memory_order_relaxed);
    sweepCancelled.store(false, std::memory_order_relaxed);
    sweepPointsDone.store(0, std::memory_order_relaxed);
    sweepRunning.store(true, std::memory_order_relaxed);
    HANDLE thread = CreateThread(nullptr, 0, sweepThread, copy, 0, nullptr);
    if (thread == nullptr) {
        sweepRunning.store(false, std::memory_order_relaxed);
        destroyEngine(copy);
        return false;
    }
    CloseHandle(thread);
    return true;
}

}  // namespace

void DrawResponsePlot(HDC dc) {
    cancelSweepIfPlaying();
    WindowEntry* entry = DrawableAnalysisWindow(kResponsePlotTemplate);
    if (entry == nullptr) return;
    HWND window = static_cast<HWND>(entry->hwnd);
    HDC target = dc != nullptr ? dc : GetDC(window);
    if (target == nullptr) return;

    RECT client;
    GetClientRect(window, &client);
    const PlotFrame frame = MakePlotFrame(client.bottom);
    HDC surface = SurfaceDc(*entry);

    PlotCanvas canvas = BeginPlotCanvas(surface, client, kGridColour, kTextColour);

    const int halfY = PlotValueY(frame, 0.5);
    DrawLine(surface, kPlotLeftPx, frame.y0, client.right, frame.y0);
    DrawLine(surface, kPlotLeftPx, frame.top, client.right, frame.top);
    DrawLine(surface, kPlotLeftPx, halfY, client.right, halfY);
    DrawLine(surface, kPlotLeftPx, frame.top, kPlotLeftPx, frame.y0);
    DrawOctaveAxis(surface, sweepTable.frequency, frame, client.bottom);

    char duration[64];
    std::snprintf(duration, sizeof duration, "Time To Complete Chart: %.1f sec", loadShared(sweepTable.duration));
    RECT durationBox = {client.left, kDurationTextTop, client.right, kDurationTextBottom};
    DrawTextA(surface, duration, -1, &durationBox, DT_CENTER);
    char hint[128];
    writeHint(hint, sizeof hint);
    RECT hintBox = {client.left, kHintTextTop, client.right, kHintTextBottom};
    SetBkMode(surface, TRANSPARENT);  // the hint leaves the grid lines behind it standing
    DrawTextA(surface, hint, -1, &hintBox, DT_CENTER);
    SetBkMode(surface, OPAQUE);

    SwitchToDataPen(canvas, kCurveColour);

    PlotPoint points[kResponsePointCount];
    ResponseCurve(sweepTable.response, frame, points);
    MoveToEx(surface, points[0].x, points[0].y, nullptr);
    for (int n = 1; n < kResponsePointCount; ++n) LineTo(surface, points[n].x, points[n].y);

    EndPlotCanvas(canvas);
    CopySurface(target, surface, client);
    if (dc == nullptr) ReleaseDC(window, target);
}

void OnResponsePlotClick(HWND) {
    if (!sweepRunning.load(std::memory_order_relaxed) && playbackStopped()) startSweep();
    DrawResponsePlot(nullptr);  // the hint shows at once whether the sweep started
}
