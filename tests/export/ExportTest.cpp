// SPDX-License-Identifier: GPL-3.0-or-later
// The exports of a finished job on real files: the iPod's playlists as M3U8 files and the
// library file, read back by Python's plistlib.
#include "copyout/ResultTexts.h"
#include "export/IpodPlaylists.h"
#include "export/JobCopies.h"
#include "export/LibraryFile.h"
#include "export/SafeFile.h"
#include "support/FailingFile.h"
#include "support/LibraryCheck.h"
#include "support/MachineFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace korvello::test {
namespace {

namespace fs = std::filesystem;

TSong Song(std::u16string title, std::u16string artist, std::int32_t durationMs = 0) {
    TSong song;
    song.Title = std::move(title);
    song.Artist = std::move(artist);
    song.Duration = durationMs;
    return song;
}

TPlaylist List(std::u16string name, std::vector<std::int32_t> songs,
               TPlaylist::TKind kind = TPlaylist::TKind::Ordinary) {
    TPlaylist playlist;
    playlist.Name = std::move(name);
    playlist.Kind = kind;
    playlist.Songs = std::move(songs);
    return playlist;
}

// A catalogue of six songs and a job over five of them: two copied, one found already
// copied, one not found on the iPod, one stopped; the sixth song is not in the job.
class ExportTest : public ::testing::Test {
protected:
    ExportTest() {
        TSong joga = Song(u"Jóga", u"Björk", 305400);
        joga.AlbumArtist = u"Björk";
        joga.Album = u"Homogenic";
        joga.Genre = u"Electronic";
        joga.Composer = u"Björk, Sjón";
        joga.Comment = u"remaster";
        joga.Grouping = u"Singles";
        joga.FileType = u"MPEG audio file";
        joga.FileBytes = 7340032;
        joga.DiscNumber = 1;
        joga.DiscCount = 2;
        joga.TrackNumber = 3;
        joga.TrackCount = 10;
        joga.Year = 1997;
        joga.Compilation = true;
        joga.Rating = 80;
        joga.PlayCount = 42;
        joga.LastPlayed = 1614834367; // 2021-03-04T05:06:07Z
        joga.SkipCount = 3;
        joga.LastSkipped = 1709208000; // 2024-02-29T12:00:00Z
        joga.DateAdded = 946684800;    // 2000-01-01T00:00:00Z
        joga.Bitrate = 256;
        joga.SampleRate = 44100;
        joga.SortTitle = u"Joga";
        joga.SortArtist = u"Bjork";
        joga.SortAlbumArtist = u"Bjork";
        joga.SortAlbum = u"Homogenic";
        joga.SortComposer = u"Bjork";
        TSong crush = Song(u"#1 Crush", u"Garbage");
        crush.PlayCount = 1;
        crush.LastPlayed = 400000000000; // beyond the year 9999: no date is written
        crush.Rating = 150;              // more than five stars: written as five
        songs = {joga,
                 Song(u"Army of Me", u"", 234000),
                 crush,
                 Song(u"Not Found", u"X"),
                 Song(u"Stopped", u"X"),
                 Song(u"Not In Job", u"X")};
        playlists = {List(u"Road Trip", {2, 3, 0, 5, 1, 0}),
                     List(u"Nothing Here", {3, 4, 5}),
                     List(u"Mix: A/B?", {0}),
                     List(u"road trip", {0}),
                     List(u"", {2}),
                     List(u"On-The-Go 1", {1}, TPlaylist::TKind::OnTheGo)};
        fs::create_directories(m.root + "/out");
        copies = CopiesOfJob(*m.platform, static_cast<std::int32_t>(songs.size()), {0, 1, 2, 3, 4},
                             {"c:\\out\\Björk\\Homo genic\\Jóga.mp3", kAlreadyCopied,
                              "c:\\out\\#1 Crush.mp3", kSongNotFound, kCopyTerminated},
                             {"", "c:\\out\\Post\\Army of Me(1).mp3", "", "", ""});
    }

