// SPDX-License-Identifier: GPL-3.0-or-later
// What the reader takes beyond the song table: every number of a track header and the
// album artist and sort strings, the Play Counts merged as the iPod merges them, the
// playlists of every kind in their order, the On-The-Go lists, and hostile playlists that
// must cost no more than the walk's allowance.
#include "support/IpodTree.h"
#include "support/RawDatabase.h"

#include "itdb/ITunesDbWriter.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/iPodcomponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>

using namespace korvello;
namespace raw = korvello::test::raw;
namespace itdb = korvello::itdb;

namespace {

constexpr std::int64_t kMay2009 = 1241201051; // 2009-05-01T18:04:11Z
constexpr std::int64_t kJune2010 = 1275393600;

std::int64_t Mac(std::int64_t seconds) {
    return seconds + kMacEpochOffset;
}

struct Loaded {
    std::vector<TSong> songs;
    TTrackListResult tracks;
    TPlaylistRead playlists;
};

Loaded Load(const std::vector<std::uint8_t>& image) {
    Loaded out;
    TDataSetTable table{};
    EXPECT_TRUE(ReadDataSets(image, table));
    TTrackWalkContext context;
    context.drivePath = "e:";
    out.tracks = ParseTracks(image, table[0], context, out.songs);
    out.playlists = ReadPlaylists(image, out.songs, out.tracks.allowance, out.tracks.cost);
    EXPECT_TRUE(WithinAllowance(out.tracks.cost, out.tracks.allowance));
    return out;
}

// Three tracks: a full one (header 0x184), one of an early database (header 0x9C, whose
// skips and media type it cannot hold), and one that holds nothing at all between them.
raw::Bytes ThreeTracks() {
    raw::Bytes tracks;
    raw::Track(tracks, 101, 0x184,
               {{28, (75 << 24) | (1 << 16)}, // compilation, rating 75 (3 stars and a bit)
                {40, 215000},
                {44, 3},
                {48, 12},
                {52, 1999},
                {56, 256},
                {60, 44100 << 16},
                {80, 17},
                {88, Mac(kMay2009)},
                {92, 1},
                {96, 2},
                {104, Mac(kJune2010)},
                {156, 4},
                {160, Mac(kJune2010)},
                {208, 4}},
               {{1, "Title"},
                {2, ":iPod_Control:Music:F00:A.mp3"},
                {22, "Album Artist"},
                {23, "Sort Artist"},
                {27, "Sort Title"},
                {28, "Sort Album"},
                {29, "Sort Album Artist"},
                {30, "Sort Composer"},
                {24, "keywords are not kept"}});
    raw::Track(tracks, 0, 0x9C, {}, {});
    raw::Track(tracks, 102, 0x9C, {{44, 5}, {156, 9}, {208, 8}}, {{1, "Early"}});
    return tracks;
}

} // namespace

TEST(WholeRecord, EveryNumberAndSortStringOfATrackIsRead) {
    const auto image = raw::Database({{1, raw::List(3, ThreeTracks())}});
    const Loaded loaded = Load(image);
    ASSERT_EQ(loaded.songs.size(), 2u);
    const TSong& s = loaded.songs[0];
    EXPECT_TRUE(s.Compilation);
    EXPECT_EQ(s.Rating, 75);
    EXPECT_EQ(s.Duration, 215000);
    EXPECT_EQ(s.TrackNumber, 3);
    EXPECT_EQ(s.TrackCount, 12);
    EXPECT_EQ(s.Year, 1999);
    EXPECT_EQ(s.Bitrate, 256);
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(s.PlayCount, 17);
    EXPECT_EQ(s.LastPlayed, kMay2009);
    EXPECT_EQ(s.DiscNumber, 1);
    EXPECT_EQ(s.DiscCount, 2);
    EXPECT_EQ(s.DateAdded, kJune2010);
    EXPECT_EQ(s.SkipCount, 4);
    EXPECT_EQ(s.LastSkipped, kJune2010);
    EXPECT_EQ(s.MediaType, TMediaType::Podcast);
    EXPECT_EQ(s.Title, u"Title");
    EXPECT_EQ(s.AlbumArtist, u"Album Artist");
    EXPECT_EQ(s.SortArtist, u"Sort Artist");
    EXPECT_EQ(s.SortTitle, u"Sort Title");
    EXPECT_EQ(s.SortAlbum, u"Sort Album");
    EXPECT_EQ(s.SortAlbumArtist, u"Sort Album Artist");
    EXPECT_EQ(s.SortComposer, u"Sort Composer");

    // The early header ends before the skips and the media type: they read as unset.
    const TSong& early = loaded.songs[1];
    EXPECT_EQ(early.Title, u"Early");
    EXPECT_EQ(early.TrackNumber, 5);
    EXPECT_EQ(early.SkipCount, 0);
    EXPECT_EQ(early.MediaType, 0u);
    EXPECT_EQ(early.LastPlayed, 0);
    EXPECT_EQ(loaded.tracks.songOfTrack, (std::vector<std::int32_t>{0, -1, 1}));
}

