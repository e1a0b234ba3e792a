// Pictures of every window with a test tone running, kept as artefacts of the test run in screenshots/.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/windows/ui_fixture.h"

namespace uitest {

TEST_F(UiTest, ScreenshotOfEveryWindow) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    for (const WindowInfo& info : kWindows) {
        if (info.openButton != 0) click(consoleWindow, info.openButton);
    }
    // A sine through the whole chain, so that meters, oscilloscope and spectrum have something to show.
    HWND tones = findWindow(104);
    ASSERT_NE(tones, nullptr);
    click(tones, 1025);
    std::vector<short> block(2 * 4096, 0);
    for (int round = 0; round < 12; ++round) {
        session.process(block.data(), 4096);
        timerTick(consoleWindow, kFastTimer);
    }
    timerTick(consoleWindow, kSlowTimer);

    CreateDirectoryA("screenshots", nullptr);
    for (const WindowInfo& info : kWindows) {
        HWND window = findWindow(info.templateId);
        ASSERT_NE(window, nullptr) << info.name;
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "screenshots\\%d_%s.bmp", info.templateId, info.name);
        EXPECT_TRUE(saveWindowImage(window, path)) << path;
    }
}

}  // namespace uitest
