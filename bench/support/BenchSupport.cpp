// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include "ChildProcess.h"

#include "itdb/ITunesDbWriter.h"

#include <QApplication>

#include <clocale>
#include <cstdlib>
#include <cstring>
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

int StartOnce(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    PosixPlatform platform;
    TLogClass::SetPlatform(&platform);
    QtDialogs dialogs;
    TApplicationWindows windows(platform, dialogs);
    windows.FormMain.show(); // the first showing runs the scan, the load and the fills
    QApplication::processEvents();
    TLogClass::SetPlatform(nullptr);
    return windows.FormMain.iPod.SongCount();
}

bool RunStartOnce(const std::string& self, rusage& usage) {
    // The child draws off screen, whatever display this run was started on; this
    // process's own platform was chosen when its application was made.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return RunChild({self, "--once"}, STDOUT_FILENO, usage);
}

} // namespace korvello::bench
