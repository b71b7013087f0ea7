// The main window on a large, real-looking catalogue (KORVELLO_BENCH_SONGS songs): the
// database load with song sizes, start-up to the first showing, the song table's fill,
// Select All and Invert Select in the category lists, a two-word search, Select All in
// the song table with its selection count, building the copy job of every song, the
// report's fill for every song, and the process's peak memory.
//
// Every row reports the same three counters: the rows its operation left, the peak
// memory so far of the process that holds the window, and 0; the start-up row reports the
// peak of the started program instead, and the program's own CPU time as the third.
#include "LargeiPod.h"
#include "browser/ITunesStringGrid.h"
#include "copyout/CopyJob.h"
#include "copyout/FrmReport.h"
#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/posix/PosixPlatform.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QTableWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvello;

namespace {

constexpr int kSongs = KORVELLO_BENCH_SONGS;
const std::string kSize = std::to_string(kSongs / 1000) + "k";

std::string g_self;

void Report(benchmark::State& state, int rows, double peakKb = -1, double programCpuMs = 0) {
    if (peakKb < 0) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        peakKb = static_cast<double>(usage.ru_maxrss);
    }
    state.counters["rows"] = rows;
    state.counters["peak_MB"] = peakKb / 1024.0;
    state.counters["program_cpu_ms"] = programCpuMs;
}

bench::LargeiPod& Pod() {
    static bench::LargeiPod pod(kSongs);
    return pod;
}

void UsePod() {
    setenv("XDG_CONFIG_HOME", Pod().ConfigHome().c_str(), 1);
    setenv("XDG_DATA_HOME", Pod().DataHome().c_str(), 1);
}

class Window {
public:
    static Window& Get() {
        if (!instance_)
            instance_.reset(new Window);
        return *instance_;
    }
    static void Destroy() { instance_.reset(); }
    ~Window() {
        windows_.reset();
        TLogClass::SetPlatform(nullptr);
    }
    TFormMain& Form() { return windows_->FormMain; }
    TFormReport& Report() { return windows_->FormReport; }

private:
    Window() {
        UsePod();
        platform_ = std::make_unique<PosixPlatform>();
        TLogClass::SetPlatform(platform_.get());
        windows_ = std::make_unique<TApplicationWindows>(*platform_, dialogs_);
        Form().show(); // loads the iPod and fills the table and the lists once
    }
    std::unique_ptr<PosixPlatform> platform_;
    QtDialogs dialogs_;
    std::unique_ptr<TApplicationWindows> windows_;
    static inline std::unique_ptr<Window> instance_;
};

int SongRows(TFormMain& form) {
    return form.AdvStringGridSong->RowCount() - 1;
}

// Runs first, before the window exists, so that its catalogue does not sit beside the
// window's in the peak.
void LoadDatabase(benchmark::State& state) {
    UsePod();
    PosixPlatform platform;
    int count = 0;
    for (auto _ : state) {
        TiPod ipod(platform);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        count = ipod.SongCount();
        if (count != kSongs)
            state.SkipWithError("wrong song count");
    }
    Report(state, count);
}

// From the start of a process to the end of the main window's first showing: this same
// program run as a child with --once, which starts up exactly as korvello does.
int StartOnce(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    PosixPlatform platform;
    TLogClass::SetPlatform(&platform);
    QtDialogs dialogs;
    TApplicationWindows windows(platform, dialogs);
    windows.FormMain.show();
    QApplication::processEvents();
    TLogClass::SetPlatform(nullptr);
    return windows.FormMain.iPod.SongCount() == kSongs ? 0 : 3;
}

void Startup(benchmark::State& state) {
    UsePod();
    double peakKb = 0;
    std::vector<double> cpuMs;
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(g_self.c_str(), g_self.c_str(), "--once", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        peakKb = std::max(peakKb, static_cast<double>(usage.ru_maxrss));
        cpuMs.push_back((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the child did not start up on the iPod");
            break;
        }
    }
    // The measuring thread only waits here; the started program's own CPU time tells its
    // work apart from the time a busy machine kept it waiting.
    double medianCpu = 0;
    if (!cpuMs.empty()) {
        std::sort(cpuMs.begin(), cpuMs.end());
        medianCpu = cpuMs[cpuMs.size() / 2];
    }
    Report(state, kSongs, peakKb, medianCpu);
}

void DisPlaySongsAll(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    Report(state, SongRows(form));
}

// Select All in a list marks every entry but the first and filters by all of them.
void SelectAllList(benchmark::State& state, TITunesStringGrid* TFormMain::*list) {
    TFormMain& form = Window::Get().Form();
    for (auto _ : state) {
        state.PauseTiming();
        form.ClearSelectListClick(form.*list);
        state.ResumeTiming();
        form.SelectAllListClick(form.*list);
    }
    Report(state, SongRows(form));
    form.ClearSelectListClick(form.*list);
}

void InvertSelectAlbums(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    for (auto _ : state) {
        state.PauseTiming();
        form.ClearSelectListClick(form.AlbumList);
        state.ResumeTiming();
        form.InvertSelectListClick(form.AlbumList);
    }
    Report(state, SongRows(form));
    form.ClearSelectListClick(form.AlbumList);
}

void SearchTwoWords(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    const std::vector<std::string> text{"Love Night"};
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::SearchSongs, &text);
    Report(state, SongRows(form));
}

