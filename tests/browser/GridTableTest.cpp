// SPDX-License-Identifier: GPL-3.0-or-later
// The grid's storage as the program uses it (rows, marks, widths, refills) and the header
// sort.
#include "GridTestSupport.h"
#include "browser/CellText.h"
#include "browser/GridModel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QWindow>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Collects the warnings of Qt's model tester while it lives.
class ModelTesterWarnings {
public:
    ModelTesterWarnings() { previous_ = qInstallMessageHandler(&Handle); }
    ~ModelTesterWarnings() { qInstallMessageHandler(previous_); }
    static std::vector<std::string>& Messages() {
        static std::vector<std::string> messages;
        return messages;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg && context.category &&
            std::string(context.category) == "qt.modeltest")
            Messages().push_back(text.toStdString());
    }
    QtMessageHandler previous_;
};

TEST(GridStorageTest, ModelStaysConsistentThroughRefillsSortsAndReshaping) {
    ModelTesterWarnings warnings;
    ModelTesterWarnings::Messages().clear();
    auto grid = MakeSongTable({"Title", "Size"}, {{"b", "2"}, {"a", "10"}, {"c", "1"}});
    QAbstractItemModelTester tester(grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    grid->SetCellPicture(0, 1, QPixmap(16, 16));
    ClickHeader(*grid, 2);
    ClickHeader(*grid, 1);
    grid->MarkRows(1, 2);
    grid->BeginUpdate();
    grid->ClearCells();
    grid->SetRowCount(2);
    for (int r = 1; r <= 50; ++r) {
        grid->SetRowCount(r + 1);
        grid->SetCells(1, r, "song " + std::to_string(r));
    }
    grid->EndUpdate();
    grid->SetRowCount(10);
    grid->SetRowCount(30);
    grid->SetColCount(5);
    grid->SetColCount(2);
    grid->SetFixedRows(0);
    grid->SetFixedRows(1);
    grid->SetRowCount(1);
    grid->SetRowCount(0);

    EXPECT_THAT(ModelTesterWarnings::Messages(), IsEmpty());
}

TEST(GridStorageTest, CellsOfARowStayApartThroughRewritesInAnyOrder) {
    GridModel model;
    model.SetColCount(6);
    model.SetRowCount(2);
    model.SetCell(3, 1, "three");
    model.SetCell(1, 1, "one");
    model.SetCell(5, 1, "five");
    EXPECT_EQ(model.Cell(0, 1), "");
    EXPECT_EQ(model.Cell(2, 1), "");
    EXPECT_EQ(model.Cell(4, 1), "");
    // A middle cell grows, shrinks and empties; its neighbours keep their texts.
    model.SetCell(3, 1, "a much longer third cell");
    EXPECT_EQ(model.Cell(3, 1), "a much longer third cell");
    model.SetCell(3, 1, "3");
    model.SetCell(1, 1, "");
    EXPECT_EQ(model.Cell(1, 1), "");
    EXPECT_EQ(model.Cell(3, 1), "3");
    EXPECT_EQ(model.Cell(5, 1), "five");
    EXPECT_EQ(model.Cell(0, 0), "") << "the other row is untouched";
    // Fewer columns drop the texts past the new last one; a wider table reads them empty.
    model.SetColCount(4);
    model.SetColCount(6);
    EXPECT_EQ(model.Cell(3, 1), "3");
    EXPECT_EQ(model.Cell(5, 1), "");
    model.ClearCells();
    EXPECT_EQ(model.Cell(3, 1), "");
    model.SetCell(2, 1, "again");
    EXPECT_EQ(model.Cell(2, 1), "again");
    EXPECT_EQ(model.Cell(3, 1), "");
}

// A whole-row write is the same as writing its cells one by one: it replaces every
// text of the row (the cells past the given ones read empty), leaves the pictures and the
// other rows alone, drops texts past the last column, and tells the view of the change.
TEST(GridStorageTest, AWholeRowWriteReplacesTheRowAsCellWritesWould) {
    auto grid =
        MakeSongTable({"Title", "Album", "Artist"}, {{"t1", "a1", "r1"}, {"t2", "a2", "r2"}});
    grid->SetCellPicture(0, 2, QPixmap(16, 16));
    QSignalSpy changes(grid->model(), &QAbstractItemModel::dataChanged);
    const std::string texts[] = {"", "new title", "", "", "past the last column"};
    grid->SetRowCells(2, texts);
    EXPECT_THAT(Column(*grid, 1, 0), ElementsAre("Title", "t1", "new title"));
    EXPECT_EQ(grid->Cells(2, 2), "");
    EXPECT_EQ(grid->Cells(3, 2), "") << "a cell past the given texts is emptied";
    EXPECT_EQ(grid->Cells(3, 1), "r1");
    EXPECT_EQ(grid->ColCount(), 4);
    EXPECT_TRUE(grid->model()->index(1, 0).data(Qt::DecorationRole).isValid());
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(grid->model()->index(1, 1).data().toString(), "new title");
    // Cell writes afterwards see the row's cells where the whole-row write put them.
    grid->SetCells(2, 2, "album");
    grid->SetCells(1, 2, "t");
    EXPECT_EQ(grid->Cells(1, 2), "t");
    EXPECT_EQ(grid->Cells(2, 2), "album");
    // The header row is written the same way and read as the header; rows outside the
    // table are not written.
    const std::string header[] = {"", "Name", "Disc"};
    grid->SetRowCells(0, header);
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal).toString(), "Disc");
    EXPECT_EQ(grid->Cells(3, 0), "");
    grid->SetRowCells(3, header);
    grid->SetRowCells(-1, header);
    EXPECT_EQ(grid->RowCount(), 3);
}

