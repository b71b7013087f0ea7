// Start-up on a 50,000-song iPod: from the start of a process to the end of the main
// window's first showing (drive scan, database load, song table and lists filled, backup
// made). Each iteration runs this same program as a child with --once, which starts up
// exactly as korvello does and exits after the first showing.
#include "BenchiPod.h"
#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/posix/PosixPlatform.h"
#include "ui/Dialogs.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <clocale>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvello;

namespace {

std::string g_self;

int StartOnce(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    PosixPlatform platform;
    TLogClass::SetPlatform(&platform);
    QtDialogs dialogs;
    TApplicationWindows windows(platform, dialogs);
    TFormMain& formMain = windows.FormMain;
    formMain.show(); // the first showing runs the scan, the load and the fills
    QApplication::processEvents();
    TLogClass::SetPlatform(nullptr);
    return formMain.iPod.SongCount() > 0 ? 0 : 3;
}

void BM_StartupToFirstShowing(benchmark::State& state) {
    static bench::BenchiPod ipod;
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", ipod.ConfigHome().c_str(), 1);
            setenv("XDG_DATA_HOME", ipod.DataHome().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(g_self.c_str(), g_self.c_str(), "--once", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the child did not start up on the iPod");
            break;
        }
    }
}
BENCHMARK(BM_StartupToFirstShowing)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--once") == 0)
        return StartOnce(argc, argv);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
