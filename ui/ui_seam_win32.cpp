// The portable code's window seam on Windows: opening, rebinding, placing and destroying real windows.
#include <windows.h>

#include "host/plugin.h"
#include "params/registry.h"
#include "params/ui_seam.h"
#include "platform/shared_value.h"
#include "ui/config_windows.h"

void uiShowConfigWindow(int templateId) { ShowConfigWindow(templateId); }

void uiRebindOpenWindows() {
    // Only windows of the calling thread: a preset loaded by the playback thread's poll (console
    // closed) must never reach into a window the user-interface thread is just opening.
    const DWORD thread = GetCurrentThreadId();
    for (WindowEntry* entry = ModuleRegistry().windows; entry != nullptr; entry = entry->next) {
        HWND hwnd = static_cast<HWND>(loadShared(entry->hwnd));
        if (hwnd != nullptr && GetWindowThreadProcessId(hwnd, nullptr) == thread) BindWindow(*entry, hwnd);
    }
}

bool uiWindowPosition(void* hwnd, int* left, int* top) {
    RECT rect;
    if (hwnd == nullptr || !GetWindowRect(static_cast<HWND>(hwnd), &rect)) return false;
    *left = rect.left;
    *top = rect.top;
    return true;
}

void uiDestroyWindow(WindowEntry& entry) {
    if (entry.hwnd == nullptr) return;
    ReleaseOffscreenSurface(entry);
    DestroyWindow(static_cast<HWND>(entry.hwnd));
    storeShared(entry.hwnd, static_cast<void*>(nullptr));
}

void uiSetControlText(void* hwnd, int controlId, const char* text) {
    if (hwnd != nullptr) SetDlgItemTextA(static_cast<HWND>(hwnd), controlId, text);
}
