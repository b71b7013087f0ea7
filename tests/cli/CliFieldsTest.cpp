// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli list --fields, --format json, --playlist and korvello-cli playlists, run as
// a program on an iPod folder whose database holds every field and playlists of each kind.
#include "support/CliRun.h"
#include "support/IpodTree.h"
#include "support/RawDatabase.h"

#include "musicdb/iPodcomponent.h"

#include <gtest/gtest.h>

using namespace korvello;
using namespace korvello::test;

namespace {

constexpr std::int64_t kMay2009 = 1241201051; // 2009-05-01T18:04:11Z

class CliFields : public ::testing::Test {
protected:
    void SetUp() override {
        raw::Bytes tracks;
        raw::Track(tracks, 7, 0x184,
                   {{28, (60 << 24) | (1 << 16)},
                    {40, 215000},
                    {44, 3},
                    {52, 1999},
                    {80, 4},
                    {88, kMay2009 + kMacEpochOffset},
                    {208, 1}},
                   {{1, "Tab\there"},
                    {2, ":iPod_Control:Music:F00:ABCD.mp3"},
                    {22, "Various"},
                    {4, "Back\\slash \"q\""}});
        raw::Track(tracks, 8, 0x9C, {}, {{1, "Second"}});
        raw::Bytes playlists;
        raw::PlaylistRecord(playlists, {"iPod", {raw::To(7), raw::To(8)}, true});
        raw::PlaylistRecord(playlists, {"Road trip", {raw::To(8), raw::To(7), raw::To(8)}});
        raw::PlaylistRecord(playlists, {"Loved", {raw::To(7)}, false, true});
        const std::string folder = tree_.Ipod() + "/iPod_Control/iTunes/";
        itdb::WriteBytes(folder + "iTunesDB",
                         raw::Database({{1, raw::List(2, tracks)}, {2, raw::List(3, playlists)}}));
        itdb::WriteBytes(folder + "OTGPlaylistInfo", raw::CountsFile(0x14, 4, {{1}}));
        tree_.AddSongFile("iPod_Control/Music/F00/ABCD.mp3", 1000);
    }

    CliRun Call(const std::string& args) { return RunKorvelloCli(tree_.Dir().path(), args); }

    IpodTree tree_;
};

} // namespace

TEST_F(CliFields, ListsTheChosenFieldsUnderTheirNames) {
    const CliRun run = Call("list --drive e: --fields id,title,artist,albumartist,track,tracks,"
                            "year,compilation,rating,plays,lastplayed,added,duration,mediatype,"
                            "size,location");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 3u) << run.out;
    EXPECT_EQ(run.lines[0],
              "id\ttitle\tartist\talbumartist\ttrack\ttracks\tyear\tcompilation\t"
              "rating\tplays\tlastplayed\tadded\tduration\tmediatype\tsize\tlocation");
    EXPECT_EQ(run.lines[1], "7\tTab\\there\tBack\\\\slash \"q\"\tVarious\t3\t\t1999\t1\t3\t4\t"
                            "2009-05-01T18:04:11Z\t\t215000\taudio\t1000\t" +
                                tree_.Ipod() + "/iPod_Control/Music/F00/ABCD.mp3");
    EXPECT_EQ(run.lines[2].rfind("8\tSecond\t\t\t\t\t\t0\t0\t0\t", 0), 0u) << run.lines[2];

    const CliRun bad = Call("list --drive e: --fields id,colour");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("no field 'colour'"), std::string::npos) << bad.err;
}

TEST_F(CliFields, JsonGivesOneObjectASongWithNumbersAsNumbers) {
    const CliRun run = Call("list --drive e: --format json --fields id,title,artist,year,tracks,"
                            "lastplayed,added");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u) << run.out;
    EXPECT_EQ(run.lines[0], "{\"id\":7,\"title\":\"Tab\\there\",\"artist\":\"Back\\\\slash "
                            "\\\"q\\\"\",\"year\":1999,\"tracks\":null,"
                            "\"lastplayed\":\"2009-05-01T18:04:11Z\",\"added\":null}");
    // Without --fields, every field.
    const CliRun all = Call("list --drive e: --format json");
    ASSERT_EQ(all.lines.size(), 2u);
    EXPECT_NE(all.lines[1].find("\"samplerate\":null,\"mediatype\":null,\"source\":\"database\"}"),
              std::string::npos)
        << all.lines[1];
}

TEST_F(CliFields, PlaylistsAndTheSongsOfOne) {
    const CliRun lists = Call("playlists --drive e:");
    EXPECT_EQ(lists.status, 0) << lists.err;
    EXPECT_EQ(lists.out, "Road trip\tplaylist\t3\nLoved\tsmart\t1\nOn-The-Go 1\totg\t1\n");

    const CliRun road = Call("list --drive e: --fields id --playlist 'Road trip' --playlist Loved");
    EXPECT_EQ(road.status, 0) << road.err;
    EXPECT_EQ(road.out, "id\n8\n7\n8\n7\n");

    const CliRun missing = Call("list --drive e: --playlist Nowhere");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no playlist named 'Nowhere'"), std::string::npos) << missing.err;
}
