// The shared dialog procedure of every plug-in window and the generic binding of its controls.
#pragma once

#include <windows.h>

#include "params/registry.h"

// Template ids of the windows with code of their own in the dialog procedure.
constexpr int kConsoleTemplate = 101;
constexpr int kOscilloscopeTemplate = 105;
constexpr int kSpectrumTemplate = 106;
constexpr int kResponsePlotTemplate = 107;
constexpr int kDocumentationTemplate = 119;

// Dialog procedure of every window; the WindowEntry arrives as the creation parameter.
INT_PTR CALLBACK ConfigDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the window of the first entry with this template, or brings it forward when it is open.
void ShowConfigWindow(int templateId);
// Sets every control of the window up from its parameters' live values and draws its meters.
void BindWindow(WindowEntry& entry, HWND hwnd);
// A trackbar of window hwnd moved: the live value, its label and "settings changed" follow.
void OnSliderMoved(HWND hwnd, HWND slider);
// A command from control id of window hwnd: value labels pass the focus on, check boxes store.
void OnControlCommand(HWND hwnd, int id);
// Redraws the meters of `target` unconditionally, or with nullptr those of every open window
// whose value changed since it was last shown.
void RefreshMeters(HWND target);
// The user closed window hwnd: positions are recorded, and the window (every window, for the
// console) is destroyed.
void CloseConfigWindow(HWND hwnd);

// The analysis windows' offscreen drawing surface (memory DC with a client-sized bitmap).
bool CreateOffscreenSurface(WindowEntry& entry);
// The memory device context of an analysis window's surface; nullptr while it has none.
HDC SurfaceDc(const WindowEntry& entry);
void ReleaseOffscreenSurface(WindowEntry& entry);

// The entry whose open window is hwnd, or nullptr.
WindowEntry* FindWindowEntry(HWND hwnd);
