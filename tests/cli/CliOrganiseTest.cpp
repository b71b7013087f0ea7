// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli copy with organised copies, run as a program on a generated iPod: copies
// sorted into artist and album folders, a second run that finds every song already
// copied, the playlist of the job and the summary on stderr.
#include "support/CliRun.h"
#include "support/IpodTree.h"

#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class CliOrganise : public ::testing::Test {
protected:
    IpodTree tree_;
    std::string out_ = tree_.Dir() / "out";

    void SetUp() override {
        MakeDirs(out_);
        itdb::ITunesDbWriter writer;
        Add(writer, 1, "Jóga", "F00/AAAA.mp3", "Björk", "Homogenic", 300000);
        Add(writer, 2, "Intro", "F01/BBBB.mp3", "The xx", "xx", 5000);
        Add(writer, 3, "Intro", "F02/CCCC.mp3", "The xx", "xx", 7000);
        Add(writer, 4, "Hunter", "F03/DDDD.m4a", "Björk", "Homogenic", 0);
        Add(writer, 5, "No Tags", "F04/EEEE.mp3", "", "", 2048);
        Add(writer, 6, "AC/DC: Live?", "F05/FFFF.mp3", "AC/DC", "../..", 100);
        tree_.WriteDatabase(writer);
    }

    void Add(itdb::ITunesDbWriter& writer, std::int32_t id, const std::string& title,
             const std::string& file, const std::string& artist, const std::string& album,
             std::size_t bytes) {
        writer.AddTrack(id)
            .Add(itdb::Title, title)
            .Add(itdb::Location, ":iPod_Control:Music:" + std::string(file).replace(3, 1, ":"))
            .Add(itdb::Artist, artist)
            .Add(itdb::Album, album)
            .Add(itdb::FileType, "MPEG audio file");
        std::string content(bytes, '\0');
        for (std::size_t i = 0; i < bytes; ++i)
            content[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(id) * 13) & 0xFF);
        WriteFile(tree_.Ipod() + "/iPod_Control/Music/" + file, content);
    }
    std::string Song(const std::string& file) const {
        return ReadFile(tree_.Ipod() + "/iPod_Control/Music/" + file);
    }
    CliRun Call(const std::string& args) {
        return RunKorvelloCli(tree_.Dir().path(), "copy --to '" + out_ + "' --drive e: " + args);
    }
};

TEST_F(CliOrganise, ArtistAlbumFoldersTwiceThenEverySongIsAlreadyCopied) {
    const std::string playlist = out_ + "/Korvello.m3u8";
    const std::string args =
        "--name artist-album-title --skip-copied --playlist '" + playlist + "'";
    const CliRun first = Call(args);
    EXPECT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(first.lines.size(), 6u) << first.out;
    EXPECT_EQ(first.lines[0], "Jóga\t" + out_ + "/Björk/Homogenic/Jóga.mp3");
    EXPECT_EQ(first.lines[1], "Intro\t" + out_ + "/The xx/xx/Intro.mp3");
    EXPECT_EQ(first.lines[2], "Intro\t" + out_ + "/The xx/xx/Intro(1).mp3");
    EXPECT_EQ(first.lines[3], "Hunter\t" + out_ + "/Björk/Homogenic/Hunter.m4a");
    EXPECT_EQ(first.lines[4], "No Tags\t" + out_ + "/Unknown Artist/Unknown Album/No Tags.mp3");
    // "../.." as an album is one folder of its own name, inside the chosen folder.
    EXPECT_EQ(first.lines[5], "AC/DC: Live?\t" + out_ + "/ACDC/_..../ACDC Live.mp3");
    EXPECT_EQ(ReadFile(out_ + "/Björk/Homogenic/Jóga.mp3"), Song("F00/AAAA.mp3"));
    EXPECT_EQ(ReadFile(out_ + "/The xx/xx/Intro(1).mp3"), Song("F02/CCCC.mp3"));
    EXPECT_EQ(ReadFile(out_ + "/ACDC/_..../ACDC Live.mp3"), Song("F05/FFFF.mp3"));
    EXPECT_NE(first.err.find("korvello-cli copy: 6 copied, 0 already copied, 0 not found, 0 not "
                             "enough space, 0 failed, 0 stopped\n"),
              std::string::npos)
        << first.err;
    const std::string list = ReadFile(playlist);
    EXPECT_EQ(list, "#EXTM3U\n"
                    "#EXTINF:-1,Björk - Jóga\nBjörk/Homogenic/Jóga.mp3\n"
                    "#EXTINF:-1,The xx - Intro\nThe xx/xx/Intro.mp3\n"
                    "#EXTINF:-1,The xx - Intro\nThe xx/xx/Intro(1).mp3\n"
                    "#EXTINF:-1,Björk - Hunter\nBjörk/Homogenic/Hunter.m4a\n"
                    "#EXTINF:-1,No Tags\nUnknown Artist/Unknown Album/No Tags.mp3\n"
                    "#EXTINF:-1,AC/DC - AC/DC: Live?\nACDC/_..../ACDC Live.mp3\n");

    // The second run copies nothing: every song is there already, and the playlist of
    // this job lists the same files.
    const auto before = std::filesystem::last_write_time(out_ + "/The xx/xx/Intro.mp3");
    const CliRun second = Call(args);
    EXPECT_EQ(second.status, 0) << second.err;
    ASSERT_EQ(second.lines.size(), 6u) << second.out;
    for (const std::string& line : second.lines)
        EXPECT_EQ(line.substr(line.find('\t') + 1), "Already copied.") << line;
    EXPECT_NE(second.err.find("0 copied, 6 already copied, 0 not found"), std::string::npos)
        << second.err;
    EXPECT_EQ(std::filesystem::last_write_time(out_ + "/The xx/xx/Intro.mp3"), before);
    EXPECT_EQ(ReadFile(playlist), list);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out_))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 7u); // six songs and the playlist, no temporary file left
}

