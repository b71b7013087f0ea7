// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli on the iPods of later years: a nano 7G's iTunesCDB is listed, and a volume
// whose database cannot be read is named with the reason.
#include "support/CliRun.h"
#include "support/IpodTree.h"

#include <gtest/gtest.h>

using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class LaterIpodCli : public ::testing::Test {
protected:
    IpodTree tree_;

    std::string Compressed() const { return tree_.Ipod() + "/iPod_Control/iTunes/iTunesCDB"; }
    static itdb::ITunesDbWriter Library() { return LaterIpodLibrary(); }
    CliRun Call(const std::string& args) { return RunKorvelloCli(tree_.Dir().path(), args); }
};

} // namespace

TEST_F(LaterIpodCli, CliListsANano7GAndNamesTheFolderOfAnUnreadableOne) {
    itdb::WriteBytes(Compressed(), Library().BuildCompressed());
    CliRun run = Call("list --drive e:");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 3u) << run.out;
    EXPECT_EQ(run.lines[2].substr(0, 8), "12\tCaf\u00e9");

    const CliRun drives = Call("drives");
    EXPECT_NE(drives.out.find("\tyes\tiTunesCDB\t0\n"), std::string::npos) << drives.out;

    const std::string touch = tree_.Dir() / "touch";
    MakeDirs(touch + "/iPod_Control/iTunes/iTunes Library.itlp");
    for (const char* command : {"list", "copy --to /tmp"}) {
        run = Call(std::string(command) + " --folder '" + touch + "'");
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_NE(run.err.find("no readable music database in " + touch + " ("), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("SQLite"), std::string::npos) << run.err;
    }

    itdb::WriteBytes(Compressed(), {0x01, 0x02});
    const CliRun broken = Call("drives");
    EXPECT_NE(broken.out.find("\tyes\tiTunesCDB (its iTunesCDB holds no track list)\t0\n"),
              std::string::npos)
        << broken.out;
}

TEST_F(LaterIpodCli, ADamagedDatabaseListsTheSongsReadAndExitsWithOne) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 128; ++i)
        writer.AddTrack(i).Add(itdb::Title, "Song " + std::to_string(i));
    writer.WriteFile(tree_.DatabaseFile(), 3000);
    const CliRun run = Call("list --drive e:");
    EXPECT_EQ(run.status, 1);
    ASSERT_GE(run.lines.size(), 2u) << run.out;
    const std::size_t read = run.lines.size() - 1;
    EXPECT_LT(read, 128u);
    EXPECT_EQ(run.lines[1].substr(0, 8), "1\tSong 1");
    EXPECT_EQ(run.err, "korvello-cli list: The iPod's music database is damaged: " +
                           std::to_string(read) + " of 128 songs could be read.\n");
    // copy takes the songs that were read, and exits with 1 as well.
    const std::string to = tree_.Dir() / "to";
    MakeDirs(to);
    const CliRun copy = Call("copy --drive e: --to '" + to + "'");
    EXPECT_EQ(copy.status, 1);
    EXPECT_NE(copy.err.find("The iPod's music database is damaged: "), std::string::npos)
        << copy.err;
}

TEST_F(LaterIpodCli, DrivesLooksAtTheStartOfEachDatabaseOnly) {
    // An iTunesCDB whose stream is damaged 8 MB into its image: a load finds it, the
    // Database column does not read that far (the Unlisted column's load does, and counts
    // every song file then: none here). One damaged early is named as such.
    auto image = Library().Build();
    std::uint32_t random = 1;
    while (image.size() < 8u * 1024 * 1024) {
        random = random * 1103515245u + 12345u;
        image.push_back(static_cast<std::uint8_t>(random >> 24));
    }
    auto file = itdb::Compress(image);
    file.resize(file.size() - 1000);
    itdb::WriteBytes(Compressed(), file);
    CliRun drives = Call("drives");
    EXPECT_NE(drives.out.find("\tyes\tiTunesCDB\t0\n"), std::string::npos) << drives.out;
    const CliRun list = Call("list --drive e:");
    EXPECT_EQ(list.status, 1);
    EXPECT_NE(list.err.find("cut short"), std::string::npos) << list.err;

    file.resize(0xF4 + 200);
    itdb::WriteBytes(Compressed(), file);
    drives = Call("drives");
    EXPECT_NE(drives.out.find("\tyes\tiTunesCDB (its iTunesCDB cannot be read: its compressed "
                              "data is cut short)\t0\n"),
              std::string::npos)
        << drives.out;
}
