// SPDX-License-Identifier: GPL-3.0-or-later
// Marks made by the user's mouse and key gestures, and the order in which the grid tells
// the program about clicks, releases, right presses, double clicks and keys.
#include "GridTestSupport.h"
#include "support/PumpUntil.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(GridMouseTest, ClickCtrlClickShiftClickAndCtrlShiftClick) {
    auto grid = MakeList(10);

    Click(*grid, 2);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(2));
    Click(*grid, 4);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(4)) << "a plain click clears every other mark";

    Click(*grid, 6, Qt::ControlModifier);
    Click(*grid, 1, Qt::ControlModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1, 4, 6));
    Click(*grid, 4, Qt::ControlModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1, 6)) << "Ctrl-click toggles";

    // The last clicked row (4, though Ctrl just unmarked it) is the anchor; Shift marks
    // exactly the run from it, and the anchor stays for further Shift-clicks.
    Click(*grid, 6, Qt::ShiftModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(4, 5, 6));
    Click(*grid, 2, Qt::ShiftModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(2, 3, 4));

    Click(*grid, 8, Qt::ControlModifier);
    Click(*grid, 6, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(2, 3, 4, 6, 7, 8)) << "Ctrl+Shift adds the run";
    EXPECT_EQ(grid->MarkedRowCount(), 6);
}

TEST(GridMouseTest, DragMarksTheRunFromThePressedRow) {
    auto grid = MakeList(10);
    grid->SetRowMarked(9, true);

    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 5));
    QTest::mouseMove(grid->viewport(), CellPos(*grid, 7));
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(5, 6, 7)) << "the run shows while dragging";
    QTest::mouseMove(grid->viewport(), CellPos(*grid, 3));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 3));
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(3, 4, 5));

    // With Ctrl the run is added to the marks that were there before the press.
    grid->SetRowMarked(0, true);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, CellPos(*grid, 8));
    QTest::mouseMove(grid->viewport(), CellPos(*grid, 9));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, CellPos(*grid, 9));
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(0, 3, 4, 5, 8, 9));
}

TEST(GridMouseTest, DragHeldBelowTheBottomEdgeKeepsScrollingAndMarking) {
    auto grid = MakeList(200);
    const int visibleRows = grid->viewport()->height() / 16;
    const QPoint below(20, grid->viewport()->height() + 10);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 1));
    QTest::mouseMove(grid->viewport(), below);
    EXPECT_TRUE(PumpUntil([&] { return grid->MarkedRowCount() > visibleRows + 5; }));
    // What keeps it scrolling while the mouse stands still is a timer of the grid's.
    const auto scrolling = [&grid] {
        const auto timers = grid->findChildren<QTimer*>();
        return std::any_of(timers.begin(), timers.end(),
                           [](const QTimer* timer) { return timer->isActive(); });
    };
    EXPECT_TRUE(scrolling());
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, below);
    const int marked = grid->MarkedRowCount();
    EXPECT_TRUE(grid->RowMarked(1));
    EXPECT_TRUE(grid->RowMarked(marked));
    EXPECT_FALSE(scrolling()) << "the release stops the scrolling";
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->MarkedRowCount(), marked);
}

TEST(GridMouseTest, ClicksBelowTheLastRowAndOnTheHeaderMarkNothing) {
    auto grid = MakeSongTable({"Title"}, {{"a"}, {"b"}});
    Click(*grid, 1);
    const QPoint below(20, CellPos(*grid, 2).y() + 40);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, below);
    ClickHeader(*grid, 1);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1));
}

