// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli copy tells each song's outcome as the song ends, not when the whole job
// has ended: read through a pipe that holds only a few lines, the first line arrives
// while most of the job is still to come.
#include "support/IpodTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;
namespace fs = std::filesystem;

namespace {

// korvello-cli with its standard output on a pipe of one page, which blocks the writer
// once a few dozen lines wait in it unread.
class StreamedCopy {
public:
    StreamedCopy(const TempDir& dir, const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pageSized_ = ::fcntl(fds[1], F_SETPIPE_SZ, 4096) >= 0;
        const std::string err = dir / "stderr.txt";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(errFd, STDERR_FILENO);
            ::close(fds[0]);
            ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
            ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            std::vector<char*> argv{const_cast<char*>(KORVELLO_CLI_PATH)};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(KORVELLO_CLI_PATH, argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        read_ = fds[0];
    }
    ~StreamedCopy() {
        if (read_ >= 0)
            ::close(read_);
        if (pid_ > 0 && status_ < 0)
            Wait();
    }

    bool PageSized() const { return pageSized_; }

    // The next line of standard output; false at its end.
    bool ReadLine(std::string& line) {
        line.clear();
        char c = 0;
        for (;;) {
            const ssize_t n = ::read(read_, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return !line.empty();
            if (c == '\n')
                return true;
            line += c;
        }
    }

    int Wait() {
        int raw = 0;
        while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int read_ = -1;
    int status_ = -1;
    bool pageSized_ = false;
};

TEST(CliStream, EachSongsLineArrivesAsTheSongEnds) {
    IpodTree tree;
    constexpr int kSongs = 300;
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= kSongs; ++i) {
        const std::string file = "F00/S" + std::to_string(i) + ".mp3";
        writer.AddTrack(i)
            .Add(itdb::Title, "Song " + std::to_string(i))
            .Add(itdb::Location, ":iPod_Control:Music:F00:S" + std::to_string(i) + ".mp3");
        tree.AddSongFile("iPod_Control/Music/" + file, 64);
    }
    tree.WriteDatabase(writer);
    const std::string out = tree.Dir() / "out";
    MakeDirs(out);

    StreamedCopy copy(tree.Dir(), {"copy", "--to", out, "--drive", "e:", "--overwrite"});
    if (!copy.PageSized())
        GTEST_SKIP() << "the pipe's size cannot be set (F_SETPIPE_SZ refused)";
    std::string line;
    ASSERT_TRUE(copy.ReadLine(line));
    EXPECT_EQ(line, "Song 1\t" + out + "/Song 1.mp3");
    // One page holds a few dozen unread lines; a copy that waited for its end to tell
    // could not have got here without copying the last song.
    EXPECT_FALSE(fs::exists(out + "/Song " + std::to_string(kSongs) + ".mp3"))
        << "the first line came only after the whole job";

    int lines = 1;
    while (copy.ReadLine(line)) {
        ++lines;
        EXPECT_EQ(line, "Song " + std::to_string(lines) + "\t" + out + "/Song " +
                            std::to_string(lines) + ".mp3");
    }
    EXPECT_EQ(lines, kSongs);
    EXPECT_EQ(copy.Wait(), 0);
    // The counts still come at the end, after every song.
    const std::string err = ReadFile(tree.Dir() / "stderr.txt");
    EXPECT_NE(err.find("korvello-cli copy: "), std::string::npos) << err;
    EXPECT_TRUE(fs::exists(out + "/Song " + std::to_string(kSongs) + ".mp3"));
}

} // namespace
