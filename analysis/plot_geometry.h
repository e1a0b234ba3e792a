// Pixel geometry of the oscilloscope, the analyser and the response plot, free of any drawing API.
#pragma once

#include <cstdint>

#include "host/engine_api.h"

constexpr int kPlotLeftPx = 16;         // x of the vertical axis
constexpr int kAxisLabelCount = 10;     // "32" ... "16K"
constexpr int kAxisLabelWidthPx = 30;   // label rectangle: x + 1 ... x + 31
constexpr int kAxisLabelGapPx = 3;      // label rectangle top below the baseline
constexpr int kOctaveAxisLastIndex = 999;
constexpr int kOctaveAxisStride = 3;    // one pixel column per three table entries
constexpr int kResponsePointCount = 334;

extern const char* const kAxisLabelTexts[kAxisLabelCount];

// Vertical frame shared by the analyser and the response plot, from the client's bottom edge.
struct PlotFrame {
    double baseY;  // bottom - 20: the 0.0 line
    double scale;  // baseY - 10: pixels from 0.0 to 1.0
    int y0;        // trunc(baseY)
    int top;       // trunc(baseY - scale): the 1.0 line, 10 pixels from the top
};

PlotFrame MakePlotFrame(int clientBottom);

// y pixel of a linear value (0.0 at the baseline, 1.0 at the top line; no clamp).
int PlotValueY(const PlotFrame& frame, double value);

// One octave label with its vertical grid line.
struct AxisLabel {
    int x;             // i div 3; the grid line is at x + 16, the label box spans x + 1 ... x + 31
    const char* text;  // "32" ... "16K"
};

// Walks entries i = 0, 3, ..., 999 of a 1,024-entry frequency table with the threshold
// next = 31.25 Hz, doubling at every entry that reaches it; writes at most ten labels and
// returns their number.
int OctaveAxisLabels(const uint16_t* table, AxisLabel labels[kAxisLabelCount]);

// The oscilloscope's three horizontal lines and its scale for a client of height H.
struct ScopeGeometry {
    double mid;   // H x 0.5
    double amp;   // H x 0.5 - 10: pixels for full scale 1.0
    int zeroY;    // trunc(mid)
    int topY;     // trunc(mid - amp): positive full scale
    int bottomY;  // trunc(amp + mid) - 1: negative full scale
};

ScopeGeometry MakeScopeGeometry(int clientHeight);

// y of trace column x = 0 ... width - 1: the last `width` ring entries before `writeIndex`,
// oldest at the left, positive values upward.
void OscilloscopeTrace(const CaptureRingView& ring, uint16_t writeIndex, int width, const ScopeGeometry& geometry,
                       int* traceY);

// One vertex of the response curve.
struct PlotPoint {
    int x, y;
};

// The 334 vertices for entries i = 0, 3, ..., 999 of `response` (x = i div 3 + 16). The
// values are read one at a time with loadShared, since a sweep may be writing them.
void ResponseCurve(const double* response, const PlotFrame& frame, PlotPoint points[kResponsePointCount]);
