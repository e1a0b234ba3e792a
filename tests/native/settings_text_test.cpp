// Settings text: header and line format, key lookup rules, number and text reads, file limits, folder search.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/plugin.h"
#include "params/engine.h"
#include "params/settings_text.h"
#include "params_rig.h"

using paramsrig::crlf;
using paramsrig::ScratchFolder;

namespace {

// Puts a whole file text into the settings text as ReadTextFile would.
void setText(const std::string& text) {
    std::memset(PluginEngine().text.text, 0, sizeof PluginEngine().text.text);
    std::memcpy(PluginEngine().text.text, text.data(), text.size() < sizeof PluginEngine().text.text ? text.size() : sizeof PluginEngine().text.text - 1);
}

const char kSettingsHeader[] =
    "Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n"
    "-----------------------------------------\r\n";

}  // namespace

TEST(SettingsTextFormat, HeaderFlavourFollowsTheDspPrefix) {
    BeginText(PluginEngine().text, "dsp_Drelvant.ini");
    EXPECT_STREQ(PluginEngine().text.text, kSettingsHeader);
    EXPECT_STREQ(PluginEngine().text.fileName, "dsp_Drelvant.ini");

    BeginText(PluginEngine().text, "DSP_other.ini");  // compared without regard to case
    EXPECT_NE(std::strstr(PluginEngine().text.text, "This is a settings file for Drelvant v1.20\r\n"), nullptr);

    BeginText(PluginEngine().text, "DV_Preset31.ini");
    EXPECT_STREQ(PluginEngine().text.text,
                 "Drelvant\r\nThis is a preset file for Drelvant v1.20\r\nFilename: DV_Preset31.ini\r\n"
                 "-----------------------------------------\r\n");
}

TEST(SettingsTextFormat, KeysArePaddedSoTheSignStandsInColumn32) {
    BeginText(PluginEngine().text, "dsp_Drelvant.ini");
    ASSERT_TRUE(AppendNumber(PluginEngine().text, "Window.Main.Show", 0, 1.0));
    ASSERT_TRUE(AppendNumber(PluginEngine().text, "General.StereoImageProc.Active", 0, 1.0));     // exactly 30 characters
    ASSERT_TRUE(AppendNumber(PluginEngine().text, "General.QuantizationDither.Active", 0, 1.0));  // longer: one blank
    ASSERT_TRUE(AppendString(PluginEngine().text, "General.Name", "FM Stereo 1"));
    EXPECT_STREQ(PluginEngine().text.text + std::strlen(kSettingsHeader),
                 "Window.Main.Show               = 1\r\n"
                 "General.StereoImageProc.Active  = 1\r\n"
                 "General.QuantizationDither.Active  = 1\r\n"
                 "General.Name                   = FM Stereo 1\r\n");
    const char* line = std::strstr(PluginEngine().text.text, "Window.Main.Show");
    EXPECT_EQ(std::strchr(line, '=') - line, 31);  // column 32, counted from 1
}

TEST(SettingsTextFormat, NumbersKeepTheirDigitsAndRoundLikePrintf) {
    BeginText(PluginEngine().text, "x.ini");
    AppendNumber(PluginEngine().text, "A", 1, -0.1);
    AppendNumber(PluginEngine().text, "B", 3, 2.5);
    AppendNumber(PluginEngine().text, "C", 0, 2.5);    // exact tie: round half to even, as "%.0f" does
    AppendNumber(PluginEngine().text, "D", 1, -0.04);  // keeps its sign
    AppendNumber(PluginEngine().text, "E", 0, 16984.0);
    AppendNumber(PluginEngine().text, "F", 1, 0.05);   // 0.05 is slightly above the tie in binary
    EXPECT_NE(std::strstr(PluginEngine().text.text, "\r\nA                              = -0.1\r\n"), nullptr);
    EXPECT_NE(std::strstr(PluginEngine().text.text, "\r\nB                              = 2.500\r\n"), nullptr);
    EXPECT_NE(std::strstr(PluginEngine().text.text, "\r\nC                              = 2\r\n"), nullptr);
    EXPECT_NE(std::strstr(PluginEngine().text.text, "\r\nD                              = -0.0\r\n"), nullptr);
    EXPECT_NE(std::strstr(PluginEngine().text.text, "\r\nE                              = 16984\r\n"), nullptr);
    EXPECT_NE(std::strstr(PluginEngine().text.text, "\r\nF                              = 0.1\r\n"), nullptr);
}

