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
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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
        EXPECT_EQ(form.CopyNaming, PresetNaming(0));
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
    std::string why;
    const TCopyNaming own = *TCopyNaming::Parse("{genre}\\\"{album}\"/[{track}] {title}", why);
    for (const TCopyNaming& naming :
         {PresetNaming(1), PresetNaming(2), PresetNaming(3), PresetNaming(4), own}) {
        {
            TFormMain form(*fx.platform, fx.dialogs);
            form.SetCopyNaming(naming);
            form.SetSkipCopiedFiles(naming == PresetNaming(2));
            form.close();
        }
        TFormMain again(*fx.platform, fx.dialogs);
        EXPECT_EQ(again.CopyNaming, naming);
        EXPECT_EQ(again.SkipCopiedFiles, naming == PresetNaming(2));
    }
    // Today's words stay as they were stored; any other choice is stored as its template.
    EXPECT_EQ(fx.platform->RegQueryValue(kRegistryKey, kValueCopyNaming).text, own.Text());
    {
        TFormMain form(*fx.platform, fx.dialogs);
        form.SetCopyNaming(PresetNaming(2));
        form.close();
    }
    EXPECT_EQ(fx.platform->RegQueryValue(kRegistryKey, kValueCopyNaming).text,
              "artist-album-title");
    // A stored template that is not one is the default, not a fault.
    fx.platform->RegSetString(kRegistryKey, kValueCopyNaming, "{artist}/{albm}/{title}");
    EXPECT_EQ(ReadCopyNaming(*fx.platform), PresetNaming(0));
}

TEST_F(OrganiseSettingsTest, ValuesOfTheWrongTypeOrUnknownWordsGiveTheDefaults) {
    WriteFile(RegFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                         "\"CopyNaming\"=dword:00000002\n\"SkipCopiedFiles\"=\"1\"\n");
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_EQ(form.CopyNaming, PresetNaming(0));
        EXPECT_FALSE(form.SkipCopiedFiles);
    }
    WriteFile(RegFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                         "\"CopyNaming\"=\"by genre\"\n\"SkipCopiedFiles\"=dword:00000007\n");
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_EQ(form.CopyNaming, PresetNaming(0));
        EXPECT_TRUE(form.SkipCopiedFiles);
    }
    // Letter case of a stored word does not matter.
    fx.platform->RegSetString(kRegistryKey, kValueCopyNaming, "Artist-Title");
    EXPECT_EQ(ReadCopyNaming(*fx.platform), PresetNaming(1));
}

// The options window as the user meets it: opened with the Option button, its new
// controls under the two check boxes of "General Options".
class OrganiseOptionsTest : public WindowsTest {
protected:
    void SetUp() override { OpenWindows(/*sampleIpod=*/false); }
};

