// Drawing and commands of the analysis and documentation windows, called by the shared dialog code.
#pragma once

#include <windows.h>

void LoadDocumentation(HWND window);
void FindInDocumentation(HWND window);
void DrawOscilloscope();
void DrawSpectrum();
// dc: device context to copy to, or nullptr to use (and release) the window's own.
void DrawResponsePlot(HDC dc);
// A click in the frequency response plot window (starts a sweep while playback is stopped).
void OnResponsePlotClick(HWND window);
