// What the portable code asks of the user interface; the Windows build opens real windows,
// the headless build (Linux) has none to open.
#pragma once

#include <cstdint>

struct WindowEntry;

// Opens the window of the first entry with this template, or brings it forward when open.
void uiShowConfigWindow(int templateId);
// Redisplays every open window from the live values (after a preset load).
void uiRebindOpenWindows();
// Screen position of an open window's top-left corner; false when it cannot be read.
bool uiWindowPosition(void* hwnd, int* left, int* top);
// Releases an open window's offscreen surface and destroys it (shut-down).
void uiDestroyWindow(WindowEntry& entry);
// Sets the text of a control of an open window.
void uiSetControlText(void* hwnd, int controlId, const char* text);

// The dialog procedure the windows are created with (nullptr in builds without windows).
using DialogProc = intptr_t (*)(void* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam);
DialogProc uiDialogProc();
