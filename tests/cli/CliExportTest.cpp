// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli copy --export-playlists and --library-file, run as a program on a generated
// iPod: every playlist entry and every location of the library file names a copy.
#include "support/CliRun.h"
#include "support/IpodTree.h"
#include "support/LibraryCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;
namespace fs = std::filesystem;

namespace {

class CliExport : public ::testing::Test {
protected:
    IpodTree tree_;
    std::string out_ = tree_.Dir() / "out";
    std::string lists_ = tree_.Dir() / "my lists";

    void SetUp() override {
        MakeDirs(out_);
        MakeDirs(lists_);
        itdb::Track& joga = Add(1, "Jóga", "F00/AAAA.mp3", "Björk");
        joga.lengthMs = 305'400;
        joga.trackNumber = 2;
        joga.trackCount = 11;
        joga.year = 1997;
        joga.rating = 80;
        joga.playCount = 12;
        joga.lastPlayed = 1'241'201'051; // 2009-05-01T18:04:11Z
        joga.skipCount = 1;
        joga.dateAdded = 1'199'145'600; // 2008-01-01T00:00:00Z
        Add(2, "Army of Me", "F01/BBBB.mp3", "Björk").lengthMs = 234'000;
        Add(3, "Missing", "F02/CCCC.mp3", "Nobody", /*present=*/false);
        Add(4, "R&B <Live>", "F03/DDDD.mp3", "");
        AddPlaylist("Anna's iPod", {1, 2, 3, 4}, itdb::Playlist::Kind::Ordinary, true);
        AddPlaylist("Road Trip", {4, 3, 1, 2, 1});
        AddPlaylist("Only Missing", {3});
        AddPlaylist("Mix: A/B?", {2});
        AddPlaylist("Loved", {1, 2}, itdb::Playlist::Kind::Smart);
        // Since the last sync the iPod played Army of Me twice and rated it.
        itdb::PlayCounts counts = writer_.UnchangedPlayCounts();
        counts.entries[1].plays = 2;
        counts.entries[1].lastPlayed = 1'243'973'700; // 2009-06-02T20:15:00Z
        counts.entries[1].rating = 60;
        // An On-The-Go list made on the device: R&B <Live>, Missing, Jóga (track positions).
        itdb::OnTheGo onTheGo;
        onTheGo.positions = {3, 2, 0};
        writer_.WriteITunesFolder(tree_.Ipod() + "/iPod_Control/iTunes", false, &counts, {onTheGo});
    }

    itdb::Track& Add(std::int32_t id, const std::string& title, const std::string& file,
                     const std::string& artist, bool present = true) {
        if (present)
            WriteFile(tree_.Ipod() + "/iPod_Control/Music/" + file, title + " audio");
        return writer_.AddTrack(id)
            .Add(itdb::Title, title)
            .Add(itdb::Location, ":iPod_Control:Music:" + std::string(file).replace(3, 1, ":"))
            .Add(itdb::Artist, artist)
            .Add(itdb::FileType, "MPEG audio file");
    }
    void AddPlaylist(const std::string& name, std::vector<std::int32_t> ids,
                     itdb::Playlist::Kind kind = itdb::Playlist::Kind::Ordinary,
                     bool master = false) {
        itdb::Playlist playlist;
        playlist.name = name;
        playlist.trackIds = std::move(ids);
        playlist.master = master;
        playlist.kind = kind;
        writer_.AddPlaylist(playlist);
    }
    CliRun Call(const std::string& args) {
        return RunKorvelloCli(tree_.Dir().path(), "copy --to '" + out_ + "' --drive e: " + args);
    }

