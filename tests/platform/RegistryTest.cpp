// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user registry stand-in, user.reg: typed values, names without regard to case,
// unknown lines kept, and a damaged file never silently lost.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvello::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "Software\\Korvello";

class Registry : public ::testing::Test {
protected:
    void SetUp() override { platform = sys.MakePlatform(); }

    FakeSystem sys;
    std::unique_ptr<PosixPlatform> platform;
    std::string file = sys.At("/home/u/.config/korvello/user.reg");
};

TEST_F(Registry, FirstRunCreatesTheKeyAndStoresDwords) {
    EXPECT_EQ(platform->RegQueryValue(kKey, "DBClickPlaySong").type, RegType::Missing);
    ASSERT_TRUE(platform->RegCreateKey(kKey));
    EXPECT_EQ(ReadFile(file), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n");
    ASSERT_TRUE(platform->RegSetDword(kKey, "DBClickPlaySong", 1));
    ASSERT_TRUE(platform->RegSetDword(kKey, "OverWriteExistFile", 0));
    ASSERT_TRUE(platform->RegSetDword(kKey, "dbclickplaysong", 0xDEADBEEF));
    EXPECT_EQ(ReadFile(file), "REGEDIT4\n"
                              "[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                              "\"DBClickPlaySong\"=dword:deadbeef\n"
                              "\"OverWriteExistFile\"=dword:00000000\n");
    const RegValue value = platform->RegQueryValue("software\\KORVELLO", "DBCLICKPLAYSONG");
    EXPECT_EQ(value.type, RegType::Dword);
    EXPECT_EQ(value.dword, 0xDEADBEEFu);
    // A second create changes nothing.
    ASSERT_TRUE(platform->RegCreateKey(kKey));
    EXPECT_EQ(platform->RegQueryValue(kKey, "OverWriteExistFile").type, RegType::Dword);
}

TEST_F(Registry, CommentsOnlyFileGetsAHeader) {
    WriteFile(file, "; written by hand\n");
    ASSERT_TRUE(platform->RegSetDword(kKey, "DBClickPlaySong", 1));
    EXPECT_EQ(ReadFile(file), "REGEDIT4\n; written by hand\n"
                              "[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                              "\"DBClickPlaySong\"=dword:00000001\n");
    EXPECT_FALSE(Exists(file + ".damaged"));
}

TEST_F(Registry, TypesAndUnknownLinesAreKept) {
    WriteFile(file, "REGEDIT4\r\n"
                    "\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                    "\"DBClickPlaySong\"=dword:00000007\r\n"
                    "\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Korvello]\r\n"
                    "; a comment\r\n"
                    "\"DBClickPlaySong\"=\"1\"\r\n"
                    "\"Blob\"=hex:01,02,\\\r\n"
                    "  03,04\r\n"
                    "\"Path\"=\"C:\\\\Music \\\"best\\\"\"\r\n"
                    "@=\"default\"\r\n");
    // A REG_SZ under a DWORD's name reads as a string, which the program takes as missing.
    const RegValue asText = platform->RegQueryValue(kKey, "DBClickPlaySong");
    EXPECT_EQ(asText.type, RegType::String);
    EXPECT_EQ(asText.text, "1");
    EXPECT_EQ(platform->RegQueryValue(kKey, "Path").text, "C:\\Music \"best\"");
    EXPECT_EQ(platform->RegQueryValue(kKey, "Blob").type, RegType::Missing);
    EXPECT_EQ(platform->RegQueryValue("Software\\Other", "DBClickPlaySong").dword, 7u);

    ASSERT_TRUE(platform->RegSetDword(kKey, "DBClickPlaySong", 0));
    ASSERT_TRUE(platform->RegSetDword(kKey, "Blob", 2));
    ASSERT_TRUE(platform->RegSetDword(kKey, "OverWriteExistFile", 1));
    EXPECT_EQ(ReadFile(file), "REGEDIT4\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                              "\"DBClickPlaySong\"=dword:00000007\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Korvello]\r\n"
                              "; a comment\r\n"
                              "\"DBClickPlaySong\"=dword:00000000\r\n"
                              "\"Blob\"=dword:00000002\r\n"
                              "\"Path\"=\"C:\\\\Music \\\"best\\\"\"\r\n"
                              "@=\"default\"\r\n"
                              "\"OverWriteExistFile\"=dword:00000001\r\n");
}

TEST_F(Registry, DamagedFileReadsAsMissingAndIsKeptAsideOnTheNextWrite) {
    const std::string damaged = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                                "\"DBClickPlaySong\"=dword:zz\n";
    WriteFile(file, damaged);
    EXPECT_EQ(platform->RegQueryValue(kKey, "DBClickPlaySong").type, RegType::Missing);
    ASSERT_TRUE(platform->RegSetDword(kKey, "DBClickPlaySong", 1));
    EXPECT_EQ(ReadFile(file + ".damaged"), damaged);
    EXPECT_EQ(platform->RegQueryValue(kKey, "DBClickPlaySong").dword, 1u);

    // A second damaged file does not replace the first copy.
    const std::string garbage = std::string("\x00\x01 binary", 9);
    WriteFile(file, garbage);
    EXPECT_EQ(platform->RegQueryValue(kKey, "DBClickPlaySong").type, RegType::Missing);
    ASSERT_TRUE(platform->RegCreateKey(kKey));
    EXPECT_EQ(ReadFile(file + ".damaged"), damaged);
    EXPECT_EQ(ReadFile(file + ".damaged.1"), garbage);
    EXPECT_EQ(ReadFile(file), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n");
}

TEST_F(Registry, AReadOnlyFileIsNotWrittenNorKeptAside) {
    ASSERT_TRUE(platform->RegSetDword(kKey, "DBClickPlaySong", 1));
    const std::string before = ReadFile(file);
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    fs::permissions(file, readOnly);
    EXPECT_FALSE(platform->RegSetDword(kKey, "DBClickPlaySong", 0));
    EXPECT_FALSE(platform->RegCreateKey("Software\\Other"));
    EXPECT_TRUE(platform->RegCreateKey(kKey)) << "an existing key needs no write";
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(platform->RegQueryValue(kKey, "DBClickPlaySong").dword, 1u);

    // A damaged read-only file is left alone too, with no copy beside it.
    WriteFile(file + ".tmp", "garbage without a header");
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    fs::rename(file + ".tmp", file);
    fs::permissions(file, readOnly);
    EXPECT_FALSE(platform->RegSetDword(kKey, "DBClickPlaySong", 0));
    EXPECT_EQ(ReadFile(file), "garbage without a header");
    EXPECT_FALSE(fs::exists(file + ".damaged"));
}

TEST_F(Registry, UnwritableConfigFolderIsReported) {
    // The configuration folder's place is taken by a regular file.
    WriteFile(sys.At("/home/u/.config/korvello"), "not a folder");
    EXPECT_FALSE(platform->RegCreateKey(kKey));
    EXPECT_FALSE(platform->RegSetDword(kKey, "DBClickPlaySong", 1));
    EXPECT_EQ(platform->RegQueryValue(kKey, "DBClickPlaySong").type, RegType::Missing);
    EXPECT_FALSE(platform->RegSetDword(kKey, "Bad\nName", 1));
}

TEST_F(Registry, TextValuesAreStoredQuotedAndReplaceAValueOfAnotherType) {
    ASSERT_TRUE(platform->RegSetDword(kKey, "CopyNaming", 3));
    ASSERT_TRUE(platform->RegSetString(kKey, "copynaming", "artist-album-title"));
    ASSERT_TRUE(platform->RegSetString(kKey, "Odd", "a \"b\" c:\\d"));
    EXPECT_EQ(ReadFile(file), "REGEDIT4\n"
                              "[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                              "\"CopyNaming\"=\"artist-album-title\"\n"
                              "\"Odd\"=\"a \\\"b\\\" c:\\\\d\"\n");
    const RegValue naming = platform->RegQueryValue(kKey, "COPYNAMING");
    EXPECT_EQ(naming.type, RegType::String);
    EXPECT_EQ(naming.text, "artist-album-title");
    EXPECT_EQ(platform->RegQueryValue(kKey, "Odd").text, "a \"b\" c:\\d");
    // A line break would end the value's line early: it is refused and nothing changes.
    const std::string before = ReadFile(file);
    EXPECT_FALSE(platform->RegSetString(kKey, "Odd", "two\nlines"));
    EXPECT_EQ(ReadFile(file), before);
}

} // namespace
} // namespace korvello::test
