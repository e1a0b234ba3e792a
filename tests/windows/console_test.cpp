// The console at work: presets through the real buttons and message boxes, edits, indicators, closing and reopening.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cmath>

#include "tests/windows/ui_fixture.h"

namespace uitest {
namespace {

constexpr char kSlotEmpty[] = "The selected preset slot does not contain a preset";

// Loads a listed preset with the Load button; any question is answered with Yes.
void loadListed(HWND consoleWindow, const std::string& prefix) {
    const int index = listIndexOf(consoleWindow, prefix);
    ASSERT_GE(index, 0) << prefix;
    selectListItem(consoleWindow, kPresetList, index);
    click(consoleWindow, kLoadButton);
}

std::vector<std::string> texts(const std::vector<SeenMessageBox>& boxes) {
    std::vector<std::string> result;
    for (const SeenMessageBox& box : boxes) result.push_back(box.text);
    return result;
}

// Clicks every checked "Active" switch of the console off (and dither), leaving the chain empty.
void switchEveryStageOff(HWND consoleWindow) {
    const int switches[] = {1038, 1040, 1020, 1018, 1022, 1052, 1016, 1025, 1027, 1045, 1000, 1033, 1035, 1029, 1014};
    for (int id : switches) {
        if (IsDlgButtonChecked(consoleWindow, id) == BST_CHECKED) click(consoleWindow, id);
        ASSERT_EQ(IsDlgButtonChecked(consoleWindow, id), BST_UNCHECKED) << id;
    }
}

}  // namespace

TEST_F(UiTest, PostAmpSliderSetsLabelLiveValueAndSettingsChanged) {
    MessageBoxAnswerer answerer;
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);

    // F7 switches every stage off; a fresh start has no pending changes, so Load asks nothing.
    loadListed(consoleWindow, "F7:");
    EXPECT_TRUE(answerer.take().empty());
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "CD (No Proc)");
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 0);

    // Typing a name is not an edit of the settings.
    typeText(consoleWindow, kNameBox, "My Name");
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 0);

    // +6.0 dB: horizontal slider positions run from -24.0 dB at 0 in tenths.
    dragSlider(consoleWindow, kPostAmpSlider, 300);
    EXPECT_EQ(controlText(consoleWindow, kPostAmpLabel), "6.0");
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 1);
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 1) << "keeps blinking until a load or save";

    // The engine plays the new gain at its next block: 1000 * 10^(6/20) = 1995.26, truncated.
    std::vector<short> block = constantBlock(576, 1000);
    EXPECT_EQ(session.process(block.data(), 576), 576);
    for (short sample : block) ASSERT_EQ(sample, 1995);

    // The meters follow the block at the next fast tick: a half-scale peak in and out.
    block = constantBlock(576, 16384);
    dragSlider(consoleWindow, kPostAmpSlider, 240);
    EXPECT_EQ(controlText(consoleWindow, kPostAmpLabel), "0.0");
    session.process(block.data(), 576);
    timerTick(consoleWindow, kFastTimer);
    EXPECT_EQ(controlText(consoleWindow, kInputMeterLabel), "50");
    EXPECT_EQ(controlText(consoleWindow, kOutputMeterLabel), "50");
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, 1006, PBM_GETPOS, 0, 0), 500);

    // Loading with pending changes asks first; "No" keeps everything as it is.
    answerer.answerQuestions(IDNO);
    loadListed(consoleWindow, "F7:");
    std::vector<SeenMessageBox> seen = answerer.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              "The current settings have changed.  Are you sure you wish to load the selected preset?");
    EXPECT_TRUE(seen[0].yesNo);
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "My Name");
    answerer.answerQuestions(IDYES);
    loadListed(consoleWindow, "F7:");
    EXPECT_EQ(answerer.take().size(), 1u);
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "CD (No Proc)");
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 0);

    // The test tone window does not mark changes.
    click(consoleWindow, 1011);
    HWND tones = findWindow(104);
    ASSERT_NE(tones, nullptr);
    dragSlider(tones, 1027, 120);  // 0.0 dB: the level runs from 12.0 dB at the top
    EXPECT_EQ(controlText(tones, 1028), "0.0");
    dragSlider(tones, 1001, 400);  // 20 * 2^(6) = 1280 Hz
    EXPECT_EQ(controlText(tones, 1029), "1280");
    click(tones, 1025);
    EXPECT_EQ(IsDlgButtonChecked(tones, 1025), BST_CHECKED);
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 0);
    EXPECT_TRUE(answerer.take().empty());
}

