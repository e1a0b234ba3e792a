// Preset store and console buttons: scanning, loading over a base, saving, deleting, every refusal message.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/engine_model.h"
#include "params/preset_console.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "params_rig.h"

using paramsrig::BuiltRegistry;
using paramsrig::liveValue;
using paramsrig::presetFile;
using paramsrig::ScratchFolder;
using paramsrig::ScriptedMessageBoxes;
using paramsrig::shownMessages;
using paramsrig::scriptedAnswers;

namespace {

// A list box and label 1042 kept in memory, bound through the console interface.
struct FakeConsole {
    std::vector<std::pair<std::string, int32_t>> items;
    int selected = -1;
    std::map<int, std::string> controlTexts;
    int windowTag = 0;  // its address stands for the console's window handle

    PresetListControls controls() {
        PresetListControls c{};
        c.engine = &PluginEngine();
        c.console = &windowTag;
        c.context = this;
        c.resetList = [](void* self) {
            static_cast<FakeConsole*>(self)->items.clear();
            static_cast<FakeConsole*>(self)->selected = -1;
        };
        c.addItem = [](void* self, const char* text, int32_t data) {
            static_cast<FakeConsole*>(self)->items.emplace_back(text, data);
        };
        c.selectItem = [](void* self, int index) { static_cast<FakeConsole*>(self)->selected = index; };
        c.selectedItem = [](void* self) { return static_cast<FakeConsole*>(self)->selected; };
        c.itemAt = [](void* self, int index, char* text, std::size_t size, int32_t* data) {
            const auto& items = static_cast<FakeConsole*>(self)->items;
            if (index < 0 || index >= static_cast<int>(items.size())) return false;
            std::snprintf(text, size, "%s", items[index].first.c_str());
            *data = items[index].second;
            return true;
        };
        c.setControlText = [](void* self, int id, const char* text) {
            static_cast<FakeConsole*>(self)->controlTexts[id] = text;
        };
        return c;
    }

    // Selects the list item of a preset number (the list must have been filled).
    void selectPreset(int32_t number) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (PresetNumberOfItem(items[i].first.c_str(), items[i].second) == number) selected = static_cast<int>(i);
        }
    }
    void press(int buttonId) { OnPresetButton(controls(), buttonId); }
    void fill(int32_t selectNumber) { ASSERT_TRUE(FillPresetList(controls(), selectNumber)); }
};

// Everything a preset test needs: a private folder, the registry, scripted boxes, F1 loaded.
struct PresetStage {
    ScratchFolder folder;
    BuiltRegistry registry;
    ScriptedMessageBoxes boxes;
    FakeConsole console;

    PresetStage() {
        SetStartupPreset(PluginEngine(), 0);
        ScanPresets(PluginEngine());
        LoadPreset(PluginEngine(), 0);
    }
    void setName(const char* name) { std::snprintf(PluginEngine().live.presetName, sizeof PluginEngine().live.presetName, "%s", name); }
    // A user file holding only the given key lines after the header.
    void writeUserFile(int slot, const std::string& body) {
        char name[32];
        PresetFileName(slot, name);
        folder.write(name, presetFile(name, body));
    }
    std::string lastMessage() const { return shownMessages().empty() ? std::string() : shownMessages().back().text; }
};

const char kNameTaken[] = "The specified name already exists in another slot.";
const char kSlotEmpty[] = "The selected preset slot does not contain a preset";
const char kOverwrite[] =
    "You are attempting to save over top of an existing preset with a different name.  Are you sure?";

}  // namespace