TEST(SettingsTextFormat, UnusableKeysAreNeitherWrittenNorRead) {
    const std::string key40(40, 'k');
    const std::string key41(41, 'k');
    BeginText(PluginEngine().text, "x.ini");
    const std::size_t before = std::strlen(PluginEngine().text.text);
    EXPECT_FALSE(AppendNumber(PluginEngine().text, key41.c_str(), 0, 1.0));
    EXPECT_FALSE(AppendNumber(PluginEngine().text, "Has Blank", 0, 1.0));
    EXPECT_FALSE(AppendString(PluginEngine().text, key41.c_str(), "x"));
    EXPECT_EQ(std::strlen(PluginEngine().text.text), before);
    EXPECT_TRUE(AppendNumber(PluginEngine().text, key40.c_str(), 0, 7.0));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, key40.c_str(), -1.0), 7.0);

    // A 41-character key present in a file is not found either.
    setText(crlf("header\n" + key41 + " = 5\n"));
    EXPECT_FALSE(HasKey(PluginEngine().text, key41.c_str()));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, key41.c_str(), -1.0), -1.0);
}

TEST(SettingsTextFormat, AppendingStopsPastTheLimitButNeverOverflows) {
    BeginText(PluginEngine().text, "x.ini");
    int appended = 0;
    while (AppendNumber(PluginEngine().text, "Filler.Key", 0, 12345.0)) ++appended;
    const std::size_t length = std::strlen(PluginEngine().text.text);
    EXPECT_GT(length, 16256u);  // the last accepted line started at or below the limit
    EXPECT_LT(length, 16256u + 64u);
    EXPECT_GT(appended, 300);
    EXPECT_FALSE(AppendString(PluginEngine().text, "Another", "text"));
    EXPECT_EQ(std::strlen(PluginEngine().text.text), length);

    // A text value longer than the room left is refused whole.
    BeginText(PluginEngine().text, "x.ini");
    const std::string huge(17000, 'v');
    EXPECT_FALSE(AppendString(PluginEngine().text, "Huge", huge.c_str()));
    EXPECT_EQ(PluginEngine().text.text[sizeof PluginEngine().text.text - 1], '\0');
}

TEST(SettingsTextLookup, KeyMatchesOnlyAtALineStartFollowedByABlank) {
    setText(crlf("Compressor.Ratio1 = 9\nheader\nCompressor.Ratio10 = 3.0\nCompressor.Ratio1 = 2.0\n"));
    // The first line has no CR LF before it, so the first "Ratio1" line is invisible.
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Compressor.Ratio1", -1.0), 2.0);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Compressor.Ratio10", -1.0), 3.0);
    EXPECT_FALSE(HasKey(PluginEngine().text, "Compressor.Ratio"));

    setText(crlf("First.Key = 4\nSecond.Key = 5\n"));
    EXPECT_FALSE(HasKey(PluginEngine().text, "First.Key"));
    EXPECT_TRUE(HasKey(PluginEngine().text, "Second.Key"));
}