TEST_F(CliOrganise, TheStoredSettingsApplyUnlessAnOptionSaysOtherwise) {
    const auto platform = tree_.MakePlatform();
    WriteCopyNaming(*platform, PresetNaming(1));
    CliRun run = Call("--search Hunter");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Hunter\t" + out_ + "/Björk - Hunter.m4a\n");

    // Skipping is off unless stored or asked for: the song is copied again. (Without
    // overwriting: with it, a first copy that is a second old by now, on a busy machine,
    // would be replaced instead.)
    run = Call("--search Hunter --no-overwrite");
    EXPECT_EQ(run.out, "Hunter\t" + out_ + "/Björk - Hunter(1).m4a\n");
    WriteRegistryFlag(*platform, kValueSkipCopied, true);
    run = Call("--search Hunter");
    EXPECT_EQ(run.out, "Hunter\tAlready copied.\n");
    run = Call("--search Hunter --no-skip-copied --name title");
    EXPECT_EQ(run.out, "Hunter\t" + out_ + "/Hunter.m4a\n");
}

TEST_F(CliOrganise, ATemplateNamesTheCopiesAndIsSavedOnlyWhenAsked) {
    const CliRun run =
        Call("--artist Björk --name '{albumartist}/{album}/[{disc}-][{track} ]{title}'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Jóga\t" + out_ + "/Björk/Homogenic/Jóga.mp3\n" + "Hunter\t" + out_ +
                           "/Björk/Homogenic/Hunter.m4a\n");
    EXPECT_EQ(ReadFile(out_ + "/Björk/Homogenic/Jóga.mp3"), Song("F00/AAAA.mp3"));
    const auto platform = tree_.MakePlatform();
    EXPECT_EQ(ReadCopyNaming(*platform), PresetNaming(0)) << "not saved without --save-name";

    // Saved, the template is the setting of later runs (and of the window).
    CliRun saved =
        Call("--search Intro --name '{artist} - {album}[ ({year})]/{title}' --save-name");
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.lines.size(), 2u);
    EXPECT_EQ(saved.lines[0], "Intro\t" + out_ + "/The xx - xx/Intro.mp3");
    EXPECT_EQ(saved.lines[1], "Intro\t" + out_ + "/The xx - xx/Intro(1).mp3");
    EXPECT_EQ(ReadCopyNaming(*platform).Text(), "{artist} - {album}[ ({year})]/{title}");
    saved = Call("--search 'No Tags'");
    EXPECT_EQ(saved.out, "No Tags\t" + out_ + "/Unknown Artist - Unknown Album/No Tags.mp3\n");
    // Today's words are stored as ever.
    EXPECT_EQ(Call("--search 'No Tags' --name Artist-Title --save-name").status, 0);
    EXPECT_EQ(platform->RegQueryValue(kRegistryKey, kValueCopyNaming).text, "artist-title");
}

TEST_F(CliOrganise, ABadTemplateIsRefusedBeforeAnythingIsCopied) {
    const std::pair<const char*, const char*> cases[] = {
        {"'{artist}/{albm}/{title}'", "unknown field {albm}"},
        {"'{artist/{title}'", "not closed"},
        {"'[{track} {title}'", "\"[\" is not closed"},
        {"'{artist}/../{title}'", "\"..\" cannot be"},
        {"'{artist}/'", "names no file"},
        {"'[{track}]'", "can come out empty"},
    };
    for (const auto& [name, reason] : cases) {
        const CliRun run = Call(std::string("--name ") + name + " --save-name");
        EXPECT_EQ(run.status, 2) << name << "\n" << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(Call("--save-name").status, 2);
    EXPECT_TRUE(std::filesystem::is_empty(out_));
    const auto platform = tree_.MakePlatform();
    EXPECT_EQ(platform->RegQueryValue(kRegistryKey, kValueCopyNaming).type, RegType::Missing);
}

TEST_F(CliOrganise, WrongOptionsAreUsageErrorsThatCopyNothing) {
    for (const std::string& args : std::vector<std::string>{
             "--name genre", "--name", "--skip-copied --no-skip-copied", "--skip-copied=yes",
             "--playlist '" + out_ + "/missing/x.m3u8'", "--playlist '" + out_ + "'"}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 2) << args << "\n" << run.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(out_));
}

} // namespace

