// Remote preset selection: the command file's number and "def", range checks, and consumption of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/remote_selection.h"
#include "params_rig.h"

using paramsrig::BuiltRegistry;
using paramsrig::liveValue;
using paramsrig::ScratchFolder;

namespace {

struct RemoteStage {
    ScratchFolder folder;
    BuiltRegistry registry;

    RemoteStage() {
        folder.write("DV_Preset12.ini", paramsrig::presetFile("DV_Preset12.ini",
                                                                "General.Name = Night\nGeneral.BaseFactoryPreset = -4\n"));
        SetStartupPreset(PluginEngine(), 0);
        ScanPresets(PluginEngine());
        LoadPreset(PluginEngine(), -6);  // start from something that is neither F1 nor the presets polled for
    }
    // Writes the command and polls as the playback thread does (no console).
    void poll(const std::string& command) {
        folder.write("DV_Select.tmp", command);
        PollRemoteSelection(PluginEngine(), nullptr);
    }
    bool commandPresent() const { return folder.exists("DV_Select.tmp"); }
};

}  // namespace

TEST(RemoteSelection, NumberAndDefaultLoadAndSetTheStartupPreset) {
    RemoteStage stage;
    PluginEngine().registry.settingsChanged = true;
    stage.poll("12\r\nDefault\r\n");
    EXPECT_STREQ(PluginEngine().live.presetName, "Night");
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, -4.0);
    EXPECT_EQ(StartupPreset(PluginEngine()), 12);
    EXPECT_FALSE(PluginEngine().registry.settingsChanged);
    EXPECT_FALSE(stage.commandPresent());

    int console = 0;  // with the console polling, its label is updated too
    stage.folder.write("DV_Select.tmp", "-3\ndefault");
    PollRemoteSelection(PluginEngine(), &console);
    EXPECT_STREQ(PluginEngine().live.presetName, "AM Radio");
    EXPECT_EQ(StartupPreset(PluginEngine()), -3);
    EXPECT_FALSE(stage.commandPresent());
}

TEST(RemoteSelection, NumberAloneLoadsWithoutChangingTheStartupPreset) {
    RemoteStage stage;
    stage.poll("  -2\n");
    EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo Loud");
    EXPECT_EQ(liveValue("Compressor.Gain1.dB"), 18.0);
    EXPECT_EQ(StartupPreset(PluginEngine()), 0);
    EXPECT_FALSE(stage.commandPresent());

    stage.poll("-9");  // F10: registered defaults, empty name
    EXPECT_STREQ(PluginEngine().live.presetName, "");
    EXPECT_EQ(liveValue("Compressor.Ratio1"), 5.0);
}

TEST(RemoteSelection, OutOfRangeNumbersAreOnlyDeleted) {
    RemoteStage stage;
    PluginEngine().registry.settingsChanged = true;
    for (const char* command : {"150", "-10", "100\ndefault", "99999999999999999999"}) {
        stage.poll(command);
        EXPECT_STREQ(PluginEngine().live.presetName, "CD (No Proc)") << command;
        EXPECT_EQ(StartupPreset(PluginEngine()), 0) << command;
        EXPECT_TRUE(PluginEngine().registry.settingsChanged) << command;
        EXPECT_FALSE(stage.commandPresent()) << command;
    }
}

TEST(RemoteSelection, TextWithoutANumberLoadsF1) {
    RemoteStage stage;
    for (const char* command : {"", "preset", "x12"}) {
        LoadPreset(PluginEngine(), -6);
        stage.poll(command);
        EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo 1") << command;
        EXPECT_EQ(StartupPreset(PluginEngine()), 0) << command;
        EXPECT_FALSE(stage.commandPresent());
    }
}

TEST(RemoteSelection, DefAnywhereInAnyCaseSetsTheStartupPreset) {
    RemoteStage stage;
    const std::pair<const char*, int32_t> commands[] = {{"-1\nDEFAULT", -1}, {"-4\r\ndefault", -4}, {"-5\nundefined", -5},
                                                        {"-2 DeF", -2}};
    for (const auto& [command, number] : commands) {
        stage.poll(command);
        EXPECT_EQ(StartupPreset(PluginEngine()), number) << command;
    }
    stage.poll("-6\nde f");
    EXPECT_EQ(StartupPreset(PluginEngine()), -2);
}

TEST(RemoteSelection, OnlyTheFirst511BytesCount) {
    RemoteStage stage;
    stage.poll("-1" + std::string(509, ' ') + "def");
    EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo 2");
    EXPECT_EQ(StartupPreset(PluginEngine()), 0);
}

TEST(RemoteSelection, NoFileDoesNothing) {
    RemoteStage stage;
    PollRemoteSelection(PluginEngine(), nullptr);
    EXPECT_STREQ(PluginEngine().live.presetName, "CD (No Proc)");
}

TEST(RemoteSelection, ACommandThatCannotBeDeletedIsAppliedAgain) {
    RemoteStage stage;
    // A directory of that name opens for reading on POSIX (and reads as empty) but cannot be
    // removed as a file, even by a privileged user.
    std::filesystem::create_directory(stage.folder.file("DV_Select.tmp"));
    PollRemoteSelection(PluginEngine(), nullptr);
    EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo 1");
    EXPECT_TRUE(stage.commandPresent());
    LoadPreset(PluginEngine(), -6);
    PollRemoteSelection(PluginEngine(), nullptr);
    EXPECT_STREQ(PluginEngine().live.presetName, "FM Stereo 1");
    EXPECT_TRUE(stage.commandPresent());
}
