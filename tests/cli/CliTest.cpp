// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli run as a program against iPod folders in a temporary tree.
#include "support/CliRun.h"
#include "support/IpodTree.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class Cli : public ::testing::Test {
protected:
    IpodTree tree_;

    // Runs korvello-cli with the given arguments (already shell-quoted where needed) and
    // a configuration folder of the tree's own, never the user's.
    CliRun Call(const std::string& args) { return RunKorvelloCli(tree_.Dir().path(), args); }

    // A copy of an iPod in its own folder (not mapped), as --folder expects.
    std::string MakeCopy() {
        const std::string copy = tree_.Dir() / "copy";
        itdb::ITunesDbWriter writer;
        writer.AddTrack(7)
            .Add(itdb::Title, "Tab\there")
            .Add(itdb::Location, ":iPod_Control:Music:F00:ABCD.mp3")
            .Add(itdb::Artist, "Back\\slash")
            .Add(itdb::Comment, "line one\nline two\r")
            .Add(itdb::FileType, "MPEG audio file");
        writer.AddTrack(8).Add(itdb::Title, "Caf\u00e9").Add(itdb::Grouping, "G");
        writer.WriteFile(copy + "/iPod_Control/iTunes/iTunesDB");
        WriteFile(copy + "/iPod_Control/Music/F00/ABCD.mp3", std::string(1572864, 'x'));
        return copy;
    }
};

const char* const kHeader =
    "SongId\tTitle\tLocation\tFileSize\tAlbum\tArtist\tGenre\tFileType\tComment\tEQSetting\t"
    "Composer\tGrouping";

} // namespace

TEST_F(Cli, ListsAFolderWithEscapedValues) {
    const std::string copy = MakeCopy();
    const CliRun run = Call("list --folder '" + copy + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.lines.size(), 3u) << run.out;
    EXPECT_EQ(run.lines[0], kHeader);
    // Locations are the song files' Linux paths in the folder given.
    EXPECT_EQ(run.lines[1], "7\tTab\\there\t" + copy +
                                "/iPod_Control/Music/F00/ABCD.mp3\t1.5MB\t"
                                "\tBack\\\\slash\t\tMPEG audio file\tline one\\nline two\\r\t\t\t");
    EXPECT_EQ(run.lines[2], "8\tCaf\u00e9\t\t\t\t\t\t\t\t\t\tG");
    // The user's drives folder was not touched by the mapping.
    EXPECT_FALSE(Exists(tree_.Dir() / "config/korvello/drives/e:/iPod_Control/Music"));
}

// The Location column is the file's own path whichever way the database spells it, for
// the whole list and for a playlist's songs in the playlist's order.
TEST_F(Cli, LocationsAreTheFilesRealPathsHoweverTheDatabaseSpellsThem) {
    const std::string copy = tree_.Dir() / "spelled";
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Location, ":iPod_Control:Music:F00:ABCD.mp3");
    writer.AddTrack(2).Add(itdb::Location, ":iPod_Control:music:f00:abcd.MP3");
    writer.AddTrack(3).Add(itdb::Location, ":iPod_Control:Music:F00:None.mp3");
    writer.AddTrack(4).Add(itdb::Location, ":iPod_Control:Music:F00:.:..:F00:ABCD.mp3");
    itdb::Playlist playlist;
    playlist.name = "Mixed";
    playlist.trackIds = {2, 3, 1, 2};
    writer.AddPlaylist(playlist);
    writer.WriteFile(copy + "/iPod_Control/iTunes/iTunesDB");
    WriteFile(copy + "/iPod_Control/Music/F00/ABCD.mp3", std::string(1000, 'x'));
    const std::string real = copy + "/iPod_Control/Music/F00/ABCD.mp3";
    const std::string none = copy + "/iPod_Control/Music/F00/None.mp3";
    const auto location = [](const std::string& line) {
        const auto start = line.find('\t') + 1;
        const auto title = line.find('\t', start) + 1;
        return line.substr(title, line.find('\t', title) - title);
    };

    const CliRun all = Call("list --folder '" + copy + "'");
    ASSERT_EQ(all.lines.size(), 5u) << all.out << all.err;
    EXPECT_EQ(location(all.lines[1]), real);
    EXPECT_EQ(location(all.lines[2]), real);
    EXPECT_EQ(location(all.lines[3]), none);
    EXPECT_EQ(location(all.lines[4]), real);

    const CliRun mixed = Call("list --folder '" + copy + "' --playlist Mixed");
    ASSERT_EQ(mixed.lines.size(), 5u) << mixed.out << mixed.err;
    EXPECT_EQ(location(mixed.lines[1]), real);
    EXPECT_EQ(location(mixed.lines[2]), none);
    EXPECT_EQ(location(mixed.lines[3]), real);
    EXPECT_EQ(mixed.lines[1], all.lines[2]);
    EXPECT_EQ(mixed.lines[2], all.lines[3]);
    EXPECT_EQ(mixed.lines[3], all.lines[1]);
    EXPECT_EQ(mixed.lines[4], all.lines[2]);
}

