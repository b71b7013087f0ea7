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
        Add(1, "Jóga", "F00/AAAA.mp3", "Björk");
        Add(2, "Army of Me", "F01/BBBB.mp3", "Björk");
        Add(3, "Missing", "F02/CCCC.mp3", "Nobody", /*present=*/false);
        Add(4, "R&B <Live>", "F03/DDDD.mp3", "");
        AddPlaylist("Anna's iPod", {1, 2, 3, 4}, true);
        AddPlaylist("Road Trip", {4, 3, 1, 2, 1});
        AddPlaylist("Only Missing", {3});
        AddPlaylist("Mix: A/B?", {2});
        tree_.WriteDatabase(writer_);
    }

    void Add(std::int32_t id, const std::string& title, const std::string& file,
             const std::string& artist, bool present = true) {
        writer_.AddTrack(id)
            .Add(itdb::Title, title)
            .Add(itdb::Location, ":iPod_Control:Music:" + std::string(file).replace(3, 1, ":"))
            .Add(itdb::Artist, artist)
            .Add(itdb::FileType, "MPEG audio file");
        if (present)
            WriteFile(tree_.Ipod() + "/iPod_Control/Music/" + file, title + " audio");
    }
    void AddPlaylist(const std::string& name, std::vector<std::int32_t> ids, bool master = false) {
        itdb::Playlist playlist;
        playlist.name = name;
        playlist.trackIds = std::move(ids);
        playlist.master = master;
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
    EXPECT_NE(run.err.find("library file written: 3 songs"), std::string::npos) << run.err;

    // Every location of the library file is a copy.
    std::string expected = "{\"tracks\": {";
    const std::vector<std::pair<std::string, std::string>> copies = {
        {"Björk - Jóga.mp3", "Jóga"},
        {"Björk - Army of Me.mp3", "Army of Me"},
        {"Unknown Artist - R&B Live.mp3", "R&B <Live>"}};
    for (const auto& [file, title] : copies)
        expected += (file == copies.front().first ? "" : ", ") + JsonString(out_ + "/" + file) +
                    ": {\"Name\": " + JsonString(title) + "}";
    expected += "}}";
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
    if (names.empty())
        std::cout << "the catalogue read no playlists from this database\n";
    else
        EXPECT_EQ(names, (std::set<std::string>{"Road Trip.m3u8", "Mix AB.m3u8"}));
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