// Select All in the song table, which ends with the selection count.
void SelectAllSongs(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        form.ClearSelectSongClick();
        state.ResumeTiming();
        form.SelectAllSongClick();
    }
    Report(state, form.AdvStringGridSong->MarkedRowCount());
}

void InvertSelectSongs(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    for (auto _ : state)
        form.InvertSelectSongClick();
    Report(state, SongRows(form));
}

// The copy job of every song of the table, marked: the walk of the marked rows with the
// song of each row's id, the destination names and the titles, without copying.
void CopyJobAllMarked(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    form.AdvStringGridSong->MarkRows(1, form.AdvStringGridSong->RowCount());
    const int marked = form.AdvStringGridSong->MarkedRowCount();
    std::size_t entries = 0;
    for (auto _ : state) {
        TCopyJob job =
            BuildCopyJob(*form.AdvStringGridSong, form.iPod, "/tmp/korvello-out", marked);
        entries = job.sources.size();
        benchmark::DoNotOptimize(job.targets.data());
    }
    if (entries != static_cast<std::size_t>(kSongs))
        state.SkipWithError("the job does not hold every song");
    Report(state, static_cast<int>(entries));
}

// The report window's fill for a job of every song: half copied, half with a result text.
void ReportFill(benchmark::State& state) {
    Window& window = Window::Get();
    std::vector<std::string> titles, targets;
    titles.reserve(kSongs);
    targets.reserve(kSongs);
    for (int i = 0; i < kSongs; ++i) {
        titles.push_back("Song title number " + std::to_string(i));
        targets.push_back(i % 2 == 0 ? "e:\\Out\\Song title number " + std::to_string(i) + ".mp3"
                                     : " This song not found in your iPod.");
    }
    TFormReport& report = window.Report();
    report.TitleList = &titles;
    report.TargetList = &targets;
    for (auto _ : state)
        report.FormShow();
    Report(state, report.Reporter->rowCount());
    report.TitleList = nullptr;
    report.TargetList = nullptr;
}

void PeakMemory(benchmark::State& state) {
    TFormMain& form = Window::Get().Form();
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    for (auto _ : state) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        benchmark::DoNotOptimize(usage.ru_maxrss);
    }
    Report(state, SongRows(form));
}

void Register(const std::string& name, void (*fn)(benchmark::State&)) {
    benchmark::RegisterBenchmark(("BM_" + name + kSize).c_str(), fn)->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--once") == 0)
        return StartOnce(argc, argv);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
    Pod(); // made before Qt starts any thread, so the fork that makes it is plain
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    // Registered in this order on purpose: the load and the start-up run before the
    // window exists, the peak memory last.
    Register("LoadDatabaseWithSizes", LoadDatabase);
    benchmark::RegisterBenchmark(("BM_StartupToFirstShowing" + kSize).c_str(), Startup)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->UseRealTime();
    Register("DisPlaySongsAll", DisPlaySongsAll);
    benchmark::RegisterBenchmark(("BM_SelectAllAlbums" + kSize).c_str(), SelectAllList,
                                 &TFormMain::AlbumList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_SelectAllArtists" + kSize).c_str(), SelectAllList,
                                 &TFormMain::ArtistList)
        ->Unit(benchmark::kMillisecond);
    Register("InvertSelectAlbums", InvertSelectAlbums);
    Register("SearchTwoWords", SearchTwoWords);
    Register("SelectAllSongsWithCount", SelectAllSongs);
    Register("InvertSelectSongs", InvertSelectSongs);
    Register("CopyJobAllMarked", CopyJobAllMarked);
    Register("ReportFill", ReportFill);
    benchmark::RegisterBenchmark(("BM_PeakMemory" + kSize).c_str(), PeakMemory)->Iterations(1);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Window::Destroy();
    return 0;
}
