// Soak host: runs the plug-in DLL for a long time as a busy Winamp would, and watches it.
//   soak_host DLL SECONDS [SPEED] [--all-formats]
// SPEED feeds the audio at that many times real time, as a player does at 1; without it (or 0)
// blocks follow each other as fast as the plug-in takes them. Pauses, preset changes and format
// changes follow the clock either way.
// Cycles formats (44.1 kHz stereo, 48 kHz, mono, 24-bit), block sizes from 1 to 4,608 frames,
// pauses longer than 6 s, and remote preset changes through "DV_Select.tmp" (factory presets, a
// user preset, some with "Default"); reports memory use over time. It checks what it drives:
// every command file is consumed; while a transparent preset (F7, or a user preset on F7) is
// loaded, processed blocks come back exactly as sent (clamped), and while any other preset is
// loaded they do not, so each selection is known to have been applied; unprocessed formats come
// back untouched; the startup preset written at Quit is the last one selected with "Default".
// --all-formats starts the plug-in with "Process all formats" on and changes the format between
// blocks as well: 8/16/24/32-bit, mono and stereo, 8 kHz to 192 kHz, and six channels (which
// still pass through untouched).
// Exit status 0 only when everything held.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/winamp_dsp.h"

namespace {

constexpr int kMaxBlockFrames = 4608;
constexpr DWORD kPauseEveryMs = 60000;
constexpr DWORD kPauseMs = 6500;           // longer than the plug-in's 6,000 ms idle reset
constexpr DWORD kSelectionGapMs = 3000;     // between one command's consumption and the next command
constexpr DWORD kSelectionPatienceMs = 30000;  // the plug-in polls every 2 s while it is fed blocks
constexpr DWORD kFormatPeriodMs = 20000;
constexpr DWORD kReportEveryMs = 10000;
constexpr DWORD kSettleMs = 60000;          // memory may settle during the first minute
constexpr double kAllowedGrowthMb = 8.0;
constexpr int kTransparentUserSlot = 5;
constexpr short kClampedPeak = 32764;

struct Format {
    int bps, nch, srate;
    const char* name;
};
const Format kFormats[] = {{16, 2, 44100, "16-bit stereo 44.1 kHz"},
                           {16, 2, 48000, "16-bit stereo 48 kHz"},
                           {16, 1, 44100, "16-bit mono 44.1 kHz"},
                           {24, 2, 44100, "24-bit stereo 44.1 kHz"},
                           {16, 2, 44100, "16-bit stereo 44.1 kHz"}};
constexpr int kFormatCount = sizeof kFormats / sizeof kFormats[0];
const Format kAllFormats[] = {{16, 2, 44100, "16-bit stereo 44.1 kHz"}, {24, 2, 48000, "24-bit stereo 48 kHz"},
                              {16, 1, 48000, "16-bit mono 48 kHz"},    {8, 2, 8000, "8-bit stereo 8 kHz"},
                              {32, 2, 192000, "32-bit stereo 192 kHz"}, {24, 1, 44100, "24-bit mono 44.1 kHz"},
                              {16, 2, 22050, "16-bit stereo 22.05 kHz"}, {16, 2, 96000, "16-bit stereo 96 kHz"},
                              {16, 6, 48000, "16-bit 6 channels 48 kHz"}};
constexpr int kAllFormatCount = sizeof kAllFormats / sizeof kAllFormats[0];
constexpr int kMaxFrameBytes = 6 * 2;  // the widest frame of either list (32-bit stereo is 8)

// Transparent presets have every stage off, density drive and post amp at 0 dB and no dither:
// each sample comes back as sent, clamped to +-32,764.
struct Selection {
    int number;
    bool makeDefault;
    bool transparent;
};
const Selection kSelections[] = {
    {-6, false, true},  {0, false, false}, {kTransparentUserSlot, false, true}, {-2, true, false},
    {-6, true, true},   {-3, false, false}, {kTransparentUserSlot, true, true},  {-1, false, false},
    {-4, false, false}, {-5, true, false},
};
constexpr int kSelectionCount = sizeof kSelections / sizeof kSelections[0];

unsigned noiseState = 1;
unsigned short nextNoise() {
    noiseState = noiseState * 1103515245u + 12345u;
    return static_cast<unsigned short>(noiseState >> 16);
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

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool directoryExists(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the plug-in keeps its files: Winamp's folder when there is one, else (as in a fresh
// prefix) the Windows folder.
std::string settingsDirectory() {
    if (directoryExists("C:\\Progra~1\\Winamp\\")) return "C:\\Progra~1\\Winamp\\";
    char directory[MAX_PATH];
    GetWindowsDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\";
}

bool writeText(const std::string& path, const char* text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fputs(text, file);
    return std::fclose(file) == 0;
}

// The value of "General.StartupPreset" in the settings file, or `fallback`.
int startupPresetInSettings(const std::string& path, int fallback) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return fallback;
    char line[256];
    int value = fallback;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, "General.StartupPreset ", 22) == 0) {
            const char* sign = std::strchr(line, '=');
            if (sign != nullptr) value = std::atoi(sign + 1);
        }
    }
    std::fclose(file);
    return value;
}

