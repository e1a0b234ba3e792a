// The documentation window: shows the manual resource and searches it from the Find box.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "analysis/documentation_search.h"
#include "platform/platform.h"
#include "ui/analysis_windows.h"

namespace {

constexpr int kManualResourceId = 110;
constexpr int kManualTextControl = 1071;
constexpr int kSearchTextControl = 1072;

}  // namespace

void LoadDocumentation(HWND window) {
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource("TEXT", kManualResourceId, &bytes, &size) || size == 0) return;

    // The resource carries no terminator: copy it into a zeroed buffer one byte longer.
    char* text = static_cast<char*>(std::calloc(size + 1, 1));
    if (text == nullptr) return;
    std::memcpy(text, bytes, size);

    SetDlgItemTextA(window, kManualTextControl, text);
    HWND edit = GetDlgItem(window, kManualTextControl);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);  // no selection, caret at the start
    std::free(text);
}

void FindInDocumentation(HWND window) {
    char typed[kSearchBufferBytes] = {};
    GetDlgItemTextA(window, kSearchTextControl, typed, kSearchBufferBytes);
    if (typed[0] == '\0') return;
    char search[kSearchBufferBytes];
    PrepareSearchText(typed, search);

    char* text = static_cast<char*>(std::calloc(kManualBufferBytes, 1));
    if (text == nullptr) return;
    GetDlgItemTextA(window, kManualTextControl, text, kManualBufferBytes);
    LowerAsciiInPlace(text);

    HWND edit = GetDlgItem(window, kManualTextControl);
    const DWORD selection = static_cast<DWORD>(SendMessageA(edit, EM_GETSEL, 0, 0));
    const long selectionEnd = HIWORD(selection);
    const long found = FindWithWrap(text, search, selectionEnd);
    if (found < 0) {
        platform::messageBox(window, "String not found", "Drelvant Documentation", platform::kIconWarning);
        std::free(text);
        return;
    }
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(found), static_cast<LPARAM>(found + std::strlen(search)));
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
    std::free(text);
}