TEST(SettingsTextLookup, LfOnlyFilesHoldNoKeys) {
    setText("Drelvant\nheader\nFilename: x\n-----\nAlpha = 1\nBeta = 2\n");
    EXPECT_FALSE(HasKey(PluginEngine().text, "Alpha"));
    EXPECT_FALSE(HasKey(PluginEngine().text, "Beta"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Beta", 42.0), 42.0);
}

TEST(SettingsTextLookup, ALineWithoutSignTakesTheNextSign) {
    setText(crlf("h\nAlpha 17\nBeta = 5\n"));
    EXPECT_TRUE(HasKey(PluginEngine().text, "Alpha"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Alpha", -1.0), 5.0);
    // A sign that ends the text has no value after it.
    setText(crlf("h\nGamma =").c_str());
    EXPECT_TRUE(HasKey(PluginEngine().text, "Gamma"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Gamma", -1.0), -1.0);
    char out[32];
    EXPECT_FALSE(GetString(PluginEngine().text, "Gamma", out));
}

TEST(SettingsTextNumbers, ReadsAreSinglePrecisionWidenedToDouble) {
    BeginText(PluginEngine().text, "x.ini");
    AppendNumber(PluginEngine().text, "General.PostAmp.dB", 1, -0.1);
    EXPECT_EQ(GetNumber(PluginEngine().text, "General.PostAmp.dB", 0.0), static_cast<double>(-0.1f));
    EXPECT_NEAR(GetNumber(PluginEngine().text, "General.PostAmp.dB", 0.0), -0.100000001490116, 1e-15);

    setText(crlf("h\nA = 0.1\nB =    -12.5e1 trailing\nC = +3\n"));
    EXPECT_EQ(GetNumber(PluginEngine().text, "A", 0.0), 0.100000001490116119384765625);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "B", 0.0), -125.0);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "C", 0.0), 3.0);
}

TEST(SettingsTextNumbers, MalformedValuesGiveTheFallback) {
    setText(crlf("h\nComma = 1,5\nWord = abc\nEmpty = \nNan = nan\nInf = -inf\nHuge = 1e50\nTiny = 1e-50\n"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Comma", -1.0), 1.0);  // only the integer part
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Word", -1.0), -1.0);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Empty", -1.0), -1.0);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Nan", -1.0), -1.0);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Inf", -1.0), -1.0);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Huge", -1.0), -1.0);  // beyond single precision: infinity
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Tiny", -1.0), 0.0);

    double value = 0.0;
    EXPECT_EQ(LookupNumber(PluginEngine().text, "Nan", &value), kNumberNonFinite);
    EXPECT_EQ(LookupNumber(PluginEngine().text, "Huge", &value), kNumberNonFinite);
    EXPECT_EQ(LookupNumber(PluginEngine().text, "Word", &value), kNumberUnparsed);
    EXPECT_EQ(LookupNumber(PluginEngine().text, "Missing", &value), kNumberAbsent);
}

TEST(SettingsTextNumbers, PointIsTheSeparatorWhateverTheLocale) {
    // A numeric locale with a decimal comma, compiled into a private folder (only LC_NUMERIC).
    ScratchFolder folder;
    folder.write("comma.src", "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n");
    const std::string build = "localedef -c -i '" + folder.file("comma.src") + "' -f UTF-8 '" +
                              folder.file("xx_COMMA.UTF-8") + "' >/dev/null 2>&1";
    const int ignoredStatus = std::system(build.c_str());  // warns about the missing categories
    (void)ignoredStatus;
    const char* oldLocPath = std::getenv("LOCPATH");
    const std::string savedLocPath = oldLocPath != nullptr ? oldLocPath : "";
    setenv("LOCPATH", folder.path.c_str(), 1);
    const std::string savedLocale = std::setlocale(LC_NUMERIC, nullptr);
    const bool commaLocale = std::setlocale(LC_NUMERIC, "xx_COMMA.UTF-8") != nullptr;
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    if (commaLocale && std::string(probe) == "2,5") {
        BeginText(PluginEngine().text, "x.ini");
        AppendNumber(PluginEngine().text, "Value", 1, 2.5);
        EXPECT_NE(std::strstr(PluginEngine().text.text, "= 2.5\r\n"), nullptr);
        EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Value", 0.0), 2.5);
    }
    std::setlocale(LC_NUMERIC, savedLocale.c_str());
    if (oldLocPath != nullptr) {
        setenv("LOCPATH", savedLocPath.c_str(), 1);
    } else {
        unsetenv("LOCPATH");
    }
    if (!commaLocale || std::string(probe) != "2,5") GTEST_SKIP() << "no locale with a decimal comma available";
}

TEST(SettingsTextStrings, GetStringRules) {
    const std::string name31(31, 'n');
    const std::string name32(32, 'n');
    setText(crlf("h\nGeneral.Name = \nA = Rock\nB = " + name31 + "\nC = " + name32 + "\n") + "Last = no end");
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_TRUE(GetString(PluginEngine().text, "General.Name", out));  // found, zero length
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(GetString(PluginEngine().text, "A", out));
    EXPECT_STREQ(out, "Rock");
    EXPECT_TRUE(GetString(PluginEngine().text, "B", out));
    EXPECT_EQ(std::string(out), name31);
    EXPECT_FALSE(GetString(PluginEngine().text, "C", out));  // 32 characters do not fit
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(GetString(PluginEngine().text, "Last", out));  // no CR after the value
    EXPECT_FALSE(GetString(PluginEngine().text, "Missing", out));
    EXPECT_STREQ(out, "");
}