    TCatalogueView View() {
        TCatalogueView view;
        view.songCount = static_cast<std::int32_t>(songs.size());
        view.songAt = [this](std::int32_t i) -> const TSong& {
            return songs[static_cast<std::size_t>(i)];
        };
        view.playlists = &playlists;
        view.masterName = u"Anna's iPod";
        return view;
    }
    std::string Out(const std::string& name) const { return m.root + "/out/" + name; }

    MachineFixture m;
    std::vector<TSong> songs;
    std::vector<TPlaylist> playlists;
    TJobCopies copies;
};

TEST_F(ExportTest, PlaylistFilesHoldTheCopiesInPlaylistOrderNamedAndNumberedLikeTitles) {
    WriteFile(Out("Road Trip.m3u8"), "the user's own\n");
    const TPlaylistExport result = ExportIpodPlaylists(*m.platform, "c:\\out", View(), copies);

    EXPECT_EQ(result.written, 5);
    EXPECT_EQ(result.withoutSongs, 1) << "Nothing Here";
    EXPECT_EQ(result.songsNotInJob, 2) << "Road Trip's songs 3 and 5";
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(PlaylistExportText(result), "5 playlists written, 2 of their songs not in this job, "
                                          "1 playlist without songs of this job");
    EXPECT_EQ(NamesIn(m.root + "/out"),
              (std::set<std::string>{"Road Trip.m3u8", "Road Trip(1).m3u8", "road trip(2).m3u8",
                                     "Mix AB.m3u8", "_.m3u8", "On-The-Go 1.m3u8"}))
        << "an existing file and a namesake are clashes; nothing else is left behind";
    EXPECT_EQ(ReadFile(Out("Road Trip.m3u8")), "the user's own\n");
    EXPECT_EQ(ReadFile(Out("Road Trip(1).m3u8")), "#EXTM3U\n"
                                                  "#EXTINF:-1,Garbage - #1 Crush\n"
                                                  "./#1 Crush.mp3\n"
                                                  "#EXTINF:305,Björk - Jóga\n"
                                                  "Björk/Homo genic/Jóga.mp3\n"
                                                  "#EXTINF:234,Army of Me\n"
                                                  "Post/Army of Me(1).mp3\n"
                                                  "#EXTINF:305,Björk - Jóga\n"
                                                  "Björk/Homo genic/Jóga.mp3\n");
    EXPECT_EQ(ReadFile(Out("On-The-Go 1.m3u8")),
              "#EXTM3U\n#EXTINF:234,Army of Me\nPost/Army of Me(1).mp3\n");
}

TEST_F(ExportTest, PlaylistsInAnotherFolderReachTheCopiesUpwards) {
    fs::create_directories(m.root + "/lists/mine");
    const TPlaylistExport result =
        ExportIpodPlaylists(*m.platform, "c:\\lists\\mine\\", View(), copies);
    EXPECT_EQ(result.written, 5);
    EXPECT_EQ(ReadFile(m.root + "/lists/mine/Mix AB.m3u8"),
              "#EXTM3U\n#EXTINF:305,Björk - Jóga\n../../out/Björk/Homo genic/Jóga.mp3\n");
}

TEST_F(ExportTest, APlaylistThatCannotBeWrittenIsReportedAndTheOthersAreWritten) {
    FailingFilesPlatform failing(*m.platform);
    failing.FailFile("c:\\out\\.Mix AB.m3u8.korvello-part", FileFailure::WriteAfter(10, ENOSPC));
    const TPlaylistExport result = ExportIpodPlaylists(failing, "c:\\out", View(), copies);
    EXPECT_EQ(result.written, 4);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0], "Mix AB.m3u8: No space left on device");
    EXPECT_EQ(NamesIn(m.root + "/out"),
              (std::set<std::string>{"Road Trip.m3u8", "road trip(1).m3u8", "_.m3u8",
                                     "On-The-Go 1.m3u8"}));
    EXPECT_EQ(PlaylistExportText(result), "4 playlists written, 2 of their songs not in this job, "
                                          "1 playlist without songs of this job, 1 could not be "
                                          "written");
}

