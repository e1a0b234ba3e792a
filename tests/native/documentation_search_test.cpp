// Tests of the documentation window's search: case, cut to 63 characters, wrap-around, stepping.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/documentation_search.h"

namespace {

// Lower-cases a copy of the manual text as the window does with its 64 KB buffer.
std::string lowered(const char* text) {
    std::string copy(text);
    LowerAsciiInPlace(copy.data());
    return copy;
}

}  // namespace

TEST(DocumentationSearch, LowerCasesOnlyLettersAToZ) {
    char text[] = "10-BAND Compressor: Ratio 2:1 [OK] \xC4";
    LowerAsciiInPlace(text);
    EXPECT_STREQ(text, "10-band compressor: ratio 2:1 [ok] \xC4");
}

TEST(DocumentationSearch, CompressorFindsUpperCaseHeading) {
    const std::string text = lowered("Intro\r\n10-BAND COMPRESSOR\r\nThe compressor ...");
    char search[kSearchBufferBytes];
    PrepareSearchText("compressor", search);
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 0), 15);
    PrepareSearchText("COMPRESSOR", search);
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 0), 15);
}

TEST(DocumentationSearch, WrapsToAMatchBeforeTheSelection) {
    const std::string text = lowered("alpha beta gamma delta");
    char search[kSearchBufferBytes];
    PrepareSearchText("Beta", search);
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 12), 6);  // only occurrence lies before offset 12
}

TEST(DocumentationSearch, StepsThroughSuccessiveMatchesAndWraps) {
    const std::string text = lowered("Limiter one, LIMITER two, limiter three");
    char search[kSearchBufferBytes];
    PrepareSearchText("limiter", search);
    const long length = static_cast<long>(std::strlen(search));
    long selectionEnd = 0;
    long first = FindWithWrap(text.c_str(), search, selectionEnd);
    EXPECT_EQ(first, 0);
    selectionEnd = first + length;  // the window selects the match; the next search starts at its end
    long second = FindWithWrap(text.c_str(), search, selectionEnd);
    EXPECT_EQ(second, 13);
    selectionEnd = second + length;
    long third = FindWithWrap(text.c_str(), search, selectionEnd);
    EXPECT_EQ(third, 26);
    selectionEnd = third + length;
    EXPECT_EQ(FindWithWrap(text.c_str(), search, selectionEnd), 0);  // after the last, back to the first
}

TEST(DocumentationSearch, NotFoundAnywhere) {
    const std::string text = lowered("nothing to see here");
    char search[kSearchBufferBytes];
    PrepareSearchText("absent", search);
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 0), -1);
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 5), -1);
}

TEST(DocumentationSearch, EmptySearchFindsNothing) {
    char search[kSearchBufferBytes];
    PrepareSearchText("", search);
    EXPECT_EQ(search[0], '\0');
    EXPECT_EQ(FindWithWrap("text", search, 0), -1);
}

TEST(DocumentationSearch, SearchTextIsCutToItsFirstSixtyThreeCharacters) {
    const std::string typed(70, 'X');
    char search[kSearchBufferBytes];
    PrepareSearchText(typed.c_str(), search);
    EXPECT_EQ(std::strlen(search), 63u);
    EXPECT_EQ(std::string(search), std::string(63, 'x'));
    // A text holding exactly 63 x's is found although the typed text has 70.
    const std::string text = "begin " + std::string(63, 'x') + " end";
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 0), 6);
}

TEST(DocumentationSearch, SelectionBeyondTheTextSearchesFromTheStart) {
    const std::string text = lowered("short text");
    char search[kSearchBufferBytes];
    PrepareSearchText("text", search);
    EXPECT_EQ(FindWithWrap(text.c_str(), search, 5000), 6);
}
