// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli's bash completion, driven as bash drives it: the line and the cursor in
// COMP_LINE and COMP_POINT, the completion function called, COMPREPLY read back. The
// names come from a real korvello-cli run on an iPod mapped in a temporary tree.
#include "support/IpodTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Shell {
    int status = -1;
    std::vector<std::string> lines;
    std::string err;
};

// Runs a bash script with the tree's config and data folders; its output, line by line.
Shell RunBash(const TempDir& dir, const std::string& script, const std::string& options = "") {
    const std::string errFile = dir / "bash-stderr.txt";
    const std::string command = "XDG_CONFIG_HOME=" + ShellQuote(dir / "config") +
                                " XDG_DATA_HOME=" + ShellQuote(dir / "data") +
                                " ASAN_OPTIONS=detect_leaks=0 HOME=" + ShellQuote(dir.path()) +
                                " bash --norc --noprofile " + options + " -c " +
                                ShellQuote(script) + " 2>" + ShellQuote(errFile);
    Shell run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::string out;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ReadFile(errFile);
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        run.lines.push_back(line);
    return run;
}

class Completion : public ::testing::Test {
protected:
    IpodTree tree_;

    void SetUp() override {
        tree_.WriteDatabase(Library({{"Anna Blue", "Live: One", "MPEG audio file"},
                                     {"Anna O'Neil", "Second Album", "AAC audio file"},
                                     {"Bert", "Live: One", "MPEG audio file"}}));
    }

    struct Song {
        std::string artist, album, fileType;
    };
    static itdb::ITunesDbWriter Library(const std::vector<Song>& songs) {
        itdb::ITunesDbWriter writer;
        std::int32_t id = 100;
        for (const Song& song : songs) {
            ++id;
            writer.AddTrack(id)
                .Add(itdb::Title, "Song " + std::to_string(id))
                .Add(itdb::Location, ":iPod_Control:Music:F00:S" + std::to_string(id) + ".mp3")
                .Add(itdb::Artist, song.artist)
                .Add(itdb::Album, song.album)
                .Add(itdb::FileType, song.fileType);
        }
        return writer;
    }

    // What bash would offer for `line`, the cursor at its end. Fails the test when the
    // completion wrote anything to standard error.
    std::vector<std::string> Complete(const std::string& line) {
        const std::string script = "source " + ShellQuote(KORVELLO_COMPLETION_SCRIPT) +
                                   " || exit 9\n" + "COMP_LINE=" + ShellQuote(line) +
                                   "; COMP_POINT=${#COMP_LINE}\n" +
                                   "read -ra COMP_WORDS <<<\"$COMP_LINE\"; COMP_WORDS[0]=" +
                                   ShellQuote(KORVELLO_CLI_PATH) + "\n" +
                                   "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                                   "_korvello_cli\n"
                                   "((${#COMPREPLY[@]})) && printf '%s\\n' \"${COMPREPLY[@]}\"\n"
                                   "exit 0\n";
        const Shell run = RunBash(tree_.Dir(), script);
        EXPECT_EQ(run.status, 0) << line;
        EXPECT_EQ(run.err, "") << line;
        return run.lines;
    }
};

using Lines = std::vector<std::string>;

TEST_F(Completion, CommandsAndOptionsComeFromTheProgramsHelp) {
    const Lines commands = Complete("korvello-cli ");
    for (const char* command : {"drives", "list", "copy"})
        EXPECT_NE(std::find(commands.begin(), commands.end(), command), commands.end()) << command;
    EXPECT_EQ(Complete("korvello-cli co"), Lines{"copy"});
    EXPECT_EQ(Complete("korvello-cli --v"), Lines{"--version"});
    EXPECT_EQ(Complete("korvello-cli copy --ar"), Lines{"--artist"});
    EXPECT_EQ(Complete("korvello-cli copy --no-s"), Lines{"--no-skip-copied"});
    // list knows only its own options.
    EXPECT_EQ(Complete("korvello-cli list --a"), Lines{});
    EXPECT_EQ(Complete("korvello-cli copy --name artist-"),
              (Lines{"artist-title", "artist-album-title"}));
    // A word after an option without a value is no value.
    EXPECT_EQ(Complete("korvello-cli copy --overwrite --fi"), Lines{"--filetype"});
}

TEST_F(Completion, DriveLettersAreTheIpodsDrives) {
    EXPECT_EQ(Complete("korvello-cli copy --drive "), Lines{"e:"});
    EXPECT_EQ(Complete("korvello-cli list --drive=e"), Lines{"e:"});
    // bash has split "e:" at its colon already: nothing is left to add.
    EXPECT_EQ(Complete("korvello-cli list --drive e:"), Lines{""});
}

TEST_F(Completion, NamesAreReadFromTheIpod) {
    EXPECT_EQ(Complete("korvello-cli copy --artist Anna"), (Lines{"Anna Blue", "Anna O'Neil"}));
    // Typed with an escaped blank, or in quotes: the names as the program will get them.
    EXPECT_EQ(Complete("korvello-cli copy --artist Anna\\ O"), Lines{"Anna O'Neil"});
    EXPECT_EQ(Complete("korvello-cli copy --artist \"Anna B"), Lines{"Anna Blue"});
    EXPECT_EQ(Complete("korvello-cli copy --to /tmp --filetype AA"), Lines{"AAC audio file"});
    // Each album once, though two songs share it; after the colon bash has split at, only
    // the rest of the name.
    EXPECT_EQ(Complete("korvello-cli copy --album L"), Lines{"Live: One"});
    EXPECT_EQ(Complete("korvello-cli copy --album Live:"), Lines{" One"});
}

TEST_F(Completion, NamesComeFromTheIpodTheLineNames) {
    const std::string other = tree_.Dir() / "other";
    MakeDirs(other + "/iPod_Control/iTunes");
    Library({{"Zed", "Zoo", "WAV audio file"}}).WriteFile(other + "/iPod_Control/iTunes/iTunesDB");
    EXPECT_EQ(Complete("korvello-cli copy --folder " + other + " --artist "), Lines{"Zed"});
    EXPECT_EQ(Complete("korvello-cli copy --folder=" + other + " --album Z"), Lines{"Zoo"});
    EXPECT_EQ(Complete("korvello-cli copy --drive e: --artist Z"), Lines{});
}

TEST_F(Completion, NoIpodOrNoPlaylistCommandCompletesNothingQuietly) {
    // An iPod whose database is gone: no names, and no message on the terminal.
    std::filesystem::remove(tree_.DatabaseFile());
    EXPECT_EQ(Complete("korvello-cli copy --artist "), Lines{});
    EXPECT_EQ(Complete("korvello-cli copy --from-playlist "), Lines{});
}

TEST_F(Completion, FoldersCompleteAsFolders) {
    MakeDirs(tree_.Dir() / "music box");
    EXPECT_EQ(Complete("korvello-cli copy --to " + std::string(tree_.Dir() / "music")),
              Lines{tree_.Dir() / "music box"});
}

TEST_F(Completion, AnInteractiveShellHasTheCompletionRegistered) {
    const Shell run = RunBash(
        tree_.Dir(),
        "source " + ShellQuote(KORVELLO_COMPLETION_SCRIPT) + "; complete -p korvello-cli", "-i");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), "complete -F _korvello_cli korvello-cli");
}

} // namespace