TEST_F(UiTest, FastTimerRedrawsOnlyMetersThatChanged) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    switchEveryStageOff(consoleWindow);
    const int inputMeter = 1006;

    std::vector<short> block = constantBlock(576, 16384);
    session.process(block.data(), 576);
    timerTick(consoleWindow, kFastTimer);
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, inputMeter, PBM_GETPOS, 0, 0), 500);

    // A bar put elsewhere stays there while its value does not change: no message is sent to it.
    SendDlgItemMessageA(consoleWindow, inputMeter, PBM_SETPOS, 123, 0);
    timerTick(consoleWindow, kFastTimer);
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, inputMeter, PBM_GETPOS, 0, 0), 123);

    // A quarter-scale block: the peak meter falls 0.01 per frame from 50, to 44.24 after 576 frames.
    block = constantBlock(576, 8192);
    session.process(block.data(), 576);
    timerTick(consoleWindow, kFastTimer);
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, inputMeter, PBM_GETPOS, 0, 0), 442);
    EXPECT_EQ(controlText(consoleWindow, kInputMeterLabel), "44");

    // Opening a window draws its meters once, changed or not.
    closeWindow(consoleWindow);
    session.config();
    consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, inputMeter, PBM_GETPOS, 0, 0), 442);
    EXPECT_EQ(controlText(consoleWindow, kInputMeterLabel), "44");
}

TEST_F(UiTest, ValueLabelClickFocusesItsSliderAndArrowKeysStepIt) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);

    clickLabel(consoleWindow, kPostAmpLabel);
    HWND postAmp = GetDlgItem(consoleWindow, kPostAmpSlider);
    EXPECT_EQ(GetFocus(), postAmp);
    pressKey(postAmp, VK_RIGHT);
    EXPECT_EQ(controlText(consoleWindow, kPostAmpLabel), "0.1");
    pressKey(postAmp, VK_LEFT);
    pressKey(postAmp, VK_LEFT);
    EXPECT_EQ(controlText(consoleWindow, kPostAmpLabel), "-0.1");
    pressKey(postAmp, VK_NEXT);  // a page is 3 dB
    EXPECT_EQ(controlText(consoleWindow, kPostAmpLabel), "2.9");

    // A vertical slider: the arrow up raises the value (the top of the trackbar is the maximum).
    click(consoleWindow, 1017);
    HWND compressor = findWindow(110);
    ASSERT_NE(compressor, nullptr);
    clickLabel(compressor, 1086);
    HWND gain1 = GetDlgItem(compressor, 1085);
    EXPECT_EQ(GetFocus(), gain1);
    pressKey(gain1, VK_UP);
    EXPECT_EQ(controlText(compressor, 1086), "6.1");
    pressKey(gain1, VK_DOWN);
    pressKey(gain1, VK_DOWN);
    EXPECT_EQ(controlText(compressor, 1086), "5.9");

    // A logarithmic slider steps 1/100 octave: 20 Hz up one step is 20.14 Hz.
    click(consoleWindow, 1039);
    HWND highpass = findWindow(117);
    ASSERT_NE(highpass, nullptr);
    clickLabel(highpass, 1056);
    HWND cutoff = GetDlgItem(highpass, 1055);
    EXPECT_EQ(GetFocus(), cutoff);
    EXPECT_EQ(SendMessageA(cutoff, TBM_GETPOS, 0, 0), 400);
    pressKey(cutoff, VK_PRIOR);  // page up: one octave
    EXPECT_EQ(controlText(highpass, 1056), "40");
}

TEST_F(UiTest, CheckBoxesStoreTheirStateAndBypassWorksAtOnce) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);

    click(consoleWindow, kBypassAll);
    EXPECT_EQ(IsDlgButtonChecked(consoleWindow, kBypassAll), BST_CHECKED);
    std::vector<short> block = constantBlock(576, 1234);
    session.process(block.data(), 576);
    for (short sample : block) ASSERT_EQ(sample, 1234) << "bypassed audio is untouched";
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 1);

    click(consoleWindow, kBypassAll);
    EXPECT_EQ(IsDlgButtonChecked(consoleWindow, kBypassAll), BST_UNCHECKED);
    switchEveryStageOff(consoleWindow);
    block = constantBlock(576, 1234);
    dragSlider(consoleWindow, kPostAmpSlider, 180);  // -6.0 dB
    session.process(block.data(), 576);
    EXPECT_EQ(block[0], 618) << "1234 * 10^(-6/20) = 618.47";
}