TEST(GridKeyTest, ArrowsPagesHomeAndEndMoveTheCurrentRow) {
    auto grid = MakeList(40);
    Click(*grid, 3);

    Key(*grid, Qt::Key_Down);
    Key(*grid, Qt::Key_Down);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(5)) << "only the current row stays marked";
    Key(*grid, Qt::Key_Up);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(4));

    Key(*grid, Qt::Key_End);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(39));
    const QRect last = grid->visualRect(grid->model()->index(39, 1));
    EXPECT_TRUE(grid->viewport()->rect().contains(last)) << "the current row is scrolled into view";
    Key(*grid, Qt::Key_Down);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(39)) << "the last row is as far as it goes";

    Key(*grid, Qt::Key_Home);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(0));
    EXPECT_EQ(grid->verticalScrollBar()->value(), 0);

    Key(*grid, Qt::Key_PageDown);
    const std::vector<int> afterPage = MarkedRows(*grid);
    ASSERT_EQ(afterPage.size(), 1u);
    EXPECT_GT(afterPage[0], 2) << "a page is more than a row";
    Key(*grid, Qt::Key_PageUp);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(0));
}

TEST(GridKeyTest, ShiftKeepsTheRunFromTheAnchorCtrlAddsRowsSpaceToggles) {
    auto grid = MakeList(40);
    Click(*grid, 5);

    Key(*grid, Qt::Key_Down, Qt::ShiftModifier);
    Key(*grid, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(5, 6, 7));
    Key(*grid, Qt::Key_Up, Qt::ShiftModifier);
    Key(*grid, Qt::Key_Up, Qt::ShiftModifier);
    Key(*grid, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(4, 5)) << "the run turns round at the anchor";
    Key(*grid, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(MarkedRows(*grid).size(), 6u);

    Click(*grid, 10);
    Key(*grid, Qt::Key_Down, Qt::ControlModifier);
    Key(*grid, Qt::Key_Down, Qt::ControlModifier);
    Key(*grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(10, 11, 12, 39));
    Key(*grid, Qt::Key_Space);
    Key(*grid, Qt::Key_Up, Qt::ControlModifier);
    Key(*grid, Qt::Key_Space);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(10, 11, 12)) << "space toggles the current row";
    Key(*grid, Qt::Key_Down);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(39));
}

TEST(GridFixedRowTest, GesturesNeverMarkFixedRows) {
    // Two fixed rows: row 0 is the header, row 1 a fixed row inside the view.
    auto grid = MakeSongTable({"Title"}, {{"fixed"}, {"a"}, {"b"}, {"c"}});
    grid->SetFixedRows(2);

    Click(*grid, 1);
    Click(*grid, 1, Qt::ControlModifier);
    EXPECT_THAT(MarkedRows(*grid), IsEmpty());

    Click(*grid, 3);
    Key(*grid, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(2, 3));
    Key(*grid, Qt::Key_Up);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(2));

    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 4));
    QTest::mouseMove(grid->viewport(), CellPos(*grid, 1));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 1));
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(2, 3, 4));

    // The program itself may mark any row.
    grid->MarkRows(0, 2);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(0, 1, 2, 3, 4));
}

TEST(GridScrollTest, AWheelNotchScrollsTheSystemsLineCountOfRows) {
    auto grid = MakeList(0);
    grid->BeginUpdate();
    grid->SetRowCount(50000);
    grid->EndUpdate();
    QCoreApplication::processEvents(); // the view lays out the new rows

    const QPoint pos = grid->viewport()->rect().center();
    QWheelEvent wheel(pos, grid->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid->viewport(), &wheel);
    EXPECT_EQ(grid->rowAt(0), QApplication::wheelScrollLines());
}

// Records the callbacks as text, each with the marks it saw.
struct EventLog {
    std::vector<std::string> entries;

