// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include "ChildProcess.h"

#include "itdb/ITunesDbWriter.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace korvello::bench {

namespace fs = std::filesystem;

iPodFolder::iPodFolder(const char* pattern) {
    std::string path = (fs::temp_directory_path() / pattern).string();
    if (mkdtemp(path.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    root_ = path;
}

iPodFolder::~iPodFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void iPodFolder::UseAsHome() const {
    setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
    setenv("XDG_DATA_HOME", DataHome().c_str(), 1);
}

void iPodFolder::AddSongFile(const char* folder, const char* name, int index,
                             bool newFolder) const {
    const fs::path file = Ipod() / "iPod_Control" / "Music" / folder / name;
    if (newFolder)
        fs::create_directories(file.parent_path());
    std::ofstream(file).close();
    fs::resize_file(file, 3'000'000 + static_cast<std::uintmax_t>(index % 97) * 50'000);
}

void iPodFolder::Finish(const itdb::ITunesDbWriter& writer) const {
    writer.WriteFile((Ipod() / "iPod_Control/iTunes/iTunesDB").string());
    fs::create_directories(root_ / "config/korvello/drives");
    fs::create_directories(root_ / "data");
    fs::create_symlink(Ipod(), root_ / "config/korvello/drives/e:");
}

bool IsStartOnce(int argc, char** argv) {
    return argc >= 2 && std::strcmp(argv[1], "--once") == 0;
}

std::string SelfPath(const char* argv0) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv0);
}

namespace {

// Stops an event loop once `watched` has been sent its first paint event. The loop ends
// only after the event round that painted it, so the window's children are painted and
// the window flushed by then.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget& watched, QEventLoop& loop) : loop_(loop) {
        watched.installEventFilter(this);
    }
    bool Painted() const { return painted_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            loop_.quit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop& loop_;
    bool painted_ = false;
};

double MsSince(const timespec& start) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) * 1e3 +
           static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e6;
}

} // namespace

int StartOnce(int argc, char** argv) {
    // The measuring parent's end of the pipe: one line, "<CPU ms>\n", at the first paint.
    const int toParent = argc >= 3 ? std::atoi(argv[2]) : -1;
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    PosixPlatform platform;
    TLogClass::SetPlatform(&platform);
    QtDialogs dialogs;
    TApplicationWindows windows(platform, dialogs);
    QEventLoop loop;
    FirstPaint watch(windows.FormMain, loop);
    // A window that is never painted ends the wait after a minute; the parent then hears
    // nothing and counts the start as failed.
    QTimer::singleShot(std::chrono::minutes(1), &loop, &QEventLoop::quit);
    windows.FormMain.show(); // the first showing runs the scan, the load and the fills
    if (!watch.Painted())
        loop.exec();
    if (watch.Painted() && toParent >= 0) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const std::string line = std::to_string(CpuMs(usage)) + "\n";
        (void)!write(toParent, line.data(), line.size());
    }
    if (toParent >= 0)
        close(toParent);
    TLogClass::SetPlatform(nullptr);
    return watch.Painted() ? windows.FormMain.iPod.SongCount() : -1;
}

StartupRun RunStartOnce(const std::string& self) {
    StartupRun run;
    // The child draws off screen, whatever display this run was started on; this
    // process's own platform was chosen when its application was made.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return run;
    // Only the write end goes on into the child.
    const int childEnd = fcntl(fds[1], F_DUPFD, 3);
    close(fds[1]);
    const std::string fdText = std::to_string(childEnd);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const char* args[] = {self.c_str(), "--once", fdText.c_str(), nullptr};
        execv(args[0], const_cast<char* const*>(args));
        _exit(127);
    }
    close(childEnd);
    std::string line;
    char buffer[64];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0 && line.empty())
            run.toPaintMs = MsSince(start);
        if (n > 0) {
            line.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // the child closed its end: after the paint, or without one
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wholeRunMs = MsSince(start);
    run.wholeRunCpuMs = CpuMs(usage);
    run.peakKb = usage.ru_maxrss;
    run.cpuToPaintMs = line.empty() ? 0 : std::atof(line.c_str());
    run.ok = !line.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

} // namespace korvello::bench
