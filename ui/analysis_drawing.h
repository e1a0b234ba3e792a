// GDI pieces shared by the oscilloscope, the spectrum analyser and the response plot.
#pragma once

#include <windows.h>

#include <cstdint>

#include "analysis/plot_geometry.h"

struct WindowEntry;

// The entry of `templateId` when its window is open and has its offscreen surface, else nullptr.
WindowEntry* DrawableAnalysisWindow(int templateId);

// The label font: height 14, width 0, weight 400, default character set, no face name.
HFONT CreateLabelFont();

// Fills `rect` of `dc` with a solid black brush made and deleted for the fill.
void FillBlack(HDC dc, const RECT& rect);

// A plot being drawn on a window's offscreen surface: BeginPlotCanvas fills it black and selects a
// grid pen and the label font (text in `textColour` on black) for the grid, axis and labels;
// SwitchToDataPen then selects a pen of its own for the data and deletes the grid pen and the font
// (GDI objects are deleted once unselected); EndPlotCanvas puts the surface's pen back and deletes
// the data pen.
struct PlotCanvas {
    HDC surface;
    HPEN gridPen, dataPen;
    HFONT labelFont;
    HGDIOBJ previousPen, previousFont;
};
PlotCanvas BeginPlotCanvas(HDC surface, const RECT& client, COLORREF gridColour, COLORREF textColour);
void SwitchToDataPen(PlotCanvas& canvas, COLORREF dataColour);
void EndPlotCanvas(PlotCanvas& canvas);

// The octave axis of the analyser and the response plot, with the pen and font selected in `dc`:
// for each label, a vertical grid line from the top line to the baseline at x + 16 and the text
// centred in the box (x + 1, y0 + 3, x + 31, clientBottom).
void DrawOctaveAxis(HDC dc, const uint16_t* table, const PlotFrame& frame, int clientBottom);

// One straight line from (x1, y1) to (x2, y2) with the selected pen.
void DrawLine(HDC dc, int x1, int y1, int x2, int y2);

// Copies the whole client area of the surface to `target` (source copy, origin to origin).
void CopySurface(HDC target, HDC surface, const RECT& client);
