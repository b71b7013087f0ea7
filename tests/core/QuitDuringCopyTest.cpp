// SPDX-License-Identifier: GPL-3.0-or-later
// Quitting while the copy worker is stuck in a read from a device that stopped answering:
// the iPod is a FAT image served by fusefat, which the test stops with SIGSTOP in the
// middle of a song. The window part runs in a child process (this program again, one test
// of it), so the test can see whether that process ends while the device is still stopped.
#include "browser/ITunesStringGrid.h"
#include "copyout/CopyThread.h"
#include "core/FrmMain.h"
#include "core/KorvelloApplication.h"
#include "support/AppFixture.h"
#include "ui/LumoProgressBar.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace korvello::test {
namespace {

constexpr std::size_t kSongBytes = 8u << 20;

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

// Handles events until `done` holds or `ms` milliseconds passed.
template <class Cond> bool PumpUntil(Cond done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Starts `args` with `env` added to the environment, its standard output thrown away when
// `quiet`; the child's pid, or -1. Everything the child needs is made before the fork.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
            bool quiet = true) {
    std::vector<std::string> environment = env;
    for (char** e = environ; *e != nullptr; ++e)
        environment.emplace_back(*e);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (quiet) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

// Waits up to `seconds` for the child; its wait status, or -1 when it is still running.
int WaitFor(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        ::usleep(50000);
    }
    return -1;
}

bool Mounted(const std::string& folder) {
    struct stat self {};
    struct stat parent {};
    return ::stat(folder.c_str(), &self) == 0 && ::stat((folder + "/..").c_str(), &parent) == 0 &&
           self.st_dev != parent.st_dev;
}

// fusefat in the foreground serving `image` at `folder`; direct_io, so every read of the
// song goes to the daemon and none is answered from the page cache.
pid_t MountFat(const std::string& image, const std::string& folder, const char* mode) {
    const pid_t pid =
        Spawn({"fusefat", "-f", "-o", std::string(mode) + ",direct_io", image, folder});
    if (pid > 0 && !PumpUntil([&] { return Mounted(folder); }, 10000)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void Unmount(const std::string& folder, pid_t daemon) {
    ::kill(daemon, SIGCONT);
    ::umount2(folder.c_str(), MNT_DETACH);
    if (WaitFor(daemon, 10) == -1) {
        ::kill(daemon, SIGKILL);
        ::waitpid(daemon, nullptr, 0);
    }
}

// The child: the main window on a fake machine whose drive e: is the FAT iPod, a copy of
// the one big song, the daemon stopped in the middle of it, then "quit" answered Yes and
// the program's own end.
TEST(QuitDuringCopy, ChildPart) {
    if (std::string(Env("KORVELLO_QUIT_CHILD")).empty())
        GTEST_SKIP() << "runs only as the child of QuitEndsWhileTheDeviceHangs";
    const pid_t daemon = std::atoi(Env("KORVELLO_FUSE_PID"));
    const std::string out = Env("KORVELLO_OUT");
    AppFixture fx;
    WriteFile(out + "/child-tmp.txt", fx.tmp.path());
    fx.MapDrive("e:", Env("KORVELLO_IPOD"));
    TFormMain form(*fx.platform, fx.dialogs);
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.AdvStringGridSong->RowCount() == 2; }, 10000));
    form.AdvStringGridSong->SetRowMarked(1, true);
    fx.dialogs.saves.push_back(out + "/x.mp3");
    form.CopyoutSongClick();
    ASSERT_TRUE(PumpUntil([&] { return form.ProgressBarItunes->value() > 0; }, 30000));
    // The daemon is stopped while the worker waits at its pause gate, so no read of the
    // worker's is half answered: its next read then waits on a device that does not
    // answer, as a stalled disk's does.
    form.CopyThread->Suspend();
    PumpUntil([] { return false; }, 300);
    ::kill(daemon, SIGSTOP);
    form.CopyThread->Resume();
    int last = -1;
    PumpUntil(
        [&] {
            const int now = form.ProgressBarItunes->value();
            const bool still = now == last;
            last = now;
            return still;
        },
        1000);
    PumpUntil([] { return false; }, 500);
    ASSERT_LT(form.ProgressBarItunes->value(), 450);
    ASSERT_FALSE(form.CopyThread->Finished());
    fx.dialogs.answers.push_back(IDialogs::Answer::Yes);
    form.XP_ButtonSmall3Click();
    ASSERT_FALSE(form.isVisible());
    WriteFile(out + "/closed.txt", "");
    EndWithoutHungWorker(form, 0, std::chrono::seconds(2));
    // Only a worker that finished comes back here.
    WriteFile(out + "/returned.txt", "");
}