// Rows that wait for their texts read exactly as rows written at once would: the view,
// Cells and sorting all see the record's texts, only the rows read are ever written, a
// write to a waiting row keeps the record's other cells, and ClearCells, shrinking and
// WriteWaitingRows end the wait as a fill's later writes would.
TEST(GridStorageTest, RowsWaitingForTheirTextsReadAsWrittenRows) {
    auto grid = MakeSongTable({"Title", "Album"}, {});
    std::vector<std::int32_t> asked;
    grid->SetTextsSource([&](std::int32_t record, std::vector<std::string>& texts) {
        asked.push_back(record);
        texts = {"", "title " + std::to_string(record), record % 2 ? "odd" : "even"};
    });
    grid->BeginUpdate();
    grid->SetRowCount(1001);
    for (int r = 1; r <= 1000; ++r)
        grid->SetRowRecord(r, 1000 - r);
    grid->EndUpdate();
    QCoreApplication::processEvents(); // the view paints its first screen of rows
    EXPECT_FALSE(asked.empty());
    EXPECT_LT(asked.size(), 100u) << "only the rows on screen are written";

    EXPECT_EQ(grid->Cells(1, 1000), "title 0");
    EXPECT_EQ(grid->model()->index(500, 2).data().toString(), "odd"); // row 501, record 499
    grid->SetCells(2, 10, "changed");
    EXPECT_EQ(grid->Cells(1, 10), "title 990");
    EXPECT_EQ(grid->Cells(2, 10), "changed");

    // A sort reads every row; the records' texts decide the order.
    ClickHeader(*grid, 1);
    EXPECT_EQ(grid->Cells(1, 1), "title 0");
    EXPECT_EQ(grid->Cells(1, 2), "title 1");

    // Ends of the wait: a row cut off, a row emptied, and every remaining row written now.
    grid->SetRowCount(2);
    grid->SetRowCount(4);
    EXPECT_EQ(grid->Cells(1, 3), "");
    grid->SetRowRecord(2, 7);
    grid->SetRowRecord(3, 8);
    grid->ClearCells();
    EXPECT_EQ(grid->Cells(1, 2), "");
    grid->SetRowRecord(2, 7);
    grid->SetRowRecord(3, 8);
    asked.clear();
    grid->WriteWaitingRows();
    EXPECT_EQ(asked, (std::vector<std::int32_t>{7, 8}));
    grid->SetTextsSource(nullptr);
    EXPECT_EQ(grid->Cells(1, 3), "title 8") << "written rows keep their texts";
    // Fewer columns drop the waiting rows' texts past the new last column too.
    grid->SetRowRecord(3, 9);
    grid->SetTextsSource([](std::int32_t, std::vector<std::string>& texts) {
        texts = {"", "a", "b"};
    });
    grid->SetColCount(2);
    grid->SetColCount(3);
    EXPECT_EQ(grid->Cells(1, 3), "a");
    EXPECT_EQ(grid->Cells(2, 3), "");
}

