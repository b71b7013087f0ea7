// SPDX-License-Identifier: GPL-3.0-or-later
// "Write the iPod's tags into copies": off unless stored, kept in the registry key beside
// the other copy settings, and a check box of its own in "General Options".
#include "core/FrmMain.h"
#include "settings/FrmOption.h"
#include "settings/SettingsStore.h"
#include "support/AppFixture.h"
#include "support/WindowsTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace korvello;
using namespace korvello::test;

namespace {

class TagSettingTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::string RegFile() const { return fx.configHome + "/korvello/user.reg"; }
};

TEST_F(TagSettingTest, OffByDefaultStoredAtCloseAndReadInTheNextRun) {
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_FALSE(form.WriteTagsToCopies);
        form.close();
    }
    EXPECT_NE(ReadFile(RegFile()).find("\"SkipCopiedFiles\"=dword:00000000\n"
                                       "\"WriteTags\"=dword:00000000\n"),
              std::string::npos);
    {
        TFormMain form(*fx.platform, fx.dialogs);
        form.SetWriteTagsToCopies(true);
        form.close();
    }
    EXPECT_NE(ReadFile(RegFile()).find("\"WriteTags\"=dword:00000001\n"), std::string::npos);
    TFormMain again(*fx.platform, fx.dialogs);
    EXPECT_TRUE(again.WriteTagsToCopies);
}

TEST_F(TagSettingTest, AValueOfTheWrongTypeIsOff) {
    WriteFile(RegFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                         "\"WriteTags\"=\"1\"\n");
    TFormMain form(*fx.platform, fx.dialogs);
    EXPECT_FALSE(form.WriteTagsToCopies);
}

class TagOptionTest : public WindowsTest {
protected:
    void SetUp() override { OpenWindows(/*sampleIpod=*/false); }
};

TEST_F(TagOptionTest, TheCheckBoxLiesInTheGroupBelowTheOthersAndShowsTheSetting) {
    Main().SetWriteTagsToCopies(true);
    WithOptions([&] {
        TFormOption& o = Options();
        EXPECT_EQ(o.WriteTags->text(), "Write the iPod's tags into copies");
        EXPECT_TRUE(o.WriteTags->isChecked());
        EXPECT_EQ(o.WriteTags->parentWidget(), o.XP_GroupBox2);
        EXPECT_EQ(o.XP_GroupBox2->geometry(), QRect(160, 48, 217, 201));
        EXPECT_EQ(o.SkipCopied->geometry(), QRect(24, 152, 169, 17));
        const QRect group(QPoint(0, 0), o.XP_GroupBox2->size());
        // Inside the group's frame, below the last control, and wide enough for its text.
        EXPECT_TRUE(group.adjusted(2, 2, -2, -2).contains(o.WriteTags->geometry()));
        EXPECT_GT(o.WriteTags->geometry().top(), o.SkipCopied->geometry().bottom());
        EXPECT_LE(o.WriteTags->sizeHint().width(), o.WriteTags->width());
    });
}

TEST_F(TagOptionTest, SaveAppliesCancelDropsAndRestoreDefaultTurnsItOff) {
    WithOptions([&] {
        Options().WriteTags->setChecked(true);
        Options().XP_Button1->click(); // Cancel
    });
    EXPECT_FALSE(Main().WriteTagsToCopies);
    WithOptions([&] {
        EXPECT_FALSE(Options().WriteTags->isChecked());
        Options().WriteTags->setChecked(true);
        Options().OpenDir->click(); // Save
    });
    EXPECT_TRUE(Main().WriteTagsToCopies);
    WithOptions([&] {
        Options().XP_Button2->click(); // Restore Default
        EXPECT_FALSE(Options().WriteTags->isChecked());
        Options().OpenDir->click();
    });
    EXPECT_FALSE(Main().WriteTagsToCopies);
}

} // namespace
