#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for driving a TITunesStringGrid with real mouse and key events: grids laid out
// like the song table and the category lists, cell positions, and the marked rows.

#include "browser/ITunesStringGrid.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace korvello::test {

// A shown grid with `rows` rows in column 1 reading "row 0", "row 1", ...; no fixed rows,
// like a category list.
inline std::unique_ptr<TITunesStringGrid> MakeList(int rows) {
    auto grid = std::make_unique<TITunesStringGrid>();
    grid->resize(300, 200);
    grid->SetColCount(2);
    grid->SetColWidths(0, 40);
    grid->SetColWidths(1, 200);
    grid->SetRowCount(rows);
    for (int r = 0; r < rows; ++r)
        grid->SetCells(1, r, "row " + std::to_string(r));
    grid->show();
    (void)QTest::qWaitForWindowExposed(grid.get());
    return grid;
}

// A shown grid with the header row, the fixed icon column 0 and the given song rows
// (each row's texts go into columns 1, 2, ...).
inline std::unique_ptr<TITunesStringGrid>
MakeSongTable(const std::vector<std::string>& headers,
              const std::vector<std::vector<std::string>>& songs) {
    auto grid = std::make_unique<TITunesStringGrid>();
    grid->resize(500, 300);
    grid->SetColCount(static_cast<int>(headers.size()) + 1);
    grid->SetFixedRows(1);
    grid->SetFixedCols(1);
    grid->SetColWidths(0, 16);
    for (int c = 1; c < grid->ColCount(); ++c)
        grid->SetColWidths(c, 100);
    grid->SetRowCount(static_cast<int>(songs.size()) + 1);
    for (std::size_t c = 0; c < headers.size(); ++c)
        grid->SetCells(static_cast<int>(c) + 1, 0, headers[c]);
    for (std::size_t r = 0; r < songs.size(); ++r) {
        for (std::size_t c = 0; c < songs[r].size(); ++c)
            grid->SetCells(static_cast<int>(c) + 1, static_cast<int>(r) + 1, songs[r][c]);
    }
    grid->show();
    (void)QTest::qWaitForWindowExposed(grid.get());
    return grid;
}

// Centre of a cell in the viewport, by the grid's row numbers.
inline QPoint CellPos(const TITunesStringGrid& grid, int row, int col = 1) {
    const int modelRow = row - (grid.FixedRows() > 0 ? 1 : 0);
    return grid.visualRect(grid.model()->index(modelRow, col)).center();
}

inline std::vector<int> MarkedRows(const TITunesStringGrid& grid) {
    std::vector<int> rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        if (grid.RowMarked(r))
            rows.push_back(r);
    }
    return rows;
}

inline void Click(TITunesStringGrid& grid, int row, Qt::KeyboardModifiers mods = {},
                  Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(grid.viewport(), button, mods, CellPos(grid, row));
}

inline void Key(TITunesStringGrid& grid, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
    QTest::keyClick(&grid, key, mods);
}

// A point in the header over column `col`, `fromLeft` pixels right of its left edge (a
// negative value counts from its right edge).
inline QPoint HeaderPos(const TITunesStringGrid& grid, int col, int fromLeft) {
    const QHeaderView* header = grid.horizontalHeader();
    const int left = header->sectionViewportPosition(col);
    const int x = fromLeft >= 0 ? left + fromLeft : left + header->sectionSize(col) + fromLeft;
    return {x, header->height() / 2};
}

inline void ClickHeader(TITunesStringGrid& grid, int col, int fromLeft = 30) {
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      HeaderPos(grid, col, fromLeft));
}

// The texts of column `col` from row `first` down.
inline std::vector<std::string> Column(const TITunesStringGrid& grid, int col, int first = 1) {
    std::vector<std::string> texts;
    for (int r = first; r < grid.RowCount(); ++r)
        texts.push_back(grid.Cells(col, r));
    return texts;
}

} // namespace korvello::test
