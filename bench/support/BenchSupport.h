#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces shared by the window benchmarks: a temporary iPod folder mapped as drive e:, one
// main window kept for a whole run, and start-up measured by running the program itself
// as a child that reports the main window's first paint and then exits.

#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/posix/PosixPlatform.h"
#include "ui/Dialogs.h"

#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <type_traits>

namespace korvello::itdb {
class ITunesDbWriter;
}

namespace korvello::bench {

// A temporary folder (made from mkdtemp `pattern`) with an iPod in <folder>/ipod, a
// configuration folder that maps it as drive e: and an empty data folder. Removed with
// everything in it when the object goes.
class iPodFolder {
public:
    explicit iPodFolder(const char* pattern);
    ~iPodFolder();
    iPodFolder(const iPodFolder&) = delete;
    iPodFolder& operator=(const iPodFolder&) = delete;

    std::string ConfigHome() const { return (root_ / "config").string(); }
    std::string DataHome() const { return (root_ / "data").string(); }
    // The iPod's own folder, as a mount point would hold it.
    std::string IpodPath() const { return Ipod().string(); }
    // Points XDG_CONFIG_HOME and XDG_DATA_HOME of this process, and of the children it
    // starts from now on, at this folder.
    void UseAsHome() const;

protected:
    std::filesystem::path Ipod() const { return root_ / "ipod"; }
    // A sparse song file of a few megabytes (the size varies with `index`) in
    // iPod_Control/Music/<folder>/<name>; `newFolder` makes the folder first.
    void AddSongFile(const char* folder, const char* name, int index, bool newFolder) const;
    // Writes the database and maps the iPod as drive e:.
    void Finish(const itdb::ITunesDbWriter& writer) const;

private:
    std::filesystem::path root_;
};

// The main window of a whole bench run, made on first use and shown once (which loads the
// iPod and fills the table and the lists). `W` is TFormMain alone or the program's
// TApplicationWindows; the iPod's homes must be set before the first Get(). The window must
// go before the QApplication does: Destroy() at the end of main.
template <class W> class SharedWindow {
public:
    static SharedWindow& Get() {
        if (!instance_)
            instance_.reset(new SharedWindow);
        return *instance_;
    }
    static void Destroy() { instance_.reset(); }
    ~SharedWindow() {
        forms_.reset();
        TLogClass::SetPlatform(nullptr);
    }
    W& Forms() { return *forms_; }

private:
    SharedWindow() {
        platform_ = std::make_unique<PosixPlatform>();
        TLogClass::SetPlatform(platform_.get());
        forms_ = std::make_unique<W>(*platform_, dialogs_);
        if constexpr (std::is_same_v<W, TFormMain>)
            forms_->show();
        else
            forms_->FormMain.show();
    }
    std::unique_ptr<PosixPlatform> platform_;
    QtDialogs dialogs_;
    std::unique_ptr<W> forms_;
    static inline std::unique_ptr<SharedWindow> instance_;
};

// True when the program was started as the child of a start-up measurement.
bool IsStartOnce(int argc, char** argv);
// The path of the running program, for starting it again as a child.
std::string SelfPath(const char* argv0);
// Starts up exactly as korvello does, up to the end of the main window's first paint,
// tells the measuring parent so (with the CPU time used up to then), then ends without
// waiting for anything later; returns the number of songs it loaded.
int StartOnce(int argc, char** argv);

// One start-up measured from outside: the child's time from just before it was started
// to its first paint, its CPU time up to then, and its whole run (teardown included).
struct StartupRun {
    bool ok = false; // painted, and exited with 0
    double toPaintMs = 0;
    double cpuToPaintMs = 0;
    double wholeRunMs = 0;
    double wholeRunCpuMs = 0;
    long peakKb = 0;
};
// Runs `self --once` offscreen as a child and waits for it to end.
StartupRun RunStartOnce(const std::string& self);

} // namespace korvello::bench
