// The oscilloscope window: the last client-width frames of the capture ring as a green trace.
#include <windows.h>

#include "analysis/plot_geometry.h"
#include "host/engine_api.h"
#include "host/plugin.h"
#include "params/registry.h"
#include "platform/shared_value.h"
#include "ui/analysis_drawing.h"
#include "ui/config_windows.h"
#include "ui/analysis_windows.h"

namespace {

constexpr COLORREF kGridColour = 0x006600;
constexpr COLORREF kTraceColour = 0x00FF00;
constexpr int kMaxTraceWidth = 65536;  // one ring's worth of columns

int traceY[kMaxTraceWidth];  // user-interface thread only

}  // namespace

void DrawOscilloscope() {
    WindowEntry* entry = DrawableAnalysisWindow(kOscilloscopeTemplate);
    if (entry == nullptr) return;
    HWND window = static_cast<HWND>(entry->hwnd);
    HDC windowDc = GetDC(window);
    if (windowDc == nullptr) return;
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right < kMaxTraceWidth ? client.right : kMaxTraceWidth;
    const ScopeGeometry g = MakeScopeGeometry(client.bottom);
    HDC surface = SurfaceDc(*entry);

    FillBlack(surface, client);
    HPEN gridPen = CreatePen(PS_SOLID, 1, kGridColour);
    HPEN tracePen = CreatePen(PS_SOLID, 1, kTraceColour);
    HGDIOBJ previousPen = SelectObject(surface, gridPen);
    DrawLine(surface, 0, g.zeroY, client.right, g.zeroY);
    DrawLine(surface, 0, g.topY, client.right, g.topY);
    DrawLine(surface, 0, g.bottomY, client.right, g.bottomY);

    SelectObject(surface, tracePen);
    if (width > 0) {
        const CaptureRingView ring = captureRing(PluginEngine());
        const uint16_t writeIndex = loadShared(*ring.writeIndex);  // read once
        OscilloscopeTrace(ring, writeIndex, width, g, traceY);
        MoveToEx(surface, 0, traceY[0], nullptr);
        for (int x = 1; x < width; ++x) LineTo(surface, x, traceY[x]);
    }

    SelectObject(surface, previousPen);
    DeleteObject(gridPen);
    DeleteObject(tracePen);
    CopySurface(windowDc, surface, client);
    ReleaseDC(window, windowDc);
}