TEST_F(Cli, FindsTheMappedIpodByScanOrByLetter) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "On e");
    tree_.WriteDatabase(writer);

    for (const char* args : {"list", "list --drive E:", "list --drive=e"}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 0) << args << ": " << run.err;
        ASSERT_EQ(run.lines.size(), 2u) << args;
        EXPECT_EQ(run.lines[1].substr(0, 5), "1\tOn ");
    }

    const CliRun drives = Call("drives");
    EXPECT_EQ(drives.status, 0);
    ASSERT_FALSE(drives.lines.empty());
    EXPECT_EQ(drives.lines[0], "Drive\tType\tMapped\tLabel\tRoot\tiPod\tDatabase\tUnlisted");
    EXPECT_NE(drives.out.find("e:\tremovable\tyes\tipod\t" + tree_.Ipod() + "\tyes\tiTunesDB\t0\n"),
              std::string::npos)
        << drives.out;
}

TEST_F(Cli, NoDatabaseOrFolderExitsWithOne) {
    MakeDirs(tree_.Dir() / "plain");
    for (const std::string& args :
         {"list --folder '" + (tree_.Dir() / "plain") + "'",
          "list --folder '" + (tree_.Dir() / "nowhere") + "'", std::string("list --drive q:")}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

// Messages name the folders the user knows, with the system's reason. The unreadable cases
// run korvello-cli as the user "nobody", since root reads everything.
TEST_F(Cli, MessagesNameLinuxPathsAndTheSystemsReason) {
    const std::string copy = MakeCopy();
    // The iPod_Control folder itself given: its parent is named.
    const CliRun inner = Call("list --folder '" + copy + "/iPod_Control/'");
    EXPECT_EQ(inner.status, 1);
    EXPECT_NE(inner.err.find("name the folder that holds it: --folder " + copy + "\n"),
              std::string::npos)
        << inner.err;
    EXPECT_EQ(inner.err.find("e:"), std::string::npos) << inner.err;

    if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "needs root and setpriv to run korvello-cli as another user";
    fs::permissions(tree_.Dir().path(), fs::perms::all, fs::perm_options::add);
    const std::string db = copy + "/iPod_Control/iTunes/iTunesDB";
    auto asNobody = [&](const std::string& args) {
        return RunKorvelloCli(tree_.Dir().path(), args,
                              "setpriv --reuid=65534 --regid=65534 --clear-groups ");
    };
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
    CliRun run = asNobody("list --folder '" + copy + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("cannot open " + db + ": Permission denied"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("e:\\"), std::string::npos) << run.err;

    fs::permissions(copy + "/iPod_Control", fs::perms::owner_all);
    run = asNobody("list --folder '" + copy + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.err.find("cannot read the iPod's folder " + copy + "/iPod_Control: Permission denied"),
        std::string::npos)
        << run.err;
    fs::permissions(copy + "/iPod_Control", fs::perms::all, fs::perm_options::add);
}

TEST_F(Cli, UsageErrorsExitWithTwoAndHelpWithZero) {
    for (const char* args : {"", "frobnicate", "list --bogus", "list --drive",
                             "list --drive 7:", "list --drive e: --folder /tmp", "list extra",
                             "drives --folder /tmp"}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_FALSE(run.err.empty()) << args;
    }
    for (const char* args : {"--help", "list --help", "drives -h"}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 0) << args;
        EXPECT_NE(run.out.find("usage: korvello-cli"), std::string::npos) << args;
    }
}
