// The spectrum analyser window: blue bars of the capture ring's spectrum on an octave axis.
#include <windows.h>

#include "analysis/plot_geometry.h"
#include "analysis/spectrum_analysis.h"
#include "host/engine_api.h"
#include "host/plugin.h"
#include "params/registry.h"
#include "ui/analysis_drawing.h"
#include "ui/config_windows.h"
#include "ui/analysis_windows.h"

namespace {

constexpr COLORREF kGridColour = 0x880000;
constexpr COLORREF kLabelColour = 0xFF0000;
constexpr COLORREF kBarColour = 0xFF0000;

// The analyser's work arrays, bars and octave table: user-interface thread only.
SpectrumWork spectrumWork;
SpectrumBar bars[kSpectrumBarCount];
uint16_t OctaveFrequencyTable[kOctaveTableSize];
const bool octaveTableBuilt = (BuildOctaveFrequencyTable(OctaveFrequencyTable), true);  // at load

}  // namespace

void DrawSpectrum() {
    WindowEntry* entry = DrawableAnalysisWindow(kSpectrumTemplate);
    if (entry == nullptr) return;

    AccumulateSpectrum(spectrumWork, captureRing(PluginEngine()));

    HWND window = static_cast<HWND>(entry->hwnd);
    HDC windowDc = GetDC(window);
    if (windowDc == nullptr) return;
    RECT client;
    GetClientRect(window, &client);
    const PlotFrame frame = MakePlotFrame(client.bottom);
    HDC surface = SurfaceDc(*entry);

    PlotCanvas canvas = BeginPlotCanvas(surface, client, kGridColour, kLabelColour);

    DrawLine(surface, kPlotLeftPx, frame.y0, client.right, frame.y0);
    DrawLine(surface, kPlotLeftPx, frame.top, client.right, frame.top);
    DrawLine(surface, kPlotLeftPx, frame.top, kPlotLeftPx, frame.y0);
    DrawOctaveAxis(surface, OctaveFrequencyTable, frame, client.bottom);

    SwitchToDataPen(canvas, kBarColour);

    SpectrumBars(spectrumWork.accumulator, OctaveFrequencyTable, bars);
    for (const SpectrumBar& bar : bars)
        DrawLine(surface, bar.x, frame.y0, bar.x, static_cast<int>(frame.baseY - bar.height - 1));

    EndPlotCanvas(canvas);
    CopySurface(windowDc, surface, client);
    ReleaseDC(window, windowDc);
}
