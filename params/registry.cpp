// STUB: replaced by the registry implementation.
#include "params/registry.h"
WindowEntry* WindowList = nullptr;
double CascadePosition = 32.0;
bool SettingsChanged = false;
DialogProc ConfigDialogProcPointer = nullptr;
WindowEntry* RegisterWindow(DialogProc, const char*, int32_t, bool) { return nullptr; }
ParamEntry* RegisterParam(WindowEntry*, int32_t, int32_t, int32_t, int32_t, double, double, double, double, double, void*, const char*, double) { return nullptr; }
int32_t TemplateIdOf(void*) { return 0; }
WindowEntry* FindWindowByTemplate(int32_t) { return nullptr; }
void RegisterAllWindows(LiveParams&, ProcessorState&) {}
void SaveWindowRecordsAndRelease() {}
