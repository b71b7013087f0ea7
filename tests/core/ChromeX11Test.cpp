// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a real X server (run by tests/support/run-under-xvfb.sh), with no
// window manager, where the window follows the mouse itself, and with one, which drives
// the move: it asks for no decorations, its rounded corners show what lies behind it,
// pressing, dragging and releasing the real mouse on the status line moves it, and the
// same gesture on the song table afterwards marks rows.
#include "browser/ITunesStringGrid.h"
#include "core/ApplicationWindows.h"
#include "core/FrmMain.h"
#include "support/AppFixture.h"
#include "support/PumpUntil.h"
#include "ui/WindowChrome.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvello;
using namespace korvello::test;

// Readable failures: colours and points as numbers.
void PrintTo(const QColor& c, std::ostream* os) {
    *os << "rgb(" << c.red() << "," << c.green() << "," << c.blue() << ")";
}
void PrintTo(const QPoint& p, std::ostream* os) {
    *os << "(" << p.x() << "," << p.y() << ")";
}

namespace {

const QColor kBackdrop(255, 0, 255);

std::vector<QPoint> Corners(const QRect& r) {
    return {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()};
}

// Points just inside the rounded outline: on the top and bottom edges beside the corner
// ellipses, and the middle.
std::vector<QPoint> Inside(const QRect& r) {
    return {r.topLeft() + QPoint(12, 0), r.center(), r.bottomRight() - QPoint(12, 0)};
}

// The screen once the windows have drawn what the server asked them to redraw around the
// window at `r`: its corners show the backdrop and its inside does not (or, on a slow
// machine, the last picture after ten seconds, for the checks to report).
QImage GrabScreenAround(const QRect& r) {
    QImage screen;
    QElapsedTimer timer;
    timer.start();
    do {
        QTest::qWait(100);
        screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        bool drawn = true;
        for (QPoint p : Corners(r))
            drawn = drawn && screen.pixelColor(p) == kBackdrop;
        for (QPoint p : Inside(r))
            drawn = drawn && screen.pixelColor(p) != kBackdrop;
        if (drawn)
            break;
    } while (timer.elapsed() < 10000);
    return screen;
}

// Runs a program to its end while this program keeps handling its own events, so that it
// can answer the X server while the program drives the mouse.
QString RunTool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForStarted(10000)) << program.toStdString();
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 30000)
        QTest::qWait(20);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0)
        << program.toStdString() << " " << process.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Whether the window's Motif hints, which window managers read, give it no decorations:
// the flags say the decorations field is set, and that field is 0.
::testing::AssertionResult AsksForNoDecorations(const QWidget& window) {
    const QString hints =
        RunTool(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QStringLiteral("_MOTIF_WM_HINTS")});
    const QStringList fields =
        hints.section(QLatin1Char('='), 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    bool flagsOk = false, decorationsOk = false;
    const unsigned flags = fields.size() >= 3 ? fields[0].trimmed().toUInt(&flagsOk, 16) : 0;
    const unsigned decorations =
        fields.size() >= 3 ? fields[2].trimmed().toUInt(&decorationsOk, 16) : 1;
    if (flagsOk && decorationsOk && (flags & 0x2) && decorations == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "hints: " << hints.toStdString();
}

// xdotool commands that press at `from`, move in steps to `to` and release there. The
// first step is one pixel, as a hand's first move is: a window manager's move follows the
// mouse from where it is when the move starts, which is the first move after the press.
QStringList DragScript(QPoint from, QPoint to) {
    const auto at = [](QPoint p) {
        return QStringList{QStringLiteral("mousemove"), QString::number(p.x()),
                           QString::number(p.y()), QStringLiteral("sleep"), QStringLiteral("0.1")};
    };
    QStringList script = at(from);
    script << QStringLiteral("mousedown") << QStringLiteral("1") << QStringLiteral("sleep")
           << QStringLiteral("0.1");
    script << at(from + QPoint(1, 1)) << at(from + (to - from) / 2) << at(to);
    script << QStringLiteral("mouseup") << QStringLiteral("1");
    return script;
}

class ChromeX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs an X server (run through run-under-xvfb.sh)";
    }
};

} // namespace