// The record's album artist, compilation flag, track and disc numbers, read from a real
// database by the reader, name the copies end to end.
TEST(CliOrganiseRecord, CompilationsAndTwoDiscAlbumsGetTheirOwnFolders) {
    IpodTree tree;
    const std::string out = tree.Dir() / "out";
    MakeDirs(out);
    itdb::ITunesDbWriter writer;
    struct Song {
        const char* title;
        const char* artist;
        const char* albumArtist;
        const char* album;
        int track, tracks, disc, discs;
        bool compilation;
    };
    const Song songs[] = {
        {"Song A", "Band One", "", "Now 1", 1, 20, 1, 1, true},
        {"Song B", "Band Two", "", "Now 1", 2, 20, 1, 1, true},
        {"In the Flesh?", "Pink Floyd", "Pink Floyd", "The Wall", 1, 13, 1, 2, false},
        {"Hey You", "Pink Floyd", "Pink Floyd", "The Wall", 1, 12, 2, 2, false},
        {"Feat. Song", "Singer feat. Guest", "Singer", "Solo", 7, 120, 0, 0, false},
        {"Bonus", "Singer", "", "Solo", 3, 0, 2, 0, false},
    };
    std::int32_t id = 1;
    for (const Song& song : songs) {
        const std::string file = "F0" + std::to_string(id) + "/S" + std::to_string(id) + ".mp3";
        itdb::Track& track =
            writer.AddTrack(id)
                .Add(itdb::Title, song.title)
                .Add(itdb::Location, ":iPod_Control:Music:F0" + std::to_string(id) + ":S" +
                                         std::to_string(id) + ".mp3")
                .Add(itdb::Artist, song.artist)
                .Add(itdb::Album, song.album)
                .Add(itdb::FileType, "MPEG audio file");
        if (*song.albumArtist)
            track.Add(itdb::AlbumArtist, song.albumArtist);
        track.trackNumber = song.track;
        track.trackCount = song.tracks;
        track.discNumber = song.disc;
        track.discCount = song.discs;
        track.compilation = song.compilation;
        WriteFile(tree.Ipod() + "/iPod_Control/Music/" + file, "audio of " + file);
        ++id;
    }
    tree.WriteDatabase(writer);

    const CliRun run =
        RunKorvelloCli(tree.Dir().path(), "copy --to '" + out +
                                              "' --drive e: --name "
                                              "'{albumartist}/{album}/[{disc}-][{track} ]{title}'");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> expected = {
        "Song A\t" + out + "/Various Artists/Now 1/01 Song A.mp3",
        "Song B\t" + out + "/Various Artists/Now 1/02 Song B.mp3",
        "In the Flesh?\t" + out + "/Pink Floyd/The Wall/1-01 In the Flesh.mp3",
        "Hey You\t" + out + "/Pink Floyd/The Wall/2-01 Hey You.mp3",
        "Feat. Song\t" + out + "/Singer/Solo/007 Feat. Song.mp3",
        // Disc 2 of an album whose disc count is unknown is still numbered; the track count
        // is unknown, so the number takes two digits.
        "Bonus\t" + out + "/Singer/Solo/2-03 Bonus.mp3",
    };
    EXPECT_EQ(run.lines, expected) << run.out;
    EXPECT_EQ(ReadFile(out + "/Pink Floyd/The Wall/2-01 Hey You.mp3"), "audio of F04/S4.mp3");
    EXPECT_EQ(ReadFile(out + "/Various Artists/Now 1/02 Song B.mp3"), "audio of F02/S2.mp3");

    // The same songs under the folder presets: a compilation's songs stay together under
    // "Various Artists" only where the template asks for the album artist.
    MakeDirs(out + "/b");
    const CliRun byArtist =
        RunKorvelloCli(tree.Dir().path(), "copy --to '" + out +
                                              "/b' --drive e: --search 'Song A' "
                                              "--name artist-album-title");
    EXPECT_EQ(byArtist.out, "Song A\t" + out + "/b/Band One/Now 1/Song A.mp3\n") << byArtist.err;
}
