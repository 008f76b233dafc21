// The wide form of file names: every byte of a name survives it, and no
// malformed UTF-8 turns into a character that means something in a path.
#include <gtest/gtest.h>

#include <string>

#include "FileNameEncoding.h"

TEST(FileNameEncoding, MalformedUtf8NeverDecodesToPathCharacters) {
    // an overlong '/', a cut sequence and an encoded surrogate keep their bytes
    // as escapes, one per byte
    EXPECT_EQ(Utf8ToWide("a\xC0\xAF" "b"), std::wstring(L"a\xDCC0\xDCAF" L"b"));
    EXPECT_EQ(Utf8ToWide("x\xC3"), std::wstring(L"x\xDCC3"));
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), std::wstring(L"\xDCED\xDCA0\xDC80"));
    EXPECT_EQ(Utf8ToWide(WideToUtf8(L"\u00e9\u20ac\U0001F600")), L"\u00e9\u20ac\U0001F600");
}

TEST(FileNameEncoding, NamesThatAreNotUtf8KeepTheirBytes) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
    const std::wstring name = Utf8ToWide(everyByte);
    EXPECT_TRUE(HasEscapedBytes(name));
    EXPECT_EQ(WideToUtf8(name), everyByte);
    EXPECT_FALSE(HasEscapedBytes(Utf8ToWide("/music/caf\xC3\xA9.wav")));
    EXPECT_EQ(ShownName("/music/caf\xE9 \xC3\xA9.wav"), "/music/caf\\xE9 \xC3\xA9.wav");
}
