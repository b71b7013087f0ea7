// SPDX-License-Identifier: GPL-3.0-or-later
// The exports from the copy report's popup menu: "Save iPod playlists..." asks for a folder
// and says what it wrote, "Save library file..." asks for a file; both after a real job of
// the main window, and on a catalogue with playlists handed to the report.
#include "browser/ITunesStringGrid.h"
#include "copyout/FrmReport.h"
#include "copyout/ResultTexts.h"
#include "core/FrmMain.h"
#include "support/AppFixture.h"
#include "support/LibraryCheck.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>

#include <gtest/gtest.h>

#include <filesystem>

namespace korvello::test {
namespace {

namespace fs = std::filesystem;

QAction* Item(TFormReport& report, const char* name) {
    return report.SunPopupreport->findChild<QAction*>(QString::fromLatin1(name));
}

// The report of a job of three songs (one copied, one found already copied, one not
// found) over a catalogue of four songs with two playlists.
class ReportExportTest : public ::testing::Test {
protected:
    ReportExportTest() : report(*fx.platform, nullptr) {
        MakeDirs(fx.root + "/My Music/lists");
        for (const char16_t* title : {u"Jóga", u"Army of Me", u"Hunter", u"Isobel"}) {
            TSong song;
            song.Title = title;
            song.Artist = u"Björk";
            song.PlayCount = 7;
            songs.push_back(song);
        }
        TPlaylist roadTrip;
        roadTrip.Name = u"Road Trip";
        roadTrip.Songs = {3, 1, 0, 2};
        TPlaylist lonely;
        lonely.Name = u"Lonely";
        lonely.Songs = {2};
        TPlaylist otg;
        otg.Name = u"On-The-Go 1";
        otg.Kind = TPlaylist::TKind::OnTheGo;
        otg.Songs = {0};
        playlists = {roadTrip, lonely, otg};
        report.Catalogue.songCount = 4;
        report.Catalogue.songAt = [this](std::int32_t i) -> const TSong& {
            return songs[static_cast<std::size_t>(i)];
        };
        report.Catalogue.playlists = &playlists;
        report.TitleList = &titles;
        report.TargetList = &targets;
        report.FoundList = &found;
        report.PositionList = &songOfEntry;
        report.JobFolder = "c:\\My Music";
        report.Dialogs = &fx.dialogs;
    }

    AppFixture fx;
    TFormReport report;
    std::vector<TSong> songs;
    std::vector<TPlaylist> playlists;
    std::vector<std::string> titles = {"Jóga", "Army of Me", "Hunter"};
    std::vector<std::string> targets = {"c:\\My Music\\Jóga.mp3", kAlreadyCopied, kSongNotFound};
    std::vector<std::string> found = {"", "c:\\My Music\\Army of Me.mp3", ""};
    std::vector<std::int32_t> songOfEntry = {0, 1, 2};
};

TEST_F(ReportExportTest, SaveIpodPlaylistsAsksForAFolderAndSaysWhatItWrote) {
    const QList<QAction*> actions = report.SunPopupreport->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[1]->text(), "Save playlist...");
    EXPECT_EQ(actions[2]->text(), "Save iPod playlists...");
    EXPECT_EQ(actions[3]->text(), "Save library file...");

    Item(report, "SaveIpodPlaylists")->trigger(); // cancelled
    ASSERT_EQ(fx.dialogs.calls.size(), 1u);
    EXPECT_EQ(fx.dialogs.calls[0].kind, "folder");
    EXPECT_EQ(fx.dialogs.calls[0].title, "Save iPod playlists");
    EXPECT_EQ(fx.dialogs.calls[0].text, fx.root + "/My Music") << "the job's folder is proposed";
    EXPECT_TRUE(fs::is_empty(fx.root + "/My Music/lists"));

