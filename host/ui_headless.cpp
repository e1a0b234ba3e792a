// The user-interface seam of builds without windows: nothing is ever open.
#ifndef _WIN32

#include "params/ui_seam.h"

void uiShowConfigWindow(int) {}
void uiRebindOpenWindows() {}
bool uiWindowPosition(void*, int*, int*) { return false; }
void uiDestroyWindow(WindowEntry&) {}
void uiSetControlText(void*, int, const char*) {}
DialogProc uiDialogProc() { return nullptr; }

#endif