TEST_F(ExportTest, APlaylistOfAHundredThousandEntries) {
    playlists = {List(u"Everything Twice", {})};
    for (int i = 0; i < 100000; ++i)
        playlists[0].Songs.push_back(i % 7 - 1); // -1 and 5 name no copy
    const TPlaylistExport result = ExportIpodPlaylists(*m.platform, "c:\\out", View(), copies);
    EXPECT_EQ(result.written, 1);
    const std::string text = ReadFile(Out("Everything Twice.m3u8"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 * (100000 - result.songsNotInJob));
    EXPECT_EQ(result.songsNotInJob, 57142) << "-1, 3, 4 and 5 of each seven";
}

TEST_F(ExportTest, TheLibraryFileReadsBackWithEveryFieldOfTheRecord) {
    TLibraryExport counts;
    std::string error;
    ASSERT_TRUE(WriteLibraryFile(*m.platform, "c:\\out\\Library.xml", View(), copies, 1700000000,
                                 counts, error))
        << error;
    EXPECT_EQ(counts.tracks, 3);
    EXPECT_EQ(counts.playlists, 5);
    const std::string joga = Out("Björk/Homo genic/Jóga.mp3");
    const std::string army = Out("Post/Army of Me(1).mp3");
    const std::string crush = Out("#1 Crush.mp3");
    const std::string expected = "{\"tracks\": {" + JsonString(joga) + R"(: {
        "Name": "Jóga", "Artist": "Björk", "Album Artist": "Björk", "Album": "Homogenic",
        "Genre": "Electronic", "Composer": "Björk, Sjón", "Comments": "remaster",
        "Grouping": "Singles", "Kind": "MPEG audio file", "Size": 7340032,
        "Total Time": 305400, "Disc Number": 1, "Disc Count": 2, "Track Number": 3,
        "Track Count": 10, "Year": 1997, "Compilation": true, "Rating": 80,
        "Play Count": 42, "Play Date UTC": "2021-03-04T05:06:07Z", "Skip Count": 3,
        "Skip Date": "2024-02-29T12:00:00Z", "Date Added": "2000-01-01T00:00:00Z",
        "Bit Rate": 256, "Sample Rate": 44100, "Sort Name": "Joga", "Sort Artist": "Bjork",
        "Sort Album Artist": "Bjork", "Sort Album": "Homogenic", "Sort Composer": "Bjork"},
      )" + JsonString(army) + R"(: {"Name": "Army of Me", "Total Time": 234000},
      )" + JsonString(crush) + R"(: {"Name": "#1 Crush", "Artist": "Garbage",
        "Play Count": 1, "Rating": 100}},
     "playlists": [
      {"Name": "Road Trip", "items": [)" +
                                 JsonString(crush) + "," + JsonString(joga) + "," +
                                 JsonString(army) + "," + JsonString(joga) + R"(]},
      {"Name": "Mix: A/B?", "items": [)" +
                                 JsonString(joga) + R"(]},
      {"Name": "road trip", "items": [)" +
                                 JsonString(joga) + R"(]},
      {"Name": "Playlist", "items": [)" +
                                 JsonString(crush) + R"(]},
      {"Name": "On-The-Go 1", "items": [)" +
                                 JsonString(army) + "]}]}";
    WriteFile(m.tmp / "expected.json", expected);
    const LibraryCheck check = CheckLibrary(Out("Library.xml"), m.tmp / "expected.json");
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string text = ReadFile(Out("Library.xml"));
    EXPECT_NE(text.find("<key>Name</key><string>Anna's iPod</string>"), std::string::npos);
    EXPECT_NE(text.find("<date>2023-11-14T22:13:20Z</date>"), std::string::npos)
        << "the file's own date";
}

TEST_F(ExportTest, XmlHostileTextsAreEscapedOrLeftOut) {
    songs[0].Title = u"R&B <Live> \"Best\" ]]> \x01\x0b\tTab\r\nLine";
    songs[0].Title += char16_t(0xD800);
    songs[0].Title += u"x\U0001D11E";
    songs[0].Title += char16_t(0xFFFE);
    songs[0].Title += char16_t(0xDBFF);
    songs[0].Artist = u"AC/DC & <Friends>";
    playlists = {List(u"<Mix> & \"More\"", {0})};
    copies.pathOfSong[0] = Out("R&B 100% ü #?.mp3");
    std::fill(copies.pathOfSong.begin() + 1, copies.pathOfSong.end(), std::string());
    TLibraryExport counts;
    std::string error;
    ASSERT_TRUE(
        WriteLibraryFile(*m.platform, "c:\\out\\Library.xml", View(), copies, 0, counts, error))
        << error;
    const std::string expected =
        "{\"tracks\": {" + JsonString(Out("R&B 100% ü #?.mp3")) +
        R"(: {"Name": "R&B <Live> \"Best\" ]]> \tTab\r\nLine\ufffdx\ud834\udd1e\ufffd",
              "Artist": "AC/DC & <Friends>"}},
           "playlists": [{"Name": "<Mix> & \"More\"", "items": [)" +
        JsonString(Out("R&B 100% ü #?.mp3")) + "]}]}";
    WriteFile(m.tmp / "expected.json", expected);
    const LibraryCheck check =
        CheckLibrary(Out("Library.xml"), m.tmp / "expected.json", "--some-keys");
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST(LibraryText, DatesAndUrls) {
    const auto date = [](std::int64_t seconds) {
        std::string out;
        return AppendPlistDate(out, seconds) ? out : "none";
    };
    EXPECT_EQ(date(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(date(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(date(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(date(-62135596800), "0001-01-01T00:00:00Z");
    EXPECT_EQ(date(253402300799), "9999-12-31T23:59:59Z");
    EXPECT_EQ(date(-62135596801), "none");
    EXPECT_EQ(date(253402300800), "none");
    EXPECT_EQ(FileUrl("/home/a b/Ünï/#1 100%?.mp3"),
              "file:///home/a%20b/%C3%9Cn%C3%AF/%231%20100%25%3F.mp3");
}

TEST_F(ExportTest, ALibraryThatCannotBeWrittenLeavesTheOldOneWhole) {
    WriteFile(Out("Library.xml"), "old");
    TLibraryExport counts;
    std::string error;
    for (const auto& [how, reason] :
         {std::pair{FileFailure::WriteAfter(100, ENOSPC), "No space left on device"},
          std::pair{FileFailure::AtClose(EIO), "Input/output error"}}) {
        SCOPED_TRACE(reason);
        FailingFilesPlatform failing(*m.platform);
        failing.FailFile("c:\\out\\.Library.xml.korvello-part", how);
        EXPECT_FALSE(
            WriteLibraryFile(failing, "c:\\out\\Library.xml", View(), copies, 0, counts, error));
        EXPECT_EQ(error, reason);
        EXPECT_EQ(ReadFile(Out("Library.xml")), "old");
        EXPECT_EQ(NamesIn(m.root + "/out"), std::set<std::string>{"Library.xml"});
    }
    fs::create_directories(Out("Folder.xml"));
    EXPECT_FALSE(
        WriteLibraryFile(*m.platform, "c:\\out\\Folder.xml", View(), copies, 0, counts, error));
    EXPECT_EQ(error, "not a file");
}

TEST(JobCopies, FirstCopyOfASongWinsAndStrayEntriesArePassedOver) {
    MachineFixture m;
    const TJobCopies copies = CopiesOfJob(*m.platform, 4, {2, 2, 7, -1, 0, 1, 3},
                                          {"c:\\a.mp3", "c:\\b.mp3", "c:\\c.mp3", "c:\\d.mp3",
                                           kAlreadyCopied, kSongNotFound, "q:\\e.mp3"},
                                          {});
    ASSERT_EQ(copies.pathOfSong.size(), 4u);
    EXPECT_EQ(copies.pathOfSong[2], m.root + "/a.mp3");
    EXPECT_EQ(copies.pathOfSong[0], "") << "already copied, but no copy named";
    EXPECT_EQ(copies.pathOfSong[3], "") << "on a drive this machine does not have";
    EXPECT_EQ(copies.Count(), 1);
}

} // namespace
} // namespace korvello::test
