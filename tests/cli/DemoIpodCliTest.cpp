// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli playlists and list --fields on the demo iPods that make-demo-ipod writes (the
// iPods of `make demo`): what the demo's database, Play Counts and On-The-Go files hold
// reaches the listings, on the classic iPod's iTunesDB and the nano's compressed iTunesCDB.
#include "support/CliRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace korvello::test;

namespace {

class DemoIpodCli : public ::testing::Test {
protected:
    TempDir dir_;

    // Writes the demo iPod (the nano 7G one when `nano`) and returns its folder.
    std::string MakeDemo(bool nano) {
        const std::string folder = dir_ / (nano ? "nano" : "classic");
        const std::string command = "'" MAKE_DEMO_IPOD_PATH "' " +
                                    std::string(nano ? "--nano7g " : "") + "'" + folder +
                                    "' >/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return folder;
    }
    CliRun Cli(const std::string& folder, const std::string& args) {
        return RunKorvelloCli(dir_.path(), args + " --folder '" + folder + "'");
    }
};

TEST_F(DemoIpodCli, PlaylistsListTheDemosPlaylistsAndTheirSongsInOrder) {
    const std::string classic = MakeDemo(false);
    CliRun run = Cli(classic, "playlists");
    ASSERT_EQ(run.status, 0) << run.err;
    // The podcast data set repeats every playlist; each is listed once, the master list
    // not at all, the On-The-Go files after the database's playlists.
    EXPECT_EQ(run.out, "Favourites\tplaylist\t6\n"
                       "Night Drive\tplaylist\t6\n"
                       "Top Rated\tsmart\t12\n"
                       "On-The-Go 1\totg\t3\n"
                       "On-The-Go 2\totg\t2\n");

    // The On-The-Go lists name songs by their place in the track list.
    run = Cli(classic, "list --fields title --playlist 'On-The-Go 1' --playlist 'On-The-Go 2'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "title\nDéjà vu\nHome\nRust\\tand Rivets\nSlow Tide\nPaper Moon\n");

    run = Cli(classic, "list --fields title,artist,track,tracks,year,compilation --playlist "
                       "'Night Drive'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "title\tartist\ttrack\ttracks\tyear\tcompilation\n"
                       "Last Tram\tSam Okafor\t2\t4\t2011\t0\n"
                       "Streetlights\tSam Okafor\t3\t4\t2011\t0\n"
                       "Glass Harbour\tAurora Lane\t2\t5\t2009\t0\n"
                       "Снег\tКино Трио\t1\t3\t1998\t0\n"
                       "Rain on the Roof\t\t1\t3\t2015\t1\n"
                       "Home\tAurora Lane\t5\t5\t2009\t0\n");
}

TEST_F(DemoIpodCli, FieldsCarryWhatTheIpodCountedSinceItsLastSync) {
    for (const bool nano : {false, true}) {
        SCOPED_TRACE(nano ? "nano 7G" : "classic");
        const std::string ipod = MakeDemo(nano);
        const CliRun run = Cli(ipod, "list --format json --fields title,plays,lastplayed,rating,"
                                     "skips,albumartist,disc,discs");
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(run.lines.size(), nano ? 18u : 36u);
        // Northern Lights was played twice on the iPod since the last sync.
        EXPECT_EQ(run.lines[0], "{\"title\":\"Northern Lights\",\"plays\":2,\"lastplayed\":"
                                "\"2009-06-02T20:15:00Z\",\"rating\":0,\"skips\":0,\"albumartist\":"
                                "\"Aurora Lane\",\"disc\":1,\"discs\":1}");
        // さくら was rated five stars and played once more on the iPod.
        bool sakura = false;
        for (const std::string& line : run.lines) {
            if (line.find("\"title\":\"さくら\"") == std::string::npos)
                continue;
            sakura = true;
            EXPECT_NE(line.find("\"rating\":5,"), std::string::npos) << line;
            EXPECT_NE(line.find("\"lastplayed\":\"2009-06-02T21:15:00Z\""), std::string::npos)
                << line;
        }
        EXPECT_TRUE(sakura);
    }
    const CliRun nano = Cli(dir_ / "nano", "playlists");
    EXPECT_EQ(nano.out, "Favourites\tplaylist\t3\n"
                        "Night Drive\tplaylist\t3\n"
                        "Top Rated\tsmart\t6\n"
                        "On-The-Go 1\totg\t3\n");
}

} // namespace
