// SPDX-License-Identifier: GPL-3.0-or-later
// Collation without regard to case, sort keys in the same order, case conversion, and
// the locale's number, date and time formats.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <thread>
#include <vector>

namespace korvello::test {
namespace {

class Locale : public ::testing::Test {
protected:
    void SetUp() override { platform = sys.MakePlatform(); }

    FakeSystem sys;
    std::unique_ptr<PosixPlatform> platform;
};

TEST_F(Locale, CompareIgnoresCaseButNotLettersOrAccents) {
    EXPECT_EQ(platform->CompareText("Rock", "rock"), 0);
    EXPECT_EQ(platform->CompareText("ÄRZTE", "ärzte"), 0);
    EXPECT_LT(platform->CompareText("apple", "Banana"), 0);
    EXPECT_GT(platform->CompareText("Zebra", "apple"), 0);
    EXPECT_NE(platform->CompareText("resume", "résumé"), 0);
    EXPECT_NE(platform->CompareText("Rock", "Rocks"), 0);
    EXPECT_LT(platform->CompareText("", "a"), 0);
    // Broken UTF-8 compares without harm.
    EXPECT_NE(platform->CompareText("\xff\xfe", "a"), 0);
}

TEST_F(Locale, SortKeysOrderLikeCompare) {
    std::vector<std::string> words = {"rock",  "Rock",  "Abba",    "abba",     "Zappa",
                                      "Ärzte", "arzte", "élan",    "Elan",     "10cc",
                                      "2Pac",  "",      "Beatles", "beatles ", "\xff"};
    for (const auto& a : words) {
        for (const auto& b : words) {
            const int compare = platform->CompareText(a, b);
            const int keys = platform->CollationKey(a).compare(platform->CollationKey(b));
            EXPECT_EQ(compare < 0, keys < 0) << a << " / " << b;
            EXPECT_EQ(compare == 0, keys == 0) << a << " / " << b;
        }
    }
}

TEST_F(Locale, CollationIsSafeFromTwoThreads) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(2, 0);
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                wrong[t] += platform->CompareText("Rock", "rock") != 0;
                wrong[t] += platform->CollationKey("Abba") != platform->CollationKey("ABBA");
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, (std::vector<int>{0, 0}));
}

TEST_F(Locale, CaseConversionIsUnicodeAware) {
    EXPECT_EQ(platform->LowerCase("ÄRZTE Mp3"), "ärzte mp3");
    EXPECT_EQ(platform->UpperCase("straße.mp3"), "STRASSE.MP3");
    // File names do not follow the Turkish rules whatever the user's language.
    EXPECT_EQ(platform->UpperCase("index"), "INDEX");
    EXPECT_EQ(platform->LowerCase(""), "");
}

TEST_F(Locale, NumbersDatesAndTimesFollowTheCurrentLocale) {
    // The expected texts are the "C" locale's, whatever the environment chose.
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    const std::string time = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(platform->DecimalSeparator(), ".");
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 2;
    local.tm_hour = 13;
    local.tm_min = 5;
    local.tm_sec = 9;
    EXPECT_EQ(platform->ShortDate(local), "01/02/24");
    EXPECT_EQ(platform->LongTime(local), "13:05:09");
    std::setlocale(LC_NUMERIC, numeric.c_str());
    std::setlocale(LC_TIME, time.c_str());
}

} // namespace
} // namespace korvello::test
