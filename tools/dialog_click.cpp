// Clicks a button of another program's dialog, for pictures of installer pages under Wine.
//   dialog_click TITLE BUTTON_ID [SECONDS]
// Waits up to SECONDS (default 20) for an enabled top-level window whose title starts with TITLE
// (installers add page captions to theirs; a modal message box and the window it blocks share a
// title, and only the message box is enabled) and sends it the
// click of the button with BUTTON_ID (1 OK / Next / Install / Finish, 2 Cancel, 6 Yes, 7 No).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Search {
    const char* title;
    HWND found;
    bool report;  // print every window of that title with its state
};

BOOL CALLBACK visitWindow(HWND hwnd, LPARAM context) {
    Search* search = reinterpret_cast<Search*>(context);
    // InternalGetWindowText reads the title without sending the window a message, so a busy
    // installer cannot keep this program waiting.
    wchar_t wideTitle[256];
    InternalGetWindowText(hwnd, wideTitle, 256);
    char title[256];
    WideCharToMultiByte(CP_ACP, 0, wideTitle, -1, title, sizeof title, nullptr, nullptr);
    const bool titled = std::strncmp(title, search->title, std::strlen(search->title)) == 0;
    if (search->report && titled) {
        std::fprintf(stderr, "  window %p visible %d enabled %d\n", static_cast<void*>(hwnd), IsWindowVisible(hwnd) ? 1 : 0,
                     IsWindowEnabled(hwnd) ? 1 : 0);
    }
    if (titled && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialog_click TITLE BUTTON_ID [SECONDS]\n");
        return 2;
    }
    const int buttonId = std::atoi(argv[2]);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 20;
    Search search{argv[1], nullptr, false};
    HWND button = nullptr;
    // The window may not be there yet, and a page's button may still be disabled (an installer
    // at work): wait for both.
    for (int waited = 0; waited < seconds * 10; ++waited) {
        search.found = nullptr;
        EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            button = GetDlgItem(search.found, buttonId);
            if (button != nullptr && IsWindowEnabled(button)) break;
        }
        Sleep(100);
    }
    if (search.found == nullptr) {
        std::fprintf(stderr, "dialog_click: no enabled window titled \"%s\"\n", argv[1]);
        search.report = true;
        EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&search));
        return 1;
    }
    if (button == nullptr || !IsWindowEnabled(button)) {
        std::fprintf(stderr, "dialog_click: \"%s\" has no enabled button %d\n", argv[1], buttonId);
        return 1;
    }
    PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return 0;
}