    void Attach(TITunesStringGrid& grid) {
        auto marks = [&grid] {
            std::string text;
            for (int row : MarkedRows(grid))
                text += " " + std::to_string(row);
            return "[" + text + " ]";
        };
        grid.OnClick = [this, marks] {
            entries.push_back("click " + marks());
        };
        grid.OnMouseUp = [this, marks](Qt::MouseButton button) {
            entries.push_back(std::string(button == Qt::RightButton ? "right" : "left") + " up " +
                              marks());
        };
        grid.OnRightClickCell = [this](int row, int col) {
            entries.push_back("right cell " + std::to_string(row) + "," + std::to_string(col));
        };
        grid.OnDblClickCell = [this](int row, int col) {
            entries.push_back("dbl cell " + std::to_string(row) + "," + std::to_string(col));
        };
        grid.OnKeyDown = [this, marks](int key, Qt::KeyboardModifiers mods) {
            entries.push_back("key " + std::to_string(key) +
                              ((mods & Qt::ControlModifier) ? " ctrl " : " ") + marks());
        };
    }
};

TEST(GridEventTest, ClickSeesTheMarksBeforeTheClickAndMouseUpAfter) {
    auto grid = MakeList(6);
    Click(*grid, 1);
    EventLog log;
    log.Attach(*grid);

    Click(*grid, 3);
    EXPECT_THAT(log.entries, ElementsAre("click [ 1 ]", "left up [ 3 ]"));

    // A drag has marked its run by the time the button comes up.
    log.entries.clear();
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 4));
    QTest::mouseMove(grid->viewport(), CellPos(*grid, 5));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 5));
    EXPECT_THAT(log.entries, ElementsAre("click [ 4 5 ]", "left up [ 4 5 ]"));
}

TEST(GridEventTest, RightPressReportsTheCellAndTheReleaseOpensThePopup) {
    auto grid = MakeSongTable({"Title", "Album"}, {{"a", "x"}, {"b", "y"}});
    QMenu menu;
    menu.addAction("Select All");
    grid->SetPopupMenu(&menu);
    EventLog log;
    log.Attach(*grid);
    // The program marks song rows in its handler; the grid itself marks nothing on a
    // right click.
    auto record = grid->OnRightClickCell;
    grid->OnRightClickCell = [&](int row, int col) {
        record(row, col);
        if (row > 0)
            grid->SetRowMarked(row, true);
    };

    QTest::mousePress(grid->viewport(), Qt::RightButton, {}, CellPos(*grid, 2, 2));
    EXPECT_THAT(log.entries, ElementsAre("right cell 2,2"));
    EXPECT_FALSE(menu.isVisible()) << "the popup waits for the release";
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, CellPos(*grid, 2, 2));
    EXPECT_THAT(log.entries, ElementsAre("right cell 2,2", "right up [ 2 ]"));
    EXPECT_TRUE(menu.isVisible());
    menu.close();

    // Over the header the cell is in row 0.
    log.entries.clear();
    QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::RightButton, {},
                      HeaderPos(*grid, 1, 30));
    EXPECT_THAT(log.entries, ElementsAre("right cell 0,1", "right up [ 2 ]"));
    EXPECT_TRUE(menu.isVisible());
    menu.close();
}

TEST(GridEventTest, DoubleClickReportsItsCellBetweenTheTwoClicks) {
    auto grid = MakeSongTable({"Title", "Album"}, {{"a", "x"}, {"b", "y"}});
    EventLog log;
    log.Attach(*grid);

    const QPoint pos = CellPos(*grid, 2, 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, pos);
    EXPECT_THAT(log.entries, ElementsAre("click [ ]", "left up [ 2 ]", "dbl cell 2,2",
                                         "click [ 2 ]", "left up [ 2 ]"));
}

TEST(GridEventTest, KeyDownComesBeforeTheGridsOwnHandling) {
    auto grid = MakeList(6);
    Click(*grid, 2);
    EventLog log;
    log.Attach(*grid);

    Key(*grid, Qt::Key_Down);
    EXPECT_THAT(log.entries, ElementsAre("key " + std::to_string(Qt::Key_Down) + " [ 2 ]"));
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(3));
    // Ctrl+A arrives as the A key (65) with Ctrl held, after the Ctrl key's own press.
    Key(*grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(log.entries.back(), "key 65 ctrl [ 3 ]");
}

} // namespace
} // namespace korvello::test
