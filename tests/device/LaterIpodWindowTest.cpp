// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with later iPods: a nano 7G (iTunesCDB alone) loads and is backed up
// from the file it was read from, and a volume with iPod_Control\iTunes but nothing the
// program can read says so on the status line and in the log, on start-up and on a choice.
#include "browser/ITunesStringGrid.h"
#include "core/FrmMain.h"
#include "itdb/ITunesDbWriter.h"
#include "support/AppFixture.h"
#include "support/ForwardingPlatform.h"
#include "support/PumpUntil.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <filesystem>
#include <new>

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

// Memory runs out while the songs of drive f: are looked up, as it would reading a huge
// database on a small machine.
class MemoryRunsOutOnF : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::optional<std::int64_t> FindFile(const std::string& path) override {
        if (path.rfind("f:\\iPod_Control\\Music", 0) == 0)
            throw std::bad_alloc();
        return ForwardingPlatform::FindFile(path);
    }
};

} // namespace

TEST(LaterIpodWindow, AnIpodWhoseLoadFailsShowsNoSongsAndADamagedOneSaysSo) {
    AppFixture fx;
    fx.MapDrive("e:", fx.MakeiPod("IPOD", AppFixture::SampleSongs()));
    const std::string other = fx.MakeiPod("OTHER", AppFixture::SampleSongs());
    fx.MapDrive("f:", other);
    MemoryRunsOutOnF platform(*fx.platform);
    TFormMain form(platform, fx.dialogs);
    form.show();
    ASSERT_EQ(form.iPod.SongCount(), 5);
    ASSERT_EQ(form.iPodSelectorCom->count(), 2);

    // Choosing f: shows none of e:'s songs under it, and says why.
    form.iPodSelectorCom->setCurrentIndex(1);
    form.iPodSelectorComCloseUp();
    EXPECT_EQ(form.iPod.SongCount(), 0);
    EXPECT_EQ(form.AdvStringGridSong->RowCount(), 1);
    EXPECT_EQ(form.StatusText(), kNoDatabase);
    EXPECT_NE(fx.Log().find("LoadDatabase:No readable music database in f:\\iPod_Control\\iTunes "
                            "(its iTunesDB cannot be read: there is not enough memory"),
              std::string::npos)
        << fx.Log();

    // e: cut short: the songs that were read are shown, and the status line says how many
    // are missing.
    const std::string db = ReadFile(fx.tmp / "IPOD/iPod_Control/iTunes/iTunesDB");
    const std::size_t firstTrack = 0xF4 + 0x60 + 0x5C;
    WriteFile(fx.tmp / "IPOD/iPod_Control/iTunes/iTunesDB", db.substr(0, firstTrack + 700));
    form.iPodSelectorCom->setCurrentIndex(0);
    form.iPodSelectorComCloseUp();
    const std::int32_t read = form.iPod.SongCount();
    EXPECT_LT(read, 5);
    EXPECT_EQ(form.AdvStringGridSong->RowCount(), read + 1);
    EXPECT_EQ(form.StatusText(), "Damaged database: " + std::to_string(read) + " of 5 songs read.");
    EXPECT_NE(fx.Log().find("The iPod's music database is damaged: " + std::to_string(read) +
                            " of 5 songs could be read."),
              std::string::npos)
        << fx.Log();
}

TEST(LaterIpodWindow, ANano7GLoadsAndItsITunesCdbIsBackedUp) {
    AppFixture fx;
    const std::string ipod = fx.MakeiPod("NANO", AppFixture::SampleSongs());
    MakeNano7G(ipod);
    fx.MapDrive("e:", ipod);
    TFormMain form(*fx.platform, fx.dialogs);
    form.show();

    EXPECT_EQ(form.iPod.SongCount(), 5);
    EXPECT_EQ(form.StatusText(), "5 Files found in your iPod.");
    ASSERT_TRUE(PumpUntil([&] { return form.BackupFinished(); }));
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
