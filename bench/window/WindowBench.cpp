// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a 50,000-song iPod: the song table's fill, one artist's filter, a
// two-word search, the three lists, a header sort, and the process's peak memory with
// the table filled.
#include "BenchSupport.h"
#include "BenchiPod.h"
#include "browser/ITunesStringGrid.h"
#include "core/FrmMain.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sys/resource.h>

using namespace korvello;

namespace {

// Every benchmark of this program reports the same two counters (the CSV report wants one
// set of columns): the rows its operation left, and the process's peak memory so far.
void Report(benchmark::State& state, int rows) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["rows"] = rows;
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

using Window = bench::SharedWindow<TFormMain>;

// The iPod is made on first use, before the window that loads it.
TFormMain& Form() {
    static const bench::BenchiPod ipod;
    ipod.UseAsHome();
    return Window::Get().Forms();
}

void BM_DisPlaySongsAll(benchmark::State& state) {
    TFormMain& form = Form();
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    Report(state, form.AdvStringGridSong->RowCount() - 1);
}
BENCHMARK(BM_DisPlaySongsAll)->Unit(benchmark::kMillisecond);

void BM_FilterOneArtist(benchmark::State& state) {
    TFormMain& form = Form();
    const std::vector<std::string> names{"The Artist 700"};
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::ArtistSongs, &names);
    Report(state, form.AdvStringGridSong->RowCount() - 1);
}
BENCHMARK(BM_FilterOneArtist)->Unit(benchmark::kMillisecond);

void BM_SearchTwoWords(benchmark::State& state) {
    TFormMain& form = Form();
    const std::vector<std::string> text{"love number"};
    for (auto _ : state)
        form.DisPlaySongs(SongListMode::SearchSongs, &text);
    Report(state, form.AdvStringGridSong->RowCount() - 1);
}
BENCHMARK(BM_SearchTwoWords)->Unit(benchmark::kMillisecond);

void BM_DisPlayOther(benchmark::State& state) {
    TFormMain& form = Form();
    for (auto _ : state)
        form.DisPlayOther();
    Report(state, form.AlbumList->RowCount() - 1);
}
BENCHMARK(BM_DisPlayOther)->Unit(benchmark::kMillisecond);

void BM_HeaderSortTitle(benchmark::State& state) {
    TFormMain& form = Form();
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    QHeaderView* header = form.AdvStringGridSong->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(1) + header->sectionSize(1) / 2,
                    header->height() / 2);
    for (auto _ : state)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    Report(state, form.AdvStringGridSong->RowCount() - 1);
}
BENCHMARK(BM_HeaderSortTitle)->Unit(benchmark::kMillisecond);

void BM_PeakMemoryWithTableFilled(benchmark::State& state) {
    TFormMain& form = Form();
    form.DisPlaySongs(SongListMode::AllSongs, nullptr);
    for (auto _ : state) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        benchmark::DoNotOptimize(usage.ru_maxrss);
    }
    Report(state, form.AdvStringGridSong->RowCount() - 1);
}
BENCHMARK(BM_PeakMemoryWithTableFilled)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Window::Destroy();
    return 0;
}
