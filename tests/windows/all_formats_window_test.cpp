// The Advanced window's "Process all formats" switch: what it does to a 48 kHz 24-bit block, the
// line that says so, the settings file (only while on) and presets (never).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/windows/ui_fixture.h"

using namespace uitest;

namespace {

constexpr int kAdvancedTemplate = 121;
constexpr int kAdvancedButton = 1048;
constexpr int kProcessAllFormats = 1150;
constexpr int kFormatStatus = 1151;
constexpr int kFrames = 4096;

// A 48 kHz 24-bit stereo block (a ramp of full-scale steps), as bytes.
std::vector<uint8_t> block24() {
    std::vector<uint8_t> bytes(kFrames * 2 * 3);
    for (int i = 0; i < kFrames * 2; ++i) {
        const int32_t value = ((i * 7919) % 4000001) - 2000000;
        bytes[3 * i] = static_cast<uint8_t>(value & 255);
        bytes[3 * i + 1] = static_cast<uint8_t>((value >> 8) & 255);
        bytes[3 * i + 2] = static_cast<uint8_t>((value >> 16) & 255);
    }
    return bytes;
}

bool runChangesBlock(PluginSession& session) {
    std::vector<uint8_t> bytes = block24();
    const std::vector<uint8_t> sent = bytes;
    EXPECT_EQ(session.module()->ModifySamples(session.module(), reinterpret_cast<short*>(bytes.data()), kFrames, 24, 2,
                                              48000),
              kFrames);
    // The bridge's queue holds the first few milliseconds back: run a second block.
    session.module()->ModifySamples(session.module(), reinterpret_cast<short*>(bytes.data()), kFrames, 24, 2, 48000);
    return bytes != sent;
}

}  // namespace

TEST_F(UiTest, ProcessAllFormatsSwitchesTheAdaptedFormatsAndIsKeptOnlyInTheSettingsFile) {
    std::string settingsAfter;
    {
        PluginSession session;
        ASSERT_TRUE(session.ready());
        session.config();
        HWND consoleWindow = console();
        ASSERT_NE(consoleWindow, nullptr);
        click(consoleWindow, kAdvancedButton);
        HWND advanced = findWindow(kAdvancedTemplate);
        ASSERT_NE(advanced, nullptr);
        EXPECT_EQ(IsDlgButtonChecked(advanced, kProcessAllFormats), BST_UNCHECKED) << "off by default";
        EXPECT_EQ(controlText(advanced, kProcessAllFormats), "Process all formats (resampled to 44.1 kHz)");

        EXPECT_FALSE(runChangesBlock(session)) << "off: 48 kHz 24-bit passes through";
        timerTick(consoleWindow, kFastTimer);
        EXPECT_EQ(controlText(advanced, kFormatStatus), "48000 Hz 24-bit stereo: passed through untouched.");

        click(advanced, kProcessAllFormats);
        EXPECT_EQ(IsDlgButtonChecked(advanced, kProcessAllFormats), BST_CHECKED);
        EXPECT_TRUE(runChangesBlock(session)) << "on: 48 kHz 24-bit is processed";
        timerTick(consoleWindow, kFastTimer);
        const std::string status = controlText(advanced, kFormatStatus);
        EXPECT_EQ(status.rfind("48000 Hz 24-bit stereo: processed, resampled to 44.1 kHz; delay ", 0), 0u) << status;

        // A saved preset never holds the switch.
        const int slot1 = listIndexOf(consoleWindow, "01:");
        ASSERT_GE(slot1, 0);
        selectListItem(consoleWindow, kPresetList, slot1);
        typeText(consoleWindow, kNameBox, "Formats");
        click(consoleWindow, kSaveButton);
        const std::string preset = readFile(settingsDirectory() + "DV_Preset01.ini");
        EXPECT_EQ(settingsValue(preset, "General.Name"), "Formats");
        EXPECT_EQ(preset.find("ProcessAllFormats"), std::string::npos);
        session.quit();
        settingsAfter = readFile(settingsDirectory() + "dsp_Drelvant.ini");
    }
    EXPECT_EQ(settingsValue(settingsAfter, "General.ProcessAllFormats"), "1");

    // Read back at start-up; switched off, the key leaves the file.
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    click(console(), kAdvancedButton);
    HWND advanced = findWindow(kAdvancedTemplate);
    ASSERT_NE(advanced, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(advanced, kProcessAllFormats), BST_CHECKED);
    click(advanced, kProcessAllFormats);
    session.quit();
    EXPECT_EQ(readFile(settingsDirectory() + "dsp_Drelvant.ini").find("ProcessAllFormats"), std::string::npos);
}
