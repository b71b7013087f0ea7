// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli in a terminal: messages in the user's own terms, and a standard output that
// is closed early, full or missing.
#include "support/CliRun.h"
#include "support/IpodTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class Terminal : public ::testing::Test {
protected:
    IpodTree tree_;

    CliRun Call(const std::string& args) { return RunKorvelloCli(tree_.Dir().path(), args); }

    // `count` songs with long titles, each with a small file of its own.
    void WriteLibrary(int count) {
        itdb::ITunesDbWriter writer;
        for (int i = 1; i <= count; ++i) {
            const std::string file = "F00/S" + std::to_string(i) + ".mp3";
            writer.AddTrack(i)
                .Add(itdb::Title, "Song " + std::to_string(i) + " " + std::string(200, 'x'))
                .Add(itdb::Location, ":iPod_Control:Music:" + file)
                .Add(itdb::FileType, "MPEG audio file");
            tree_.AddSongFile("iPod_Control/Music/" + file, 16);
        }
        tree_.WriteDatabase(writer);
    }

    // Runs `args` with its standard output piped into `reader`; returns korvello-cli's
    // exit status and leaves what it wrote to standard error in `err`.
    int CallPiped(const std::string& args, const std::string& reader, std::string& err) {
        const std::string dir = tree_.Dir().path();
        const std::string command =
            "( XDG_CONFIG_HOME='" + dir + "/config' XDG_DATA_HOME='" + dir +
            "/data' ASAN_OPTIONS=detect_leaks=0 '" + KORVELLO_CLI_PATH "' " + args + " 2>'" + dir +
            "/piped-err'; echo $? >'" + dir + "/piped-status' ) | " + reader;
        if (std::system(command.c_str()) == -1)
            return -1;
        err = ReadFile(dir + "/piped-err");
        return std::atoi(ReadFile(dir + "/piped-status").c_str());
    }
};

TEST_F(Terminal, ListEndsQuietlyWhenItsReaderStopsEarly) {
    // Far more than a pipe holds, so the reader is gone long before the list ends.
    WriteLibrary(3000);
    std::string err;
    EXPECT_EQ(CallPiped("list --drive e:", "head -n 2 >/dev/null", err), 0);
    EXPECT_EQ(err, "");

    // A full disk is no reader that had enough: that is worth a message and status 1.
    const CliRun full = Call("list --drive e: >/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("korvello-cli list: cannot write the list"), std::string::npos)
        << full.err;
}

TEST_F(Terminal, CopyOutcomesGoOnWhenStandardOutputFails) {
    WriteLibrary(3);
    const std::string out = tree_.Dir() / "out";
    for (const char* redirect : {">/dev/full", ">&-"}) {
        MakeDirs(out);
        const CliRun run = Call("copy --to '" + out + "' --drive e: " + redirect);
        EXPECT_EQ(run.status, 0) << redirect << ": " << run.err;
        // Every song's line reached the user, on standard error.
        for (int i = 1; i <= 3; ++i) {
            const std::string title = "Song " + std::to_string(i) + " " + std::string(200, 'x');
            EXPECT_NE(run.err.find(title + "\t" + out + "/" + title + ".mp3\n"), std::string::npos)
                << redirect << ": " << run.err;
            EXPECT_TRUE(Exists(out + "/" + title + ".mp3")) << redirect;
        }
        std::filesystem::remove_all(out);
    }

    // A reader that stops after the first line still lets every song be copied.
    MakeDirs(out);
    std::string err;
    EXPECT_EQ(CallPiped("copy --to '" + out + "' --drive e:", "head -n 1 >/dev/null", err), 0)
        << err;
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(
            Exists(out + "/Song " + std::to_string(i) + " " + std::string(200, 'x') + ".mp3"));
}

TEST_F(Terminal, MessagesNameTheFolderOrDriveTheUserGave) {
    const std::string plain = tree_.Dir() / "plain folder";
    MakeDirs(plain);
    for (const std::string& command : {std::string("list"), "copy --to '" + plain + "'"}) {
        const CliRun folder = Call(command + " --folder '" + plain + "'");
        EXPECT_EQ(folder.status, 1) << command;
        EXPECT_NE(folder.err.find("no iPod database in " + plain + ":"), std::string::npos)
            << folder.err;
        // No program-internal drive path reaches the user.
        EXPECT_EQ(folder.err.find("e:\\"), std::string::npos) << folder.err;

        const CliRun unmapped = Call(command + " --drive q:");
        EXPECT_EQ(unmapped.status, 1) << command;
        EXPECT_NE(unmapped.err.find("drive q: is neither a mounted disk nor a mapped folder"),
                  std::string::npos)
            << unmapped.err;
    }

    // A mapped drive is named with the folder it stands for.
    UnmapDriveIn(tree_.Roots().configHome, "e:");
    tree_.MapDrive('e', plain);
    const CliRun mapped = Call("list --drive e:");
    EXPECT_EQ(mapped.status, 1);
    EXPECT_NE(mapped.err.find("no iPod database on drive e: (" + plain + ")"), std::string::npos)
        << mapped.err;
}

} // namespace