TEST(PresetScan, NamesFromResourcesAndSlotFiles) {
    PresetStage stage;
    stage.writeUserFile(7, "General.Name = Rock\n");
    stage.folder.write("DV_Preset5.ini", paramsrig::presetFile("x", "General.Name = Five\n"));
    stage.folder.write("DV_Preset100.ini", paramsrig::presetFile("x", "General.Name = Ten\n"));  // reads "10"
    stage.folder.write("DV_Presetxx.ini", paramsrig::presetFile("x", "General.Name = Skipped\n"));
    stage.writeUserFile(9, "General.BaseFactoryPreset = 0\n");  // no name: the slot counts as free
    stage.writeUserFile(12, "General.Name = " + std::string(31, 'L') + "\n");
    std::filesystem::create_directory(stage.folder.file("DV_Preset08.ini"));
    ScanPresets(PluginEngine());
    EXPECT_STREQ(PluginEngine().presets.factoryNames[0], "FM Stereo 1");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[1], "FM Stereo 2");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[2], "FM Stereo Loud");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[3], "AM Radio");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[4], "Normalizer");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[5], "Vol Normalizer");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[6], "CD (No Proc)");
    EXPECT_STREQ(PluginEngine().presets.factoryNames[7], "");
    EXPECT_STREQ(PluginEngine().presets.userNames[7], "Rock");
    EXPECT_STREQ(PluginEngine().presets.userNames[5], "Five");
    EXPECT_STREQ(PluginEngine().presets.userNames[10], "Ten");
    EXPECT_STREQ(PluginEngine().presets.userNames[9], "");
    EXPECT_STREQ(PluginEngine().presets.userNames[8], "");
    EXPECT_EQ(std::string(PluginEngine().presets.userNames[12]), std::string(31, 'L'));  // a hand-edited name is kept whole
}

TEST(PresetLoad, FactoryPresetsAndTheDefaultsBeyondF7) {
    PresetStage stage;
    EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo 1");
    EXPECT_EQ(liveValue("Compressor.Gain5.dB"), 9.5);
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, 0.0);

    storeShared(PluginEngine().state.lastProcessTick, uint32_t{12345});
    PluginEngine().registry.settingsChanged = true;
    LoadPreset(PluginEngine(), -8);  // F9: no resource
    EXPECT_STREQ(PluginEngine().live.presetName, "");
    EXPECT_EQ(liveValue("Compressor.Gain5.dB"), 0.0);
    EXPECT_EQ(liveValue("Compressor.Ratio5"), 5.0);
    EXPECT_EQ(liveValue("General.QuantizationDither.Active"), 1.0);
    EXPECT_EQ(liveValue("LowpassFilter.Cutoff.Hz"), 18000.0);
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, -8.0);
    EXPECT_FALSE(PluginEngine().registry.settingsChanged);
    EXPECT_EQ(PluginEngine().state.lastProcessTick, 0u);  // the next block starts from cleared filters

    const std::vector<double> before = paramsrig::allKeyedValues();
    LoadPreset(PluginEngine(), 100);  // no such preset: values stay
    LoadPreset(PluginEngine(), -10);
    EXPECT_EQ(paramsrig::allKeyedValues(), before);
}

TEST(PresetLoad, UserFileOverItsBase) {
    PresetStage stage;
    stage.writeUserFile(4, "General.Name = Loud Copy\nGeneral.BaseFactoryPreset = -2\n");
    LoadPreset(PluginEngine(), 4);
    EXPECT_STREQ(PluginEngine().live.presetName, "Loud Copy");
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, -2.0);
    const std::vector<double> userValues = paramsrig::allKeyedValues();
    LoadPreset(PluginEngine(), -2);
    EXPECT_EQ(paramsrig::allKeyedValues(), userValues);  // exactly F3's values

    stage.writeUserFile(5, "General.Name = Odd Base\nGeneral.BaseFactoryPreset = 3\nCompressor.Ratio1 = 7.5\n");
    LoadPreset(PluginEngine(), 5);
    EXPECT_STREQ(PluginEngine().live.presetName, "Odd Base");
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, 3.0);
    EXPECT_EQ(liveValue("Compressor.Ratio1"), 7.5);
    EXPECT_EQ(liveValue("Compressor.Ratio2"), 5.0);           // registered default
    EXPECT_EQ(liveValue("General.AGC.Active"), 0.0);          // registered default
    EXPECT_EQ(liveValue("HighpassFilter.Cutoff.Hz"), 30.0);   // registered default

    LoadPreset(PluginEngine(), 6);  // no file: F1's values with an empty name
    EXPECT_STREQ(PluginEngine().live.presetName, "");
    EXPECT_EQ(liveValue("Compressor.Gain1.dB"), 6.0);
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, 0.0);
}

