// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli on iPods whose songs come from their own files: no database, a database
// that does not name every file (--with-unlisted and the stored setting), drives' count of
// such files, and a copy of songs read from their tags. Real audio made by sox and lame.
#include "support/CliRun.h"
#include "support/IpodTree.h"
#include "tags/AudioFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvello;
using namespace korvello::test;

namespace {

class CliFileSongs : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingAudioTools(); !missing.empty())
            GTEST_SKIP() << missing;
        for (const auto& [file, tags, seed] :
             {std::tuple{"F00/AAAA.mp3", "title=Alpha artist=Ann", 0},
              std::tuple{"F01/BBBB.mp3", "title=Beta artist=Ann", 1}}) {
            const std::string path = Music(file);
            MakeDirs(std::filesystem::path(path).parent_path());
            ASSERT_TRUE(MakeSong(path, "mp3", seed));
            ASSERT_TRUE(SetTagsWithMutagen(path, tags));
        }
    }

    std::string Music(const std::string& relative) const {
        return tree_.Ipod() + "/iPod_Control/Music/" + relative;
    }
    CliRun Call(const std::string& args) { return RunKorvelloCli(tree_.Dir().path(), args); }
    void NameOnlyAlphaInADatabase() const {
        itdb::ITunesDbWriter writer;
        writer.AddTrack(5)
            .Add(itdb::Title, "Alpha (database)")
            .Add(itdb::Location, ":iPod_Control:Music:F00:AAAA.mp3");
        tree_.WriteDatabase(writer);
    }

    IpodTree tree_;
};

} // namespace

TEST_F(CliFileSongs, WithoutDatabaseListsTheFilesAndSaysSo) {
    const CliRun run = Call("list --drive e: --fields id,title,artist,source");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 3u) << run.out;
    EXPECT_EQ(run.lines[1], "1\tAlpha\tAnn\tfiles");
    EXPECT_EQ(run.lines[2], "2\tBeta\tAnn\tfiles");
    EXPECT_NE(run.err.find("no readable music database (it holds no iTunesDB or iTunesCDB): 2 "
                           "songs read from their files"),
              std::string::npos)
        << run.err;

    // Nothing to read either: the database's absence is the answer, as before.
    std::filesystem::remove_all(tree_.Ipod() + "/iPod_Control/Music");
    const CliRun empty = Call("list --drive e:");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("no readable music database on drive e:"), std::string::npos)
        << empty.err;
}

TEST_F(CliFileSongs, UnlistedFilesOnlyWhenAskedOrStored) {
    NameOnlyAlphaInADatabase();
    const CliRun plain = Call("list --drive e: --fields title,source");
    EXPECT_EQ(plain.out, "title\tsource\nAlpha (database)\tdatabase\n") << plain.err;

    const CliRun asked = Call("list --drive e: --fields id,title,source --with-unlisted");
    EXPECT_EQ(asked.out, "id\ttitle\tsource\n5\tAlpha (database)\tdatabase\n6\tBeta\tfiles\n")
        << asked.err;

    WriteFile(tree_.Dir() / "config/korvello/user.reg",
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
              "\"ListUnlistedFiles\"=dword:00000001\n");
    const CliRun stored = Call("list --drive e: --fields title");
    EXPECT_EQ(stored.out, "title\nAlpha (database)\nBeta\n") << stored.err;

    const CliRun drives = Call("drives");
    EXPECT_NE(drives.out.find("\tyes\tiTunesDB\t1\n"), std::string::npos) << drives.out;
}

TEST_F(CliFileSongs, CopiesSongsReadFromTheirFilesUnderTheirTags) {
    const std::string to = tree_.Dir() / "out";
    MakeDirs(to);
    const CliRun run = Call("copy --drive e: --to '" + to + "' --artist Ann --name artist-title");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(to + "/Ann - Alpha.mp3"), ReadFile(Music("F00/AAAA.mp3")));
    EXPECT_TRUE(std::filesystem::exists(to + "/Ann - Beta.mp3"));
}
