// The two settings of organised copies: how copies are named and whether songs already
// copied are skipped. They live in the registry key beside the two flags.
#include "core/FrmMain.h"
#include "settings/SettingsStore.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

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

} // namespace
