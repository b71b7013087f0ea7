// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store through the main window: first and second run, stored types, the
// settings file's layout keys, and failures that must not stop the program.
#include "browser/ITunesStringGrid.h"
#include "core/FrmMain.h"
#include "support/AppFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvello;
using namespace korvello::test;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::string RegFile() const { return fx.configHome + "/korvello/user.reg"; }
    std::string IniFile() const { return fx.InAppFolder("ipdes.dll"); }
};

TEST_F(SettingsTest, FirstRunDefaultsAndWhatTheCloseWrites) {
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_FALSE(form.PlayOnDoubleClick);
        EXPECT_TRUE(form.OverwriteExisting);
        EXPECT_EQ(form.AppFolder, fx.platform->ToProgramPath(fx.programDir));
        ASSERT_EQ(form.ColumnWidths.size(), 12u);
        EXPECT_EQ(form.ColumnWidths[0], "0");
        for (int i = 1; i < 12; ++i)
            EXPECT_EQ(form.ColumnWidths[i], "80");
        form.show();
        EXPECT_FALSE(form.iPodSelectorCom->isHidden());
        EXPECT_FALSE(form.Edit1->isHidden());
        EXPECT_EQ(form.AdvStringGridSong->ColWidths(3), 80);
        EXPECT_EQ(form.AdvStringGridSong->ColWidths(11), 0);
        form.close(); // FormClose writes the settings file, then the registry
    }
    const std::string reg = ReadFile(RegFile());
    EXPECT_NE(reg.find("\"DBClickPlaySong\"=dword:00000000"), std::string::npos) << reg;
    EXPECT_NE(reg.find("\"OverWriteExistFile\"=dword:00000001"), std::string::npos) << reg;
    const std::string ini = ReadFile(IniFile());
    EXPECT_NE(ini.find("[COLWIDTH]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("0=16"), std::string::npos) << ini;
    EXPECT_NE(ini.find("11=0"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[Visible]"), std::string::npos);
}

TEST_F(SettingsTest, SecondRunReadsBackWhatTheFirstWroteAndKeepsUnknownKeys) {
    WriteFile(IniFile(),
              "; my notes\n[Visible]\nSearchBox=0\nArtistList=0\n[COLWIDTH]\n3=0x64\n4=abc\n"
              "5=0\n[Other]\nmine=1\n");
    WriteFile(RegFile(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                         "\"DBClickPlaySong\"=dword:00000005\n\"OverWriteExistFile\"=\"1\"\n"
                         "\"Keep\"=\"me\"\n");
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_TRUE(form.PlayOnDoubleClick);
        // A text under a number's name counts as missing: overwrite takes its default.
        EXPECT_TRUE(form.OverwriteExisting);
        EXPECT_EQ(form.ColumnWidths[3], "100");
        EXPECT_EQ(form.ColumnWidths[4], "80");
        EXPECT_EQ(form.ColumnWidths[5], "0");
        form.show();
        // The search box and its label are hidden, its frame stays.
        EXPECT_TRUE(form.Edit1->isHidden());
        EXPECT_TRUE(form.Image4->isHidden());
        EXPECT_FALSE(form.Image21->isHidden());
        // The first showing always shows the artist list.
        EXPECT_FALSE(form.ArtistList->isHidden());
        EXPECT_EQ(form.AdvStringGridSong->ColWidths(3), 100);
        EXPECT_EQ(form.AdvStringGridSong->ColWidths(5), 0);
        form.SetOverwriteExisting(false);
        form.close();
    }
    const std::string reg = ReadFile(RegFile());
    EXPECT_NE(reg.find("\"DBClickPlaySong\"=dword:00000001"), std::string::npos) << reg;
    EXPECT_NE(reg.find("\"OverWriteExistFile\"=dword:00000000"), std::string::npos) << reg;
    EXPECT_NE(reg.find("\"Keep\"=\"me\""), std::string::npos) << reg;
    const std::string ini = ReadFile(IniFile());
    EXPECT_NE(ini.find("; my notes"), std::string::npos);
    EXPECT_NE(ini.find("mine=1"), std::string::npos);
    EXPECT_NE(ini.find("SearchBox=0"), std::string::npos);
    EXPECT_NE(ini.find("3=100"), std::string::npos) << ini;

    TFormMain again(*fx.platform, fx.dialogs);
    EXPECT_TRUE(again.PlayOnDoubleClick);
    EXPECT_FALSE(again.OverwriteExisting);
}

TEST_F(SettingsTest, AnUnreadableRegistryGivesDefaultsAndTheWindowStillOpens) {
    // A folder where the registry file should be: it can be neither read nor written.
    MakeDirs(RegFile());
    WriteFile(IniFile(), "[COLWIDTH]\n2=120\n");
    TFormMain form(*fx.platform, fx.dialogs);
    EXPECT_FALSE(form.PlayOnDoubleClick);
    EXPECT_TRUE(form.OverwriteExisting);
    EXPECT_EQ(form.ColumnWidths[2], "120"); // the settings file is still read
    form.show();
    form.close();
    EXPECT_NE(fx.Log().find("WriteRegistry:Failed to set data for 'DBClickPlaySong'"),
              std::string::npos)
        << fx.Log();
}

TEST_F(SettingsTest, AnUnwritableSettingsFileIsLoggedAndTheRegistryIsStillWritten) {
    TFormMain form(*fx.platform, fx.dialogs);
    form.show();
    // A folder in the settings file's place makes every write of it fail.
    MakeDirs(IniFile());
    form.close();
    const std::string log = fx.Log();
    EXPECT_NE(log.find("WriteIniFile:Unable to write to " + form.AppFolder + "\\ipdes.dll"),
              std::string::npos)
        << log;
    EXPECT_NE(ReadFile(RegFile()).find("OverWriteExistFile"), std::string::npos);
}

TEST_F(SettingsTest, AReadOnlySettingsFileIsUntouchedAndLoggedAndTheRegistryIsStillWritten) {
    const std::string content = "; the user's own layout\n[COLWIDTH]\n2=120\n";
    WriteFile(IniFile(), content);
    namespace fs = std::filesystem;
    fs::permissions(IniFile(), fs::perms::owner_read | fs::perms::group_read);
    {
        TFormMain form(*fx.platform, fx.dialogs);
        form.SetPlayOnDoubleClick(true);
        form.show();
        form.close();
        EXPECT_NE(
            fx.Log().find("WriteIniFile:Unable to write to " + form.AppFolder + "\\ipdes.dll"),
            std::string::npos)
            << fx.Log();
    }
    EXPECT_EQ(ReadFile(IniFile()), content);
    EXPECT_NE(ReadFile(RegFile()).find("\"DBClickPlaySong\"=dword:00000001"), std::string::npos)
        << ReadFile(RegFile());
}

TEST_F(SettingsTest, AReadOnlyLogAndRegistryAreLeftAsTheyWere) {
    namespace fs = std::filesystem;
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    const std::string log = "[Error Log]\nold=entry\n";
    const std::string reg = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korvello]\n"
                            "\"DBClickPlaySong\"=dword:00000001\n";
    WriteFile(fx.InAppFolder("apces.cnt"), log);
    MakeDirs(fx.configHome + "/korvello");
    WriteFile(RegFile(), reg);
    fs::permissions(fx.InAppFolder("apces.cnt"), readOnly);
    fs::permissions(RegFile(), readOnly);
    {
        TFormMain form(*fx.platform, fx.dialogs);
        EXPECT_TRUE(form.PlayOnDoubleClick) << "a read-only registry is still read";
        form.SetPlayOnDoubleClick(false);
        form.show();
        form.close(); // WriteRegistry fails, and its log entry cannot be written either
    }
    EXPECT_EQ(ReadFile(fx.InAppFolder("apces.cnt")), log);
    EXPECT_EQ(ReadFile(RegFile()), reg);
    EXPECT_FALSE(Exists(RegFile() + ".damaged"));
}

} // namespace