TEST(PresetLoad, BadValuesInAUserFile) {
    PresetStage stage;
    stage.writeUserFile(3,
                        "General.Name = Bad\nGeneral.BaseFactoryPreset = -2\n"
                        "Compressor.Gain1.dB = nan\nCompressor.Gain2.dB = inf\nCompressor.Gain3.dB = abc\n"
                        "General.Expander.Active = -inf\nLimiter.Gain1.dB = 1e45\n");
    LoadPreset(PluginEngine(), 3);
    EXPECT_EQ(liveValue("Compressor.Gain1.dB"), 18.0);  // NaN: the base preset's value stays
    EXPECT_EQ(liveValue("Compressor.Gain2.dB"), 18.0);
    EXPECT_EQ(liveValue("Compressor.Gain3.dB"), 0.0);   // unparsable: the registered default
    EXPECT_EQ(liveValue("General.Expander.Active"), 1.0);
    EXPECT_EQ(liveValue("Limiter.Gain1.dB"), 10.0);
    for (double value : paramsrig::allKeyedValues()) EXPECT_TRUE(std::isfinite(value));

    // A base that is not a number counts as F1.
    stage.writeUserFile(4, "General.Name = NaN Base\nGeneral.BaseFactoryPreset = nan\n");
    LoadPreset(PluginEngine(), 4);
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, 0.0);
    EXPECT_EQ(liveValue("Compressor.Gain1.dB"), 6.0);
}

TEST(PresetLoad, OversizedUserFileIsReadUpToTheTextSize) {
    PresetStage stage;
    std::string body = "General.Name = Big\nGeneral.BaseFactoryPreset = 0\nCompressor.Ratio1 = 3.0\n";
    while (body.size() < 17000) body += "Filler.Line = 0\n";
    body += "Compressor.Ratio2 = 9.0\n";
    stage.writeUserFile(2, body);
    LoadPreset(PluginEngine(), 2);
    EXPECT_STREQ(PluginEngine().live.presetName, "Big");
    EXPECT_EQ(liveValue("Compressor.Ratio1"), 3.0);
    EXPECT_EQ(liveValue("Compressor.Ratio2"), 2.0);  // beyond 16,383 bytes: F1's value
}

TEST(PresetSave, FileHasAllKeyLinesAndReloadsUnchanged) {
    PresetStage stage;
    stage.setName("My F1");
    PluginEngine().registry.settingsChanged = true;
    const std::vector<double> before = paramsrig::allKeyedValues();
    ASSERT_TRUE(SavePreset(PluginEngine(), 31));
    EXPECT_FALSE(PluginEngine().registry.settingsChanged);
    EXPECT_STREQ(PluginEngine().presets.userNames[31], "My F1");
    const std::vector<std::string> lines = paramsrig::lines(stage.folder.read("DV_Preset31.ini"));
    ASSERT_EQ(lines.size(), 4u + 2u + model::presetKeyCount());  // header, name and base, every preset key
    EXPECT_EQ(lines[1], "This is a preset file for Drelvant v1.20");
    EXPECT_EQ(lines[2], "Filename: DV_Preset31.ini");
    EXPECT_EQ(lines[4], "General.Name                   = My F1");
    EXPECT_EQ(lines[5], "General.BaseFactoryPreset      = 0");
    EXPECT_EQ(lines[6], "General.MainBypass             = 0");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "LowpassFilter.Cutoff.Hz        = 16984"), lines.end());

    LoadPreset(PluginEngine(), -5);
    LoadPreset(PluginEngine(), 31);
    EXPECT_STREQ(PluginEngine().live.presetName, "My F1");
    EXPECT_EQ(paramsrig::allKeyedValues(), before);

    EXPECT_FALSE(SavePreset(PluginEngine(), 0));
    EXPECT_FALSE(SavePreset(PluginEngine(), 100));
}

TEST(PresetConsole, ListShowsFactoryPresetsThenAllSlots) {
    PresetStage stage;
    stage.writeUserFile(12, "General.Name = Talk\n");
    ScanPresets(PluginEngine());
    SetStartupPreset(PluginEngine(), 12);
    stage.console.fill(12);
    ASSERT_EQ(stage.console.items.size(), 7u + 99u);
    EXPECT_EQ(stage.console.items[0].first, "F1:FM Stereo 1");
    EXPECT_EQ(stage.console.items[6].first, "F7:CD (No Proc)");
    EXPECT_EQ(stage.console.items[6].second, 6);
    EXPECT_EQ(stage.console.items[7].first, "01:");
    EXPECT_EQ(stage.console.items[7].second, 0);
    EXPECT_EQ(stage.console.items[18].first, "12:Talk");
    EXPECT_EQ(stage.console.items[105].first, "99:");
    EXPECT_EQ(stage.console.selected, 18);
    EXPECT_EQ(stage.console.controlTexts[kDefaultPresetLabelId], "Default: 12");

    SetStartupPreset(PluginEngine(), -3);
    stage.console.fill(-3);
    EXPECT_EQ(stage.console.selected, 3);
    EXPECT_EQ(stage.console.controlTexts[kDefaultPresetLabelId], "Default: F4");

    PresetListControls none = stage.console.controls();
    none.console = nullptr;
    EXPECT_FALSE(FillPresetList(none, 0));
}

