// SPDX-License-Identifier: GPL-3.0-or-later
// Profile (INI) files read and written one key at a time, with every other line of the
// file kept as it was.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

namespace korvello::test {
namespace {

namespace fs = std::filesystem;

class Profile : public ::testing::Test {
protected:
    void SetUp() override { platform = sys.MakePlatform(); }

    std::string Get(const std::string& section, const std::string& key) {
        return platform->GetPrivateProfileString(section, key, "def", ini);
    }

    // Files in the program folder besides the program and the settings file.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(sys.At("/opt/korvello"))) {
            const std::string name = entry.path().filename().string();
            if (name != "korvello" && name != "ipdes.dll")
                names.push_back(name);
        }
        return names;
    }

    FakeSystem sys;
    std::unique_ptr<PosixPlatform> platform;
    const std::string ini = "c:\\opt\\korvello\\ipdes.dll";
    std::string file = sys.At("/opt/korvello/ipdes.dll");
};

TEST_F(Profile, ReadsKeysTheWayWindowsDoes) {
    WriteFile(file, "; layout\n"
                    "orphan=before any section\n"
                    "[Visible]\n"
                    "  SearchBox  =  0  \n"
                    "Quoted=\"  spaced  \"\n"
                    "Half=\"open\n"
                    "Empty=\n"
                    ";ArtistList=0\n"
                    "[ colwidth ]\n"
                    "3=0x64\n"
                    "3=second\n");
    EXPECT_EQ(Get("visible", "searchbox"), "0");
    EXPECT_EQ(Get("VISIBLE", "Quoted"), "  spaced  ");
    EXPECT_EQ(Get("Visible", "Half"), "\"open");
    EXPECT_EQ(Get("Visible", "Empty"), "");
    EXPECT_EQ(Get("Visible", "ArtistList"), "def"); // commented out
    EXPECT_EQ(Get("Visible", "orphan"), "def");
    EXPECT_EQ(Get("COLWIDTH", "3"), "0x64"); // the first of two wins
    EXPECT_EQ(Get("COLWIDTH", "4"), "def");
    EXPECT_EQ(Get("Other", "3"), "def");
    EXPECT_EQ(platform->GetPrivateProfileString("COLWIDTH", "3", "d", "c:\\no\\such\\file"), "d");
}

TEST_F(Profile, WritesChangeOnlyTheirOwnLine) {
    WriteFile(file, "; kept comment\r\n"
                    "[Visible]\r\n"
                    "SearchBox=0\r\n"
                    "\r\n"
                    "[COLWIDTH]\r\n"
                    " 1 = 80\r\n"
                    "\r\n"
                    "[Other]\r\n"
                    "x=y");
    ASSERT_TRUE(platform->WritePrivateProfileString("colwidth", "1", "120", ini));
    ASSERT_TRUE(platform->WritePrivateProfileString("COLWIDTH", "2", "90", ini));
    ASSERT_TRUE(platform->WritePrivateProfileString("other", "z", "1", ini));
    ASSERT_TRUE(platform->WritePrivateProfileString("New", "k", "v", ini));
    EXPECT_EQ(ReadFile(file), "; kept comment\r\n"
                              "[Visible]\r\n"
                              "SearchBox=0\r\n"
                              "\r\n"
                              "[COLWIDTH]\r\n"
                              "1=120\r\n"
                              "2=90\r\n"
                              "\r\n"
                              "[Other]\r\n"
                              "x=y\r\n"
                              "z=1\r\n"
                              "[New]\r\n"
                              "k=v\r\n");
    EXPECT_EQ(Get("COLWIDTH", "1"), "120");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(Profile, MissingFileIsCreatedWithPlainLineEnds) {
    ASSERT_TRUE(platform->WritePrivateProfileString("COLWIDTH", "0", "16", ini));
    ASSERT_TRUE(platform->WritePrivateProfileString("COLWIDTH", "1", "80", ini));
    EXPECT_EQ(ReadFile(file), "[COLWIDTH]\n0=16\n1=80\n");
}

TEST_F(Profile, FailedWritesReportFalseAndChangeNothing) {
    WriteFile(file, "[A]\nk=1\n");
    // Tests run as root, whom folder permissions do not stop; a path through a regular
    // file cannot be written by anyone.
    WriteFile(sys.At("/opt/blocker"), "a file, not a folder");
    EXPECT_FALSE(platform->WritePrivateProfileString("A", "k", "2", "c:\\opt\\blocker\\x.ini"));
    EXPECT_FALSE(platform->WritePrivateProfileString("A", "k", "2", "q:\\x.ini"));
    // Texts that would add lines of their own are refused.
    EXPECT_FALSE(platform->WritePrivateProfileString("A", "k", "2\n[B]\nevil=1", ini));
    EXPECT_FALSE(platform->WritePrivateProfileString("A", "k=j", "2", ini));
    EXPECT_FALSE(platform->WritePrivateProfileString("A]x", "k", "2", ini));
    EXPECT_FALSE(platform->WritePrivateProfileString("A", " ", "2", ini));
    // A file that is a folder is neither read nor replaced.
    MakeDirs(sys.At("/opt/korvello/dir.ini"));
    EXPECT_FALSE(platform->WritePrivateProfileString("A", "k", "2", "c:\\opt\\korvello\\dir.ini"));
    EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"dir.ini"});
}

TEST_F(Profile, AReadOnlyFileIsNotWritten) {
    WriteFile(file, "[A]\nk=1\n");
    // No write bit: refused as Windows refuses a read-only file, also for root.
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(platform->WritePrivateProfileString("A", "k", "2", ini));
    EXPECT_FALSE(platform->WritePrivateProfileString("B", "new", "1", ini));
    EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
    EXPECT_EQ(Get("A", "k"), "1");
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    // Writable again, the same write goes through and keeps the file's permissions.
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(platform->WritePrivateProfileString("A", "k", "2", ini));
    EXPECT_EQ(ReadFile(file), "[A]\nk=2\n");
}

TEST_F(Profile, WritesFromTwoThreadsAreNotLost) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i)
                platform->WritePrivateProfileString("Error Log", std::to_string(t * 100 + i),
                                                    "message", ini);
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(Get("Error Log", std::to_string(t * 100 + i)), "message");
}

} // namespace
} // namespace korvello::test