// Rows given the same pictures share them, yet each row's pictures change alone: a
// picture replaced, added in another column or taken away on one row leaves the rows
// that had the same ones as they were, and a column cut drops only the pictures past it.
TEST(GridStorageTest, EachRowKeepsItsOwnPicturesWhereRowsShareThem) {
    GridModel model;
    model.SetColCount(3);
    model.SetRowCount(5);
    QPixmap red(4, 4);
    red.fill(Qt::red);
    QPixmap blue(4, 4);
    blue.fill(Qt::blue);
    for (int row = 1; row < 5; ++row)
        model.SetPicture(0, row, red);
    model.SetPicture(0, 2, blue);
    model.SetPicture(2, 3, blue);
    model.SetPicture(0, 4, QPixmap());
    model.SetPicture(1, 4, QPixmap()); // nothing there to take away
    auto key = [&model](int col, int row) {
        return model.Picture(col, row).cacheKey();
    };
    EXPECT_EQ(key(0, 1), red.cacheKey());
    EXPECT_EQ(key(0, 2), blue.cacheKey());
    EXPECT_EQ(key(0, 3), red.cacheKey());
    EXPECT_EQ(key(2, 3), blue.cacheKey());
    EXPECT_TRUE(model.Picture(0, 4).isNull());
    EXPECT_TRUE(model.Picture(2, 1).isNull());
    EXPECT_TRUE(model.Picture(0, 0).isNull()) << "a row never given a picture";

    // Row 1 gets row 3's pictures by the same steps; a change to row 3 stays on row 3.
    model.SetPicture(2, 1, blue);
    model.SetPicture(0, 3, QPixmap());
    EXPECT_EQ(key(0, 1), red.cacheKey());
    EXPECT_EQ(key(2, 1), blue.cacheKey());
    EXPECT_TRUE(model.Picture(0, 3).isNull());
    EXPECT_EQ(key(2, 3), blue.cacheKey());

    model.SetColCount(2);
    model.SetColCount(3);
    EXPECT_TRUE(model.Picture(2, 1).isNull());
    EXPECT_TRUE(model.Picture(2, 3).isNull());
    EXPECT_EQ(key(0, 1), red.cacheKey());
    EXPECT_EQ(key(0, 2), blue.cacheKey());
    // After a clear the same steps start from rows without pictures again.
    model.ClearCells();
    model.SetPicture(0, 1, red);
    EXPECT_EQ(key(0, 1), red.cacheKey());
    EXPECT_TRUE(model.Picture(0, 2).isNull());
}

TEST(GridStorageTest, RowCountClearCellsAndMarkRowsKeepTheirPromisesAboutMarks) {
    auto grid = MakeSongTable({"Title"}, {{"a"}, {"b"}, {"c"}});
    grid->SetCellPicture(0, 1, QPixmap(16, 16));
    grid->SetRowMarked(1, true);
    grid->SetRowMarked(3, true);

    grid->ClearCells();
    EXPECT_EQ(grid->RowCount(), 4);
    EXPECT_THAT(Column(*grid, 1, 0), ElementsAre("", "", "", ""));
    EXPECT_FALSE(grid->model()->index(0, 0).data(Qt::DecorationRole).isValid());
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1, 3));

    // Shrinking drops rows with their marks; rows added again are blank and unmarked.
    grid->SetCells(1, 3, "last");
    grid->SetRowCount(2);
    grid->SetRowCount(5);
    EXPECT_EQ(grid->Cells(1, 3), "");
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1));

    grid->MarkRows(3, 10);
    grid->MarkRows(2, 0);
    grid->MarkRows(5, 3);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1, 3, 4)) << "past the end is skipped";
    grid->MarkRows(0, 2);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(0, 1, 3, 4)) << "nothing is cleared";
    EXPECT_EQ(grid->MarkedRowCount(), 4);

    // Outside the table reads are empty and writes are dropped.
    grid->SetCells(1, 9, "x");
    grid->SetCells(7, 1, "x");
    grid->SetRowMarked(9, true);
    EXPECT_EQ(grid->Cells(1, 9), "");
    EXPECT_FALSE(grid->RowMarked(-1));
    EXPECT_EQ(grid->MarkedRowCount(), 4);
}

