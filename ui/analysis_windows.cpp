// STUB: replaced by the analysis windows.
#include "ui/analysis_windows.h"
void LoadDocumentation(HWND) {}
void FindInDocumentation(HWND) {}
void DrawOscilloscope() {}
void DrawSpectrum() {}
void DrawResponsePlot(HDC) {}
void OnResponsePlotClick(HWND) {}
