// Preset files loaded from a path of their own behave exactly like the same text in a user slot.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_file.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params_rig.h"

namespace {

using paramsrig::liveValue;
using paramsrig::presetFile;

struct LoadedSetting {
    std::vector<double> values;
    std::string name;
    double base;
};

LoadedSetting current() { return {paramsrig::allKeyedValues(), PluginEngine().live.presetName, PluginEngine().presets.baseFactoryPreset}; }

// Loads `body` once as user slot 5 and once as a file of its own, and compares the outcomes.
void expectSameAsUserSlot(const paramsrig::ScratchFolder& folder, const std::string& body) {
    folder.write("DV_Preset05.ini", presetFile("DV_Preset05.ini", body));
    folder.write("elsewhere.ini", presetFile("elsewhere.ini", body));
    ASSERT_TRUE(LoadPreset(PluginEngine(), 5));
    const LoadedSetting asSlot = current();
    ASSERT_TRUE(LoadPreset(PluginEngine(), -4));  // something else in between
    ASSERT_TRUE(LoadPresetFile(PluginEngine(), folder.file("elsewhere.ini").c_str()));
    const LoadedSetting asFile = current();
    EXPECT_EQ(asFile.values, asSlot.values) << body;
    EXPECT_EQ(asFile.name, asSlot.name) << body;
    EXPECT_EQ(asFile.base, asSlot.base) << body;
}

}  // namespace

TEST(PresetFile, NameAndBaseOnlyLoadTheBaseFactoryValues) {
    paramsrig::ScratchFolder folder;
    paramsrig::BuiltRegistry registry;
    ASSERT_TRUE(LoadPreset(PluginEngine(), -2));
    const std::vector<double> f3 = paramsrig::allKeyedValues();
    ASSERT_TRUE(LoadPreset(PluginEngine(), 0));

    folder.write("mine.ini", presetFile("mine.ini", "General.Name                   = Loud Copy\n"
                                                    "General.BaseFactoryPreset      = -2\n"));
    PluginEngine().registry.settingsChanged = true;
    PluginEngine().state.lastProcessTick = 12345;
    ASSERT_TRUE(LoadPresetFile(PluginEngine(), folder.file("mine.ini").c_str()));
    EXPECT_EQ(paramsrig::allKeyedValues(), f3);
    EXPECT_STREQ(PluginEngine().live.presetName, "Loud Copy");
    EXPECT_EQ(PluginEngine().presets.baseFactoryPreset, -2.0);
    EXPECT_FALSE(PluginEngine().registry.settingsChanged);
    EXPECT_EQ(PluginEngine().state.lastProcessTick, 0u) << "the next block starts from cleared filters";
}

TEST(PresetFile, KeysOfTheFileOverrideTheirBase) {
    paramsrig::ScratchFolder folder;
    paramsrig::BuiltRegistry registry;
    folder.write("mine.ini", presetFile("mine.ini", "General.Name                   = Softer\n"
                                                    "General.BaseFactoryPreset      = 0\n"
                                                    "FinalLimiter.Drive.dB          = -3.0\n"
                                                    "General.LowpassFilter.Active   = 1\n"));
    ASSERT_TRUE(LoadPresetFile(PluginEngine(), folder.file("mine.ini").c_str()));
    EXPECT_EQ(liveValue("FinalLimiter.Drive.dB"), -3.0);
    EXPECT_EQ(liveValue("General.LowpassFilter.Active"), 1.0);
    EXPECT_EQ(liveValue("FinalClipper.Drive.dB"), -1.0);       // F1's own value
    EXPECT_EQ(liveValue("LowpassFilter.Cutoff.Hz"), 16984.0);  // F1's own value
    EXPECT_EQ(PluginEngine().live.general.lowpassActive, 1);
}

TEST(PresetFile, AppliesExactlyAsTheSameTextInAUserSlot) {
    paramsrig::ScratchFolder folder;
    paramsrig::BuiltRegistry registry;
    expectSameAsUserSlot(folder, "General.Name                   = A\n"
                                 "General.BaseFactoryPreset      = -3\n"
                                 "Compressor.Gain3.dB            = 4.5\n");
    expectSameAsUserSlot(folder, "General.Name                   = Defaults\n"
                                 "General.BaseFactoryPreset      = 3\n"
                                 "AGC.Level.%                    = 70\n");
    expectSameAsUserSlot(folder, "General.BaseFactoryPreset      = -6\n"
                                 "General.PostAmp.dB             = -20.0\n"
                                 "Saturator.Clip7.Enable         = nonsense\n");
    expectSameAsUserSlot(folder, "General.Name                   = Only a name\n");
}

TEST(PresetFile, RefusesWhatIsNotAPresetAndChangesNothing) {
    paramsrig::ScratchFolder folder;
    paramsrig::BuiltRegistry registry;
    ASSERT_TRUE(LoadPreset(PluginEngine(), -3));
    const LoadedSetting before = current();
    PluginEngine().state.lastProcessTick = 777;

    EXPECT_FALSE(LoadPresetFile(PluginEngine(), folder.file("missing.ini").c_str()));
    folder.write("notes.txt", "RIFF....WAVEfmt \r\nnothing here = 1\r\n");
    EXPECT_FALSE(LoadPresetFile(PluginEngine(), folder.file("notes.txt").c_str()));
    EXPECT_FALSE(LoadPresetFile(PluginEngine(), folder.path.c_str())) << "a directory is not a preset";

    const LoadedSetting after = current();
    EXPECT_EQ(after.values, before.values);
    EXPECT_EQ(after.name, before.name);
    EXPECT_EQ(after.base, before.base);
    EXPECT_EQ(PluginEngine().state.lastProcessTick, 777u);
}
