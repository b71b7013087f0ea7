// SPDX-License-Identifier: GPL-3.0-or-later
// The two settings of organised copies: how copies are named and whether songs already
// copied are skipped. They live in the registry key beside the two flags.
#include "core/ApplicationWindows.h"
#include "core/FrmMain.h"
#include "settings/FrmOption.h"
#include "settings/SettingsStore.h"
#include "support/AppFixture.h"
#include "support/WindowsTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

using namespace korvello;
using namespace korvello::test;

namespace {

class OrganiseSettingsTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::string RegFile() const { return fx.configHome + "/korvello/user.reg"; }
};

TEST_F(OrganiseSettingsTest, DefaultsWhenMissingAndWrittenBesideTheFlagsAtClose) {
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_EQ(form.CopyNaming, TCopyNaming::Title);
        EXPECT_FALSE(form.SkipCopiedFiles);
        form.close();
    }
    const std::string reg = ReadFile(RegFile());
    EXPECT_NE(reg.find("\"OverWriteExistFile\"=dword:00000001\n"
                       "\"CopyNaming\"=\"title\"\n"
                       "\"SkipCopiedFiles\"=dword:00000000\n"),
              std::string::npos)
        << reg;
}

TEST_F(OrganiseSettingsTest, ChoicesMadeInOneRunAreReadInTheNext) {
    for (const TCopyNaming naming : {TCopyNaming::ArtistTitle, TCopyNaming::ArtistAlbumTitle}) {
        {
            TFormMain form(*fx.platform, fx.dialogs);
            form.SetCopyNaming(naming);
            form.SetSkipCopiedFiles(naming == TCopyNaming::ArtistAlbumTitle);
            form.close();
        }
        TFormMain again(*fx.platform, fx.dialogs);
        EXPECT_EQ(again.CopyNaming, naming);
        EXPECT_EQ(again.SkipCopiedFiles, naming == TCopyNaming::ArtistAlbumTitle);
    }
}

TEST_F(OrganiseSettingsTest, ValuesOfTheWrongTypeOrUnknownWordsGiveTheDefaults) {
    WriteFile(RegFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                         "\"CopyNaming\"=dword:00000002\n\"SkipCopiedFiles\"=\"1\"\n");
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_EQ(form.CopyNaming, TCopyNaming::Title);
        EXPECT_FALSE(form.SkipCopiedFiles);
    }
    WriteFile(RegFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                         "\"CopyNaming\"=\"by genre\"\n\"SkipCopiedFiles\"=dword:00000007\n");
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_EQ(form.CopyNaming, TCopyNaming::Title);
        EXPECT_TRUE(form.SkipCopiedFiles);
    }
    // Letter case of a stored word does not matter.
    fx.platform->RegSetString(kRegistryKey, kValueCopyNaming, "Artist-Title");
    EXPECT_EQ(ReadCopyNaming(*fx.platform), TCopyNaming::ArtistTitle);
}

// The options window as the user meets it: opened with the Option button, its new
// controls under the two check boxes of "General Options".
class OrganiseOptionsTest : public WindowsTest {
protected:
    void SetUp() override { OpenWindows(/*sampleIpod=*/false); }
};

TEST_F(OrganiseOptionsTest, NewControlsFitTheGroupBelowTheFlagsAndShowTheSettings) {
    Main().SetCopyNaming(TCopyNaming::ArtistTitle);
    Main().SetSkipCopiedFiles(true);
    WithOptions([&] {
        TFormOption& o = Options();
        EXPECT_EQ(o.NameCopiesLabel->text(), "Name copies");
        EXPECT_EQ(o.SkipCopied->text(), "Skip songs already copied");
        ASSERT_EQ(o.NameCopies->count(), 3);
        EXPECT_EQ(o.NameCopies->itemText(0), "Title");
        EXPECT_EQ(o.NameCopies->itemText(1), "Artist - Title");
        EXPECT_EQ(o.NameCopies->itemText(2), "Artist\\Album\\Title");
        EXPECT_EQ(o.NameCopies->currentIndex(), 1);
        EXPECT_TRUE(o.SkipCopied->isChecked());
        // The specified controls keep their places; the new ones lie inside the group,
        // below the second check box, clear of each other.
        EXPECT_EQ(o.PlaySong->geometry(), QRect(24, 42, 153, 17));
        EXPECT_EQ(o.OverWrite->geometry(), QRect(24, 72, 169, 17));
        EXPECT_EQ(o.XP_GroupBox2->geometry(), QRect(160, 48, 217, 201));
        const QRect group(QPoint(0, 0), o.XP_GroupBox2->size());
        QRect above = o.OverWrite->geometry();
        for (QWidget* w :
             {static_cast<QWidget*>(o.NameCopiesLabel), static_cast<QWidget*>(o.NameCopies),
              static_cast<QWidget*>(o.SkipCopied)}) {
            EXPECT_EQ(w->parentWidget(), o.XP_GroupBox2);
            EXPECT_TRUE(group.contains(w->geometry())) << w->objectName().toStdString();
            EXPECT_GE(w->geometry().top(), above.bottom() + 1) << w->objectName().toStdString();
            above = w->geometry();
        }
        // The texts fit their controls.
        EXPECT_LE(o.SkipCopied->sizeHint().width(), o.SkipCopied->width());
        EXPECT_LE(o.NameCopiesLabel->sizeHint().width(), o.NameCopiesLabel->width());
    });
}

TEST_F(OrganiseOptionsTest, SaveAppliesCancelDropsAndRestoreDefaultResets) {
    WithOptions([&] {
        Options().NameCopies->setCurrentIndex(2);
        Options().SkipCopied->setChecked(true);
        Options().XP_Button1->click(); // Cancel
    });
    EXPECT_EQ(Main().CopyNaming, TCopyNaming::Title);
    EXPECT_FALSE(Main().SkipCopiedFiles);

    WithOptions([&] {
        EXPECT_EQ(Options().NameCopies->currentIndex(), 0) << "a cancelled choice is gone";
        Options().NameCopies->setCurrentIndex(2);
        Options().SkipCopied->setChecked(true);
        Options().OpenDir->click(); // Save
    });
    EXPECT_EQ(Main().CopyNaming, TCopyNaming::ArtistAlbumTitle);
    EXPECT_TRUE(Main().SkipCopiedFiles);

    // Restore Default puts the defaults in the window; only Save applies them.
    WithOptions([&] {
        Options().XP_Button2->click();
        EXPECT_EQ(Options().NameCopies->currentIndex(), 0);
        EXPECT_FALSE(Options().SkipCopied->isChecked());
        Options().XP_Button1->click();
    });
    EXPECT_EQ(Main().CopyNaming, TCopyNaming::ArtistAlbumTitle);
    EXPECT_TRUE(Main().SkipCopiedFiles);
    WithOptions([&] {
        Options().XP_Button2->click();
        Options().OpenDir->click();
    });
    EXPECT_EQ(Main().CopyNaming, TCopyNaming::Title);
    EXPECT_FALSE(Main().SkipCopiedFiles);
    EXPECT_TRUE(Main().OverwriteExisting);
}

} // namespace
