// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' own frame: the rounded outline, what moves a window and what does not, the
// repaint after a move, the minimise buttons, the options window coming back from
// minimised, the report's row sizes and the plain-text labels.
#include "ui/WindowChrome.h"
#include "browser/ITunesStringGrid.h"
#include "copyout/FrmReport.h"
#include "core/ApplicationWindows.h"
#include "core/FrmMain.h"
#include "settings/FrmOption.h"
#include "support/AppFixture.h"
#include "support/WindowsTest.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvello;
using namespace korvello::test;

namespace {

// Presses the left button on `widget` at `from`, moves the mouse by `delta` in two steps
// and releases it there. Positions are taken on the screen, so that the widget moving
// under the mouse does not change where the mouse is.
void Drag(QWidget* widget, QPoint from, QPoint delta) {
    const QPoint start = widget->mapToGlobal(from);
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, widget->mapFromGlobal(start + delta / 2));
    QTest::mouseMove(widget, widget->mapFromGlobal(start + delta));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, widget->mapFromGlobal(start + delta));
}

// A plain frameless window: a panel that moves it, with a picture lying on the panel that
// does not, and a button.
struct TestWindow {
    QWidget window;
    QWidget* panel;
    QLabel* picture;
    QPushButton* button;
    WindowChrome* chrome;
    int afterMoves = 0;