TEST(PresetConsole, NothingSelected) {
    PresetStage stage;
    stage.console.fill(1000);
    EXPECT_EQ(stage.console.selected, -1);
    stage.console.press(kLoadButtonId);
    ASSERT_EQ(shownMessages().size(), 1u);
    const paramsrig::MessageRecord& box = shownMessages()[0];
    EXPECT_EQ(box.text, "Please select a preset from the list before attempting this function");
    EXPECT_EQ(box.caption, "Drelvant");
    EXPECT_EQ(box.kind, static_cast<unsigned>(platform::kIconWarning | platform::kButtonsOk));
    EXPECT_EQ(box.owner, &stage.console.windowTag);
}

TEST(PresetConsole, SaveNameChecks) {
    PresetStage stage;
    stage.writeUserFile(7, "General.Name = Rock\n");
    ScanPresets(PluginEngine());
    stage.console.fill(0);

    stage.console.selectPreset(0);
    stage.setName("Rock");
    stage.console.press(kSaveButtonId);
    EXPECT_EQ(stage.lastMessage(), "Overwriting of factory presets is not allowed");

    stage.console.selectPreset(3);
    stage.setName("rock");
    stage.console.press(kSaveButtonId);
    EXPECT_EQ(stage.lastMessage(), kNameTaken);
    EXPECT_FALSE(stage.folder.exists("DV_Preset03.ini"));

    stage.console.selectPreset(7);
    stage.setName("ROCK");
    stage.console.press(kSaveButtonId);
    EXPECT_EQ(stage.lastMessage(), kNameTaken);

    shownMessages().clear();
    stage.setName("Rock");
    stage.console.press(kSaveButtonId);  // same slot, same name: no question
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_EQ(stage.console.items[stage.console.selected].first, "07:Rock");

    stage.console.selectPreset(4);
    for (const char* name : {" ", " Jazz", "Jazz "}) {
        stage.setName(name);
        stage.console.press(kSaveButtonId);
        EXPECT_EQ(stage.lastMessage(), "Preset names cannot contain spaces before and after the name") << name;
    }
    stage.setName("");
    stage.console.press(kSaveButtonId);
    EXPECT_EQ(stage.lastMessage(), "Please specify a preset name before saving");
    EXPECT_FALSE(stage.folder.exists("DV_Preset04.ini"));
}

TEST(PresetConsole, SaveOverADifferentNameAsks) {
    PresetStage stage;
    stage.writeUserFile(7, "General.Name = Rock\n");
    ScanPresets(PluginEngine());
    stage.console.fill(7);
    stage.setName("Pop");
    scriptedAnswers() = {platform::kAnswerNo};
    stage.console.press(kSaveButtonId);
    EXPECT_EQ(stage.lastMessage(), kOverwrite);
    EXPECT_EQ(shownMessages().back().kind, static_cast<unsigned>(platform::kIconQuestion | platform::kButtonsYesNo));
    EXPECT_STREQ(PluginEngine().presets.userNames[7], "Rock");

    scriptedAnswers() = {platform::kAnswerYes};
    stage.console.press(kSaveButtonId);
    EXPECT_STREQ(PluginEngine().presets.userNames[7], "Pop");
    EXPECT_EQ(stage.console.items[stage.console.selected].first, "07:Pop");

    // A folder where nothing can be written.
    SetHostDirectory(PluginEngine().text, stage.folder.path + "missing/");
    stage.console.selectPreset(8);
    stage.setName("Jazz");
    stage.console.press(kSaveButtonId);
    EXPECT_EQ(stage.lastMessage(), "Failed to save preset");
    EXPECT_STREQ(PluginEngine().presets.userNames[8], "");
}

