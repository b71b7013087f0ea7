// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a large, real-looking catalogue (KORVELLO_BENCH_SONGS songs): the
// database load with song sizes, start-up to the first showing, the song table's fill,
// Select All and Invert Select in the category lists, a two-word search, Select All in
// the song table with its selection count, building the copy job of every song, the
// report's fill for every song, and the process's peak memory.
//
// Every row reports the same three counters: the rows its operation left, the peak
// memory so far of the process that holds the window, and 0; the start-up row reports the
// peak of the started program instead, the program's own CPU time up to its first paint
// as the third, and the program's whole run (real and CPU time) in two more. The load
// rows report the process's CPU time per load as the third: the load looks song files
// up on a second thread, which the CPU column (this thread's) leaves out.
#include "BenchSupport.h"
#include "LargeiPod.h"
#include "browser/ITunesStringGrid.h"
#include "copyout/CopyJob.h"
#include "copyout/FrmReport.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

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
    // Every row carries the start-up row's counters too: a CSV table takes its columns
    // from the first row, and a counter first seen later ends the run.
    state.counters["whole_run_ms"] = 0;
    state.counters["whole_run_cpu_ms"] = 0;
}

bench::LargeiPod& Pod() {
    static bench::LargeiPod pod(kSongs);
    return pod;
}

void UsePod() {
    Pod().UseAsHome();
}

using Window = bench::SharedWindow<TApplicationWindows>;

// The window is made on first use, on the large iPod.
TApplicationWindows& Windows() {
    UsePod();
    return Window::Get().Forms();
}

int SongRows(TFormMain& form) {
    return form.AdvStringGridSong->RowCount() - 1;
}

// Runs first, before the window exists, so that its catalogue does not sit beside the
// window's in the peak.
// CPU time of the whole process so far, every thread's, in milliseconds.
double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void LoadDatabase(benchmark::State& state) {
    UsePod();
    PosixPlatform platform;
    int count = 0;
    const double cpuBefore = ProcessCpuMs();
    for (auto _ : state) {
        TiPod ipod(platform);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        count = ipod.SongCount();
        if (count != kSongs)
            state.SkipWithError("wrong song count");
    }
    Report(state, count, -1,
           (ProcessCpuMs() - cpuBefore) /
               static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)));
}

// The same load on an iPod of the same songs whose database holds no playlists, beside
// the row above for what the playlists cost.
bench::LargeiPod& PodWithoutPlaylists() {
    static bench::LargeiPod pod(kSongs, 0);
    return pod;
}

void LoadDatabaseWithoutPlaylists(benchmark::State& state) {
    PodWithoutPlaylists().UseAsHome();
    PosixPlatform platform;
    int count = 0;
    const double cpuBefore = ProcessCpuMs();
    for (auto _ : state) {
        TiPod ipod(platform);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        count = ipod.SongCount();
        if (count != kSongs || !ipod.Playlists().empty())
            state.SkipWithError("wrong song count, or playlists");
    }
    Report(state, count, -1,
           (ProcessCpuMs() - cpuBefore) /
               static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)));
    UsePod();
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The row's time runs from just before the program is started to the end of its main
// window's first paint. The measuring thread only waits here; the started program's own
// CPU time up to that paint tells its work apart from the time a busy machine kept it
// waiting, and its whole run (teardown included) stands beside it, so nothing after the
// paint is hidden.
void Startup(benchmark::State& state) {
    UsePod();
    double peakKb = 0;
    std::vector<double> cpuToPaint, wholeRun, wholeRunCpu;
    for (auto _ : state) {
        const bench::StartupRun run = bench::RunStartOnce(g_self);
        if (!run.ok) {
            state.SkipWithError("the child did not start up on the iPod");
            break;
        }
        state.SetIterationTime(run.toPaintMs / 1e3);
        peakKb = std::max(peakKb, static_cast<double>(run.peakKb));
        cpuToPaint.push_back(run.cpuToPaintMs);
        wholeRun.push_back(run.wholeRunMs);
        wholeRunCpu.push_back(run.wholeRunCpuMs);
    }
    Report(state, kSongs, peakKb, Median(cpuToPaint));
    state.counters["whole_run_ms"] = Median(wholeRun);
    state.counters["whole_run_cpu_ms"] = Median(wholeRunCpu);
}

void DisPlaySongsAll(benchmark::State& state) {
    TFormMain& form = Windows().FormMain;
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    Report(state, SongRows(form));
}

// Select All in a list marks every entry but the first and filters by all of them.
void SelectAllList(benchmark::State& state, TITunesStringGrid* TFormMain::*list) {
    TFormMain& form = Windows().FormMain;
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
    TFormMain& form = Windows().FormMain;
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
    TFormMain& form = Windows().FormMain;
    const std::vector<std::string> text{"Love Night"};
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::SearchSongs, &text);
    Report(state, SongRows(form));
}

// Select All in the song table, which ends with the selection count.
void SelectAllSongs(benchmark::State& state) {
    TFormMain& form = Windows().FormMain;
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
    TFormMain& form = Windows().FormMain;
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    for (auto _ : state)
        form.InvertSelectSongClick();
    Report(state, SongRows(form));
}

// The copy job of every song of the table, marked: the walk of the marked rows with the
// song of each row's id, the destination names and the titles, without copying.
void CopyJobAllMarked(benchmark::State& state) {
    TFormMain& form = Windows().FormMain;
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
    TApplicationWindows& windows = Windows();
    std::vector<std::string> titles, targets;
    titles.reserve(kSongs);
    targets.reserve(kSongs);
    for (int i = 0; i < kSongs; ++i) {
        titles.push_back("Song title number " + std::to_string(i));
        targets.push_back(i % 2 == 0 ? "e:\\Out\\Song title number " + std::to_string(i) + ".mp3"
                                     : " This song not found in your iPod.");
    }
    TFormReport& report = windows.FormReport;
    report.TitleList = &titles;
    report.TargetList = &targets;
    for (auto _ : state)
        report.FormShow();
    Report(state, report.Reporter->model()->rowCount());
    report.TitleList = nullptr;
    report.TargetList = nullptr;
}

void PeakMemory(benchmark::State& state) {
    TFormMain& form = Windows().FormMain;
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
    if (bench::IsStartOnce(argc, argv))
        return bench::StartOnce(argc, argv) == kSongs ? 0 : 3;
    g_self = bench::SelfPath(argv[0]);
    // Made before Qt starts any thread, so the forks that make them are plain.
    PodWithoutPlaylists();
    Pod();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    // Registered in this order on purpose: the load and the start-up run before the
    // window exists, the peak memory last.
    Register("LoadDatabaseWithSizes", LoadDatabase);
    Register("LoadDatabaseWithSizesNoPlaylists", LoadDatabaseWithoutPlaylists);
    benchmark::RegisterBenchmark(("BM_StartupToFirstShowing" + kSize).c_str(), Startup)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->UseManualTime();
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
