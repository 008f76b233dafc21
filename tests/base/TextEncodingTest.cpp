// Text of unknown encoding: UTF-8 stays, the Western code page is read as such.
#include <gtest/gtest.h>

#include "TextEncoding.h"

TEST(TextEncodingTest, ValidUtf8StaysAndCodePageBytesAreRead) {
    EXPECT_EQ(LegacyTextToUtf8("Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB5"), "Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(LegacyTextToUtf8("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(LegacyTextToUtf8("\x93Hi\x94 \x80"), "\xE2\x80\x9CHi\xE2\x80\x9D \xE2\x82\xAC");
    EXPECT_EQ(LegacyTextToUtf8("a\x81z\xFF"), "a\xEF\xBF\xBDz\xC3\xBF");
}

TEST(TextEncodingTest, OverlongSurrogateAndCutSequencesAreNotUtf8) {
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("ab\xE2\x80"));        // cut at the end
    EXPECT_TRUE(IsValidUtf8(""));
}