TEST(SettingsTextFiles, MissingEmptyBinaryAndOversizedFilesGiveFallbacks) {
    ScratchFolder folder;
    EXPECT_FALSE(ReadTextFile(PluginEngine().text, "absent.ini"));
    EXPECT_EQ(PluginEngine().text.text[0], '\0');
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "General.StartupPreset", 0.0), 0.0);

    folder.write("empty.ini", "");
    EXPECT_TRUE(ReadTextFile(PluginEngine().text, "empty.ini"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Window.Main.X", 32.0), 32.0);

    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xff);
    folder.write("binary.ini", binary);
    EXPECT_TRUE(ReadTextFile(PluginEngine().text, "binary.ini"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "General.StartupPreset", -3.0), -3.0);

    // Keys beyond the first 16,383 bytes are not seen; the text stays terminated.
    std::string big = crlf("h\nEarly = 1\n");
    while (big.size() < 16380) big += 'x';  // the "Late" line starts at byte 16,380
    big += crlf("\nLate = 2\n");
    folder.write("big.ini", big);
    EXPECT_TRUE(ReadTextFile(PluginEngine().text, "big.ini"));
    EXPECT_EQ(std::strlen(PluginEngine().text.text), 16383u);
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "Early", 0.0), 1.0);
    EXPECT_FALSE(HasKey(PluginEngine().text, "Late"));
}

TEST(SettingsTextFiles, WriteRoundTripsAndReportsFailure) {
    ScratchFolder folder;
    BeginText(PluginEngine().text, "dsp_Drelvant.ini");
    AppendNumber(PluginEngine().text, "General.StartupPreset", 0, -3.0);
    ASSERT_TRUE(WriteTextFile(PluginEngine().text));
    EXPECT_EQ(folder.read("dsp_Drelvant.ini"), std::string(kSettingsHeader) + "General.StartupPreset          = -3\r\n");
    ASSERT_TRUE(ReadTextFile(PluginEngine().text, "dsp_Drelvant.ini"));
    EXPECT_DOUBLE_EQ(GetNumber(PluginEngine().text, "General.StartupPreset", 0.0), -3.0);
    EXPECT_STREQ(PluginEngine().text.fileName, "dsp_Drelvant.ini");  // reading does not rename the text

    SetHostDirectory(PluginEngine().text, folder.path + "no/such/folder/");
    BeginText(PluginEngine().text, "dsp_Drelvant.ini");
    EXPECT_FALSE(WriteTextFile(PluginEngine().text));
}

TEST(SettingsTextFolder, SearchTakesAWritablePerUserFolderElseTheCurrentDirectory) {
    ScratchFolder scratch;
    const std::string configHome = scratch.path.substr(0, scratch.path.size() - 1);
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    const std::string savedHome = oldHome != nullptr ? oldHome : "";

    SetHostDirectory(PluginEngine().text, std::string());
    ForgetFoundHostDirectory(PluginEngine().text);
    setenv("XDG_CONFIG_HOME", "/proc/drelvant-none", 1);
    setenv("HOME", "/proc/drelvant-none", 1);
    EXPECT_EQ(ResolvePath(PluginEngine().text, "dsp_Drelvant.ini"), "dsp_Drelvant.ini");  // nothing usable: bare name

    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);  // searched again on the next call
    EXPECT_EQ(ResolvePath(PluginEngine().text, "dsp_Drelvant.ini"), scratch.path + "drelvant/dsp_Drelvant.ini");
    setenv("XDG_CONFIG_HOME", "/proc/drelvant-none", 1);  // once found, kept
    EXPECT_EQ(ResolvePath(PluginEngine().text, "x"), scratch.path + "drelvant/x");

    SetHostDirectory(PluginEngine().text, scratch.path);  // an explicit folder wins over the search
    EXPECT_EQ(ResolvePath(PluginEngine().text, "x"), scratch.path + "x");

    ForgetFoundHostDirectory(PluginEngine().text);
    if (oldXdg != nullptr) {
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    if (oldHome != nullptr) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}