TEST(PresetConsole, DeleteChecks) {
    PresetStage stage;
    stage.writeUserFile(7, "General.Name = Rock\n");
    stage.writeUserFile(9, "General.Name = Gone\n");
    ScanPresets(PluginEngine());
    std::filesystem::remove(stage.folder.file("DV_Preset09.ini"));  // removed outside the program
    stage.console.fill(0);

    stage.console.selectPreset(-1);
    stage.console.press(kDeleteButtonId);
    EXPECT_EQ(stage.lastMessage(), "Deleting of factory presets is not allowed");

    stage.console.selectPreset(5);
    stage.console.press(kDeleteButtonId);
    EXPECT_EQ(stage.lastMessage(), kSlotEmpty);

    SetStartupPreset(PluginEngine(), 9);  // refused even though its file is gone
    stage.console.selectPreset(9);
    stage.console.press(kDeleteButtonId);
    EXPECT_EQ(stage.lastMessage(),
              "The selected preset slot is currently selected as the default startup preset.  Please change the "
              "default to another preset (by using the \"Default\" button), then delete this preset.");
    SetStartupPreset(PluginEngine(), 0);
    scriptedAnswers() = {platform::kAnswerYes};
    stage.console.press(kDeleteButtonId);
    EXPECT_EQ(stage.lastMessage(), "Failed to delete preset");
    EXPECT_STREQ(PluginEngine().presets.userNames[9], "Gone");  // the slot keeps its name

    stage.console.selectPreset(7);
    scriptedAnswers() = {platform::kAnswerNo};
    stage.console.press(kDeleteButtonId);
    EXPECT_EQ(stage.lastMessage(), "Are you sure you wish to delete the selected preset?");
    EXPECT_TRUE(stage.folder.exists("DV_Preset07.ini"));
    scriptedAnswers() = {platform::kAnswerYes};
    stage.console.press(kDeleteButtonId);
    EXPECT_FALSE(stage.folder.exists("DV_Preset07.ini"));
    EXPECT_STREQ(PluginEngine().presets.userNames[7], "");
    EXPECT_EQ(stage.console.items[stage.console.selected].first, "07:");  // still selected, now empty
}

TEST(PresetConsole, LoadAndDefault) {
    PresetStage stage;
    stage.writeUserFile(12, "General.Name = Talk\nGeneral.BaseFactoryPreset = -3\n");
    ScanPresets(PluginEngine());
    stage.console.fill(0);

    stage.console.selectPreset(11);
    stage.console.press(kLoadButtonId);
    EXPECT_EQ(stage.lastMessage(), kSlotEmpty);
    stage.console.press(kDefaultButtonId);
    EXPECT_EQ(stage.lastMessage(), "Please select a preset slot that contains a preset, then click \"Default\".");
    EXPECT_EQ(shownMessages().back().kind, static_cast<unsigned>(platform::kButtonsOk));  // no icon
    EXPECT_EQ(StartupPreset(PluginEngine()), 0);

    shownMessages().clear();
    stage.console.selectPreset(-3);
    stage.console.press(kDefaultButtonId);
    EXPECT_EQ(StartupPreset(PluginEngine()), -3);
    EXPECT_EQ(stage.console.controlTexts[kDefaultPresetLabelId], "Default: F4");
    stage.console.press(kLoadButtonId);  // no pending edits: no question
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_STREQ(PluginEngine().live.presetName, "AM Radio");

    stage.console.selectPreset(12);
    PluginEngine().registry.settingsChanged = true;
    scriptedAnswers() = {platform::kAnswerNo};
    stage.console.press(kLoadButtonId);
    EXPECT_EQ(stage.lastMessage(),
              "The current settings have changed.  Are you sure you wish to load the selected preset?");
    EXPECT_STREQ(PluginEngine().live.presetName, "AM Radio");
    EXPECT_TRUE(PluginEngine().registry.settingsChanged);
    scriptedAnswers() = {platform::kAnswerYes};
    stage.console.press(kLoadButtonId);
    EXPECT_STREQ(PluginEngine().live.presetName, "Talk");
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, -3.0);
    EXPECT_FALSE(PluginEngine().registry.settingsChanged);
    EXPECT_EQ(stage.console.selected, 7 + 11);  // the list is left as it was

    stage.console.press(kDefaultButtonId);
    EXPECT_EQ(StartupPreset(PluginEngine()), 12);
    EXPECT_EQ(stage.console.controlTexts[kDefaultPresetLabelId], "Default: 12");
}