TEST_F(ChromeX11Test, TheMainWindowIsUndecoratedRoundedAndMovesByItsStatusLine) {
    // A plain coloured window fills the screen behind the program.
    QWidget backdrop;
    backdrop.setWindowFlag(Qt::FramelessWindowHint);
    backdrop.setAutoFillBackground(true);
    QPalette pal = backdrop.palette();
    pal.setColor(QPalette::Window, kBackdrop);
    backdrop.setPalette(pal);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));

    AppFixture fx;
    fx.MapDrive("e:", fx.MakeiPod("pod", AppFixture::SampleSongs()));
    TApplicationWindows app(*fx.platform, fx.dialogs);
    TFormMain& form = app.FormMain;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.raise();

    // No decorations asked of a window manager, by any of the three windows.
    EXPECT_TRUE(AsksForNoDecorations(form));
    for (QWidget* window :
         {static_cast<QWidget*>(&app.FormOption), static_cast<QWidget*>(&app.FormReport)}) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_TRUE(AsksForNoDecorations(*window)) << window->objectName().toStdString();
        window->hide();
    }
    QTest::qWait(100);

    // The four corner pixels show the backdrop; the window's own pixels do not.
    QRect where = form.geometry();
    QImage screen = GrabScreenAround(where);
    for (QPoint corner : Corners(where))
        EXPECT_EQ(screen.pixelColor(corner), kBackdrop) << corner.x() << "," << corner.y();
    for (QPoint inside : Inside(where))
        EXPECT_NE(screen.pixelColor(inside), kBackdrop) << inside.x() << "," << inside.y();

    // Press on the status line, drag by (80, 50) in steps, release: the window follows.
    const QPoint start = form.Notifier->mapToGlobal(form.Notifier->rect().center());
    RunTool(QStringLiteral("xdotool"), DragScript(start, start + QPoint(80, 50)));
    // A window manager on a busy machine may act on the gesture only after xdotool has
    // ended: the move is over once the window has left its place and rested 300 ms.
    QPoint last = where.topLeft();
    QElapsedTimer still;
    still.start();
    PumpUntil([&] {
        if (form.pos() != last) {
            last = form.pos();
            still.restart();
        }
        return !form.Chrome().Moving() && last != where.topLeft() && still.elapsed() >= 300;
    });
    EXPECT_FALSE(form.Chrome().Moving());

    // Moved with the mouse: by the whole way, or without the first pixel where the window
    // manager took over at the first move.
    const QPoint moved = form.pos() - where.topLeft();
    EXPECT_TRUE(moved == QPoint(80, 50) || moved == QPoint(79, 49))
        << moved.x() << "," << moved.y();
    // The server agrees: the outline moved with the window.
    where = form.geometry();
    screen = GrabScreenAround(where);
    for (QPoint corner : Corners(where))
        EXPECT_EQ(screen.pixelColor(corner), kBackdrop) << corner.x() << "," << corner.y();
    for (QPoint inside : Inside(where))
        EXPECT_NE(screen.pixelColor(inside), kBackdrop) << inside.x() << "," << inside.y();

    // The mouse is the program's again: the same gesture on the song table marks rows.
    TITunesStringGrid* grid = form.AdvStringGridSong;
    const QPoint first =
        grid->viewport()->mapToGlobal(grid->visualRect(grid->model()->index(0, 1)).center());
    const QPoint third =
        grid->viewport()->mapToGlobal(grid->visualRect(grid->model()->index(2, 1)).center());
    const QPoint placed = form.pos();
    RunTool(QStringLiteral("xdotool"), DragScript(first, third));
    QTest::qWait(200);
    EXPECT_EQ(form.pos(), placed);
    EXPECT_TRUE(grid->RowMarked(1));
    EXPECT_TRUE(grid->RowMarked(2));
    EXPECT_TRUE(grid->RowMarked(3));
}
