// SPDX-License-Identifier: GPL-3.0-or-later
// What the skinned widgets paint, read back from their off-screen pictures: frames cut
// from a strip, the scaling that keeps edges, the progress fill, the disabled button,
// the group box's cut frame line and the check list's two border lines.
#include "ui/LumoButton.h"
#include "ui/LumoProgressBar.h"
#include "ui/Skin.h"
#include "ui/SunCheckListBox.h"
#include "ui/XP_GroupBox.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace korvello;

namespace {

// A picture whose every pixel tells where it came from: red = x, green = y.
QImage Coordinates(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x, y, 0));
    return image;
}

int SourceX(const QImage& image, int x, int y) {
    return qRed(image.pixel(x, y));
}
int SourceY(const QImage& image, int x, int y) {
    return qGreen(image.pixel(x, y));
}

bool HasColour(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                return true;
    return false;
}

TEST(SkinPaint, TheWindowsFontNamesReachTheInstalledFamilies) {
    // The families the bootstrap installs (fonts-noto-core, fonts-noto-cjk): the old
    // bitmap faces become Noto Sans, and the Korean caption's face Noto Sans CJK KR.
    // The mapping is the program's own, not left to the system's font configuration (Qt
    // keeps substitutes in lower case).
    for (const char* family : {"MS Sans Serif", "Tahoma"}) {
        EXPECT_EQ(QFontInfo(SkinFont(family, 8)).family(), QStringLiteral("Noto Sans")) << family;
        EXPECT_EQ(QFont::substitutes(QString::fromLatin1(family)).value(0).toStdString(),
                  "noto sans")
            << family;
    }
    EXPECT_EQ(QFontInfo(SkinFont("@Gulim", 9, true)).family(), QStringLiteral("Noto Sans CJK KR"));
    EXPECT_EQ(QFont::substitutes(QStringLiteral("@Gulim")).value(0).toStdString(),
              "noto sans cjk kr");
    const QFontInfo bold(SkinFont("MS Sans Serif", 8, true));
    EXPECT_TRUE(bold.bold());
    EXPECT_EQ(bold.pointSize(), 8);
}

TEST(SkinPaint, FramesAreCutFromTheStripByFifths) {
    const QImage strip = Coordinates(125, 22);
    for (int n = 1; n <= 5; ++n) {
        const QImage frame = CutFrame(strip, n);
        EXPECT_EQ(frame.size(), QSize(25, 22));
        EXPECT_EQ(SourceX(frame, 0, 0), (n - 1) * 25);
        EXPECT_EQ(SourceX(frame, 24, 21), n * 25 - 1);
    }
    // A width that five does not divide: frames are width div 5 wide.
    EXPECT_EQ(CutFrame(Coordinates(83, 4), 2).width(), 16);
    EXPECT_EQ(SourceX(CutFrame(Coordinates(83, 4), 2), 0, 0), 16);
}

TEST(SkinPaint, ScalingKeepsCornersAndStretchesTheMiddleColumnAndRow) {
    const QImage picture = Coordinates(5, 5);
    const QImage scaled = ScaleKeepEdges(picture, QSize(20, 12));
    ASSERT_EQ(scaled.size(), QSize(20, 12));
    // Columns: two kept on the left, two on the right, column 2 stretched between.
    for (int x = 0; x < 20; ++x) {
        const int expected = x < 2 ? x : x >= 18 ? x - 15 : 2;
        EXPECT_EQ(SourceX(scaled, x, 0), expected) << "x=" << x;
    }
    // Rows: two kept at the top, rows 2..4 in the last three rows, row 2 stretched between.
    for (int y = 0; y < 12; ++y) {
        const int expected = y < 2 ? y : y >= 9 ? y - 7 : 2;
        EXPECT_EQ(SourceY(scaled, 0, y), expected) << "y=" << y;
        EXPECT_EQ(SourceY(scaled, 19, y), expected) << "y=" << y;
    }
    // An even height: its lower half (two rows) is stretched into the last three rows.
    const QImage even = ScaleKeepEdges(Coordinates(4, 4), QSize(4, 10));
    EXPECT_EQ(SourceY(even, 0, 1), 1);
    EXPECT_EQ(SourceY(even, 0, 6), 2);
    EXPECT_EQ(SourceY(even, 0, 9), 3);
}