short clamped(short x) { return std::max<short>(-kClampedPeak, std::min<short>(kClampedPeak, x)); }

// A file the soak replaces for its run and puts back afterwards (the prefix may be shared with
// other tests): its bytes, or nothing when it did not exist.
struct SavedFile {
    std::string path;
    bool existed = false;
    std::string bytes;

    explicit SavedFile(std::string filePath) : path(std::move(filePath)) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return;
        existed = true;
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
        std::fclose(file);
    }
    void restore() const {
        if (!existed) {
            DeleteFileA(path.c_str());
            return;
        }
        if (FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    const bool allFormats = argc > 3 && std::strcmp(argv[argc - 1], "--all-formats") == 0;
    if (allFormats) --argc;
    if (argc < 3) {
        std::fprintf(stderr, "usage: soak_host DLL SECONDS [SPEED] [--all-formats]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const double speed = argc > 3 ? std::atof(argv[3]) : 0.0;
    if (!(seconds >= 0) || !(speed >= 0)) {
        std::fprintf(stderr, "soak_host: SECONDS and SPEED must be numbers of 0 or more\n");
        return 2;
    }
    const std::string directory = settingsDirectory();
    const std::string selectionPath = directory + "DV_Select.tmp";
    const std::string settingsPath = directory + "dsp_Drelvant.ini";
    // Start from no settings (the console closed, so the playback thread polls) and no stale
    // command; slot 5 holds a user preset that only names F7 as its base. Both files are put back
    // as they were at the end.
    char userPresetName[32];
    std::snprintf(userPresetName, sizeof userPresetName, "DV_Preset%.2d.ini", kTransparentUserSlot);
    const SavedFile savedSettings(settingsPath);
    const SavedFile savedUserPreset(directory + userPresetName);
    DeleteFileA(selectionPath.c_str());
    DeleteFileA(settingsPath.c_str());
    if (allFormats) {
        writeText(settingsPath, "Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n"
                                "-----------------------------------------\r\n"
                                "General.ProcessAllFormats      = 1\r\n");
    }
    char userPreset[512];
    std::snprintf(userPreset, sizeof userPreset,
                  "Drelvant\r\nThis is a preset file for Drelvant v1.20\r\nFilename: DV_Preset%.2d.ini\r\n"
                  "-----------------------------------------\r\n"
                  "General.Name                   = Soak transparent\r\n"
                  "General.BaseFactoryPreset      = -6\r\n",
                  kTransparentUserSlot);
    if (!writeText(directory + userPresetName, userPreset)) {
        std::fprintf(stderr, "soak_host: cannot write a user preset into %s\n", directory.c_str());
        savedSettings.restore();
        return 1;
    }

    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "soak_host: cannot load %s\n", argv[1]);
        savedSettings.restore();
        savedUserPreset.restore();
        return 1;
    }
    using GetHeader = winampDSPHeader* (*)();
    auto getHeader = reinterpret_cast<GetHeader>(reinterpret_cast<void*>(GetProcAddress(library, "winampDSPGetHeader2")));
    winampDSPModule* module = getHeader()->getModule(0);
    module->hwndParent = GetDesktopWindow();
    module->hDllInstance = library;
    module->Init(module);

    std::vector<unsigned char> buffer(static_cast<size_t>(kMaxBlockFrames) * kMaxFrameBytes);
    std::vector<unsigned char> sent(buffer.size());
    const DWORD start = GetTickCount();
    DWORD lastReport = start, lastPause = start, lastConsumed = start;
    DWORD commandWritten = start;
    long long blocks = 0, badBlocks = 0, frames = 0, formatBlocks[kFormatCount] = {}, allFormatBlocks[kAllFormatCount] = {};
    int allFormatIndex = 0;
    int smallestBlock = kMaxBlockFrames, largestBlock = 0, pauses = 0;
    SIZE_T firstMemory = 0, peakMemory = 0, settledMemory = 0, lastMemory = 0;
    // With a speed: the audio fed since playback (re)started, and when it started.
    double fedMs = 0.0;
    DWORD playbackStart = start;

    int nextSelection = 0;
    bool commandPending = false;
    int pendingSelection = -1, currentSelection = -1, lastDefault = 0;
    bool anyDefault = false;
    long long written = 0, consumed = 0, lostCommands = 0, transparentViolations = 0, unappliedSelections = 0;
    long long periodProcessedBlocks = 0;
    bool periodChanged = false;
    // A non-transparent selection whose period saw processed blocks but none changed was not applied.
    auto closePeriod = [&] {
        if (currentSelection >= 0 && !kSelections[currentSelection].transparent && periodProcessedBlocks > 0 &&
            !periodChanged) {
            ++unappliedSelections;
        }
        periodProcessedBlocks = 0;
        periodChanged = false;
    };

    std::printf("elapsed_s,private_bytes,blocks\n");
    while ((GetTickCount() - start) / 1000.0 < seconds) {
        DWORD now = GetTickCount();
        if (now - lastPause > kPauseEveryMs) {  // a stop longer than the idle-reset time
            Sleep(kPauseMs);
            ++pauses;
            lastPause = now = GetTickCount();
            playbackStart = now;
            fedMs = 0.0;
        }
        if (speed > 0) {
            const double aheadMs = fedMs / speed - static_cast<double>(now - playbackStart);
            if (aheadMs >= 1.0) {
                Sleep(static_cast<DWORD>(aheadMs));
                now = GetTickCount();
            }
        }
        if (!commandPending && now - lastConsumed > kSelectionGapMs) {
            const Selection& selection = kSelections[nextSelection];
            char text[32];
            std::snprintf(text, sizeof text, selection.makeDefault ? "%d\r\nDefault\r\n" : "%d\r\n", selection.number);
            if (writeText(selectionPath, text)) {
                commandPending = true;
                pendingSelection = nextSelection;
                commandWritten = now;
                ++written;
                nextSelection = (nextSelection + 1) % kSelectionCount;
            }
        }

        const int formatIndex = static_cast<int>((now - start) / kFormatPeriodMs % kFormatCount);
        // With all formats on, one block in eight changes to another format at random.
        if (allFormats && nextNoise() % 8 == 0) allFormatIndex = nextNoise() % kAllFormatCount;
        const Format& format = allFormats ? kAllFormats[allFormatIndex] : kFormats[formatIndex];
        const int blockFrames = 1 + nextNoise() % kMaxBlockFrames;
        const size_t bytes = static_cast<size_t>(blockFrames) * format.nch * (format.bps / 8);
        for (size_t i = 0; i < bytes; ++i) buffer[i] = static_cast<unsigned char>(nextNoise());
        std::memcpy(sent.data(), buffer.data(), bytes);
        const int returned = module->ModifySamples(module, reinterpret_cast<short*>(buffer.data()), blockFrames,
                                                   format.bps, format.nch, format.srate);
        if (returned != blockFrames) ++badBlocks;

        // The poll runs at the start of a block, so this block already ran with what it loaded.
        if (commandPending && !fileExists(selectionPath)) {
            closePeriod();
            commandPending = false;
            currentSelection = pendingSelection;
            ++consumed;
            lastConsumed = GetTickCount();
            if (kSelections[currentSelection].makeDefault) {
                anyDefault = true;
                lastDefault = kSelections[currentSelection].number;
            }
        } else if (commandPending && GetTickCount() - commandWritten > kSelectionPatienceMs) {
            ++lostCommands;  // not consumed within 30 s; remove it and go on
            DeleteFileA(selectionPath.c_str());
            commandPending = false;
            lastConsumed = GetTickCount();
        }

        const bool processedFormat = format.bps == 16 && format.nch == 2 && format.srate == 44100;
        const bool adaptedFormat = allFormats && !processedFormat && format.nch <= 2;
        if (adaptedFormat) {
            // The high-resolution path: anything may come back, as many frames as were given.
        } else if (processedFormat) {
            const short* in = reinterpret_cast<const short*>(sent.data());
            const short* out = reinterpret_cast<const short*>(buffer.data());
            bool asSent = true;
            for (int i = 0; i < 2 * blockFrames; ++i) {
                if (out[i] > kClampedPeak || out[i] < -kClampedPeak) ++badBlocks;
                asSent = asSent && out[i] == clamped(in[i]);
            }
            if (currentSelection >= 0) {
                ++periodProcessedBlocks;
                if (!asSent) periodChanged = true;
                if (kSelections[currentSelection].transparent && !asSent) ++transparentViolations;
            }
        } else if (std::memcmp(sent.data(), buffer.data(), bytes) != 0) {
            ++badBlocks;  // other formats pass untouched
        }
        ++blocks;
        frames += blockFrames;
        fedMs += blockFrames * 1000.0 / format.srate;
        ++(allFormats ? allFormatBlocks[allFormatIndex] : formatBlocks[formatIndex]);
        smallestBlock = std::min(smallestBlock, blockFrames);
        largestBlock = std::max(largestBlock, blockFrames);

        if (now - lastReport >= kReportEveryMs || blocks == 1) {
            lastMemory = privateBytes();
            if (firstMemory == 0) firstMemory = lastMemory;
            if (settledMemory == 0 && now - start >= kSettleMs) settledMemory = lastMemory;
            peakMemory = std::max(peakMemory, lastMemory);
            std::printf("%.0f,%lu,%lld\n", (now - start) / 1000.0, static_cast<unsigned long>(lastMemory), blocks);
            std::fflush(stdout);
            lastReport = now;
        }
    }
    closePeriod();
    module->Quit(module);
    FreeLibrary(library);

    const int startupPreset = startupPresetInSettings(settingsPath, 0);
    savedSettings.restore();
    savedUserPreset.restore();
    DeleteFileA(selectionPath.c_str());
    const bool defaultKept = !anyDefault || startupPreset == lastDefault;
    const double mb = 1048576.0;
    const double growthMb = (static_cast<double>(peakMemory) - static_cast<double>(firstMemory)) / mb;
    const double settledGrowthMb =
        settledMemory != 0 ? (static_cast<double>(peakMemory) - static_cast<double>(settledMemory)) / mb : 0.0;
    std::printf("blocks %lld (%lld frames, sizes %d ... %d), bad blocks %lld\n", blocks, frames, smallestBlock,
                largestBlock, badBlocks);
    for (int i = 0; i < kFormatCount - 1 && !allFormats; ++i) {
        const long long count = formatBlocks[i] + (i == 0 ? formatBlocks[kFormatCount - 1] : 0);
        std::printf("  %s: %lld blocks\n", kFormats[i].name, count);
    }
    for (int i = 0; i < kAllFormatCount && allFormats; ++i) {
        std::printf("  %s: %lld blocks\n", kAllFormats[i].name, allFormatBlocks[i]);
    }
    std::printf("pauses over 6 s: %d, speed %s\n", pauses, speed > 0 ? argv[3] : "as fast as possible");
    std::printf("selections written %lld, consumed %lld, lost %lld, transparent blocks altered %lld, "
                "selections not applied %lld, startup preset %d (last default %s%d)\n",
                written, consumed, lostCommands, transparentViolations, unappliedSelections, startupPreset,
                anyDefault ? "" : "none, ", lastDefault);
    std::printf("memory first %.1f MB, peak %.1f MB, last %.1f MB, growth %.2f MB", firstMemory / mb, peakMemory / mb,
                lastMemory / mb, growthMb);
    if (settledMemory != 0) {
        std::printf(" (after 1 min %.1f MB, growth since %.2f MB)", settledMemory / mb, settledGrowthMb);
    }
    std::printf("\n");
    const bool selectionsHeld = lostCommands == 0 && transparentViolations == 0 && unappliedSelections == 0 &&
                                (seconds < 10 || consumed > 0) && defaultKept;
    // Anything beyond a few megabytes of growth is a leak.
    const bool ok = badBlocks == 0 && growthMb < kAllowedGrowthMb && selectionsHeld;
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
