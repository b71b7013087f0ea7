// SPDX-License-Identifier: GPL-3.0-or-later
// Profile (INI) files read and written one key at a time, with every other line of the
// file kept as it was.

#include "FakeSystem.h"
#include "platform/posix/ProfileText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
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
            if (name != "korvello" && name != "ipdes.dll" && name != kPortableMarker)
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

// A batch reads and writes what the same keys read or written one by one would, on texts
// made of the shapes that matter: headers in other cases and repeated, keys in other cases
// and repeated, blank lines between sections, comments, CRLF, a BOM, a last line without
// its line ending, names outside ASCII.
TEST(ProfileBatch, ReadsAndWritesWhatOneKeyAtATimeWould) {
    const std::vector<std::string> pieces = {
        "[COLWIDTH]", "[colwidth]", " [ Visible ] ", "[Ärger]", "[ärger]", "[Other]", "1=80",
        " 2 = 90 ",   "3=\"q\"",    "A=x",           "a=y",     "Ä=1",     "ä=2",     "; 1=0",
        "",           "  ",         "junk",          "[half"};
    const std::vector<std::string> sections = {"COLWIDTH", "Visible", "ärger",
                                               "New",      "new",     "half"};
    const std::vector<std::string> keys = {"1", "2", "3", "a", "Ä", "new", "NEW"};
    std::mt19937 random(20261209);
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string eol = random() % 3 == 0 ? "\r\n" : "\n";
        std::string text = random() % 10 == 0 ? "\xEF\xBB\xBF" : "";
        const int lineCount = static_cast<int>(random() % 12);
        for (int i = 0; i < lineCount; ++i)
            text += pick(pieces) + (i + 1 < lineCount || random() % 3 != 0 ? eol : "");
        std::vector<ProfileKey> batch;
        const int keyCount = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < keyCount; ++i)
            batch.push_back({pick(sections), pick(keys), std::to_string(random() % 1000)});
        SCOPED_TRACE("text [" + text + "] round " + std::to_string(round));

        std::vector<ProfileKey> read = batch;
        posix::ProfileReadMany(text, read);
        for (std::size_t i = 0; i < batch.size(); ++i)
            EXPECT_EQ(read[i].value,
                      posix::ProfileRead(text, batch[i].section, batch[i].key, batch[i].value));

        std::string oneByOne = text;
        for (const ProfileKey& k : batch)
            posix::ProfileWrite(oneByOne, k.section, k.key, k.value);
        std::string together = text;
        posix::ProfileWriteMany(together, batch);
        ASSERT_EQ(together, oneByOne);
    }
}

TEST_F(Profile, ABatchIsOneReadAndOneRewriteOfTheFile) {
    WriteFile(file, "[Visible]\nSearchBox=0\n[COLWIDTH]\n1=80\n");
    std::vector<ProfileKey> asked = {
        {"Visible", "SearchBox", "1"}, {"Visible", "ArtistList", "1"}, {"COLWIDTH", "1", "d"}};
    platform->GetPrivateProfileStrings(asked, ini);
    EXPECT_EQ(asked[0].value, "0");
    EXPECT_EQ(asked[1].value, "1"); // missing: the default
    EXPECT_EQ(asked[2].value, "80");
    std::vector<ProfileKey> missing = {{"A", "k", "def"}};
    platform->GetPrivateProfileStrings(missing, "c:\\no\\such\\file");
    EXPECT_EQ(missing[0].value, "def");

    ASSERT_TRUE(platform->WritePrivateProfileStrings(
        {{"COLWIDTH", "1", "120"}, {"COLWIDTH", "2", "90"}}, ini));
    EXPECT_EQ(ReadFile(file), "[Visible]\nSearchBox=0\n[COLWIDTH]\n1=120\n2=90\n");
    // One key that cannot be written and none is; nor is a read-only file touched.
    EXPECT_FALSE(
        platform->WritePrivateProfileStrings({{"COLWIDTH", "1", "7"}, {"A", "k", "2\n[B]"}}, ini));
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_FALSE(platform->WritePrivateProfileStrings({{"COLWIDTH", "1", "7"}}, ini));
    EXPECT_EQ(ReadFile(file), "[Visible]\nSearchBox=0\n[COLWIDTH]\n1=120\n2=90\n");
    EXPECT_TRUE(Leftovers().empty());
}

} // namespace
} // namespace korvello::test