// The progress pictures, read from the artwork: the empty bar is 4 x 11, a one-pixel frame
// round a dark field; the fill is one column of 10 rows, light at the top; the head is
// 4 x 12, three light columns and a dark edge.
constexpr QRgb kBarFrame = qRgb(0x54, 0x5c, 0x80);
constexpr QRgb kBarField = qRgb(0x12, 0x14, 0x20);
constexpr QRgb kFillTop = qRgb(0xfd, 0xfb, 0xbe);
constexpr QRgb kFillBottom = qRgb(0xd8, 0xb8, 0x0a);
constexpr QRgb kHeadEdge = qRgb(0xc8, 0x96, 0x00);

// Where the empty bar is its frame and where its field, at any size: the scaling keeps the
// outer rows and columns and stretches the inside.
void ExpectEmptyBar(const QImage& picture, int fromX) {
    for (int y = 0; y < picture.height(); ++y)
        for (int x = fromX; x < picture.width(); ++x) {
            const bool frame =
                x == 0 || y == 0 || x == picture.width() - 1 || y == picture.height() - 1;
            ASSERT_EQ(picture.pixel(x, y) & 0xffffff, (frame ? kBarFrame : kBarField) & 0xffffff)
                << "x=" << x << " y=" << y << " of " << picture.width() << "x" << picture.height();
        }
}

TEST(SkinPaint, ProgressFillRoundsHalfToEvenAndDrawsTheHeadAtItsEnd) {
    TLumoProgressBar bar;
    bar.resize(257, 11);
    bar.setRange(0, 100);
    bar.SetPosition(50);
    EXPECT_EQ(bar.FillWidth(), 128); // 128.5 goes to the even neighbour

    // Columns 0 to 127 are the fill (its 10 rows stretched to the bar's 11), 128 to 131
    // the head, the rest the empty bar.
    const QImage picture = bar.PaintBar();
    for (const int x : {0, 64, 127}) {
        EXPECT_EQ(picture.pixel(x, 0), kFillTop) << "x=" << x;
        EXPECT_EQ(picture.pixel(x, 10), kFillBottom) << "x=" << x;
    }
    EXPECT_EQ(picture.pixel(128, 0), qRgb(0xff, 0xfe, 0xf9));
    EXPECT_EQ(picture.pixel(130, 4), qRgb(0xff, 0xf8, 0xcc));
    EXPECT_EQ(picture.pixel(128, 10), qRgb(0xff, 0xee, 0x89));
    for (int y = 0; y < 11; ++y)
        EXPECT_EQ(picture.pixel(131, y), kHeadEdge) << "y=" << y;
    ExpectEmptyBar(picture, 132);

    bar.resize(255, 11);
    bar.setRange(0, 2);
    bar.SetPosition(1);
    EXPECT_EQ(bar.FillWidth(), 128); // 127.5 also goes to 128

    // A position below the range draws nothing beyond the empty bar; one above fills it.
    bar.SetPosition(-5);
    EXPECT_EQ(bar.FillWidth(), 0);
    bar.SetPosition(9);
    EXPECT_EQ(bar.FillWidth(), 255);
    // An empty range has no sound fill: nothing is filled.
    bar.setRange(4, 4);
    EXPECT_EQ(bar.FillWidth(), 0);
}

TEST(SkinPaint, ProgressAtItsMinimumShowsOnlyTheEmptyBar) {
    TLumoProgressBar bar;
    bar.setRange(10, 20);
    bar.SetPosition(10);
    // The window's own bar, one wider than the artwork and a taller one.
    for (const QSize size : {QSize(257, 11), QSize(5, 11), QSize(40, 16)}) {
        bar.resize(size);
        const QImage picture = bar.PaintBar();
        ASSERT_EQ(picture.size(), size);
        ExpectEmptyBar(picture, 0);
    }
}

