// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with an iPod that has no database: its songs are read from their files,
// the status line says so, and the next start takes them from the cache.
#include "browser/ITunesStringGrid.h"
#include "core/FrmMain.h"
#include "support/AppFixture.h"
#include "tags/AudioFiles.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvello;
using namespace korvello::test;

TEST(FileSongsWindow, WithoutDatabaseTheSongsOfTheFilesAreShownAndCached) {
    if (const std::string missing = MissingAudioTools(); !missing.empty())
        GTEST_SKIP() << missing;
    AppFixture fx;
    const std::string ipod = fx.tmp / "IPOD";
    MakeDirs(ipod + "/iPod_Control/iTunes");
    for (const auto& [file, tags, seed] : {std::tuple{"F00/AAAA.mp3", "title=Alpha artist=Ann", 0},
                                           std::tuple{"F01/BBBB.mp3", "title=Beta artist=Bo", 1}}) {
        const std::string path = ipod + "/iPod_Control/Music/" + file;
        MakeDirs(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(MakeSong(path, "mp3", seed));
        ASSERT_TRUE(SetTagsWithMutagen(path, tags));
    }
    fx.MapDrive("e:", ipod);

    {
        TFormMain form(*fx.platform, fx.dialogs);
        form.show();
        ASSERT_EQ(form.iPod.SongCount(), 2);
        EXPECT_EQ(form.AdvStringGridSong->RowCount(), 3);
        EXPECT_EQ(form.StatusText(), "No database: 2 songs read from files.");
        EXPECT_EQ(form.LastScanTagsRead, 2);
        EXPECT_FALSE(form.ScanRunning);
        EXPECT_EQ(form.ButtonCopy->text(), QStringLiteral("Copy"));
        EXPECT_NE(fx.Log().find("No music database on this iPod: 2 songs read from their files."),
                  std::string::npos)
            << fx.Log();
        // The artist list is built from the files' tags.
        EXPECT_EQ(form.iPod.GetArtists(), (std::vector<std::string>{"Ann", "Bo"}));
    }

    // The next start reads no tag.
    TFormMain again(*fx.platform, fx.dialogs);
    again.show();
    EXPECT_EQ(again.iPod.SongCount(), 2);
    EXPECT_EQ(again.LastScanTagsRead, 0);
    EXPECT_EQ(again.StatusText(), "No database: 2 songs read from files.");
}

TEST(FileSongsWindow, TheSettingAddsTheFilesTheDatabaseDoesNotNameAtOnce) {
    AppFixture fx;
    const std::string ipod = fx.MakeiPod("IPOD", AppFixture::SampleSongs());
    WriteFile(ipod + "/iPod_Control/Music/F03/ZZZZ.mp3", std::string(700, 'z'));
    fx.MapDrive("e:", ipod);
    TFormMain form(*fx.platform, fx.dialogs);
    form.show();
    ASSERT_EQ(form.iPod.SongCount(), 5);
    EXPECT_EQ(form.LastScanTagsRead, 0) << "nothing is read without the setting";

    form.SetListUnlistedFiles(true);
    ASSERT_EQ(form.iPod.SongCount(), 6);
    EXPECT_EQ(form.AdvStringGridSong->RowCount(), 7);
    const TSong& added = form.iPod.SongAt(5);
    // Not a song any reader can make sense of: listed by its name and size.
    EXPECT_EQ(added.Title, u"ZZZZ");
    EXPECT_EQ(added.FileBytes, 700);
    EXPECT_EQ(added.Source, TSong::TSource::Files);
    EXPECT_NE(fx.Log().find("ZZZZ.mp3"), std::string::npos) << fx.Log();

    form.SetListUnlistedFiles(false);
    EXPECT_EQ(form.iPod.SongCount(), 5);
    EXPECT_EQ(form.AdvStringGridSong->RowCount(), 6);
}
