// The DLL as a Winamp-style host meets it: export, header, module, lifecycle, untouched formats.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/winamp_dsp.h"

namespace {

// Loads a fresh copy of the plug-in (every test starts from a library that was never initialised).
struct LoadedPlugin {
    HMODULE library = nullptr;
    winampDSPHeader* header = nullptr;
    winampDSPModule* module = nullptr;

    LoadedPlugin() {
        library = LoadLibraryA("dsp_drelvant.dll");
        if (library == nullptr) return;
        using GetHeader = winampDSPHeader* (*)();
        auto getHeader =
            reinterpret_cast<GetHeader>(reinterpret_cast<void*>(GetProcAddress(library, "winampDSPGetHeader2")));
        if (getHeader == nullptr) return;
        header = getHeader();
        module = header->getModule(0);
        if (module != nullptr) {
            module->hwndParent = GetDesktopWindow();
            module->hDllInstance = library;
        }
    }
    ~LoadedPlugin() {
        if (library != nullptr) FreeLibrary(library);
    }
};

std::string settingsFilePath() {
    // The plug-in keeps its files in the first candidate folder where it can create one; under a
    // fresh Wine prefix that is the Windows folder unless a Winamp folder exists.
    char windowsDirectory[MAX_PATH];
    GetWindowsDirectoryA(windowsDirectory, MAX_PATH);
    return std::string(windowsDirectory) + "\\dsp_Drelvant.ini";
}

std::string readFile(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        std::fclose(file);
    }
    return text;
}

std::vector<short> noiseBlock(size_t count) {
    std::vector<short> samples(count);
    unsigned state = 12345;
    for (auto& s : samples) {
        state = state * 1103515245u + 12345u;
        s = static_cast<short>(state >> 16);
    }
    return samples;
}

struct SeenMessage {
    std::string text, caption;
    bool warningIcon = false;
};

// Finds the configuration warning, records its text and icon, and presses OK.
DWORD WINAPI answerConfigWarning(LPVOID context) {
    auto* result = static_cast<SeenMessage*>(context);
    for (int attempt = 0; attempt < 200; ++attempt) {
        HWND box = FindWindowA("#32770", "Drelvant Configuration");
        if (box != nullptr) {
            char text[512] = {};
            GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
            result->text = text;
            result->caption = "Drelvant Configuration";
            // The icon control is 0x14 on Windows and 0x440 on Wine.
            result->warningIcon = GetDlgItem(box, 0x14) != nullptr || GetDlgItem(box, 0x440) != nullptr;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 0;
}

}  // namespace

TEST(PluginEntry, ExportsOneFunctionAndListsOneModule) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.library, nullptr);
    ASSERT_NE(plugin.header, nullptr);
    EXPECT_EQ(plugin.header->version, 0x20);
    EXPECT_STREQ(plugin.header->description, "Drelvant v1.20");
    ASSERT_NE(plugin.module, nullptr);
    EXPECT_STREQ(plugin.module->description, "Drelvant v1.20");
    EXPECT_EQ(plugin.header->getModule(1), nullptr);
    EXPECT_EQ(plugin.header->getModule(-1), nullptr);
    EXPECT_EQ(plugin.module->userData, nullptr);
    // Only one export: a second, well-known name must not resolve.
    EXPECT_EQ(GetProcAddress(plugin.library, "winampDSPGetHeader"), nullptr);
}

TEST(PluginEntry, LifecycleAndUntouchedFormats) {
    DeleteFileA(settingsFilePath().c_str());
    LoadedPlugin plugin;
    ASSERT_NE(plugin.module, nullptr);
    winampDSPModule* module = plugin.module;

    EXPECT_EQ(module->Init(module), 0);
    EXPECT_EQ(module->Init(module), 0);  // a second call changes nothing

    const struct { int bps, nch, srate; } formats[] = {{8, 2, 44100}, {24, 2, 44100}, {32, 2, 44100},
                                                       {16, 1, 44100}, {16, 6, 44100}, {16, 2, 48000}};
    for (const auto& format : formats) {
        std::vector<short> samples = noiseBlock(6 * 576);
        const std::vector<short> original = samples;
        EXPECT_EQ(module->ModifySamples(module, samples.data(), 576, format.bps, format.nch, format.srate), 576);
        EXPECT_EQ(samples, original) << format.bps << "/" << format.nch << "/" << format.srate;
    }
    EXPECT_EQ(module->ModifySamples(module, nullptr, 0, 16, 2, 44100), 0);

    module->Quit(module);

    std::vector<short> samples = noiseBlock(2 * 576);
    const std::vector<short> original = samples;
    EXPECT_EQ(module->ModifySamples(module, samples.data(), 576, 16, 2, 44100), 576);
    EXPECT_EQ(samples, original) << "audio passes untouched after Quit";

    const std::string settings = readFile(settingsFilePath());
    ASSERT_FALSE(settings.empty()) << settingsFilePath();
    EXPECT_EQ(settings.rfind("Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n"
                             "-----------------------------------------\r\n",
                             0),
              0u);
    EXPECT_NE(settings.find("Window.Main.Show               = 0\r\n"), std::string::npos);
    EXPECT_NE(settings.find("Window.Main.X                  = 32\r\n"), std::string::npos);
    EXPECT_NE(settings.find("Window.Documentation.Y         = 432\r\n"), std::string::npos);
    EXPECT_NE(settings.find("General.StartupPreset          = 0\r\n"), std::string::npos);
    EXPECT_EQ(settings.substr(settings.size() - 2), "\r\n");
}

TEST(PluginEntry, ConfigWhileNotRunningWarns) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.module, nullptr);
    // A helper thread reads and dismisses the warning the way a user would.
    SeenMessage seen;
    HANDLE watcher = CreateThread(nullptr, 0, answerConfigWarning, &seen, 0, nullptr);
    plugin.module->Config(plugin.module);
    WaitForSingleObject(watcher, 15000);
    CloseHandle(watcher);
    EXPECT_EQ(seen.caption, "Drelvant Configuration");
    EXPECT_EQ(seen.text, "Drelvant is not running.  Please select / run the plugin before attempting to configure.");
    EXPECT_TRUE(seen.warningIcon);
}
