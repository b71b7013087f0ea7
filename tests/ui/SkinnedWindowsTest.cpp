// SPDX-License-Identifier: GPL-3.0-or-later
// The skinned widgets in the program's windows: the options window's column list and
// buttons used as the user uses them, the category tabs, the title-bar buttons, and
// captions that fit their controls.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "copyout/FrmReport.h"
#include "core/ApplicationWindows.h"
#include "core/FrmMain.h"
#include "settings/FrmOption.h"
#include "support/WindowsTest.h"
#include "ui/LumoButton.h"
#include "ui/SunCheckListBox.h"
#include "ui/SunSimpleComboBox.h"
#include "ui/XP_GroupBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvello;
using namespace korvello::test;

namespace {

class SkinnedWindowsTest : public WindowsTest {
protected:
    void SetUp() override { OpenWindows(/*sampleIpod=*/true); }

    QListWidget* Columns() { return Options().SunCheckListBoxCols; }

    // Ticks or unticks item `row` as the user does: focus it and press Space.
    void ToggleWithSpace(int row) {
        Columns()->setCurrentRow(row);
        QTest::keyClick(Columns(), Qt::Key_Space);
    }
};

TEST_F(SkinnedWindowsTest, OptionsListShowsElevenColumnsAndTicksApplyAtOnce) {
    TITunesStringGrid* grid = Main().AdvStringGridSong;
    grid->SetColWidths(kAlbumColumn, 150); // a column the user dragged wider
    WithOptions([&] {
        ASSERT_NE(dynamic_cast<TSunCheckListBox*>(Columns()), nullptr);
        ASSERT_EQ(Columns()->count(), 11);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(Columns()->item(i)->checkState(), Qt::Checked) << i;
        EXPECT_EQ(Columns()->item(10)->text(), "songid");
        EXPECT_EQ(Columns()->item(10)->checkState(), Qt::Unchecked);
        // All eleven show at once, without a scroll bar.
        EXPECT_FALSE(Columns()->verticalScrollBar()->isVisible());
        EXPECT_LE(Columns()->visualItemRect(Columns()->item(10)).bottom(),
                  Columns()->viewport()->height());

        ToggleWithSpace(10);
        EXPECT_EQ(Columns()->item(10)->checkState(), Qt::Checked);
        EXPECT_EQ(grid->ColWidths(kSongIdColumn), 80);
        EXPECT_EQ(grid->ColWidths(kAlbumColumn), 80); // any tick puts every shown column back to 80

        ToggleWithSpace(6); // "Comment"
        EXPECT_EQ(grid->ColWidths(kCommentColumn), 0);
    });
}

TEST_F(SkinnedWindowsTest, RestoreDefaultThenCancelKeepsColumnsButNotFlags) {
    Main().SetOverwriteExisting(false);
    Main().SetPlayOnDoubleClick(true);
    WithOptions([&] {
        QTest::mouseClick(Options().XP_Button2, Qt::LeftButton); // Restore Default
        EXPECT_TRUE(Options().OverWrite->isChecked());
        EXPECT_FALSE(Options().PlaySong->isChecked());
        QTest::mouseClick(Options().XP_Button1, Qt::LeftButton); // Cancel
    });
    for (int c = kFirstTextColumn; c < kSongColumnCount; ++c)
        EXPECT_EQ(Main().AdvStringGridSong->ColWidths(c), 80) << c;
    EXPECT_FALSE(Main().OverwriteExisting);
    EXPECT_TRUE(Main().PlayOnDoubleClick);
}

TEST_F(SkinnedWindowsTest, RestoreDefaultThenSaveAppliesTheDefaultFlags) {
    Main().SetOverwriteExisting(false);
    Main().SetPlayOnDoubleClick(true);
    WithOptions([&] {
        QTest::mouseClick(Options().XP_Button2, Qt::LeftButton);
        QTest::mouseClick(Options().OpenDir, Qt::LeftButton); // Save
    });
    EXPECT_TRUE(Main().OverwriteExisting);
    EXPECT_FALSE(Main().PlayOnDoubleClick);
}

TEST_F(SkinnedWindowsTest, TheOptionsTitleBarCloseActsAsCancel) {
    Main().SetPlayOnDoubleClick(false);
    WithOptions([&] {
        ASSERT_NE(dynamic_cast<TLumoButtonSmall*>(Options().LumoButtonSmall2), nullptr);
        Options().PlaySong->setChecked(true);
        QTest::mouseClick(Options().LumoButtonSmall2, Qt::LeftButton);
        EXPECT_EQ(Options().result(), QDialog::Rejected);
    });
    EXPECT_FALSE(Main().PlayOnDoubleClick);
}

TEST_F(SkinnedWindowsTest, TabWalksTheOptionsWindowInItsOrder) {
    WithOptions([&] {
        Options().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Options()));
        Options().OpenDir->setFocus();
        const std::vector<QWidget*> order = {
            Options().OpenDir,    Options().XP_Button1,       Columns(),
            Options().PlaySong,   Options().OverWrite,        Options().NameCopies,
            Options().SkipCopied, Options().WriteTags,        Options().ListUnlisted,
            Options().XP_Button2, Options().LumoButtonSmall1, Options().LumoButtonSmall2,
            Options().OpenDir};
        for (std::size_t i = 0; i + 1 < order.size(); ++i) {
            ASSERT_EQ(QApplication::focusWidget(), order[i]) << "step " << i;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(QApplication::focusWidget(), order.back());
    });
}

