// Plays a 1 kHz tone through the plug-in with the analysis and manual windows open, pausing at each stage for a screenshot.
//   analysis_driver DLL HANDSHAKE_DIR [SWEEP_SECONDS]
// Runs like a small Winamp: a host window and message loop on the main thread, ModifySamples
// on a playback thread in real time. At each stage it writes HANDSHAKE_DIR\NAME.ready and waits
// (at most 20 s) for NAME.done, which the screenshot script creates once it has its picture:
//   playing    tone running, oscilloscope and spectrum live, a click on the plot refused
//   stopped    playback stopped, the plot offers the sweep
//   sweeping   a sweep started by a click on the plot, part-way through
//   swept      the sweep finished (or SWEEP_SECONDS passed), its duration on the plot
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host/winamp_dsp.h"

namespace {

constexpr int kBlockFrames = 576;
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.5;  // -6 dBFS
constexpr double kSampleRate = 44100.0;
constexpr DWORD kHandshakeTimeoutMs = 20000;

constexpr int kSpectrumButton = 1012;
constexpr int kOscilloscopeButton = 1013;
constexpr int kResponseButton = 1015;
constexpr int kHelpButton = 1037;
constexpr int kSearchBox = 1072;
constexpr int kGoButton = 1073;

std::atomic<bool> playing{false};
std::atomic<bool> quitPlayback{false};

LRESULT CALLBACK hostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND createHostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DrelvantAnalysisDriver";
    RegisterClassA(&windowClass);
    return CreateWindowA("DrelvantAnalysisDriver", "Winamp", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

// Handles window messages (timers, painting) for `milliseconds`.
void pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
}

// Announces a stage and keeps the windows alive until the screenshot script answers.
void stage(const std::string& directory, const char* name) {
    const std::string ready = directory + "\\" + name + ".ready";
    const std::string done = directory + "\\" + name + ".done";
    if (FILE* file = std::fopen(ready.c_str(), "wb")) std::fclose(file);
    std::printf("stage %s\n", name);
    std::fflush(stdout);
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < kHandshakeTimeoutMs)
        pump(50);
}

void click(HWND dialog, int buttonId) { SendMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0); }

HWND findWindowTitled(const char* title) { return FindWindowA(nullptr, title); }

void place(HWND window, int x, int y) {
    if (window != nullptr) SetWindowPos(window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

// The host's playback thread: blocks of a 1 kHz sine, both channels alike, in real time.
void playbackThread(winampDSPModule* module) {
    std::vector<short> block(kBlockFrames * 2);
    double phase = 0.0;
    const double step = 2.0 * 3.141592653589793 * kToneHz / kSampleRate;
    const DWORD blockMs = static_cast<DWORD>(kBlockFrames * 1000 / kSampleRate);
    while (!quitPlayback.load()) {
        if (!playing.load()) {
            Sleep(5);
            continue;
        }
        for (int n = 0; n < kBlockFrames; ++n) {
            const short value = static_cast<short>(32767.0 * kToneAmplitude * std::sin(phase));
            block[2 * n] = value;
            block[2 * n + 1] = value;
            phase += step;
            if (phase > 6.283185307179586) phase -= 6.283185307179586;
        }
        module->ModifySamples(module, block.data(), kBlockFrames, 16, 2, 44100);
        Sleep(blockMs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: analysis_driver DLL HANDSHAKE_DIR [SWEEP_SECONDS]\n");
        return 2;
    }
    const std::string directory = argv[2];
    const DWORD sweepMs = static_cast<DWORD>((argc > 3 ? std::atof(argv[3]) : 20.0) * 1000);

    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "analysis_driver: cannot load %s\n", argv[1]);
        return 1;
    }
    using GetHeader = winampDSPHeader* (*)();
    auto getHeader = reinterpret_cast<GetHeader>(reinterpret_cast<void*>(GetProcAddress(library, "winampDSPGetHeader2")));
    if (getHeader == nullptr) return 1;
    winampDSPModule* module = getHeader()->getModule(0);
    module->hwndParent = createHostWindow();
    module->hDllInstance = library;
    module->Init(module);
    module->Config(module);
    pump(300);

    HWND console = nullptr;  // its title carries a notice after the version
    char title[128];
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetNextWindow(w, GW_HWNDNEXT)) {
        if (GetWindowTextA(w, title, sizeof title) > 0 && std::string(title).rfind("Drelvant v1.20", 0) == 0) {
            console = w;
            break;
        }
    }
    if (console == nullptr) {
        std::fprintf(stderr, "analysis_driver: the console did not open\n");
        return 1;
    }
    click(console, kSpectrumButton);
    click(console, kOscilloscopeButton);
    click(console, kResponseButton);
    click(console, kHelpButton);
    pump(300);
    HWND spectrum = findWindowTitled("Drelvant - Spectrum Analyzer");
    HWND scope = findWindowTitled("Drelvant - Oscilloscope");
    HWND plot = findWindowTitled("Drelvant - Frequency Response Plot");
    HWND manual = findWindowTitled("Drelvant - Documentation");
    place(console, 0, 0);
    place(manual, 0, 470);
    place(spectrum, 720, 0);
    place(scope, 720, 240);
    place(plot, 720, 480);

    // Search the manual twice: the second "Go" steps on to the next match.
    SetDlgItemTextA(manual, kSearchBox, "compressor");
    click(manual, kGoButton);
    click(manual, kGoButton);

    std::thread playback(playbackThread, module);
    playing = true;
    pump(2500);
    SendMessageA(plot, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 100));  // refused: audio is playing
    pump(800);
    stage(directory, "playing");

    playing = false;
    pump(1500);
    stage(directory, "stopped");

    SendMessageA(plot, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 100));
    pump(1500);
    stage(directory, "sweeping");
    pump(sweepMs);
    stage(directory, "swept");

    quitPlayback = true;
    playback.join();
    module->Quit(module);
    FreeLibrary(library);
    return 0;
}
