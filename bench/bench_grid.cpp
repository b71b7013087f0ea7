// SPDX-License-Identifier: GPL-3.0-or-later
// Costs of the song table at the size of a full iPod: a refill of 50,000 songs the way the
// program does it, a header sort, and painting a screen of rows after scrolling.
#include "browser/GridModel.h"
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>

namespace {

using namespace korvello;

std::string RandomWord(std::mt19937& random) {
    static const char* const kWords[] = {"Love",  "night", "Blue",   "road",  "Heart", "dream",
                                         "Fire",  "rain",  "Summer", "light", "Song",  "home",
                                         "River", "gold",  "Moon",   "time"};
    std::uniform_int_distribution<int> pick(0, 15);
    return kWords[pick(random)];
}

// Fills the grid like a refill of the song table: header, then one row per song with its
// picture, eleven texts and a cleared mark, all inside one update.
void Fill(TITunesStringGrid& grid, int songs, const QPixmap& icon) {
    std::mt19937 random(42);
    grid.BeginUpdate();
    grid.ClearCells();
    grid.SetColCount(kSongColumnCount);
    grid.SetFixedRows(1);
    grid.SetFixedCols(1);
    grid.SetColWidths(kIconColumn, kIconColumnWidth);
    for (int c = kFirstTextColumn; c < kSongColumnCount; ++c)
        grid.SetColWidths(c, 80);
    grid.SetRowCount(2);
    grid.SetRowHeights(0, kGridRowHeight);
    grid.SetRowHeights(1, kGridRowHeight);
    for (int c = kFirstTextColumn; c < kSongColumnCount; ++c)
        grid.SetCells(c, 0, "Column " + std::to_string(c));
    grid.SetColWidths(kSongIdColumn, 0);
    grid.SetRowCount(songs + 1);
    for (int r = 1; r <= songs; ++r) {
        grid.SetRowCount(r + 1);
        grid.SetRowHeights(r, kGridRowHeight);
        grid.SetCellPicture(0, r, icon);
        grid.SetCells(kTitleColumn, r,
                      RandomWord(random) + " " + RandomWord(random) + " " + RandomWord(random));
        grid.SetCells(kFileSizeColumn, r,
                      std::to_string(r % 97) + "." + std::to_string(r % 10) + "MB");
        for (int c = kAlbumColumn; c < kSongIdColumn; ++c)
            grid.SetCells(c, r, RandomWord(random) + " " + RandomWord(random));
        grid.SetCells(kSongIdColumn, r, std::to_string(100000 + r * 7 % 50000));
        grid.SetRowMarked(r, false);
    }
    grid.EndUpdate();
}

QPixmap Icon() {
    QPixmap icon(16, 16);
    icon.fill(Qt::darkGreen);
    return icon;
}

void BM_Refill50k(benchmark::State& state) {
    TITunesStringGrid grid;
    grid.resize(900, 600);
    grid.show();
    const QPixmap icon = Icon();
    for (auto _ : state)
        Fill(grid, static_cast<int>(state.range(0)), icon);
}
BENCHMARK(BM_Refill50k)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_SortText50k(benchmark::State& state) {
    TITunesStringGrid grid;
    Fill(grid, 50000, Icon());
    auto* model = dynamic_cast<GridModel*>(grid.model());
    bool ascending = true;
    for (auto _ : state) {
        model->SortRows(static_cast<int>(state.range(0)), ascending);
        ascending = !ascending;
    }
}
// Column 1 holds texts, column 11 numbers.
BENCHMARK(BM_SortText50k)->Arg(kTitleColumn)->Arg(kSongIdColumn)->Unit(benchmark::kMillisecond);

void BM_PaintAfterScroll50k(benchmark::State& state) {
    TITunesStringGrid grid;
    grid.resize(900, 600);
    grid.SetScrollBarsBoth(true);
    Fill(grid, 50000, Icon());
    grid.show();
    QApplication::processEvents();
    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = grid.verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        bar->setValue((step++ * 7919 * 16) % std::max(bar->maximum(), 1));
        QPainter painter(&image);
        grid.viewport()->render(&painter);
    }
}
BENCHMARK(BM_PaintAfterScroll50k)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
