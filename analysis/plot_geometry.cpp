// Axis, grid, trace and curve positions of the analysis displays; pixel conversions truncate toward zero.
#include "analysis/plot_geometry.h"

#include "platform/shared_value.h"

const char* const kAxisLabelTexts[kAxisLabelCount] = {"32", "64", "125", "250", "500",
                                                      "1K", "2K", "4K",  "8K",  "16K"};

namespace {

constexpr double kBaselineAboveBottomPx = 20.0;
constexpr double kTopLinePx = 10.0;
constexpr double kFirstLabelHz = 31.25;
constexpr double kScopeMarginPx = 10.0;

}  // namespace

PlotFrame MakePlotFrame(int clientBottom) {
    PlotFrame frame;
    frame.baseY = clientBottom - kBaselineAboveBottomPx;
    frame.scale = frame.baseY - kTopLinePx;
    frame.y0 = static_cast<int>(frame.baseY);
    frame.top = static_cast<int>(frame.baseY - frame.scale);
    return frame;
}

int PlotValueY(const PlotFrame& frame, double value) { return static_cast<int>(frame.baseY - frame.scale * value); }

int OctaveAxisLabels(const uint16_t* table, AxisLabel labels[kAxisLabelCount]) {
    double next = kFirstLabelHz;
    int count = 0;
    for (int i = 0; i <= kOctaveAxisLastIndex && count < kAxisLabelCount; i += kOctaveAxisStride) {
        if (next <= table[i]) {
            next = 2 * next;
            labels[count].x = i / kOctaveAxisStride;
            labels[count].text = kAxisLabelTexts[count];
            ++count;
        }
    }
    return count;
}

ScopeGeometry MakeScopeGeometry(int clientHeight) {
    ScopeGeometry g;
    g.mid = clientHeight * 0.5;
    g.amp = clientHeight * 0.5 - kScopeMarginPx;
    g.zeroY = static_cast<int>(g.mid);
    g.topY = static_cast<int>(g.mid - g.amp);
    g.bottomY = static_cast<int>(g.amp + g.mid) - 1;
    return g;
}

void OscilloscopeTrace(const CaptureRingView& ring, uint16_t writeIndex, int width, const ScopeGeometry& geometry,
                       int* traceY) {
    uint16_t k = static_cast<uint16_t>(writeIndex - width);
    for (int x = 0; x < width; ++x, ++k)
        traceY[x] = static_cast<int>(geometry.mid - geometry.amp * loadShared(ring.samples[k]));
}

void ResponseCurve(const double* response, const PlotFrame& frame, PlotPoint points[kResponsePointCount]) {
    for (int n = 0; n < kResponsePointCount; ++n) {
        const int i = n * kOctaveAxisStride;
        points[n].x = i / kOctaveAxisStride + kPlotLeftPx;
        points[n].y = PlotValueY(frame, loadShared(response[i]));
    }
}