TEST(WholeRecord, PlayCountsAreMergedByTrackPositionAsTheIpodDoes) {
    const auto image = raw::Database({{1, raw::List(3, ThreeTracks())}});
    Loaded loaded = Load(image);
    // Entry 1 belongs to the empty track and is passed over; entry 2 to "Early".
    const auto counts =
        raw::CountsFile(0x60, 0x1C,
                        {{2, Mac(kJune2010 + 60), 0, 100, 0, 3, Mac(kJune2010 + 120)},
                         {50, 0, 0, 20, 0, 50, 0},
                         {1, 0, 0, 0, 0, 0, 0}});
    MergePlayCounts(counts, loaded.tracks.songOfTrack, loaded.songs);
    const TSong& s = loaded.songs[0];
    EXPECT_EQ(s.PlayCount, 19);
    EXPECT_EQ(s.LastPlayed, kJune2010 + 60);
    EXPECT_EQ(s.Rating, 100); // the iPod's rating replaces the database's
    EXPECT_EQ(s.SkipCount, 7);
    EXPECT_EQ(s.LastSkipped, kJune2010 + 120);
    const TSong& early = loaded.songs[1];
    EXPECT_EQ(early.PlayCount, 1);
    EXPECT_EQ(early.LastPlayed, 0); // not played since: no time
    EXPECT_EQ(early.Rating, 0);

    // Entries of the first firmware (12 bytes) carry no rating and no skips; a count
    // beyond the file or the tracks reads what is there.
    Loaded again = Load(image);
    MergePlayCounts(raw::CountsFile(0x60, 0x0C, {{5, 0, 0}}, 1'000'000), again.tracks.songOfTrack,
                    again.songs);
    EXPECT_EQ(again.songs[0].PlayCount, 22);
    EXPECT_EQ(again.songs[0].Rating, 75);
    EXPECT_EQ(again.songs[0].SkipCount, 4);
    // More entries than the database has tracks (a Play Counts file of another database):
    // the extra entries belong to no track.
    Loaded fewer = Load(image);
    MergePlayCounts(raw::CountsFile(0x60, 0x0C, {{1, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3}, {4}, {5}}),
                    fewer.tracks.songOfTrack, fewer.songs);
    EXPECT_EQ(fewer.songs[0].PlayCount, 18);
    EXPECT_EQ(fewer.songs[1].PlayCount, 2);
    // A header or entry length that leads nowhere changes nothing.
    for (const auto& damaged : {raw::CountsFile(0x60, 0, {{5}}), raw::CountsFile(0x60, 8, {{5}}),
                                std::vector<std::uint8_t>{}}) {
        Loaded untouched = Load(image);
        MergePlayCounts(damaged, untouched.tracks.songOfTrack, untouched.songs);
        EXPECT_EQ(untouched.songs, Load(image).songs);
    }
}

