// The main console window: presets, stage rows, analysis buttons and the two timers behind all periodic work.
#pragma once

#include <windows.h>

// Console-specific initialisation after the common binding: title, preset list, timers.
void InitConsole(HWND console);
// Shows the current preset name in the name box without echoing it back as a user edit.
void ShowPresetNameInConsole(HWND console);
// The console's command table (buttons, list double click, name box changes).
void OnConsoleCommand(HWND console, int id, int notification);
// Timer 1 (700 ms) and timer 2 (50 ms).
void OnConsoleTimer(HWND console, UINT_PTR timerId);
// Keeps the list selection for the next time the console opens (-1 when none).
void RememberListSelection(HWND console);
