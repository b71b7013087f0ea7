// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with later iPods: a nano 7G (iTunesCDB alone) loads and is backed up
// from the file it was read from, and a volume with iPod_Control\iTunes but nothing the
// program can read says so on the status line and in the log, on start-up and on a choice.
#include "core/FrmMain.h"
#include "itdb/ITunesDbWriter.h"
#include "support/AppFixture.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

constexpr const char* kNoDatabase = "No readable music database on this iPod";

// Turns an iPod folder's iTunesDB into the iTunesCDB of a nano 7G.
void MakeNano7G(const std::string& ipod) {
    const std::string plain = ipod + "/iPod_Control/iTunes/iTunesDB";
    const std::string text = ReadFile(plain);
    itdb::WriteBytes(ipod + "/iPod_Control/iTunes/iTunesCDB",
                     itdb::Compress(std::vector<std::uint8_t>(text.begin(), text.end())));
    std::filesystem::remove(plain);
}

} // namespace

TEST(LaterIpodWindow, ANano7GLoadsAndItsITunesCdbIsBackedUp) {
    AppFixture fx;
    const std::string ipod = fx.MakeiPod("NANO", AppFixture::SampleSongs());
    MakeNano7G(ipod);
    fx.MapDrive("e:", ipod);
    TFormMain form(*fx.platform, fx.dialogs);
    form.show();

    EXPECT_EQ(form.iPod.SongCount(), 5);
    EXPECT_EQ(form.StatusText(), "5 Files found in your iPod.");
    EXPECT_EQ(ReadFile(fx.InAppFolder("Idb.ant")),
              ReadFile(ipod + "/iPod_Control/iTunes/iTunesCDB"));
    EXPECT_EQ(fx.Log(), "");
}

TEST(LaterIpodWindow, NoReadableDatabaseIsSaidOnTheStatusLineAndLogged) {
    AppFixture fx;
    const std::string touch = fx.tmp / "TOUCH";
    MakeDirs(touch + "/iPod_Control/iTunes/iTunes Library.itlp");
    fx.MapDrive("e:", touch);
    TFormMain form(*fx.platform, fx.dialogs);
    form.show();

    EXPECT_EQ(form.StatusText(), kNoDatabase);
    EXPECT_EQ(form.iPod.SongCount(), 0);
    EXPECT_NE(fx.Log().find("LoadDatabase:No readable music database in "
                            "e:\\iPod_Control\\iTunes (it keeps its music in an SQLite library"),
              std::string::npos)
        << fx.Log();
    EXPECT_EQ(fx.dialogs.Count("error"), 0);

    // A second iPod with songs, chosen in the selector, loads as usual; choosing the
    // unreadable one again says so again.
    fx.MapDrive("f:", fx.MakeiPod("IPOD", AppFixture::SampleSongs()));
    form.WMDeviceChange(DBT_DEVICEARRIVAL);
    EXPECT_EQ(form.StatusText(), kNoDatabase); // the reload is still of e:
    form.iPodSelectorCom->setCurrentIndex(1);
    form.iPodSelectorComCloseUp();
    EXPECT_EQ(form.iPod.SongCount(), 5);
    EXPECT_EQ(form.StatusText(), "5 Files found in your iPod.");
    // An empty iTunesDB on e: now: the table empties and the status says why.
    itdb::WriteBytes(touch + "/iPod_Control/iTunes/iTunesDB", {});
    form.iPodSelectorCom->setCurrentIndex(0);
    form.iPodSelectorComCloseUp();
    EXPECT_EQ(form.iPod.SongCount(), 0);
    EXPECT_EQ(form.StatusText(), kNoDatabase);
}