TEST_F(SkinnedWindowsTest, ClickedTabShowsItsListAndTakesTheActiveLook) {
    QPushButton* tabs[] = {Main().LumoButtonSmall1, Main().LumoButtonSmall2,
                           Main().LumoButtonSmall3};
    TITunesStringGrid* lists[] = {Main().ArtistList, Main().AlbumList, Main().FileTypeList};
    for (int clicked : {2, 1, 0, 2}) {
        QTest::mouseClick(tabs[clicked], Qt::LeftButton);
        for (int i = 0; i < 3; ++i) {
            ASSERT_NE(dynamic_cast<TLumoButtonList*>(tabs[i]), nullptr);
            const bool active = i == clicked;
            EXPECT_EQ(lists[i]->isVisible(), active) << "tab " << clicked << ", list " << i;
            EXPECT_EQ(tabs[i]->height(), active ? 20 : 18);
            EXPECT_EQ(tabs[i]->y(), active ? 12 : 14);
            EXPECT_EQ(tabs[i]->palette().color(QPalette::ButtonText) == QColor(Qt::black), active);
        }
    }
}

TEST_F(SkinnedWindowsTest, MainWindowUsesPicturesNotTextOrTooltips) {
    for (QPushButton* button : {Main().XP_ButtonSmall1, Main().XP_ButtonSmall3}) {
        auto* skinned = dynamic_cast<TLumoButtonSmall*>(button);
        ASSERT_NE(skinned, nullptr);
        EXPECT_TRUE(skinned->text().isEmpty());
        EXPECT_FALSE(skinned->Picture().isNull());
    }
    for (QWidget* child : Main().findChildren<QWidget*>())
        if (child->window() == &Main()) { // the report window's buttons carry their hints
            EXPECT_TRUE(child->toolTip().isEmpty()) << child->objectName().toStdString();
        }
    auto* dropButton = Main().findChild<TComboButton*>(QStringLiteral("iPodSelectorComListButton"));
    ASSERT_NE(dropButton, nullptr);
    EXPECT_EQ(dropButton->geometry().right(), Main().iPodSelectorCom->geometry().right() - 2);

    // The push buttons' captions are drawn in bold yellow.
    const QImage copy = Main().ButtonCopy->grab().toImage();
    bool yellow = false;
    for (int y = 0; y < copy.height() && !yellow; ++y)
        for (int x = 0; x < copy.width() && !yellow; ++x)
            yellow = QColor(copy.pixel(x, y)) == QColor(245, 255, 91);
    EXPECT_TRUE(yellow);
    EXPECT_TRUE(Main().ButtonCopy->font().bold());
}

TEST_F(SkinnedWindowsTest, EveryCaptionFitsItsControl) {
    std::vector<QWidget*> windowsToCheck = {&Main(), &Options(), &windows->FormReport};
    for (QWidget* window : windowsToCheck) {
        for (auto* button : window->findChildren<TLumoButtonBase*>()) {
            QString text = button->text();
            text.remove(QLatin1Char('&'));
            for (const QString& caption : {text, QStringLiteral("Stop")}) {
                if (caption == QStringLiteral("Stop") && button != Main().ButtonCopy)
                    continue;
                EXPECT_LE(button->fontMetrics().horizontalAdvance(caption), button->width() - 4)
                    << button->objectName().toStdString() << " \"" << caption.toStdString() << "\"";
            }
        }
        for (auto* box : window->findChildren<QCheckBox*>()) {
            QStyleOptionButton option;
            option.initFrom(box);
            const int indicator =
                box->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
                box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
            EXPECT_LE(indicator + box->fontMetrics().horizontalAdvance(box->text()), box->width())
                << box->text().toStdString();
        }
        for (auto* group : window->findChildren<TXP_GroupBox*>())
            EXPECT_LE(16 + group->fontMetrics().horizontalAdvance(group->title()), group->width());
    }
    // A status cut to its 46 characters fits the status line.
    Main().ShowStatus("(12/345) Copying The Copper Kettles - Brass Knuckles Reprise (live)");
    EXPECT_LE(Main().Notifier->fontMetrics().horizontalAdvance(Main().Notifier->text()),
              Main().Notifier->width());
}

} // namespace
