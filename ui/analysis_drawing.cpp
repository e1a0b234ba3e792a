// Window lookup, font, fill, octave axis and block copy shared by the analysis windows.
#include "ui/analysis_drawing.h"

#include "host/plugin.h"
#include "params/registry.h"
#include "ui/config_windows.h"

namespace {

constexpr int kLabelFontHeight = 14;
constexpr int kLabelFontWeight = 400;
constexpr BYTE kLabelCharset = 1;  // DEFAULT_CHARSET

}  // namespace

WindowEntry* DrawableAnalysisWindow(int templateId) {
    WindowEntry* entry = FindWindowByTemplate(ModuleRegistry(), templateId);
    if (entry == nullptr || entry->hwnd == nullptr || SurfaceDc(*entry) == nullptr) return nullptr;
    return entry;
}

HFONT CreateLabelFont() {
    return CreateFontA(kLabelFontHeight, 0, 0, 0, kLabelFontWeight, FALSE, FALSE, FALSE, kLabelCharset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, nullptr);
}

void FillBlack(HDC dc, const RECT& rect) {
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

PlotCanvas BeginPlotCanvas(HDC surface, const RECT& client, COLORREF gridColour, COLORREF textColour) {
    PlotCanvas canvas{};
    canvas.surface = surface;
    FillBlack(surface, client);
    canvas.gridPen = CreatePen(PS_SOLID, 1, gridColour);
    canvas.labelFont = CreateLabelFont();
    canvas.previousPen = SelectObject(surface, canvas.gridPen);
    canvas.previousFont = SelectObject(surface, canvas.labelFont);
    SetBkColor(surface, RGB(0, 0, 0));
    SetTextColor(surface, textColour);
    return canvas;
}

void SwitchToDataPen(PlotCanvas& canvas, COLORREF dataColour) {
    canvas.dataPen = CreatePen(PS_SOLID, 1, dataColour);
    SelectObject(canvas.surface, canvas.dataPen);
    DeleteObject(canvas.gridPen);
    SelectObject(canvas.surface, canvas.previousFont);
    DeleteObject(canvas.labelFont);
}

void EndPlotCanvas(PlotCanvas& canvas) {
    SelectObject(canvas.surface, canvas.previousPen);
    DeleteObject(canvas.dataPen);
}

void DrawLine(HDC dc, int x1, int y1, int x2, int y2) {
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void DrawOctaveAxis(HDC dc, const uint16_t* table, const PlotFrame& frame, int clientBottom) {
    AxisLabel labels[kAxisLabelCount];
    const int count = OctaveAxisLabels(table, labels);
    for (int n = 0; n < count; ++n) {
        const int x = labels[n].x;
        DrawLine(dc, x + kPlotLeftPx, frame.top, x + kPlotLeftPx, frame.y0);
        RECT box = {x + 1, frame.y0 + kAxisLabelGapPx, x + 1 + kAxisLabelWidthPx, clientBottom};
        DrawTextA(dc, labels[n].text, -1, &box, DT_CENTER);
    }
}

void CopySurface(HDC target, HDC surface, const RECT& client) {
    BitBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, surface, 0, 0, SRCCOPY);
}
