// Text of unknown encoding: UTF-8 stays, the Western code page is read as such.
#include <gtest/gtest.h>

#include "TextEncoding.h"

TEST(TextEncodingTest, ValidUtf8StaysAndCodePageBytesAreRead) {
    EXPECT_EQ(LegacyTextToUtf8("Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB5"), "Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(LegacyTextToUtf8("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(LegacyTextToUtf8("\x93Hi\x94 \x80"), "\xE2\x80\x9CHi\xE2\x80\x9D \xE2\x82\xAC");
    EXPECT_EQ(LegacyTextToUtf8("a\x81z\xFF"), "a\xEF\xBF\xBDz\xC3\xBF");
    // An overlong form is no UTF-8: its bytes are code-page letters.
    EXPECT_EQ(LegacyTextToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    // Nor is a surrogate, a code point beyond U+10FFFF, or a sequence cut at the end.
    EXPECT_EQ(LegacyTextToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(LegacyTextToUtf8("\xF4\x90\x80\x80"), "\xC3\xB4\xEF\xBF\xBD\xE2\x82\xAC\xE2\x82\xAC");
    EXPECT_EQ(LegacyTextToUtf8("ab\xE2\x80"), "ab\xC3\xA2\xE2\x82\xAC");
}
