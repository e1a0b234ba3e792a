// Tests of the built-in manual: size, line ends, character set, title, contents and section order.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const char* const kSectionHeadings[] = {
    "REQUIREMENTS",
    "ABOUT PROCESSING QUALITY",
    "ABOUT DIGITAL FILTER QUALITY",
    "ABOUT DIGITAL FILTER TYPES",
    "ABOUT PROCESSING DELAY",
    "ABOUT CLIPPING, SATURATION AND HARMONICS",
    "SETTINGS AND PRESET FILES",
    "REMOTE CONTROL OF PRESET SELECTION",
    "DESCRIPTION, PURPOSE AND TARGET AUDIENCE",
    "DYNAMICS PROCESSING FOR LISTENING OR BROADCAST",
    "GETTING STARTED",
    "MAIN WINDOW",
    "CONTROLS",
    "HIGHPASS FILTER",
    "STEREO IMAGE PROCESSOR",
    "2-BAND AGC / EQUALIZER",
    "3-BAND EQUALIZER",
    "DENSITY DRIVE",
    "10-BAND PROCESSOR",
    "10-BAND DYNAMIC EQUALIZER",
    "10-BAND COMPRESSOR",
    "10-BAND EXPANDER",
    "10-BAND LIMITER",
    "10-BAND SATURATOR / CLIPPER",
    "10-BAND EQUALIZER",
    "FINAL WIDEBAND LIMITER",
    "FINAL CLIPPER",
    "LOWPASS FILTER",
    "POST AMP",
    "QUANTIZATION DITHER",
    "ADVANCED SETTINGS",
    "TEST TONE GENERATOR",
    "OSCILLOSCOPE",
    "SPECTRUM ANALYZER",
    "FREQUENCY RESPONSE ANALYZER",
    "KNOWN PROBLEMS",
    "TROUBLESHOOTING",
};

std::string manualText() {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!platform::findModuleResource("TEXT", 110, &data, &size)) return std::string();
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Splits at CR LF; the text's own tests below make sure no other line end occurs.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(text.substr(start, end - start));
    return result;
}

}  // namespace

TEST(ManualText, IsAboutFortyTwoThousandBytes) {
    const std::string text = manualText();
    EXPECT_GE(text.size(), 40000u);
    EXPECT_LE(text.size(), 44000u);
}

TEST(ManualText, IsPlainAsciiWithCrLfLineEnds) {
    const std::string text = manualText();
    ASSERT_FALSE(text.empty());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "lone CR at byte " << i;
        } else if (c == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at byte " << i;
        } else {
            ASSERT_TRUE(c >= 32 && c <= 126) << "byte " << static_cast<int>(c) << " at " << i;
        }
    }
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(ManualText, FirstLineNamesProductAndVersion) {
    const std::vector<std::string> all = lines(manualText());
    ASSERT_FALSE(all.empty());
    EXPECT_NE(all[0].find("Drelvant v1.2"), std::string::npos) << all[0];
}

TEST(ManualText, SectionsAppearOnceInOrderAfterTheContents) {
    const std::vector<std::string> all = lines(manualText());
    std::size_t previous = 0;
    for (const char* heading : kSectionHeadings) {
        std::size_t found = all.size();
        int count = 0;
        for (std::size_t n = 0; n < all.size(); ++n) {
            if (all[n] == heading) {
                ++count;
                found = n;
            }
        }
        ASSERT_EQ(count, 1) << heading;
        EXPECT_GT(found, previous) << heading << " out of order";
        previous = found;
    }
}

TEST(ManualText, ContentsListEverySectionBeforeTheFirstOne) {
    const std::string text = manualText();
    const std::size_t firstSection = text.find("\r\nREQUIREMENTS\r\n");
    ASSERT_NE(firstSection, std::string::npos);
    std::size_t previous = 0;
    for (const char* heading : kSectionHeadings) {
        const std::size_t entry = text.find(std::string(heading) + "\r\n", previous);
        ASSERT_NE(entry, std::string::npos) << heading;
        EXPECT_LT(entry, firstSection) << heading << " missing from the contents";
        previous = entry;
    }
}

TEST(ManualText, HeadingsAreUpperCase) {
    for (const char* heading : kSectionHeadings) {
        for (const char* c = heading; *c != '\0'; ++c) EXPECT_FALSE(*c >= 'a' && *c <= 'z') << heading;
    }
}

TEST(ManualText, NamesTheFilesAndTheRemoteCommand) {
    const std::string text = manualText();
    for (const char* phrase : {"dsp_Drelvant.ini", "DV_Preset01.ini", "DV_Select.tmp", "%APPDATA%\\Drelvant\\",
                               "~/.config/drelvant", "C:\\Progra~1\\Winamp\\", "F7 CD (No Proc)", "drelvant manual"})
        EXPECT_NE(text.find(phrase), std::string::npos) << phrase;
}