    TestWindow() {
        window.setGeometry(100, 100, 300, 200);
        panel = new QWidget(&window);
        panel->setGeometry(10, 40, 200, 120);
        picture = new QLabel(panel);
        picture->setGeometry(0, 0, 5, 4);
        button = new QPushButton(QStringLiteral("Go"), &window);
        button->setGeometry(220, 40, 60, 24);
        chrome = new WindowChrome(&window, [this] { ++afterMoves; });
        chrome->AddDragSource(panel);
        chrome->ApplyRoundedShape();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

} // namespace

TEST(WindowChromeTest, TheRoundedOutlineCutsOnlyTheCorners) {
    const QRegion r = WindowChrome::RoundedRegion(706, 476);
    EXPECT_EQ(r.boundingRect(), QRect(0, 0, 706, 476));
    for (QPoint corner : {QPoint(0, 0), QPoint(705, 0), QPoint(0, 475), QPoint(705, 475),
                          QPoint(2, 2), QPoint(703, 473)})
        EXPECT_FALSE(r.contains(corner)) << corner.x() << "," << corner.y();
    // The edges between the corners, and the corner ellipses' insides, belong to the window.
    for (QPoint inside : {QPoint(12, 0), QPoint(353, 0), QPoint(0, 238), QPoint(705, 238),
                          QPoint(353, 475), QPoint(6, 6), QPoint(699, 469), QPoint(12, 12)})
        EXPECT_TRUE(r.contains(inside)) << inside.x() << "," << inside.y();
    // A window smaller than the corners still gets an outline, and an empty one none.
    EXPECT_EQ(WindowChrome::RoundedRegion(10, 6).boundingRect(), QRect(0, 0, 10, 6));
    EXPECT_TRUE(WindowChrome::RoundedRegion(0, 5).isEmpty());
}

TEST(WindowChromeTest, DraggingASourceOrTheBackgroundMovesTheWindowByTheMouse) {
    TestWindow w;
    const QPoint before = w.window.pos();
    Drag(w.panel, QPoint(100, 60), QPoint(40, 25));
    EXPECT_EQ(w.window.pos(), before + QPoint(40, 25));
    EXPECT_EQ(w.afterMoves, 1);
    EXPECT_FALSE(w.chrome->Moving());

    Drag(&w.window, QPoint(150, 20), QPoint(-30, 10));
    EXPECT_EQ(w.window.pos(), before + QPoint(10, 35));
    EXPECT_EQ(w.afterMoves, 2);
}

TEST(WindowChromeTest, PicturesAndControlsOnASourceDoNotMoveTheWindow) {
    TestWindow w;
    const QPoint before = w.window.pos();
    Drag(w.picture, QPoint(2, 2), QPoint(40, 25));
    Drag(w.button, QPoint(30, 12), QPoint(40, 25));
    EXPECT_EQ(w.window.pos(), before);
    EXPECT_EQ(w.afterMoves, 0);

    // A click without a move, and a move without the button held, move nothing either.
    QTest::mouseClick(w.panel, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseMove(w.panel, QPoint(90, 90));
    EXPECT_EQ(w.window.pos(), before);
    EXPECT_EQ(w.afterMoves, 0);
}

class ChromeWindowsTest : public WindowsTest {
protected:
    void SetUp() override { OpenWindows(/*sampleIpod=*/true); }
};

TEST_F(ChromeWindowsTest, EveryWindowIsFramelessWithTheRoundedOutline) {
    for (QWidget* window : std::initializer_list<QWidget*>{&Main(), &Options(), &Report()}) {
        EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint)
            << window->objectName().toStdString();
        EXPECT_EQ(window->mask(), WindowChrome::RoundedRegion(window->width(), window->height()))
            << window->objectName().toStdString();
    }
}

TEST_F(ChromeWindowsTest, ADragFromTheStatusLineMovesTheMainWindowOneFromTheSongTableMarksRows) {
    TFormMain& form = Main();
    TITunesStringGrid* grid = form.AdvStringGridSong;
    ASSERT_GE(grid->RowCount(), 4);
    const QPoint before = form.pos();

    Drag(form.Notifier, QPoint(128, 10), QPoint(60, 40));
    EXPECT_EQ(form.pos(), before + QPoint(60, 40));

    // The same gesture on the song table marks the rows it passes over.
    // Grid rows 1 and 3 are model rows 0 and 2 (row 0 is the header).
    const QPoint first = grid->visualRect(grid->model()->index(0, 1)).center();
    const QPoint third = grid->visualRect(grid->model()->index(2, 1)).center();
    Drag(grid->viewport(), first, third - first);
    EXPECT_EQ(form.pos(), before + QPoint(60, 40));
    EXPECT_TRUE(grid->RowMarked(1));
    EXPECT_TRUE(grid->RowMarked(2));
    EXPECT_TRUE(grid->RowMarked(3));

    // The search box and the panel it lies on: only the panel moves the window.
    Drag(form.Edit1, QPoint(20, 8), QPoint(30, 30));
    EXPECT_EQ(form.pos(), before + QPoint(60, 40));
    Drag(form.Panel3, QPoint(100, 95), QPoint(-60, -40));
    EXPECT_EQ(form.pos(), before);
}

TEST_F(ChromeWindowsTest, AfterAMoveTheSongTableAndTheVisibleListAreDrawnAgain) {
    TFormMain& form = Main();
    form.LumoButtonSmall2Click(); // the album list is the visible one
    QCoreApplication::processEvents();

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    };
    PaintCounter songs, album, artist;
    form.AdvStringGridSong->viewport()->installEventFilter(&songs);
    form.AlbumList->viewport()->installEventFilter(&album);
    form.ArtistList->viewport()->installEventFilter(&artist);

    form.Chrome().AddDragSource(form.Label2); // already one: adding twice changes nothing
    Drag(form.Label2, QPoint(5, 5), QPoint(20, 0));
    QCoreApplication::processEvents();
    EXPECT_GT(songs.paints, 0);
    EXPECT_GT(album.paints, 0);
    EXPECT_EQ(artist.paints, 0);
}

TEST_F(ChromeWindowsTest, TheMinimiseButtonsTakeEveryWindowDown) {
    TFormMain& form = Main();
    Options().show(); // open beside the main window, as while it is shown modally
    QCoreApplication::processEvents();
    Options().LumoButtonSmall1->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(Options().isMinimized());
    EXPECT_TRUE(Options().isVisible()); // minimised, still open

    form.showNormal();
    Options().showNormal();
    QCoreApplication::processEvents();
    form.XP_ButtonSmall1->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(Options().isMinimized());
}

