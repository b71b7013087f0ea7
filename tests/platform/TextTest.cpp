// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace korvello;

TEST(Text, Utf16RoundTripAndLoneSurrogates) {
    const std::u16string mixed = u"Caf\u00e9 \u65e5\u672c \U0001F3B5";
    EXPECT_EQ(ToUtf16(ToUtf8(mixed)), mixed);
    // A lone high surrogate and a lone low surrogate each become U+FFFD.
    std::u16string broken = u"a";
    broken += char16_t(0xD800);
    broken += u"b";
    broken += char16_t(0xDC00);
    EXPECT_EQ(ToUtf8(broken), "a\xEF\xBF\xBD"
                              "b\xEF\xBF\xBD");
    // Malformed UTF-8: a cut sequence and a stray continuation byte.
    EXPECT_EQ(ToUtf16("x\xE6\x97"), u"x\uFFFD\uFFFD");
    EXPECT_EQ(ToUtf16("\x80y"), u"\uFFFDy");
}

TEST(Text, Utf8LeftNeverCutsASequence) {
    const std::string s = "\xE6\x97\xA5\xE6\x9C\xAC"
                          "ab"; // two CJK characters then ab
    EXPECT_EQ(Utf8Length(s), 4u);
    EXPECT_EQ(Utf8Left(s, 1), "\xE6\x97\xA5");
    EXPECT_EQ(Utf8Left(s, 3), "\xE6\x97\xA5\xE6\x9C\xAC"
                              "a");
    EXPECT_EQ(Utf8Left(s, 10), s);
}

TEST(Text, StrToIntDecimalHexAndRejects) {
    std::int32_t v = -1;
    EXPECT_TRUE(TryStrToInt("120", v));
    EXPECT_EQ(v, 120);
    EXPECT_TRUE(TryStrToInt("0x64", v));
    EXPECT_EQ(v, 100);
    EXPECT_TRUE(TryStrToInt("0X1f", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(TryStrToInt("-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(TryStrToInt("0", v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(TryStrToInt("abc", v));
    EXPECT_FALSE(TryStrToInt("", v));
    EXPECT_FALSE(TryStrToInt("0x", v));
    EXPECT_FALSE(TryStrToInt("12a", v));
    EXPECT_FALSE(TryStrToInt("99999999999", v));
    EXPECT_FALSE(TryStrToInt("0x64", v, false));
}

// Every code point of every length class, in texts of one and of many: the conversions
// agree with each other, and each UTF-8 sequence has the standard length.
TEST(Text, EveryCodePointRoundTripsAtItsStandardLength) {
    std::u16string all;
    std::size_t expectedBytes = 0;
    for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x3000 ? 1 : 97)) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        std::u16string one;
        if (cp >= 0x10000) {
            one += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            one += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            one += static_cast<char16_t>(cp);
        }
        const std::size_t bytes = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        const std::string utf8 = ToUtf8(one);
        ASSERT_EQ(utf8.size(), bytes) << std::hex << static_cast<unsigned>(cp);
        ASSERT_EQ(ToUtf16(utf8), one) << std::hex << static_cast<unsigned>(cp);
        all += one;
        expectedBytes += bytes;
    }
    const std::string utf8 = ToUtf8(all);
    EXPECT_EQ(utf8.size(), expectedBytes);
    EXPECT_EQ(ToUtf16(utf8), all);
}

TEST(Text, SurrogatesOutOfPlaceEachBecomeOneReplacement) {
    // A high surrogate at the very end, two highs before a low (the first is lone), and a
    // low before a high.
    std::u16string text = u"x";
    text += char16_t(0xD83C);
    EXPECT_EQ(ToUtf8(text), "x\xEF\xBF\xBD");
    text = u"";
    text += char16_t(0xD83C);
    text += char16_t(0xD83C);
    text += char16_t(0xDFB5);
    EXPECT_EQ(ToUtf8(text), "\xEF\xBF\xBD\xF0\x9F\x8E\xB5");
    text = u"";
    text += char16_t(0xDFB5);
    text += char16_t(0xD83C);
    EXPECT_EQ(ToUtf8(text), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // ASCII and then not: the widening of the plain part hands over to the decoder.
    EXPECT_EQ(ToUtf16("abc\xC3\xA9"), u"abc\u00e9");
    EXPECT_EQ(ToUtf16("abc\xC3"), u"abc\uFFFD");
}