TEST(GridStorageTest, RefillInsideAnUpdateIsOneResetWithoutPerCellSignals) {
    auto grid = MakeList(3);
    QSignalSpy resets(grid->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(grid->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy inserts(grid->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removes(grid->model(), &QAbstractItemModel::rowsRemoved);

    grid->BeginUpdate();
    grid->BeginUpdate(); // nested: only the outer pair counts
    grid->ClearCells();
    grid->SetRowCount(1);
    for (int r = 0; r < 100; ++r) {
        grid->SetRowCount(r + 1);
        grid->SetCells(1, r, "entry " + std::to_string(r));
        grid->SetRowHeights(r, 16);
        grid->SetRowMarked(r, r % 2 == 0);
    }
    grid->EndUpdate();
    EXPECT_EQ(resets.count(), 0);
    grid->EndUpdate();

    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(changes.count() + inserts.count() + removes.count(), 0);
    EXPECT_EQ(grid->model()->rowCount(), 100);
    EXPECT_EQ(grid->model()->index(99, 1).data().toString(), "entry 99");
    EXPECT_EQ(grid->MarkedRowCount(), 50);
}

TEST(GridPaintTest, RightToLeftTextKeepsItsStartAndAlignsRight) {
    // Hebrew, four words; the first is "shalom". Far too long for a 90-pixel column.
    const std::string hebrew = "\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD "
                               "\u05D2\u05D3\u05D5\u05DC \u05DE\u05D0\u05D5\u05D3 "
                               "\u05DE\u05D0\u05D5\u05D3 \u05DE\u05D0\u05D5\u05D3";
    const std::string english = "A rather long English artist name";
    auto grid = MakeSongTable({"Artist"}, {{hebrew}, {english}});

    // Laid out: the right-to-left text elided at its end, its first word kept, aligned right.
    const QFontMetrics metrics(grid->font());
    const CellTextLayout rtl = LayOutCellText(QString::fromStdString(hebrew), metrics, 80);
    EXPECT_TRUE(rtl.alignment.testFlag(Qt::AlignRight));
    EXPECT_TRUE(rtl.text.startsWith(QString::fromStdString(hebrew.substr(0, 8))))
        << rtl.text.toStdString();
    EXPECT_TRUE(rtl.text.endsWith(QChar(0x2026))) << rtl.text.toStdString();
    const CellTextLayout ltr = LayOutCellText(QString::fromStdString(english), metrics, 80);
    EXPECT_TRUE(ltr.alignment.testFlag(Qt::AlignLeft));
    EXPECT_EQ(ltr.text.toStdString(), english);
}

TEST(GridStorageTest, ColumnWidthZeroHidesAndSizesSurviveRefills) {
    auto grid = MakeSongTable({"Title", "Album", "songid"}, {{"a", "x", "1"}});
    const QHeaderView* header = grid->horizontalHeader();

    grid->SetColWidths(3, 0);
    EXPECT_TRUE(header->isSectionHidden(3));
    EXPECT_EQ(grid->ColWidths(3), 0);
    grid->SetColWidths(3, 50);
    EXPECT_FALSE(header->isSectionHidden(3));
    EXPECT_EQ(header->sectionSize(3), 50);

    grid->SetColWidths(2, 0);
    grid->SetColWidths(1, 120);
    grid->SetRowHeights(1, 30);
    grid->BeginUpdate();
    grid->SetRowCount(3);
    grid->EndUpdate();
    EXPECT_TRUE(header->isSectionHidden(2));
    EXPECT_EQ(header->sectionSize(1), 120);
    EXPECT_EQ(header->sectionSize(0), 16);
    EXPECT_EQ(grid->ColWidths(1), 120);
    EXPECT_EQ(grid->rowHeight(0), 30) << "a row's own height outlives the reset";
    EXPECT_EQ(grid->rowHeight(1), 16);
}

TEST(GridStorageTest, DraggedColumnWidthIsWhatColWidthsReads) {
    auto grid = MakeSongTable({"Title", "Album"}, {{"a", "x"}});
    QWidget* header = grid->horizontalHeader()->viewport();
    const QPoint border = HeaderPos(*grid, 1, -1);

    QTest::mousePress(header, Qt::LeftButton, {}, border);
    QTest::mouseMove(header, border + QPoint(30, 0));
    QTest::mouseRelease(header, Qt::LeftButton, {}, border + QPoint(30, 0));
    EXPECT_EQ(grid->ColWidths(1), 130);

    // A refill keeps the dragged width; the program sets widths itself when it wants.
    grid->BeginUpdate();
    grid->EndUpdate();
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(1), 130);

    grid->SetColumnsResizable(false);
    QTest::mousePress(header, Qt::LeftButton, {}, HeaderPos(*grid, 1, -1));
    QTest::mouseMove(header, HeaderPos(*grid, 1, -1) + QPoint(30, 0));
    QTest::mouseRelease(header, Qt::LeftButton, {}, HeaderPos(*grid, 1, -1) + QPoint(30, 0));
    EXPECT_EQ(grid->ColWidths(1), 130);
}

std::unique_ptr<TITunesStringGrid> MakeSortTable() {
    return MakeSongTable({"Title", "Size"},
                         {{"beta", "10"}, {"Alpha", "9"}, {"gamma", "100"}, {"alpha2", "-1.5"}});
}

TEST(GridSortTest, FirstClickAscendsFurtherClicksReverseAnotherColumnAscends) {
    auto grid = MakeSortTable();
    const QHeaderView* header = grid->horizontalHeader();

    ClickHeader(*grid, 1);
    EXPECT_THAT(Column(*grid, 1), ElementsAre("Alpha", "alpha2", "beta", "gamma"));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    ClickHeader(*grid, 1);
    EXPECT_THAT(Column(*grid, 1), ElementsAre("gamma", "beta", "alpha2", "Alpha"));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    ClickHeader(*grid, 1);
    EXPECT_THAT(Column(*grid, 1), ElementsAre("Alpha", "alpha2", "beta", "gamma"));

    // Numbers compare by value; whole rows move.
    ClickHeader(*grid, 2);
    EXPECT_THAT(Column(*grid, 2), ElementsAre("-1.5", "9", "10", "100"));
    EXPECT_THAT(Column(*grid, 1), ElementsAre("alpha2", "Alpha", "beta", "gamma"));
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(grid->Cells(1, 0), "Title") << "the header row never moves";

    grid->ClearCells();
    EXPECT_FALSE(header->isSortIndicatorShown()) << "a refill forgets the sort";
}

TEST(GridSortTest, AQuickPairOfClicksReversesTwice) {
    auto grid = MakeSortTable();
    QWidget* header = grid->horizontalHeader()->viewport();
    const QPoint at = HeaderPos(*grid, 1, 30);
    // A quick pair: the widget sees press, release, double click, release.
    QTest::mousePress(header, Qt::LeftButton, {}, at);
    QTest::mouseRelease(header, Qt::LeftButton, {}, at);
    EXPECT_THAT(Column(*grid, 1), ElementsAre("Alpha", "alpha2", "beta", "gamma"));
    QTest::mouseDClick(header, Qt::LeftButton, {}, at);
    QTest::mouseRelease(header, Qt::LeftButton, {}, at);
    EXPECT_THAT(Column(*grid, 1), ElementsAre("gamma", "beta", "alpha2", "Alpha"));
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // The same pair through the window system, which turns it into whatever a real pair
    // of clicks gives the widget: ascending, then descending.
    auto fresh = MakeSortTable();
    QWindow* window = fresh->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    const QHeaderView* freshHeader = fresh->horizontalHeader();
    const QPoint inWindow =
        freshHeader->viewport()->mapTo(fresh->window(), HeaderPos(*fresh, 1, 30));
    QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow);
    EXPECT_THAT(Column(*fresh, 1), ElementsAre("gamma", "beta", "alpha2", "Alpha"));
    EXPECT_EQ(freshHeader->sortIndicatorOrder(), Qt::DescendingOrder);

    // A double click on a column border still belongs to the border: no sort.
    const QPoint border = HeaderPos(*grid, 1, -1);
    QTest::mousePress(header, Qt::LeftButton, {}, border);
    QTest::mouseRelease(header, Qt::LeftButton, {}, border);
    QTest::mouseDClick(header, Qt::LeftButton, {}, border);
    QTest::mouseRelease(header, Qt::LeftButton, {}, border);
    EXPECT_THAT(Column(*grid, 1), ElementsAre("gamma", "beta", "alpha2", "Alpha"));
}

TEST(GridSortTest, ClicksNearAColumnBorderDoNotSort) {
    auto grid = MakeSortTable();
    const std::vector<std::string> before = Column(*grid, 1);

    ClickHeader(*grid, 1, 2);
    ClickHeader(*grid, 1, -2);
    ClickHeader(*grid, 1, 3);
    EXPECT_EQ(Column(*grid, 1), before);
    ClickHeader(*grid, 1, 6);
    EXPECT_NE(Column(*grid, 1), before);
}

TEST(GridSortTest, MarksAndPicturesStayWithTheirRows) {
    auto grid = MakeSortTable();
    QPixmap picture(16, 16);
    picture.fill(Qt::red);
    grid->SetCellPicture(0, 3, picture); // "gamma"
    Click(*grid, 1);                     // "beta"

    ClickHeader(*grid, 1);
    EXPECT_THAT(MarkedRows(*grid), ElementsAre(1)) << "the mark stays at its position";
    EXPECT_EQ(grid->Cells(1, 1), "Alpha");
    EXPECT_FALSE(grid->model()->index(3, 0).data(Qt::DecorationRole).isNull())
        << "the picture moved with gamma to the last row";
    EXPECT_TRUE(grid->model()->index(2, 0).data(Qt::DecorationRole).isNull());
}

TEST(GridSortTest, NumbersComeBeforeTextsAndTextIgnoresCase) {
    // Only plain decimals are numbers: not "1e5", "Inf" or a size with its unit.
    auto grid = MakeSongTable(
        {"Mixed"},
        {{"b"}, {" 10 "}, {"A"}, {"9"}, {"1a"}, {""}, {"Inf"}, {"-.5"}, {"1e5"}, {"3.45MB"}});
    ClickHeader(*grid, 1);
    EXPECT_THAT(Column(*grid, 1),
                ElementsAre("-.5", "9", " 10 ", "", "1a", "1e5", "3.45MB", "A", "b", "Inf"));
    ClickHeader(*grid, 1);
    EXPECT_THAT(Column(*grid, 1),
                ElementsAre("Inf", "b", "A", "3.45MB", "1e5", "1a", "", " 10 ", "9", "-.5"));
}

TEST(GridSortTest, FewerThanTwoSongRowsOrARefusalDoNotSort) {
    auto grid = MakeSongTable({"Title"}, {{"b"}});
    ClickHeader(*grid, 1);
    EXPECT_FALSE(grid->horizontalHeader()->isSortIndicatorShown());

    auto refusing = MakeSortTable();
    std::vector<int> asked;
    refusing->OnCanSort = [&](int col, bool& allow) {
        asked.push_back(col);
        allow = false;
    };
    const std::vector<std::string> before = Column(*refusing, 1);
    ClickHeader(*refusing, 1);
    EXPECT_THAT(asked, ElementsAre(1));
    EXPECT_EQ(Column(*refusing, 1), before);
    EXPECT_FALSE(refusing->horizontalHeader()->isSortIndicatorShown());
}

} // namespace
} // namespace korvello::test