TEST_F(UiTest, HardClipShowsForOneTickAfterAClippedSample) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    switchEveryStageOff(consoleWindow);

    timerTick(consoleWindow, kSlowTimer);
    EXPECT_EQ(controlText(consoleWindow, kHardClipLabel), "");

    std::vector<short> block = constantBlock(576, 1000);
    block[2 * 300] = 32767;  // one clipped sample in the middle of the block
    session.process(block.data(), 576);
    EXPECT_EQ(block[2 * 300], 32764);
    timerTick(consoleWindow, kSlowTimer);
    EXPECT_EQ(controlText(consoleWindow, kHardClipLabel), "Hard Clip");
    timerTick(consoleWindow, kSlowTimer);
    EXPECT_EQ(controlText(consoleWindow, kHardClipLabel), "") << "shown for one tick only";

    block = constantBlock(576, 1000);
    session.process(block.data(), 576);
    timerTick(consoleWindow, kSlowTimer);
    EXPECT_EQ(controlText(consoleWindow, kHardClipLabel), "");
}

TEST_F(UiTest, PresetButtonsRoundTripWithTheirMessages) {
    MessageBoxAnswerer answerer;
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, kPresetList, LB_GETCOUNT, 0, 0), 7 + 99);
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, 6), "F7:CD (No Proc)");
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, 7), "01:");
    const int slot1 = listIndexOf(consoleWindow, "01:");
    ASSERT_EQ(slot1, 7);

    // Empty slot: Load, a double click and Default are refused.
    selectListItem(consoleWindow, kPresetList, slot1);
    click(consoleWindow, kLoadButton);
    doubleClickListItem(consoleWindow, kPresetList);
    click(consoleWindow, kDefaultButton);
    click(consoleWindow, kDeleteButton);
    std::vector<SeenMessageBox> seen = answerer.take();
    EXPECT_EQ(texts(seen), (std::vector<std::string>{
                               kSlotEmpty, kSlotEmpty,
                               "Please select a preset slot that contains a preset, then click \"Default\".",
                               kSlotEmpty}));

    // Nothing selected.
    selectListItem(consoleWindow, kPresetList, -1);
    click(consoleWindow, kSaveButton);
    EXPECT_EQ(texts(answerer.take()),
              std::vector<std::string>{"Please select a preset from the list before attempting this function"});

    // Factory presets cannot be overwritten or deleted.
    selectListItem(consoleWindow, kPresetList, 0);
    click(consoleWindow, kSaveButton);
    click(consoleWindow, kDeleteButton);
    EXPECT_EQ(texts(answerer.take()), (std::vector<std::string>{"Overwriting of factory presets is not allowed",
                                                                "Deleting of factory presets is not allowed"}));

    // Save needs a name without blanks at its ends.
    selectListItem(consoleWindow, kPresetList, slot1);
    typeText(consoleWindow, kNameBox, "");
    click(consoleWindow, kSaveButton);
    typeText(consoleWindow, kNameBox, " Rock");
    click(consoleWindow, kSaveButton);
    EXPECT_EQ(texts(answerer.take()),
              (std::vector<std::string>{"Please specify a preset name before saving",
                                        "Preset names cannot contain spaces before and after the name"}));

    // Save an edited setting into slot 1: no question for an empty slot.
    click(consoleWindow, 1017);
    HWND compressor = findWindow(110);
    ASSERT_NE(compressor, nullptr);
    dragSlider(compressor, 1085, 240 - 123);  // Compressor.Gain1.dB = 12.3
    EXPECT_EQ(controlText(compressor, 1086), "12.3");
    typeText(consoleWindow, kNameBox, "Rock");
    click(consoleWindow, kSaveButton);
    EXPECT_TRUE(answerer.take().empty());
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, slot1), "01:Rock");
    EXPECT_EQ(selectedListItem(consoleWindow, kPresetList), slot1);
    EXPECT_EQ(changedShownOverTwoTicks(consoleWindow), 0) << "a save clears the pending changes";
    const std::string saved = readFile(settingsDirectory() + "DV_Preset01.ini");
    EXPECT_EQ(settingsValue(saved, "General.Name"), "Rock");
    EXPECT_EQ(settingsValue(saved, "Compressor.Gain1.dB"), "12.3");

    // Another preset: the open compressor window and the name box follow the load at once.
    loadListed(consoleWindow, "F3:");
    EXPECT_TRUE(answerer.take().empty());
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "FM Stereo Loud");
    EXPECT_EQ(controlText(compressor, 1086), "18.0");
    EXPECT_EQ(SendDlgItemMessageA(compressor, 1085, TBM_GETPOS, 0, 0), 240 - 180);

    // Back to slot 1, by a double click on its item.
    selectListItem(consoleWindow, kPresetList, slot1);
    doubleClickListItem(consoleWindow, kPresetList);
    EXPECT_TRUE(answerer.take().empty());
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "Rock");
    EXPECT_EQ(controlText(compressor, 1086), "12.3");

    // Default: slot 1 becomes the startup preset and cannot be deleted while it is.
    click(consoleWindow, kDefaultButton);
    EXPECT_EQ(controlText(consoleWindow, kDefaultLabel), "Default: 1");
    click(consoleWindow, kDeleteButton);
    EXPECT_EQ(texts(answerer.take()),
              std::vector<std::string>{"The selected preset slot is currently selected as the default startup "
                                       "preset.  Please change the default to another preset (by using the "
                                       "\"Default\" button), then delete this preset."});
    selectListItem(consoleWindow, kPresetList, listIndexOf(consoleWindow, "F4:"));
    click(consoleWindow, kDefaultButton);
    EXPECT_EQ(controlText(consoleWindow, kDefaultLabel), "Default: F4");

    // Overwriting with a different name asks; "No" keeps the slot.
    selectListItem(consoleWindow, kPresetList, slot1);
    typeText(consoleWindow, kNameBox, "Jazz");
    answerer.answerQuestions(IDNO);
    click(consoleWindow, kSaveButton);
    seen = answerer.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              "You are attempting to save over top of an existing preset with a different name.  Are you sure?");
    EXPECT_TRUE(seen[0].yesNo);
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, slot1), "01:Rock");

    // Delete asks; "No" keeps it, "Yes" empties the slot and leaves it selected.
    click(consoleWindow, kDeleteButton);
    seen = answerer.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Are you sure you wish to delete the selected preset?");
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, slot1), "01:Rock");
    answerer.answerQuestions(IDYES);
    click(consoleWindow, kDeleteButton);
    EXPECT_EQ(answerer.take().size(), 1u);
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, slot1), "01:");
    EXPECT_EQ(selectedListItem(consoleWindow, kPresetList), slot1);
    EXPECT_EQ(GetFileAttributesA((settingsDirectory() + "DV_Preset01.ini").c_str()), INVALID_FILE_ATTRIBUTES);

    // The startup preset reaches the settings file at shutdown.
    session.quit();
    EXPECT_EQ(settingsValue(readFile(settingsDirectory() + "dsp_Drelvant.ini"), "General.StartupPreset"), "-3");
}

