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
