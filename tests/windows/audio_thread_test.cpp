// The playback thread keeps running blocks while the user works through every window and every preset.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/windows/ui_fixture.h"

namespace uitest {

TEST_F(UiTest, PlaybackThreadRunsThroughWindowWork) {
    MessageBoxAnswerer answerer;
    PluginSession session;
    ASSERT_TRUE(session.ready());

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<bool> wrongLength{false};
    std::thread playback([&] {
        std::vector<short> block(2 * 1152);
        unsigned state = 2024;
        while (!stop) {
            for (short& sample : block) {
                state = state * 1103515245u + 12345u;
                sample = static_cast<short>(static_cast<int>(state >> 16) / 4);
            }
            if (session.process(block.data(), 1152) != 1152) wrongLength = true;
            ++blocks;
        }
    });
    // Waits until the playback thread has run a few more blocks (it never waits for the windows).
    auto playbackAdvances = [&] {
        const long start = blocks;
        while (blocks < start + 3) {
            pumpMessages();
            std::this_thread::yield();
        }
    };

    for (int round = 0; round < 2; ++round) {
        session.config();
        HWND consoleWindow = console();
        ASSERT_NE(consoleWindow, nullptr);
        for (const WindowInfo& info : kWindows) {
            if (info.openButton != 0) click(consoleWindow, info.openButton);
        }
        // Every slider of every window moves end to end, every check box flips twice.
        for (const WindowInfo& info : kWindows) {
            HWND window = findWindow(info.templateId);
            ASSERT_NE(window, nullptr) << info.name;
            for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
                const int id = GetDlgCtrlID(child);
                const std::string kind = className(child);
                if (kind == "msctls_trackbar32") {
                    const int top = static_cast<int>(SendMessageA(child, TBM_GETRANGEMAX, 0, 0));
                    dragSlider(window, id, 0);
                    dragSlider(window, id, top);
                    dragSlider(window, id, top / 2);
                } else if (kind == "Button" && (GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX &&
                           id != kBypassAll) {
                    click(window, id);
                    click(window, id);
                }
            }
            timerTick(consoleWindow, kSlowTimer);
            timerTick(consoleWindow, kFastTimer);
        }
        playbackAdvances();
        // Every factory preset, loaded while audio runs (pending edits: the question is answered Yes).
        for (int index = 0; index < 7; ++index) {
            selectListItem(consoleWindow, kPresetList, index);
            click(consoleWindow, kLoadButton);
            timerTick(consoleWindow, kSlowTimer);
            timerTick(consoleWindow, kFastTimer);
        }
        playbackAdvances();
        closeWindow(consoleWindow);
        EXPECT_EQ(console(), nullptr);
        playbackAdvances();  // the console is closed: the playback thread polls for remote selections
    }
    answerer.take();

    // Shut-down while blocks keep coming: they pass through from Quit on.
    session.quit();
    playbackAdvances();
    stop = true;
    playback.join();
    EXPECT_FALSE(wrongLength);
    EXPECT_GT(blocks.load(), 0);
}

}  // namespace uitest