TEST_F(UiTest, ClosingTheConsoleClosesEveryWindowAndConfigReopensThem) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    click(consoleWindow, 1017);  // compressor
    click(consoleWindow, 1011);  // test tones
    click(consoleWindow, 1013);  // oscilloscope
    HWND compressor = findWindow(110);
    ASSERT_NE(compressor, nullptr);
    SetWindowPos(compressor, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(consoleWindow, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const int slot12 = listIndexOf(consoleWindow, "12:");
    ASSERT_GE(slot12, 0);
    selectListItem(consoleWindow, kPresetList, slot12);

    closeWindow(consoleWindow);
    pumpMessages();
    for (const WindowInfo& info : kWindows) EXPECT_EQ(findWindow(info.templateId), nullptr) << info.name;

    session.config();
    consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    compressor = findWindow(110);
    ASSERT_NE(compressor, nullptr);
    EXPECT_NE(findWindow(104), nullptr);
    EXPECT_NE(findWindow(105), nullptr);
    EXPECT_EQ(findWindow(113), nullptr);
    EXPECT_EQ(windowOrigin(compressor).x, 300);
    EXPECT_EQ(windowOrigin(compressor).y, 200);
    EXPECT_EQ(windowOrigin(consoleWindow).x, 120);
    EXPECT_EQ(windowOrigin(consoleWindow).y, 90);
    EXPECT_EQ(selectedListItem(consoleWindow, kPresetList), slot12) << "the selection outlives closing";
    EXPECT_EQ(controlText(consoleWindow, kDefaultLabel), "Default: F1");

    // Config again while everything is open changes nothing.
    session.config();
    EXPECT_EQ(countWindows(101), 1);
    EXPECT_EQ(countWindows(110), 1);

    // A window closed on its own stays closed next time.
    closeWindow(compressor);
    EXPECT_EQ(findWindow(110), nullptr);
    EXPECT_NE(console(), nullptr) << "closing a module window leaves the console open";
    closeWindow(console());
    session.config();
    EXPECT_NE(console(), nullptr);
    EXPECT_EQ(findWindow(110), nullptr);
    EXPECT_NE(findWindow(104), nullptr);
}

TEST_F(UiTest, PositionsAndShowFlagsSurviveQuit) {
    {
        PluginSession session;
        ASSERT_TRUE(session.ready());
        session.config();
        HWND consoleWindow = console();
        ASSERT_NE(consoleWindow, nullptr);
        click(consoleWindow, 1017);
        click(consoleWindow, 1028);
        HWND compressor = findWindow(110);
        ASSERT_NE(compressor, nullptr);
        SetWindowPos(compressor, nullptr, 250, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SetWindowPos(consoleWindow, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        HWND limiter = findWindow(113);
        ASSERT_NE(limiter, nullptr);
        SetWindowPos(limiter, nullptr, 400, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        closeWindow(limiter);  // closed by the user: position kept, Show flag cleared
        session.quit();
        for (const WindowInfo& info : kWindows) EXPECT_EQ(findWindow(info.templateId), nullptr) << info.name;

        const std::string settings = readFile(settingsDirectory() + "dsp_Drelvant.ini");
        ASSERT_FALSE(settings.empty());
        EXPECT_EQ(settingsValue(settings, "Window.Main.Show"), "1");
        EXPECT_EQ(settingsValue(settings, "Window.Main.X"), "100");
        EXPECT_EQ(settingsValue(settings, "Window.Main.Y"), "80");
        EXPECT_EQ(settingsValue(settings, "Window.10_Band_Compressor.Show"), "1");
        EXPECT_EQ(settingsValue(settings, "Window.10_Band_Compressor.X"), "250");
        EXPECT_EQ(settingsValue(settings, "Window.10_Band_Compressor.Y"), "150");
        EXPECT_EQ(settingsValue(settings, "Window.10_Band_Limiter.Show"), "0");
        EXPECT_EQ(settingsValue(settings, "Window.10_Band_Limiter.X"), "400");
        EXPECT_EQ(settingsValue(settings, "Window.10_Band_Limiter.Y"), "120");
        EXPECT_EQ(settingsValue(settings, "Window.Test_Tones.Show"), "0");
    }
    {
        // The next start reopens the console and its companion where they were, without Config.
        PluginSession session;
        ASSERT_TRUE(session.ready());
        HWND consoleWindow = console();
        ASSERT_NE(consoleWindow, nullptr);
        HWND compressor = findWindow(110);
        ASSERT_NE(compressor, nullptr);
        EXPECT_EQ(findWindow(113), nullptr);
        EXPECT_EQ(windowOrigin(consoleWindow).x, 100);
        EXPECT_EQ(windowOrigin(consoleWindow).y, 80);
        EXPECT_EQ(windowOrigin(compressor).x, 250);
        EXPECT_EQ(windowOrigin(compressor).y, 150);
        click(consoleWindow, 1028);
        HWND limiter = findWindow(113);
        ASSERT_NE(limiter, nullptr);
        EXPECT_EQ(windowOrigin(limiter).x, 400);
        EXPECT_EQ(windowOrigin(limiter).y, 120);
    }
}

TEST_F(UiTest, RemoteSelectionWhileTheConsoleIsOpenRebindsEveryWindow) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    click(consoleWindow, 1017);
    HWND compressor = findWindow(110);
    ASSERT_NE(compressor, nullptr);
    ASSERT_TRUE(writeFile(settingsDirectory() + "DV_Select.tmp", "-2\r\nDefault\r\n"));
    timerTick(consoleWindow, kSlowTimer);
    EXPECT_EQ(GetFileAttributesA((settingsDirectory() + "DV_Select.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(controlText(consoleWindow, kDefaultLabel), "Default: F3");
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "FM Stereo Loud");
    EXPECT_EQ(controlText(compressor, 1086), "18.0");
}

}  // namespace uitest