TEST(SkinPaint, DisabledButtonShowsFrameThreeWithGreyTextWhateverItIsAskedFor) {
    QWidget window;
    TLumoButton button(QStringLiteral("Copy"), &window);
    button.setGeometry(0, 0, 56, 29);
    QPalette pal = button.palette();
    pal.setColor(QPalette::ButtonText, QColor(245, 255, 91));
    button.setPalette(pal);
    QFont bold = button.font();
    bold.setBold(true);
    button.setFont(bold);

    const QImage enabled = button.PaintFace(TLumoButtonBase::LookNormal);
    EXPECT_TRUE(HasColour(enabled, qRgb(245, 255, 91)));
    EXPECT_FALSE(HasColour(enabled, qRgb(128, 128, 128)));

    button.setEnabled(false);
    // The strip is five frames of 16 x 29; the button is as tall as a frame, so only its
    // middle column (x = 8 of the frame) is stretched: x < 8 is the frame's own column,
    // x >= 48 is the frame's x - 40. The third frame starts at x = 32 of the strip.
    const QImage strip = SkinImage("LumoBUTTON");
    ASSERT_EQ(strip.size(), QSize(80, 29));
    const auto frameX = [](int x) {
        return 32 + (x < 8 ? x : x < 48 ? 8 : x - 40);
    };
    for (auto look :
         {TLumoButtonBase::LookNormal, TLumoButtonBase::LookPressed, TLumoButtonBase::LookOver}) {
        EXPECT_EQ(button.EffectiveLook(look), TLumoButtonBase::LookDisabled);
        const QImage face = button.PaintFace(look);
        // Away from the caption the face is the disabled frame.
        // Away from the caption (the middle of the face) every opaque pixel of the frame
        // is the face's; its transparent corners show the window behind.
        int compared = 0;
        for (int y = 0; y < 29; ++y)
            for (int x = 0; x < 56; ++x) {
                const QRgb art = strip.pixel(frameX(x), y);
                if ((x >= 8 && x < 48 && y > 4 && y < 24) || qAlpha(art) != 255)
                    continue;
                ASSERT_EQ(face.pixel(x, y), art) << x << "," << y;
                ++compared;
            }
        EXPECT_GT(compared, 56 * 29 / 3);
        EXPECT_TRUE(HasColour(face, qRgb(128, 128, 128)));
        EXPECT_FALSE(HasColour(face, qRgb(245, 255, 91)));
    }
}

TEST(SkinPaint, GroupBoxCaptionCutsTheFrameLine) {
    QWidget window;
    TXP_GroupBox box(QStringLiteral("Colums Display"), &window);
    box.setGeometry(16, 48, 137, 201);
    box.SetBorderColor(QColor(160, 160, 164));
    box.SetColor(QColor(219, 219, 229));
    box.SetCaptionColor(Qt::black);
    const QImage picture = box.PaintBox();
    const QFontMetrics metrics(box.font());
    const int line = metrics.height() / 2;
    const int captionEnd = 16 + metrics.horizontalAdvance(box.title());
    const QRgb border = qRgb(160, 160, 164);
    const QRgb colour = qRgb(219, 219, 229);

    EXPECT_EQ(picture.pixel(7, line), border);  // before the caption
    EXPECT_EQ(picture.pixel(11, line), colour); // cut by the caption's field
    EXPECT_EQ(picture.pixel(captionEnd - 2, line), colour);
    EXPECT_EQ(picture.pixel(captionEnd + 2, line), border); // after it
    EXPECT_EQ(picture.pixel(0, 100), border);
    EXPECT_EQ(picture.pixel(136, 100), border);
    EXPECT_EQ(picture.pixel(68, 200), border);
    EXPECT_EQ(picture.pixel(68, 100), colour);
    EXPECT_TRUE(HasColour(picture, qRgb(0, 0, 0)));

    box.setEnabled(false);
    EXPECT_FALSE(HasColour(box.PaintBox(), qRgb(0, 0, 0)));
    EXPECT_TRUE(HasColour(box.PaintBox(), qRgb(128, 128, 128)));
}

TEST(SkinPaint, CheckListDrawsTwoBorderLinesAndShowsElevenShortItems) {
    QWidget window;
    window.resize(200, 200);
    TSunCheckListBox list(&window);
    list.setGeometry(16, 24, 105, 161);
    QPalette pal = list.palette();
    pal.setColor(QPalette::Base, QColor(219, 219, 229));
    list.setPalette(pal);
    for (int i = 0; i < 11; ++i) {
        auto* item = new QListWidgetItem(QStringLiteral("Column %1").arg(i), &list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    window.show();
    QApplication::processEvents();

    const QImage picture = list.grab().toImage();
    for (QPoint edge : {QPoint(0, 80), QPoint(104, 80), QPoint(50, 0), QPoint(50, 160)})
        EXPECT_EQ(picture.pixel(edge) & 0xffffff, qRgb(224, 224, 224) & 0xffffff);
    for (QPoint inner : {QPoint(1, 80), QPoint(103, 80), QPoint(50, 1), QPoint(50, 159)})
        EXPECT_EQ(picture.pixel(inner) & 0xffffff, qRgb(219, 219, 229) & 0xffffff);

    EXPECT_EQ(list.visualItemRect(list.item(0)).height(), 13);
    EXPECT_LE(list.visualItemRect(list.item(10)).bottom(), list.viewport()->height());
    EXPECT_FALSE(list.verticalScrollBar()->isVisible());
}

} // namespace
