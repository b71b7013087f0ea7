// SPDX-License-Identifier: GPL-3.0-or-later
// What the skin's colours and fonts reach beyond the pictures: the options window's column
// captions whole in their low items, and the popup menus, the selector's open list and the
// report in the grids' mark colour and the windows' 8-point font, drawn as a user sees
// them.
#include "browser/ITunesStringGrid.h"
#include "copyout/FrmReport.h"
#include "core/FrmMain.h"
#include "settings/FrmOption.h"
#include "support/WindowsTest.h"
#include "ui/Skin.h"
#include "ui/SunCheckListBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvello;
using namespace korvello::test;

namespace {

// Rows of a picture, inside `area`, that hold a pixel darker than half grey: the ink of
// dark text on a light ground.
int InkRows(const QImage& image, const QRect& area) {
    int rows = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                ++rows;
                break;
            }
    return rows;
}

// The ink rows of `text` drawn freely, with room all round.
int FreeInkRows(const QString& text, const QFont& font) {
    QImage image(300, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPoint(4, 40), text);
    p.end();
    return InkRows(image, image.rect());
}

class SkinLookTest : public WindowsTest {
protected:
    void SetUp() override { OpenWindows(/*sampleIpod=*/true); }
};

TEST_F(SkinLookTest, EveryColumnCaptionKeepsItsDescendersAndAllElevenShow) {
    WithOptions([&] {
        auto* list = dynamic_cast<TSunCheckListBox*>(Options().SunCheckListBoxCols);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 11);
        EXPECT_EQ(list->ItemHeight(), 13);
        const QImage shown = list->viewport()->grab().toImage();
        for (int i = 0; i < list->count(); ++i) {
            QListWidgetItem* item = list->item(i);
            const QRect rect = list->visualItemRect(item);
            // All eleven lie inside the list.
            EXPECT_LE(rect.bottom(), list->viewport()->height() - 1) << i;
            // The caption's part of the item: right of the tick box.
            QRect caption = rect;
            caption.setLeft(rect.left() + rect.height() + 4);
            caption = caption.intersected(shown.rect());
            EXPECT_EQ(InkRows(shown, caption), FreeInkRows(item->text(), list->font()))
                << item->text().toStdString() << " lost part of its letters";
        }
    });
}

TEST_F(SkinLookTest, PopupMenusWearTheSkinsColoursAndFont) {
    QMenu* menu = Main().SunPopupMenuSongs;
    EXPECT_EQ(menu->font().pointSize(), 8);
    EXPECT_EQ(menu->font().family(), QStringLiteral("MS Sans Serif"));
    Main().SunPopupMenuSongsPopup();
    menu->popup(Main().mapToGlobal(QPoint(100, 100)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QAction* chosen = menu->actions().at(2); // Select All
    menu->setActiveAction(chosen);
    QApplication::processEvents();
    const QImage image = menu->grab().toImage();
    const QRect item = menu->actionGeometry(chosen);
    // The chosen item's ground, away from its caption, is the grids' mark colour.
    EXPECT_EQ(QColor(image.pixel(item.right() - 3, item.center().y())), SkinMarkColour());
    // An item not chosen lies on the panels' colour.
    const QRect other = menu->actionGeometry(menu->actions().at(4));
    EXPECT_EQ(QColor(image.pixel(other.right() - 3, other.center().y())), SkinPanelColour());
    // Captions are the 8-point font's height, not a bigger one's.
    EXPECT_LE(item.height(), QFontMetrics(menu->font()).height() + 8);
    menu->close();
}

TEST_F(SkinLookTest, TheSelectorsOpenListMarksItsEntryInTheMarkColour) {
    QComboBox* selector = Main().iPodSelectorCom;
    QAbstractItemView* view = selector->view();
    EXPECT_EQ(view->font().pointSize(), 8);
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Highlight), SkinMarkColour());
    EXPECT_EQ(view->palette().color(QPalette::Inactive, QPalette::Highlight), SkinMarkColour());
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::HighlightedText),
              QColor(Qt::black));
    selector->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QImage image = view->viewport()->grab().toImage();
    const QRect entry = view->visualRect(view->currentIndex()).intersected(image.rect());
    ASSERT_FALSE(entry.isEmpty());
    EXPECT_EQ(QColor(image.pixel(entry.right() - 2, entry.center().y())), SkinMarkColour())
        << entry.x() << "," << entry.y() << " " << entry.width() << "x" << entry.height() << " in "
        << image.width() << "x" << image.height();
    selector->hidePopup();
}

TEST_F(SkinLookTest, TheReportsHeaderSelectionAndCurrentCellWearTheSkin) {
    TFormReport& report = Report();
    std::vector<std::string> titles = {"One", "Two", "Three"};
    std::vector<std::string> targets = {"e:\\a.mp3", "e:\\b.mp3", "e:\\c.mp3"};
    report.TitleList = &titles;
    report.TargetList = &targets;
    report.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&report));
    QTableView* table = report.Reporter;
    table->setFocus();
    table->setCurrentIndex(table->model()->index(1, 0));
    table->selectRow(1);
    QApplication::processEvents();

    const QImage header = table->horizontalHeader()->grab().toImage();
    const int section = table->horizontalHeader()->sectionSize(0);
    EXPECT_EQ(QColor(header.pixel(section - 6, header.height() / 2)), SkinHeaderColour());
    EXPECT_TRUE(table->horizontalHeader()->font().bold());
    EXPECT_EQ(table->horizontalHeader()->font().pointSize(), 8);

    const QImage rows = table->viewport()->grab().toImage();
    const QRect chosen = table->visualRect(table->model()->index(1, 1));
    EXPECT_EQ(QColor(rows.pixel(chosen.right() - 3, chosen.center().y())), SkinMarkColour());
    // The current cell's frame: dotted navy, never the style's own highlight colour.
    const QRect current = table->visualRect(table->model()->index(1, 0));
    bool navy = false;
    for (int x = current.left(); x <= current.right(); ++x) {
        const QColor c(rows.pixel(x, current.top()));
        EXPECT_TRUE(c == SkinFrameColour() || c == SkinMarkColour())
            << "at " << x << ": " << c.name().toStdString();
        navy = navy || c == SkinFrameColour();
    }
    EXPECT_TRUE(navy) << "the current cell has no frame";
    report.hide();
    report.TitleList = nullptr;
    report.TargetList = nullptr;
}

} // namespace