TEST_F(OrganiseOptionsTest, NewControlsFitTheGroupBelowTheFlagsAndShowTheSettings) {
    Main().SetCopyNaming(PresetNaming(1));
    Main().SetSkipCopiedFiles(true);
    WithOptions([&] {
        TFormOption& o = Options();
        EXPECT_EQ(o.NameCopiesLabel->text(), "Name copies");
        EXPECT_EQ(o.SkipCopied->text(), "Skip songs already copied");
        ASSERT_EQ(o.NameCopies->count(), 5);
        EXPECT_EQ(o.NameCopies->itemText(0), "Title");
        EXPECT_EQ(o.NameCopies->itemText(1), "Artist - Title");
        EXPECT_EQ(o.NameCopies->itemText(2), "Artist\\Album\\Title");
        EXPECT_EQ(o.NameCopies->itemText(3), "Album Artist\\Album\\Track Title");
        EXPECT_EQ(o.NameCopies->itemText(4), "Album Artist\\Album (Year)\\Track Title");
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
    EXPECT_EQ(Main().CopyNaming, PresetNaming(0));
    EXPECT_FALSE(Main().SkipCopiedFiles);

    WithOptions([&] {
        EXPECT_EQ(Options().NameCopies->currentIndex(), 0) << "a cancelled choice is gone";
        Options().NameCopies->setCurrentIndex(2);
        Options().SkipCopied->setChecked(true);
        Options().OpenDir->click(); // Save
    });
    EXPECT_EQ(Main().CopyNaming, PresetNaming(2));
    EXPECT_TRUE(Main().SkipCopiedFiles);

    // Restore Default puts the defaults in the window; only Save applies them.
    WithOptions([&] {
        Options().XP_Button2->click();
        EXPECT_EQ(Options().NameCopies->currentIndex(), 0);
        EXPECT_FALSE(Options().SkipCopied->isChecked());
        Options().XP_Button1->click();
    });
    EXPECT_EQ(Main().CopyNaming, PresetNaming(2));
    EXPECT_TRUE(Main().SkipCopiedFiles);
    WithOptions([&] {
        Options().XP_Button2->click();
        Options().OpenDir->click();
    });
    EXPECT_EQ(Main().CopyNaming, PresetNaming(0));
    EXPECT_FALSE(Main().SkipCopiedFiles);
    EXPECT_TRUE(Main().OverwriteExisting);
}

TEST_F(OrganiseOptionsTest, ATypedTemplateIsKeptAndABadOneIsRefusedWithAMessage) {
    WithOptions([&] {
        Options().NameCopies->setCurrentIndex(3);
        Options().OpenDir->click();
    });
    EXPECT_EQ(Main().CopyNaming, PresetNaming(3));

    // A template typed into the field.
    WithOptions([&] {
        EXPECT_EQ(Options().NameCopies->currentIndex(), 3);
        EXPECT_EQ(Options().NameCopies->currentText(), "Album Artist\\Album\\Track Title");
        Options().NameCopies->lineEdit()->clear();
        QTest::keyClicks(Options().NameCopies->lineEdit(), "{genre}/{year}/{title}");
        Options().OpenDir->click();
    });
    EXPECT_EQ(Main().CopyNaming.Text(), "{genre}/{year}/{title}");

    // Shown again as an item of its own after the presets; a bad template is refused
    // with a message box and the window stays open.
    WithOptions([&] {
        TFormOption& o = Options();
        ASSERT_EQ(o.NameCopies->count(), 6);
        EXPECT_EQ(o.NameCopies->currentIndex(), 5);
        EXPECT_EQ(o.NameCopies->currentText(), "{genre}/{year}/{title}");
        o.PlaySong->setChecked(!Main().PlayOnDoubleClick);
        o.NameCopies->lineEdit()->clear();
        QTest::keyClicks(o.NameCopies->lineEdit(), "{artist}/{albm}/{title}");
        const int errors = fx.dialogs.Count("error");
        o.OpenDir->click();
        ASSERT_EQ(fx.dialogs.Count("error"), errors + 1);
        EXPECT_NE(fx.dialogs.calls.back().text.find("unknown field {albm}"), std::string::npos)
            << fx.dialogs.calls.back().text;
        EXPECT_TRUE(o.isVisible()) << "the window stays open to mend the template";
        EXPECT_EQ(Main().PlayOnDoubleClick, !o.PlaySong->isChecked()) << "nothing applied";
        // Restore Default drops the user's own item again.
        o.XP_Button2->click();
        EXPECT_EQ(o.NameCopies->currentIndex(), 0);
        EXPECT_EQ(o.NameCopies->currentText(), "Title");
        o.XP_Button1->click();
    });
    EXPECT_EQ(Main().CopyNaming.Text(), "{genre}/{year}/{title}");

    // The words the setting stores may be typed too, in any letter case.
    WithOptions([&] {
        Options().NameCopies->lineEdit()->clear();
        QTest::keyClicks(Options().NameCopies->lineEdit(), "Artist-Title");
        Options().OpenDir->click();
    });
    EXPECT_EQ(Main().CopyNaming, PresetNaming(1));
}

} // namespace

// "Also list songs the database does not name": below both groups (neither has room for
// its text), clear of every specified control, saved and restored like the others.
TEST_F(OrganiseOptionsTest, ListUnlistedFilesBoxFitsBelowTheGroupsAndIsSaved) {
    WithOptions([&] {
        TFormOption& o = Options();
        EXPECT_EQ(o.ListUnlisted->text(), "Also list songs the database does not name");
        EXPECT_FALSE(o.ListUnlisted->isChecked());
        EXPECT_LE(o.ListUnlisted->sizeHint().width(), o.ListUnlisted->width());
        EXPECT_TRUE(o.rect().contains(o.ListUnlisted->geometry()));
        for (QWidget* w :
             {static_cast<QWidget*>(o.XP_GroupBox1), static_cast<QWidget*>(o.XP_GroupBox2),
              static_cast<QWidget*>(o.XP_Button2), static_cast<QWidget*>(o.OpenDir),
              static_cast<QWidget*>(o.XP_Button1)})
            EXPECT_FALSE(w->geometry().intersects(o.ListUnlisted->geometry()))
                << w->objectName().toStdString();
        o.ListUnlisted->setChecked(true);
        o.OpenDir->click();
    });
    EXPECT_TRUE(Main().ListUnlistedFiles);
    WithOptions([&] {
        EXPECT_TRUE(Options().ListUnlisted->isChecked());
        Options().XP_Button2->click();
        EXPECT_FALSE(Options().ListUnlisted->isChecked());
        Options().OpenDir->click();
    });
    EXPECT_FALSE(Main().ListUnlistedFiles);
}

TEST_F(OrganiseSettingsTest, ListUnlistedFilesIsStoredAtCloseAndOffByDefault) {
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_FALSE(form.ListUnlistedFiles);
        form.SetListUnlistedFiles(true);
        form.close();
    }
    EXPECT_EQ(fx.platform->RegQueryValue(kRegistryKey, kValueListUnlisted).dword, 1u);
    TFormMain again(*fx.platform, fx.dialogs);
    EXPECT_TRUE(again.ListUnlistedFiles);
}