    fx.dialogs.folders.push_back(fx.root + "/My Music/lists");
    Item(report, "SaveIpodPlaylists")->trigger();
    ASSERT_EQ(fx.dialogs.calls.back().kind, "info");
    EXPECT_EQ(fx.dialogs.calls.back().text,
              "2 playlists written, 2 of their songs not in this job, 1 playlist without "
              "songs of this job.");
    EXPECT_EQ(ReadFile(fx.root + "/My Music/lists/Road Trip.m3u8"),
              "#EXTM3U\n#EXTINF:-1,Björk - Army of Me\n../Army of Me.mp3\n"
              "#EXTINF:-1,Björk - Jóga\n../Jóga.mp3\n");
    EXPECT_TRUE(Exists(fx.root + "/My Music/lists/On-The-Go 1.m3u8"));
    EXPECT_FALSE(Exists(fx.root + "/My Music/lists/Lonely.m3u8"));
}

TEST_F(ReportExportTest, SaveLibraryFileProposesTheJobsFolderAndAsksBeforeReplacing) {
    const std::string library = fx.root + "/My Music/iTunes Music Library.xml";
    fx.dialogs.saves.push_back(library);
    Item(report, "SaveLibraryFile")->trigger();
    ASSERT_GE(fx.dialogs.calls.size(), 2u);
    EXPECT_EQ(fx.dialogs.calls[0].kind, "save");
    EXPECT_EQ(fx.dialogs.calls[0].text, library);
    EXPECT_EQ(fx.dialogs.calls[0].extra, ".xml");
    EXPECT_EQ(fx.dialogs.calls.back().text, "Library file written: 2 songs, 2 playlists.");
    WriteFile(fx.tmp / "expected.json",
              "{\"tracks\": {" + JsonString(fx.root + "/My Music/Jóga.mp3") +
                  ": {\"Name\": \"Jóga\", \"Artist\": \"Björk\", \"Play Count\": 7}, " +
                  JsonString(fx.root + "/My Music/Army of Me.mp3") +
                  ": {\"Name\": \"Army of Me\", \"Artist\": \"Björk\", \"Play Count\": 7}}}");
    const LibraryCheck check = CheckLibrary(library, fx.tmp / "expected.json");
    EXPECT_EQ(check.status, 0) << check.output;

    const std::string written = ReadFile(library);
    fx.dialogs.saves.push_back(library);
    fx.dialogs.answers.push_back(IDialogs::Answer::No);
    songs[0].PlayCount = 8;
    Item(report, "SaveLibraryFile")->trigger();
    EXPECT_EQ(fx.dialogs.calls.back().kind, "ask");
    EXPECT_EQ(ReadFile(library), written);
}

// A place the user picked that no drive of the program holds ends the command: nothing is
// written there or anywhere, and the log names the place.
TEST_F(ReportExportTest, APlaceNoDriveHoldsEndsEitherExport) {
    TLogClass::SetAppFolder("c:\\");
    const std::string outside = fx.tmp / "outside"; // beside c:, on no drive
    MakeDirs(outside);
    // Two messages within a second share a key: each is read before the next.
    fx.dialogs.saves.push_back(outside + "/Library.xml");
    Item(report, "SaveLibraryFile")->trigger();
    const std::string log = ReadFile(fx.root + "/apces.cnt");
    EXPECT_NE(log.find("=SaveLibraryFileClick:no drive holds " + outside + "/Library.xml\n"),
              std::string::npos)
        << log;
    fx.dialogs.folders.push_back(outside);
    Item(report, "SaveIpodPlaylists")->trigger();
    EXPECT_NE(ReadFile(fx.root + "/apces.cnt")
                  .find("=SaveIpodPlaylistsClick:no drive holds " + outside + "\n"),
              std::string::npos)
        << ReadFile(fx.root + "/apces.cnt");
    ASSERT_EQ(fx.dialogs.calls.size(), 2u)
        << "no question, no message: " << fx.dialogs.calls.back().text;
    EXPECT_EQ(fx.dialogs.calls[0].kind, "save");
    EXPECT_EQ(fx.dialogs.calls[1].kind, "folder");
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_TRUE(fs::is_empty(fx.root + "/My Music/lists"));
}

// A real job of the main window: its entries know their songs, so the library file holds
// every copy.
TEST(MainWindowExport, TheLibraryOfAJobNamesEveryCopy) {
    AppFixture fx;
    std::vector<DemoSong> demo;
    for (int i = 0; i < 3; ++i) {
        DemoSong s;
        s.id = 20 + i;
        s.title = "Song " + std::to_string(i);
        s.artist = "Band";
        s.file = "F00/S" + std::to_string(i) + ".mp3";
        s.bytes = 1000 + static_cast<std::size_t>(i);
        demo.push_back(s);
    }
    fx.MapDrive("e:", fx.MakeiPod("IPOD", demo));
    const std::string out = fx.root + "/Out";
    MakeDirs(out);
    TFormMain form(*fx.platform, fx.dialogs);
    TFormReport report(*fx.platform, &form);
    form.SetForms(nullptr, &report);
    form.show();
    bool reported = false;
    fx.dialogs.onModal = [&](QWidget*) {
        reported = true;
        fx.dialogs.saves.push_back(out + "/Library.xml");
        Item(report, "SaveLibraryFile")->trigger();
    };
    for (int row = 1; row < form.AdvStringGridSong->RowCount(); ++row)
        form.AdvStringGridSong->SetRowMarked(row, true);
    fx.dialogs.saves.push_back(out + "/x.mp3");
    form.ButtonCopyClick();
    QElapsedTimer timer;
    timer.start();
    while ((!reported || form.CopyRunning) && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(reported) << "the job did not end";
    std::string expected = "{\"tracks\": {";
    for (int i = 0; i < 3; ++i)
        expected += (i == 0 ? "" : ", ") + JsonString(out + "/Song " + std::to_string(i) + ".mp3") +
                    ": {\"Name\": \"Song " + std::to_string(i) + "\"}";
    WriteFile(fx.tmp / "expected.json", expected + "}}");
    const LibraryCheck check =
        CheckLibrary(out + "/Library.xml", fx.tmp / "expected.json", "--exist --some-keys");
    EXPECT_EQ(check.status, 0) << check.output;
}

} // namespace
} // namespace korvello::test
