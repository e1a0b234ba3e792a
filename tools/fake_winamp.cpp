// Stands in for winamp.exe in installer tests: shows Winamp's main window class and, like Winamp,
// keeps a DSP plug-in loaded while it runs.
//   fake_winamp [PLUGIN.dll|-] [SECONDS] [WINDOW_CLASS]
// Loads PLUGIN (unless "-"), creates a window of class WINDOW_CLASS (default "Winamp v1.x"; another
// name plays some other program that hosts Winamp plug-ins), writes "running" to
// fake_winamp.ready beside itself and runs until the window is closed or SECONDS (default 60)
// have passed, so a test that forgets it cannot hang.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kWinampWindowClass[] = "Winamp v1.x";
constexpr UINT_PTR kGiveUpTimer = 1;

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kGiveUpTimer) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

std::string ownFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

}  // namespace

int main(int argc, char** argv) {
    HMODULE plugin = nullptr;
    if (argc > 1 && std::strcmp(argv[1], "-") != 0) {
        plugin = LoadLibraryA(argv[1]);
        if (plugin == nullptr) {
            std::fprintf(stderr, "fake_winamp: cannot load %s\n", argv[1]);
            return 1;
        }
    }
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    const char* className = argc > 3 ? argv[3] : kWinampWindowClass;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA(className, "Winamp", WS_OVERLAPPEDWINDOW, 0, 0, 275, 116, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "fake_winamp: cannot create the window (error %lu)\n", GetLastError());
        return 1;
    }
    SetTimer(window, kGiveUpTimer, static_cast<UINT>(seconds) * 1000u, nullptr);

    const std::string ready = ownFolder() + "fake_winamp.ready";
    if (FILE* file = std::fopen(ready.c_str(), "w")) {
        std::fputs("running\n", file);
        std::fclose(file);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    std::remove(ready.c_str());
    if (plugin != nullptr) FreeLibrary(plugin);
    return 0;
}