    itdb::ITunesDbWriter writer_;
};

TEST_F(CliExport, EveryPlaylistEntryAndLibraryLocationNamesACopy) {
    const std::string library = tree_.Dir() / "Library.xml";
    const CliRun run = Call("--name artist-title --export-playlists '" + lists_ +
                            "' --library-file '" + library + "'");
    EXPECT_EQ(run.status, 1) << "one song is not on the iPod\n" << run.err;
    EXPECT_NE(run.err.find("library file written: 3 songs, 4 playlists"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("4 playlists written, 2 of their songs not in this job, 1 playlist "
                           "without songs of this job"),
              std::string::npos)
        << run.err;

    // The library: every location is a copy, the record's statistics with the device's
    // own plays since the last sync merged in, and the playlists in the iPod's order.
    const std::string joga = out_ + "/Björk - Jóga.mp3";
    const std::string army = out_ + "/Björk - Army of Me.mp3";
    const std::string live = out_ + "/Unknown Artist - R&B Live.mp3";
    const std::string expected =
        "{\"tracks\": {" + JsonString(joga) +
        ": {\"Name\": \"Jóga\", \"Artist\": \"Björk\", \"Total Time\": 305400, "
        "\"Track Number\": 2, \"Track Count\": 11, \"Year\": 1997, \"Rating\": 80, "
        "\"Play Count\": 12, \"Play Date UTC\": \"2009-05-01T18:04:11Z\", \"Skip Count\": 1, "
        "\"Date Added\": \"2008-01-01T00:00:00Z\"}, " +
        JsonString(army) +
        ": {\"Name\": \"Army of Me\", \"Play Count\": 2, \"Rating\": 60, "
        "\"Play Date UTC\": \"2009-06-02T20:15:00Z\", \"Skip Count\": null}, " +
        JsonString(live) + ": {\"Name\": \"R&B <Live>\", \"Artist\": null}}, " +
        "\"playlists\": [{\"Name\": \"Road Trip\", \"items\": [" + JsonString(live) + ", " +
        JsonString(joga) + ", " + JsonString(army) + ", " + JsonString(joga) +
        "]}, {\"Name\": \"Mix: A/B?\", \"items\": [" + JsonString(army) +
        "]}, {\"Name\": \"Loved\", \"items\": [" + JsonString(joga) + ", " + JsonString(army) +
        "]}, {\"Name\": \"On-The-Go 1\", \"items\": [" + JsonString(live) + ", " +
        JsonString(joga) + "]}]}";
    WriteFile(tree_.Dir() / "expected.json", expected);
    const LibraryCheck check =
        CheckLibrary(library, tree_.Dir() / "expected.json", "--exist --some-keys");
    EXPECT_EQ(check.status, 0) << check.output;

    // Every entry of every playlist file is a copy, reached from the playlist's folder.
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(lists_)) {
        names.insert(entry.path().filename().string());
        std::ifstream in(entry.path());
        int songs = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line.starts_with('#'))
                continue;
            ++songs;
            EXPECT_TRUE(fs::is_regular_file(fs::path(lists_) / line))
                << entry.path() << ": " << line;
        }
        EXPECT_GT(songs, 0) << entry.path();
    }
    EXPECT_EQ(names, (std::set<std::string>{"Road Trip.m3u8", "Mix AB.m3u8", "Loved.m3u8",
                                            "On-The-Go 1.m3u8"}));
    EXPECT_EQ(ReadFile(fs::path(lists_) / "Road Trip.m3u8"),
              "#EXTM3U\n"
              "#EXTINF:-1,R&B <Live>\n../out/Unknown Artist - R&B Live.mp3\n"
              "#EXTINF:305,Björk - Jóga\n../out/Björk - Jóga.mp3\n"
              "#EXTINF:234,Björk - Army of Me\n../out/Björk - Army of Me.mp3\n"
              "#EXTINF:305,Björk - Jóga\n../out/Björk - Jóga.mp3\n");
}

// The titles of the songs a copy run reported, in its order.
std::vector<std::string> Titles(const CliRun& run) {
    std::vector<std::string> titles;
    for (const std::string& line : run.lines)
        titles.push_back(line.substr(0, line.find('\t')));
    return titles;
}

TEST_F(CliExport, FromPlaylistCopiesItsSongsInItsOrderEachOnce) {
    // Road Trip holds R&B <Live>, Missing, Jóga, Army of Me, Jóga.
    CliRun run = Call("--from-playlist 'Road Trip'");
    EXPECT_EQ(run.status, 1) << "Missing is not on the iPod\n" << run.err;
    EXPECT_EQ(Titles(run),
              (std::vector<std::string>{"R&B <Live>", "Missing", "Jóga", "Army of Me"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()), 3);

    // The filters narrow the playlist; playlists given twice follow one another, and a
    // song of the second that the first already had keeps its first place.
    run = Call("--skip-copied --from-playlist 'Mix: A/B?' --from-playlist Loved --artist björk");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Titles(run), (std::vector<std::string>{"Army of Me", "Jóga"}));

    // A name no playlist has, or a playlist without songs the filters keep: nothing copied.
    for (const std::string& args : {std::string("--from-playlist 'road trip'"),
                                    std::string("--from-playlist 'Only Missing' --artist Björk")}) {
        run = Call("--no-skip-copied " + args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_TRUE(run.lines.empty()) << args << "\n" << run.out;
    }
    EXPECT_NE(run.err.find("no song matches the filters"), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()), 3);
}

TEST_F(CliExport, WrongExportOptionsAreUsageErrorsThatCopyNothing) {
    for (const std::string& args : std::vector<std::string>{
             "--export-playlists '" + out_ + "/missing'", "--export-playlists",
             "--library-file '" + out_ + "'", "--library-file '" + out_ + "/missing/x.xml'",
             "--export-playlists '" + lists_ + "' --export-playlists '" + lists_ + "'"}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 2) << args << "\n" << run.err;
    }
    EXPECT_TRUE(fs::is_empty(out_));
}

} // namespace
