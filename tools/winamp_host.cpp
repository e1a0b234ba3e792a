// A minimal Winamp-style DSP host: loads a plug-in DLL by path and runs a raw file through it.
//   winamp_host DLL INPUT.raw OUTPUT.raw [BLOCK_FRAMES [BPS NCH RATE]]
// INPUT is headerless little-endian PCM, by default signed 16-bit stereo at 44,100 Hz (8-bit is
// unsigned, 24-bit packed in three bytes); OUTPUT gets what the plug-in's ModifySamples returned,
// block by block.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/winamp_dsp.h"

namespace {

LRESULT CALLBACK hostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND createHostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DrelvantTestHost";
    RegisterClassA(&windowClass);
    return CreateWindowA("DrelvantTestHost", "Winamp", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: winamp_host DLL INPUT.raw OUTPUT.raw [BLOCK_FRAMES]\n");
        return 2;
    }
    const int blockFrames = argc > 4 ? std::atoi(argv[4]) : 576;
    if (blockFrames <= 0) {
        std::fprintf(stderr, "winamp_host: block size must be positive\n");
        return 2;
    }
    const int bps = argc > 7 ? std::atoi(argv[5]) : 16;
    const int nch = argc > 7 ? std::atoi(argv[6]) : 2;
    const int srate = argc > 7 ? std::atoi(argv[7]) : 44100;
    if ((bps != 8 && bps != 16 && bps != 24 && bps != 32) || nch < 1 || nch > 8 || srate <= 0) {
        std::fprintf(stderr, "winamp_host: BPS is 8, 16, 24 or 32; NCH 1 ... 8; RATE positive\n");
        return 2;
    }
    const size_t frameBytes = static_cast<size_t>(bps / 8) * nch;
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "winamp_host: cannot load %s\n", argv[1]);
        return 1;
    }
    using GetHeader = winampDSPHeader* (*)();
    auto getHeader = reinterpret_cast<GetHeader>(reinterpret_cast<void*>(GetProcAddress(library, "winampDSPGetHeader2")));
    if (getHeader == nullptr) {
        std::fprintf(stderr, "winamp_host: no winampDSPGetHeader2 in %s\n", argv[1]);
        return 1;
    }
    winampDSPHeader* header = getHeader();
    winampDSPModule* module = header->getModule(0);
    if (module == nullptr) {
        std::fprintf(stderr, "winamp_host: the plug-in lists no module\n");
        return 1;
    }
    std::printf("header version 0x%x \"%s\", module \"%s\"\n", header->version, header->description,
                module->description);
    module->hwndParent = createHostWindow();
    module->hDllInstance = library;
    if (module->Init(module) != 0) {
        std::fprintf(stderr, "winamp_host: Init failed\n");
        return 1;
    }

    FILE* input = std::fopen(argv[2], "rb");
    FILE* output = std::fopen(argv[3], "wb");
    if (input == nullptr || output == nullptr) {
        std::fprintf(stderr, "winamp_host: cannot open the input or the output file\n");
        return 1;
    }
    // Room for twice the frames given: a plug-in may return more than it was given.
    std::vector<short> block((frameBytes * blockFrames * 2 + 1) / 2);
    long long frames = 0;
    for (;;) {
        const size_t got = std::fread(block.data(), frameBytes, blockFrames, input);
        if (got == 0) break;
        const int returned = module->ModifySamples(module, block.data(), static_cast<int>(got), bps, nch, srate);
        std::fwrite(block.data(), frameBytes, returned, output);
        frames += returned;
    }
    std::fclose(input);
    std::fclose(output);
    module->Quit(module);
    std::printf("processed %lld frames\n", frames);
    FreeLibrary(library);
    return 0;
}
