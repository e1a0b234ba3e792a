// The spectrum analyser window: blue bars of the capture ring's spectrum on an octave axis.
#include <windows.h>

#include "dsp/plot_geometry.h"
#include "dsp/processor_state.h"
#include "dsp/spectrum_analysis.h"
#include "params/registry.h"
#include "ui/analysis_drawing.h"
#include "ui/analysis_windows.h"

namespace {

constexpr int kSpectrumTemplate = 106;
constexpr COLORREF kGridColour = 0x880000;
constexpr COLORREF kLabelColour = 0xFF0000;
constexpr COLORREF kBarColour = 0xFF0000;

SpectrumBar bars[kSpectrumBarCount];  // user-interface thread only

}  // namespace

void DrawSpectrum() {
    WindowEntry* entry = DrawableAnalysisWindow(kSpectrumTemplate);
    if (entry == nullptr) return;

    AccumulateSpectrum(spectrumWork, processorState.capture);

    HWND window = static_cast<HWND>(entry->hwnd);
    HDC windowDc = GetDC(window);
    if (windowDc == nullptr) return;
    RECT client;
    GetClientRect(window, &client);
    const PlotFrame frame = MakePlotFrame(client.bottom);
    HDC surface = static_cast<HDC>(entry->surfaceDc);

    FillBlack(surface, client);
    HPEN gridPen = CreatePen(PS_SOLID, 1, kGridColour);
    HFONT labelFont = CreateLabelFont();
    HGDIOBJ previousPen = SelectObject(surface, gridPen);
    HGDIOBJ previousFont = SelectObject(surface, labelFont);
    SetBkColor(surface, RGB(0, 0, 0));
    SetTextColor(surface, kLabelColour);

    DrawLine(surface, kPlotLeftPx, frame.y0, client.right, frame.y0);
    DrawLine(surface, kPlotLeftPx, frame.top, client.right, frame.top);
    DrawLine(surface, kPlotLeftPx, frame.top, kPlotLeftPx, frame.y0);
    DrawOctaveAxis(surface, OctaveFrequencyTable, frame, client.bottom);

    // The bar pen goes in before the grid pen is deleted: GDI objects are deleted unselected.
    HPEN barPen = CreatePen(PS_SOLID, 1, kBarColour);
    SelectObject(surface, barPen);
    DeleteObject(gridPen);
    SelectObject(surface, previousFont);
    DeleteObject(labelFont);

    SpectrumBars(spectrumWork.accumulator, OctaveFrequencyTable, bars);
    for (const SpectrumBar& bar : bars)
        DrawLine(surface, bar.x, frame.y0, bar.x, static_cast<int>(frame.baseY - bar.height - 1));

    SelectObject(surface, previousPen);
    DeleteObject(barPen);
    CopySurface(windowDc, surface, client);
    ReleaseDC(window, windowDc);
}