TEST(QuitDuringCopy, QuitEndsWhileTheDeviceHangs) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0 ||
        std::system("command -v fusefat >/dev/null") != 0 ||
        std::system("command -v mkfs.vfat >/dev/null") != 0)
        GTEST_SKIP() << "needs /dev/fuse, fusefat and mkfs.vfat";
    TempDir dir;
    const std::string image = dir / "ipod.img";
    const std::string ipod = dir / "ipod";
    const std::string out = dir / "out";
    MakeDirs(ipod);
    MakeDirs(out);
    ASSERT_EQ(
        std::system(
            ("truncate -s 48M '" + image + "' && mkfs.vfat '" + image + "' >/dev/null").c_str()),
        0);

    // The iPod's files, written through a first mount of the image.
    {
        AppFixture tree;
        DemoSong song;
        song.id = 7;
        song.title = "Long Song";
        song.file = "F00/LONG.mp3";
        song.bytes = kSongBytes;
        const std::string made = tree.MakeiPod("made", {song});
        const pid_t writer = MountFat(image, ipod, "rw+");
        if (writer <= 0)
            GTEST_SKIP() << "cannot mount a FUSE file system here";
        // Plain folders and byte copies: fusefat has no permissions to copy.
        bool copied = true;
        for (const auto& entry : fs::recursive_directory_iterator(made)) {
            const std::string to = ipod + "/" + fs::relative(entry.path(), made).string();
            if (entry.is_directory()) {
                copied = copied && ::mkdir(to.c_str(), 0755) == 0;
            } else {
                std::ofstream file(to, std::ios::binary);
                file << std::ifstream(entry.path(), std::ios::binary).rdbuf();
                file.close();
                copied = copied && !file.fail();
            }
        }
        ::sync();
        Unmount(ipod, writer);
        ASSERT_TRUE(copied);
    }

    const pid_t daemon = MountFat(image, ipod, "ro");
    ASSERT_GT(daemon, 0);
    ASSERT_TRUE(fs::is_regular_file(ipod + "/iPod_Control/Music/F00/LONG.mp3"));
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const pid_t child =
        Spawn({self, "--gtest_filter=QuitDuringCopy.ChildPart"},
              {"KORVELLO_QUIT_CHILD=1", "KORVELLO_FUSE_PID=" + std::to_string(daemon),
               "KORVELLO_IPOD=" + ipod, "KORVELLO_OUT=" + out},
              false);
    ASSERT_GT(child, 0);
    // Generous: the child has to start, load and copy the first part of the song.
    const int status = WaitFor(child, 120);
    if (status == -1) {
        ::kill(child, SIGKILL);
        Unmount(ipod, daemon);
        WaitFor(child, 30);
    }
    const bool stillStopped = ::waitpid(daemon, nullptr, WNOHANG) == 0;
    Unmount(ipod, daemon);
    if (fs::exists(out + "/child-tmp.txt"))
        fs::remove_all(ReadFile(out + "/child-tmp.txt"));

    ASSERT_NE(status, -1) << "the program waited for the worker stuck in the stopped device";
    ASSERT_TRUE(fs::exists(out + "/closed.txt")) << "the child did not get to quit";
    EXPECT_TRUE(stillStopped);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(fs::exists(out + "/returned.txt")) << "the worker was not stuck after all";
    // The song's copy never took its name; its temporary file is left for the next job.
    EXPECT_FALSE(fs::exists(out + "/Long Song.mp3"));
}

} // namespace
} // namespace korvello::test