TEST(WholeRecord, PlaylistsOfEveryKindInTheirOrder) {
    raw::Bytes playlists;
    raw::PlaylistRecord(playlists, {"My iPod", {raw::To(101), raw::To(102)}, true});
    raw::PlaylistRecord(playlists,
                        {"Road", {raw::To(102), raw::To(999), raw::To(101), raw::To(102)}});
    raw::PlaylistRecord(playlists, {"Best", {raw::To(101)}, false, true});
    raw::Bytes podcasts = playlists;
    // The podcast data set holds the same playlists, the episodes grouped under shows.
    raw::PlaylistRecord(podcasts,
                        {"Podcasts", {{0, 0x100, 0x4C + 0x2C}, raw::To(102)}, false, false, true});
    raw::Bytes plainPodcasts = playlists;
    raw::PlaylistRecord(plainPodcasts, {"Podcasts (plain)", {raw::To(102)}, false, false, true});

    for (const bool podcastSet : {false, true}) {
        SCOPED_TRACE(podcastSet ? "with the podcast data set" : "playlist data set only");
        std::vector<std::pair<std::int32_t, raw::Bytes>> sets = {{1, raw::List(3, ThreeTracks())}};
        if (podcastSet)
            sets.emplace_back(3, raw::List(4, podcasts));
        sets.emplace_back(2, raw::List(4, plainPodcasts));
        const Loaded loaded = Load(raw::Database(sets));
        EXPECT_EQ(loaded.playlists.masterName, u"My iPod");
        const auto& lists = loaded.playlists.playlists;
        ASSERT_EQ(lists.size(), 3u);
        EXPECT_EQ(lists[0].Name, u"Road");
        EXPECT_EQ(lists[0].Kind, TPlaylist::TKind::Ordinary);
        EXPECT_EQ(lists[0].Songs, (std::vector<std::int32_t>{1, 0, 1}));
        EXPECT_EQ(lists[0].DroppedEntries, 1);
        EXPECT_EQ(lists[1].Name, u"Best");
        EXPECT_EQ(lists[1].Kind, TPlaylist::TKind::Smart);
        EXPECT_EQ(lists[1].Songs, (std::vector<std::int32_t>{0}));
        EXPECT_EQ(lists[2].Name, podcastSet ? u"Podcasts" : u"Podcasts (plain)");
        EXPECT_EQ(lists[2].Kind, TPlaylist::TKind::Podcast);
        EXPECT_EQ(lists[2].Songs, (std::vector<std::int32_t>{1}));
        EXPECT_EQ(lists[2].DroppedEntries, 0); // the show's group entry is no entry
    }
}