TEST_F(ChromeWindowsTest, TheOptionsWindowBackFromMinimisedKeepsTheUsersTicks) {
    TFormOption& options = Options();
    options.SetInitialPlaySong(false);
    options.SetInitialOverWrite(false);
    options.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(options.SunCheckListBoxCols->count(), 11);
    options.PlaySong->setChecked(true);
    options.OverWrite->setChecked(true);
    options.SunCheckListBoxCols->item(10)->setCheckState(Qt::Checked); // "songid"

    options.LumoButtonSmall1Click();
    QCoreApplication::processEvents();
    ASSERT_TRUE(options.isMinimized());
    options.showNormal();
    QCoreApplication::processEvents();

    EXPECT_TRUE(options.PlaySong->isChecked());
    EXPECT_TRUE(options.OverWrite->isChecked());
    EXPECT_EQ(options.SunCheckListBoxCols->item(10)->checkState(), Qt::Checked);

    // A new showing from the Option button starts again from the saved state.
    options.hide();
    options.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(options.PlaySong->isChecked());
    EXPECT_FALSE(options.OverWrite->isChecked());
}

TEST_F(ChromeWindowsTest, TheReportShowsSixteenPixelRowsAndItsOutlineFollowsItsHeight) {
    TFormReport& report = Report();
    std::vector<std::string> titles, targets;
    for (int i = 0; i < 12; ++i) {
        titles.push_back("Song " + std::to_string(i));
        targets.push_back(" This song not found in your iPod.");
    }
    report.TitleList = &titles;
    report.TargetList = &targets;
    report.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(report.Reporter->horizontalHeader()->height(), 16);
    EXPECT_EQ(report.Reporter->rowHeight(0), 16);
    EXPECT_EQ(report.Reporter->rowHeight(11), 16);
    // The 153-pixel table shows eight whole rows under its header.
    EXPECT_EQ(report.Reporter->rowAt(16 * 8 - 1), 7);
    EXPECT_TRUE(report.Reporter->horizontalHeader()->font().bold());

    const int height = report.height();
    report.Label1Click();
    EXPECT_EQ(report.mask(), WindowChrome::RoundedRegion(report.width(), height + 201));
    report.Label1Click();
    EXPECT_EQ(report.mask(), WindowChrome::RoundedRegion(report.width(), height));
    report.hide();
}

TEST_F(ChromeWindowsTest, StatusAndLabelsShowMarkupAsText) {
    TFormMain& form = Main();
    form.ShowStatus("<b>x</b>");
    EXPECT_EQ(form.StatusText(), "<b>x</b>");
    // Drawn as text: as wide as the eight characters, not as one bold letter.
    QLabel plain(QStringLiteral("<b>x</b>"));
    plain.setFont(form.Notifier->font());
    plain.setStyleSheet(form.Notifier->styleSheet());
    plain.setTextFormat(Qt::PlainText);
    EXPECT_EQ(form.Notifier->sizeHint(), plain.sizeHint());
    for (QLabel* label : {form.Notifier, form.Label2, form.Image3, form.Image4})
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(ChromeWindowsTest, TheOptionsAndReportWindowsMoveByTheirBackgroundOnly) {
    TFormOption& options = Options();
    options.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
    QPoint before = options.pos();
    Drag(options.XP_GroupBox2, QPoint(100, 150), QPoint(30, 20)); // the group's empty part
    Drag(options.SunCheckListBoxCols, QPoint(50, 150), QPoint(30, 20));
    EXPECT_EQ(options.pos(), before);
    Drag(&options, QPoint(200, 20), QPoint(30, 20));
    EXPECT_EQ(options.pos(), before + QPoint(30, 20));
    options.hide();

    TFormReport& report = Report();
    std::vector<std::string> titles{"One"}, targets{" Copy Terminated."};
    report.TitleList = &titles;
    report.TargetList = &targets;
    report.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&report));
    before = report.pos();
    Drag(report.Reporter->viewport(), QPoint(50, 8), QPoint(30, 20));
    Drag(report.Label1, QPoint(5, 5), QPoint(30, 20));
    EXPECT_EQ(report.pos(), before);
    Drag(&report, QPoint(200, 20), QPoint(-30, 20));
    EXPECT_EQ(report.pos(), before + QPoint(-30, 20));
    report.hide();
}
