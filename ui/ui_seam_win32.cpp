// STUB: replaced by the Windows user interface.
#include <windows.h>
#include "host/ui_seam.h"
void uiShowConfigWindow(int) {}
void uiRebindOpenWindows() {}
bool uiWindowPosition(void*, int*, int*) { return false; }
void uiDestroyWindow(WindowEntry&) {}
void uiSetControlText(void* hwnd, int id, const char* text) { SetDlgItemTextA(static_cast<HWND>(hwnd), id, text); }
