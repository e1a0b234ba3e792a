// Common set-up of the user-interface tests: a clean settings folder before and after every test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/windows/ui_driver.h"

namespace uitest {

class UiTest : public ::testing::Test {
protected:
    void SetUp() override { clearSettingsFiles(); }
    void TearDown() override {
        clearSettingsFiles();
        restoreSettingsFiles();
    }
};

// Control ids of the console used by several tests.
constexpr int kPresetList = 1005;
constexpr int kLoadButton = 1003;
constexpr int kSaveButton = 1004;
constexpr int kDeleteButton = 1008;
constexpr int kDefaultButton = 1010;
constexpr int kNameBox = 1009;
constexpr int kDefaultLabel = 1042;
constexpr int kChangedLabel = 1023;
constexpr int kHardClipLabel = 1047;
constexpr int kBypassAll = 1001;
constexpr int kPostAmpSlider = 1043;
constexpr int kPostAmpLabel = 1044;
constexpr int kInputMeterLabel = 1030;
constexpr int kOutputMeterLabel = 1031;
constexpr int kSlowTimer = 1;
constexpr int kFastTimer = 2;

// The list index of the item whose text starts with `prefix` ("F7:", "12:"), or -1.
inline int listIndexOf(HWND consoleWindow, const std::string& prefix) {
    const int count = static_cast<int>(SendDlgItemMessageA(consoleWindow, kPresetList, LB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        if (listItemText(consoleWindow, kPresetList, index).rfind(prefix, 0) == 0) return index;
    }
    return -1;
}

// "Settings Changed" over two slow ticks: blinking shows it on exactly one of them while changes
// are pending, and on none when there are none.
inline int changedShownOverTwoTicks(HWND consoleWindow) {
    int shown = 0;
    for (int tick = 0; tick < 2; ++tick) {
        timerTick(consoleWindow, kSlowTimer);
        const std::string text = controlText(consoleWindow, kChangedLabel);
        if (text == "Settings Changed") {
            ++shown;
        } else {
            EXPECT_EQ(text, "");
        }
    }
    return shown;
}

// A block of `frames` stereo frames holding `value` in every sample.
inline std::vector<short> constantBlock(int frames, short value) {
    return std::vector<short>(static_cast<std::size_t>(frames) * 2, value);
}

}  // namespace uitest
