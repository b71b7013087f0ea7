// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli copy --write-tags on a generated iPod of real MP3 and FLAC songs: the
// copies carry the database's tags (read back by mutagen), the stored setting counts
// when neither option is given, and the two options exclude each other.
#include "support/CliRun.h"
#include "support/IpodTree.h"
#include "tags/AudioFiles.h"

#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <ctime>

#include <sys/time.h>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

// The copies of an earlier run, dated a minute back: overwriting leaves alone a file
// changed as its job began, which could be another job's.
void BackdateCopies(const std::string& folder) {
    const timeval old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    for (const char* name : {"/Jóga.mp3", "/Hunter.flac"})
        ::utimes((folder + name).c_str(), old);
}

class CliTags : public ::testing::Test {
protected:
    IpodTree tree_;
    std::string out_ = tree_.Dir() / "out";

    void SetUp() override {
        const std::string missing = MissingAudioTools();
        if (!missing.empty())
            GTEST_SKIP() << missing;
        MakeDirs(out_);
        MakeDirs(tree_.Ipod() + "/iPod_Control/Music/F00");
        itdb::ITunesDbWriter writer;
        Add(writer, 1, "Jóga", "AAAA.mp3", "mp3");
        Add(writer, 2, "Hunter", "BBBB.flac", "flac");
        tree_.WriteDatabase(writer);
    }

    void Add(itdb::ITunesDbWriter& writer, std::int32_t id, const std::string& title,
             const std::string& file, const std::string& extension) {
        ASSERT_TRUE(MakeSong(tree_.Ipod() + "/iPod_Control/Music/F00/" + file, extension, id));
        writer.AddTrack(id)
            .Add(itdb::Title, title)
            .Add(itdb::Location, ":iPod_Control:Music:F00:" + file)
            .Add(itdb::Artist, "Björk")
            .Add(itdb::Album, "Homogenic")
            .Add(itdb::Genre, "Electronic");
    }
    std::string Song(const std::string& file) const {
        return ReadFile(tree_.Ipod() + "/iPod_Control/Music/F00/" + file);
    }
    CliRun Call(const std::string& args) {
        return RunKorvelloCli(tree_.Dir().path(), "copy --to '" + out_ + "' --drive e: " + args);
    }
    void SetStored(bool on) {
        WriteFile(tree_.Dir() / "config/korvello/user.reg",
                  std::string("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n\"WriteTags\"=") +
                      (on ? "dword:00000001\n" : "dword:00000000\n"));
    }
};

TEST_F(CliTags, WriteTagsFillsTheCopiesAndLeavesTheIpodAlone) {
    const std::string mp3 = Song("AAAA.mp3"), flac = Song("BBBB.flac");
    const CliRun run = Call("--write-tags --skip-copied");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u) << run.out;
    EXPECT_EQ(run.lines[0], "Jóga\t" + out_ + "/Jóga.mp3");
    auto tags = ReadTagsWithMutagen(out_ + "/Jóga.mp3");
    EXPECT_EQ(tags["title"], "Jóga");
    EXPECT_EQ(tags["artist"], "Björk");
    EXPECT_EQ(tags["album"], "Homogenic");
    EXPECT_EQ(tags["genre"], "Electronic");
    EXPECT_EQ(ReadTagsWithMutagen(out_ + "/Hunter.flac")["title"], "Hunter");
    EXPECT_EQ(Song("AAAA.mp3"), mp3);
    EXPECT_EQ(Song("BBBB.flac"), flac);

    // The next run finds both tagged copies.
    const CliRun again = Call("--write-tags --skip-copied");
    EXPECT_EQ(again.status, 0) << again.err;
    ASSERT_EQ(again.lines.size(), 2u) << again.out;
    EXPECT_EQ(again.lines[0], "Jóga\tAlready copied.");
    EXPECT_EQ(again.lines[1], "Hunter\tAlready copied.");
}

TEST_F(CliTags, TheStoredSettingCountsUnlessAnOptionOverrulesIt) {
    SetStored(true);
    ASSERT_EQ(Call("").status, 0);
    EXPECT_EQ(ReadTagsWithMutagen(out_ + "/Jóga.mp3")["title"], "Jóga");
    BackdateCopies(out_);
    ASSERT_EQ(Call("--no-write-tags --overwrite").status, 0);
    EXPECT_TRUE(ReadFile(out_ + "/Jóga.mp3") == Song("AAAA.mp3")) << "copied as it is";
    SetStored(false);
    BackdateCopies(out_);
    ASSERT_EQ(Call("--overwrite").status, 0);
    EXPECT_TRUE(ReadFile(out_ + "/Hunter.flac") == Song("BBBB.flac")) << "copied as it is";
}

TEST_F(CliTags, BothOptionsTogetherAreAUsageError) {
    const CliRun run = Call("--write-tags --no-write-tags");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--write-tags and --no-write-tags cannot be used together"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Call("--write-tags=yes").status, 2);
}

} // namespace