// Entries find the last song with their id whether the ids lie close together (looked
// up in a table indexed by id) or spread over the whole range (a hash map): ids just
// outside the songs' range, the extremes of the range and repeated ids included. A
// playlist after a longer one and one that declares nothing hold only their own songs.
TEST(WholeRecord, EntriesFindTheLastSongOfTheirIdHoweverTheIdsSpread) {
    constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kHighest = std::numeric_limits<std::int32_t>::max();
    struct Case {
        const char* name;
        std::vector<std::int32_t> ids; // of the tracks, in order
    };
    const Case cases[] = {
        {"close together", {10, 11, 12, 10, 13}},
        {"close together, negative", {-3, -2, -1, -3, 0}},
        {"spread wide", {10, 11, 2000000000, 10, -2000000000}},
        {"the extremes", {kLowest, kHighest, 12, kLowest, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        raw::Bytes tracks;
        for (const std::int32_t id : c.ids)
            raw::Track(tracks, id, 0x9C, {}, {{1, "Song " + std::to_string(id)}});
        const std::int32_t first = c.ids[0], second = c.ids[1], third = c.ids[2];
        const std::int32_t fifth = c.ids[4];
        const auto below = [](std::int32_t id) {
            return id == kLowest ? id : id - 1;
        };
        std::int32_t lowest = kHighest, highest = kLowest;
        for (const std::int32_t id : c.ids) {
            lowest = std::min(lowest, id);
            highest = std::max(highest, id);
        }
        raw::Bytes playlists;
        raw::PlaylistRecord(playlists, {"Long",
                                        {raw::To(fifth), raw::To(first), raw::To(third),
                                         raw::To(second), raw::To(first)}});
        // Ids one past the lowest and the highest id name nothing (unless an extreme).
        raw::PlaylistRecord(playlists, {"Edges", {raw::To(below(lowest)), raw::To(second)}});
        raw::PlaylistRecord(playlists,
                            {"Above", {raw::To(highest == kHighest ? 424242 : highest + 1)}});
        raw::PlaylistRecord(playlists, {"Empty", {}});
        raw::PlaylistRecord(playlists, {"Short", {raw::To(third)}});
        const Loaded loaded =
            Load(raw::Database({{1, raw::List(static_cast<std::int64_t>(c.ids.size()), tracks)},
                                {2, raw::List(5, playlists)}}));
        ASSERT_EQ(loaded.songs.size(), c.ids.size());
        const auto& lists = loaded.playlists.playlists;
        ASSERT_EQ(lists.size(), 5u);
        // The first id is repeated by the fourth track, which therefore answers for it.
        EXPECT_EQ(lists[0].Songs, (std::vector<std::int32_t>{4, 3, 2, 1, 3}));
        EXPECT_EQ(lists[0].DroppedEntries, 0);
        if (lowest == kLowest) {
            EXPECT_EQ(lists[1].Songs, (std::vector<std::int32_t>{3, 1}));
        } else {
            EXPECT_EQ(lists[1].Songs, (std::vector<std::int32_t>{1}));
            EXPECT_EQ(lists[1].DroppedEntries, 1);
        }
        EXPECT_TRUE(lists[2].Songs.empty());
        EXPECT_EQ(lists[2].DroppedEntries, 1);
        EXPECT_TRUE(lists[3].Songs.empty());
        EXPECT_EQ(lists[3].DroppedEntries, 0);
        EXPECT_EQ(lists[4].Songs, (std::vector<std::int32_t>{2}));
    }
}

TEST(WholeRecord, OnTheGoListsNameTracksByPosition) {
    const auto image = raw::Database({{1, raw::List(3, ThreeTracks())}});
    const Loaded loaded = Load(image);
    const TPlaylist list = ReadOnTheGo(raw::CountsFile(0x14, 4, {{2}, {0}, {1}, {7}, {2}}),
                                       loaded.tracks.songOfTrack, u"On-The-Go 1");
    EXPECT_EQ(list.Name, u"On-The-Go 1");
    EXPECT_EQ(list.Kind, TPlaylist::TKind::OnTheGo);
    EXPECT_EQ(list.Songs, (std::vector<std::int32_t>{1, 0, 1}));
    EXPECT_EQ(list.DroppedEntries, 2); // the empty track and one past the end
    // A count far beyond the file reads what the file holds.
    const TPlaylist cut =
        ReadOnTheGo(raw::CountsFile(0x14, 4, {{0}}, 0x7FFFFFFF), loaded.tracks.songOfTrack, u"x");
    EXPECT_EQ(cut.Songs, (std::vector<std::int32_t>{0}));
}

TEST(WholeRecord, HostilePlaylistsCostNoMoreThanTheAllowance) {
    // One entry repeated 200,000 times, a playlist declaring two billion entries, entries
    // naming nothing, an entry whose length does not move forward, and a playlist count
    // and length that lie.
    raw::Playlist repeated{"Again", {}};
    repeated.entries.assign(200000, raw::To(101));
    raw::Playlist huge{"Huge", {raw::To(102), raw::To(5)}};
    huge.declaredEntries = 0x7FFFFFFF;
    raw::Playlist stuck{"Stuck", {raw::To(101), {101, 0, 0}, raw::To(102)}};
    raw::Playlist backwards{"Backwards", {raw::To(101)}};
    backwards.declaredLength = -500;
    raw::Bytes playlists;
    for (const raw::Playlist& p : {repeated, huge, stuck, backwards})
        raw::PlaylistRecord(playlists, p);
    raw::PlaylistRecord(playlists, {"Never reached", {raw::To(101)}});
    const auto image =
        raw::Database({{1, raw::List(3, ThreeTracks())}, {2, raw::List(0x7FFFFFFF, playlists)}});

    const Loaded loaded = Load(image);
    const auto& lists = loaded.playlists.playlists;
    ASSERT_EQ(lists.size(), 4u);
    EXPECT_EQ(lists[0].Songs.size(), 200000u);
    EXPECT_EQ(lists[0].DroppedEntries, 0);
    // The declared two billion end where the playlist's entries do (the next playlist's
    // bytes read as entries naming nothing, but never past the image).
    EXPECT_EQ(lists[1].Songs.front(), 1);
    EXPECT_GE(lists[1].DroppedEntries, 1);
    EXPECT_EQ(lists[2].Songs, (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(lists[3].Songs, (std::vector<std::int32_t>{0}));
    // Linear: a step per entry and object, within what the image allows.
    EXPECT_LE(loaded.tracks.cost.objectSteps, static_cast<std::int64_t>(image.size()) / 20);
}

// Through the catalogue, on real files beside the database.
TEST(WholeRecord, TheCatalogueReadsThePlayCountsAndOnTheGoFilesOfAnyDatabase) {
    korvello::test::IpodTree tree;
    auto platform = tree.MakePlatform();
    raw::Bytes playlists;
    raw::PlaylistRecord(playlists, {"My iPod", {raw::To(101), raw::To(102)}, true});
    raw::PlaylistRecord(playlists, {"Road", {raw::To(102), raw::To(101)}});
    const auto image =
        raw::Database({{1, raw::List(3, ThreeTracks())}, {2, raw::List(2, playlists)}});
    const std::string folder = tree.Ipod() + "/iPod_Control/iTunes/";
    itdb::WriteBytes(folder + "Play Counts", raw::CountsFile(0x60, 0x1C, {{3}, {0}, {2}}));
    itdb::WriteBytes(folder + "OTGPlaylistInfo", raw::CountsFile(0x14, 4, {{2}, {0}}));
    itdb::WriteBytes(folder + "OTGPlaylistInfo_1", raw::CountsFile(0x14, 4, {}));
    itdb::WriteBytes(folder + "OTGPlaylistInfo_2", raw::CountsFile(0x14, 4, {{0}, {9}}));

    std::vector<TSong> reference;
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "iTunesCDB" : "iTunesDB");
        if (compressed) {
            itdb::WriteBytes(folder + "iTunesDB", {});
            itdb::WriteBytes(folder + "iTunesCDB", itdb::Compress(image));
        } else {
            itdb::WriteBytes(folder + "iTunesDB", image);
        }
        TiPod ipod(*platform);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        ASSERT_EQ(ipod.SongCount(), 2);
        EXPECT_EQ(ipod.SongAt(0).PlayCount, 20);
        EXPECT_EQ(ipod.SongAt(1).PlayCount, 2);
        EXPECT_EQ(ipod.MasterPlaylistName(), u"My iPod");
        const auto& lists = ipod.Playlists();
        ASSERT_EQ(lists.size(), 3u);
        EXPECT_EQ(lists[0].Name, u"Road");
        EXPECT_EQ(lists[0].Songs, (std::vector<std::int32_t>{1, 0}));
        EXPECT_EQ(lists[1].Name, u"On-The-Go 1");
        EXPECT_EQ(lists[1].Songs, (std::vector<std::int32_t>{1, 0}));
        // The emptied second list keeps its number.
        EXPECT_EQ(lists[2].Name, u"On-The-Go 3");
        EXPECT_EQ(lists[2].Songs, (std::vector<std::int32_t>{0}));
        EXPECT_EQ(lists[2].DroppedEntries, 1);
        std::vector<TSong> songs{ipod.SongAt(0), ipod.SongAt(1)};
        if (compressed) {
            EXPECT_EQ(songs, reference);
        }
        reference = songs;
    }
}

TEST(WholeRecord, WhatTheProjectsWriterWritesIsReadBackExactly) {
    // Every field, playlists of every kind with the podcast data set, Play Counts and two
    // On-The-Go lists, written by tools/itdb as an iTunesDB and as an iTunesCDB.
    itdb::ITunesDbWriter writer;
    itdb::Track& first = writer.AddTrack(31);
    first.Add(itdb::Title, "One").Add(itdb::Location, ":iPod_Control:Music:F00:ONE.mp3");
    first.Add(itdb::Album, "Show").Add(itdb::AlbumArtist, "Various");
    first.Add(itdb::SortTitle, "One, The").Add(itdb::SortArtist, "Artist, The");
    first.Add(itdb::SortAlbum, "Show, The").Add(itdb::SortAlbumArtist, "Various, The");
    first.Add(itdb::SortComposer, "Composer, The");
    first.trackNumber = 4;
    first.trackCount = 11;
    first.discNumber = 2;
    first.discCount = 3;
    first.year = 1987;
    first.compilation = true;
    first.rating = 80;
    first.playCount = 9;
    first.skipCount = 2;
    first.lastPlayed = kMay2009;
    first.lastSkipped = kJune2010;
    first.dateAdded = kJune2010 - 86400;
    first.lengthMs = 123456;
    first.bitrate = 192;
    first.sampleRate = 48000;
    first.mediaType = TMediaType::Podcast;
    writer.AddTrack(32).Add(itdb::Title, "Two").Add(itdb::Album, "Show");
    writer.AddPlaylist({"My iPod", {31, 32}, true});
    writer.AddPlaylist({"Mix", {32, 31, 77}});
    itdb::Playlist smart{"Rated", {31}};
    smart.kind = itdb::Playlist::Kind::Smart;
    smart.rules = {itdb::SmartRule::Number(0x19, 0x10, 60, 60)};
    writer.AddPlaylist(smart);
    itdb::Playlist podcasts{"Podcasts", {31, 32}};
    podcasts.kind = itdb::Playlist::Kind::Podcast;
    writer.AddPlaylist(podcasts);
    writer.layout().podcastDataSet = true;
    itdb::PlayCounts counts = writer.UnchangedPlayCounts();
    counts.entries[0].plays = 3;
    counts.entries[0].lastPlayed = kJune2010;
    counts.entries[1].rating = 40;
    counts.entries[1].skips = 1;
    itdb::OnTheGo otg1;
    otg1.positions = {1, 0};
    itdb::OnTheGo otg2;
    otg2.positions = {1, 5};

    korvello::test::IpodTree tree;
    auto platform = tree.MakePlatform();
    const std::string folder = tree.Ipod() + "/iPod_Control/iTunes";
    std::vector<TSong> reference;
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "iTunesCDB" : "iTunesDB");
        std::filesystem::remove(folder + "/iTunesDB");
        writer.WriteITunesFolder(folder, compressed, &counts, {otg1, otg2});
        TiPod ipod(*platform);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        ASSERT_EQ(ipod.SongCount(), 2);
        const TSong& s = ipod.SongAt(0);
        EXPECT_EQ(s.AlbumArtist, u"Various");
        EXPECT_EQ(s.SortTitle, u"One, The");
        EXPECT_EQ(s.SortArtist, u"Artist, The");
        EXPECT_EQ(s.SortAlbum, u"Show, The");
        EXPECT_EQ(s.SortAlbumArtist, u"Various, The");
        EXPECT_EQ(s.SortComposer, u"Composer, The");
        EXPECT_EQ(s.TrackNumber, 4);
        EXPECT_EQ(s.TrackCount, 11);
        EXPECT_EQ(s.DiscNumber, 2);
        EXPECT_EQ(s.DiscCount, 3);
        EXPECT_EQ(s.Year, 1987);
        EXPECT_TRUE(s.Compilation);
        EXPECT_EQ(s.Rating, 80);
        EXPECT_EQ(s.PlayCount, 12);
        EXPECT_EQ(s.SkipCount, 2);
        EXPECT_EQ(s.LastPlayed, kJune2010);
        EXPECT_EQ(s.LastSkipped, kJune2010);
        EXPECT_EQ(s.DateAdded, kJune2010 - 86400);
        EXPECT_EQ(s.Duration, 123456);
        EXPECT_EQ(s.Bitrate, 192);
        EXPECT_EQ(s.SampleRate, 48000);
        EXPECT_EQ(s.MediaType, TMediaType::Podcast);
        EXPECT_EQ(ipod.SongAt(1).Rating, 40);
        EXPECT_EQ(ipod.SongAt(1).SkipCount, 1);

        EXPECT_EQ(ipod.MasterPlaylistName(), u"My iPod");
        const auto& lists = ipod.Playlists();
        ASSERT_EQ(lists.size(), 5u);
        EXPECT_EQ(lists[0].Name, u"Mix");
        EXPECT_EQ(lists[0].Songs, (std::vector<std::int32_t>{1, 0}));
        EXPECT_EQ(lists[0].DroppedEntries, 1);
        EXPECT_EQ(lists[1].Kind, TPlaylist::TKind::Smart);
        EXPECT_EQ(lists[1].Songs, (std::vector<std::int32_t>{0}));
        EXPECT_EQ(lists[2].Kind, TPlaylist::TKind::Podcast);
        EXPECT_EQ(lists[2].Songs, (std::vector<std::int32_t>{0, 1}));
        EXPECT_EQ(lists[2].DroppedEntries, 0);
        EXPECT_EQ(lists[3].Name, u"On-The-Go 1");
        EXPECT_EQ(lists[3].Songs, (std::vector<std::int32_t>{1, 0}));
        EXPECT_EQ(lists[4].Name, u"On-The-Go 2");
        EXPECT_EQ(lists[4].Songs, (std::vector<std::int32_t>{1}));
        EXPECT_EQ(lists[4].DroppedEntries, 1);
        std::vector<TSong> songs{ipod.SongAt(0), ipod.SongAt(1)};
        if (compressed) {
            EXPECT_EQ(songs, reference);
        }
        reference = songs;
    }
}
