// Soak host: runs the plug-in DLL for a long time as a busy Winamp would, and watches it.
//   soak_host DLL SECONDS
// Cycles formats (44.1 kHz stereo, 48 kHz, mono, 24-bit), block sizes from 1 to 4,608 frames,
// pauses longer than 6 s, and remote preset changes through "DV_Select.tmp"; reports memory use
// over time and any output outside the clamp. Exit status 0 only when everything held.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/winamp_dsp.h"

namespace {

unsigned noiseState = 1;
short nextNoise() {
    noiseState = noiseState * 1103515245u + 12345u;
    return static_cast<short>(noiseState >> 16);
}

SIZE_T privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        return 0;
    }
    // Wine leaves PrivateUsage at zero; the commit charge tells the same story there.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

std::string settingsDirectory() {
    // A fresh prefix has no Winamp folder, so the plug-in keeps its files in the Windows folder.
    char directory[MAX_PATH];
    GetWindowsDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: soak_host DLL SECONDS\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "soak_host: cannot load %s\n", argv[1]);
        return 1;
    }
    using GetHeader = winampDSPHeader* (*)();
    auto getHeader = reinterpret_cast<GetHeader>(reinterpret_cast<void*>(GetProcAddress(library, "winampDSPGetHeader2")));
    winampDSPModule* module = getHeader()->getModule(0);
    module->hwndParent = GetDesktopWindow();
    module->hDllInstance = library;
    module->Init(module);

    struct Format { int bps, nch, srate; };
    const Format formats[] = {{16, 2, 44100}, {16, 2, 48000}, {16, 1, 44100}, {24, 2, 44100}, {16, 2, 44100}};
    std::vector<unsigned char> buffer(4608 * 8 * 3);
    const DWORD start = GetTickCount();
    DWORD lastReport = start, lastSelection = start, lastPause = start;
    long long blocks = 0, badSamples = 0;
    SIZE_T firstMemory = 0, peakMemory = 0;
    int presetIndex = 0;
    std::printf("elapsed_s,private_bytes,blocks\n");
    while ((GetTickCount() - start) / 1000.0 < seconds) {
        const DWORD now = GetTickCount();
        if (now - lastPause > 60000) {  // a stop longer than the idle-reset time
            Sleep(6500);
            lastPause = GetTickCount();
        }
        if (now - lastSelection > 3000) {
            const std::string path = settingsDirectory() + "DV_Select.tmp";
            if (FILE* file = std::fopen(path.c_str(), "wb")) {
                std::fprintf(file, "%d\r\n", -(presetIndex++ % 7));
                std::fclose(file);
            }
            lastSelection = now;
        }
        const Format& format = formats[(now - start) / 20000 % 5];
        const int frames = 1 + static_cast<int>(static_cast<unsigned short>(nextNoise()) % 4608);
        const size_t bytes = static_cast<size_t>(frames) * format.nch * (format.bps / 8);
        for (size_t i = 0; i < bytes; ++i) buffer[i] = static_cast<unsigned char>(nextNoise());
        const int returned = module->ModifySamples(module, reinterpret_cast<short*>(buffer.data()), frames,
                                                   format.bps, format.nch, format.srate);
        if (returned != frames) ++badSamples;
        if (format.bps == 16 && format.nch == 2 && format.srate == 44100) {
            const short* samples = reinterpret_cast<const short*>(buffer.data());
            for (int i = 0; i < 2 * frames; ++i) {
                if (samples[i] > 32764 || samples[i] < -32764) ++badSamples;
            }
        }
        ++blocks;
        if (now - lastReport >= 10000 || blocks == 1) {
            const SIZE_T memory = privateBytes();
            if (firstMemory == 0) firstMemory = memory;
            if (memory > peakMemory) peakMemory = memory;
            std::printf("%.0f,%lu,%lld\n", (now - start) / 1000.0, static_cast<unsigned long>(memory), blocks);
            std::fflush(stdout);
            lastReport = now;
        }
    }
    module->Quit(module);
    FreeLibrary(library);
    const double growthMb = (static_cast<double>(peakMemory) - static_cast<double>(firstMemory)) / 1048576.0;
    std::printf("blocks %lld, bad samples %lld, memory first %.1f MB, peak %.1f MB, growth %.2f MB\n", blocks,
                badSamples, firstMemory / 1048576.0, peakMemory / 1048576.0, growthMb);
    // Memory may settle during the first minutes; anything beyond a few megabytes is a leak.
    return badSamples == 0 && growthMb < 8.0 ? 0 : 1;
}
