// SPDX-License-Identifier: GPL-3.0-or-later
// The library browser inside the real main window: the song table's fills and status
// texts, the category lists and their filters driven by real clicks, the search box and
// the selection commands.
#include "GridTestSupport.h"
#include "browser/SongColumns.h"
#include "core/FrmMain.h"
#include "platform/Text.h"
#include "support/AppFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Titles(const TFormMain& form) {
    std::vector<std::string> out;
    for (int r = 1; r < form.AdvStringGridSong->RowCount(); ++r)
        out.push_back(form.AdvStringGridSong->Cells(kTitleColumn, r));
    return out;
}

class SongBrowserTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::unique_ptr<TFormMain> form;

    void StartWith(const std::vector<DemoSong>& songs) {
        fx.MapDrive("e:", fx.MakeiPod("IPOD", songs));
        form = std::make_unique<TFormMain>(*fx.platform, fx.dialogs);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void Start() { StartWith(AppFixture::SampleSongs()); }

    int ListRow(TITunesStringGrid* list, const std::string& text) {
        for (int r = 0; r < list->RowCount(); ++r)
            if (list->Cells(kListEntryColumn, r) == text)
                return r;
        return -1;
    }
    void Search(const std::string& text) {
        form->Edit1->setText(QString::fromStdString(text));
        QTest::keyClick(form->Edit1, Qt::Key_Return);
    }
};

TEST_F(SongBrowserTest, TheFillShowsEverySongWithItsColumnsAndTheHiddenId) {
    Start();
    TITunesStringGrid* grid = form->AdvStringGridSong;
    EXPECT_THAT(Titles(*form),
                ElementsAre("Yesterday", "Blue Train", "Help", "So What", "Lost Song"));
    EXPECT_EQ(grid->Cells(kFileSizeColumn, 1),
              "0.00MB"); // 3000 bytes: cut after two decimals, no exponent
    EXPECT_EQ(grid->Cells(kAlbumColumn, 1), "Help");
    EXPECT_EQ(grid->Cells(kArtistColumn, 1), "The Beatles");
    EXPECT_EQ(grid->Cells(kFileTypeColumn, 3), "WAV audio file");
    EXPECT_EQ(grid->Cells(kComposerColumn, 4), "Miles Davis");
    EXPECT_EQ(grid->Cells(kSongIdColumn, 2), "102");
    EXPECT_EQ(grid->Cells(kFileSizeColumn, 5), "") << "the missing song has no size";
    EXPECT_EQ(grid->ColWidths(kSongIdColumn), 0);
    EXPECT_EQ(grid->ColWidths(kIconColumn), 16);
    EXPECT_EQ(grid->RowHeights(3), 16);
    EXPECT_EQ(form->StatusText(), "5 Files found in your iPod.");

    // The lists: sorted, one entry per name whatever its letter case, "All ..." first;
    // a song without a file type gives the file-type list a blank entry.
    EXPECT_EQ(form->ArtistList->Cells(kListEntryColumn, 0), "All ...");
    EXPECT_EQ(form->ArtistList->RowCount(), 4);
    EXPECT_EQ(form->ArtistList->Cells(kListEntryColumn, 1), "John Coltrane");
    EXPECT_EQ(form->ArtistList->Cells(kListEntryColumn, 3), "The Beatles");
    EXPECT_EQ(form->FileTypeList->Cells(kListEntryColumn, 1), "");
    EXPECT_EQ(form->AlbumList->RowCount(), 4);
}

TEST_F(SongBrowserTest, AnEmptyCatalogueLeavesTheHeaderAloneAndTheStatusAsItWas) {
    StartWith({});
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 1);
    EXPECT_EQ(form->StatusText(), "1 iPod detected.");
    EXPECT_EQ(form->ArtistList->RowCount(), 1);
    EXPECT_EQ(form->ArtistList->Cells(kListEntryColumn, 0), "All ...");
}

TEST_F(SongBrowserTest, ListClicksFilterTheSongTableAndClearTheOtherLists) {
    Start();
    TITunesStringGrid* artists = form->ArtistList;
    Click(*artists, ListRow(artists, "Miles Davis"));
    EXPECT_THAT(Titles(*form), ElementsAre("So What"));
    EXPECT_EQ(form->StatusText(), "Files by artist Miles Davis");

    // Artist names compare without regard to case: "The Beatles" finds "the beatles" too.
    Click(*artists, ListRow(artists, "The Beatles"));
    EXPECT_THAT(Titles(*form), ElementsAre("Yesterday", "Help"));

    // Two albums: both names in the status, joined by ",", songs in catalogue order.
    form->LumoButtonSmall2->click();
    EXPECT_TRUE(form->ArtistList->isHidden());
    EXPECT_FALSE(form->AlbumList->isHidden());
    TITunesStringGrid* albums = form->AlbumList;
    Click(*albums, ListRow(albums, "Kind of Blue"));
    Click(*albums, ListRow(albums, "Blue Train"), Qt::ControlModifier);
    EXPECT_THAT(Titles(*form), ElementsAre("Blue Train", "So What", "Lost Song"));
    EXPECT_EQ(form->StatusText(), "Files in album Blue Train,Kind of Blue");
    // The album click cleared the artist list's entry marks.
    EXPECT_EQ(artists->MarkedRowCount(), 0);

    // A right click adds to the album marks without clearing another list.
    artists->SetRowMarked(ListRow(artists, "Miles Davis"), true);
    QTest::mousePress(albums->viewport(), Qt::RightButton, {},
                      CellPos(*albums, ListRow(albums, "Help")));
    QTest::mouseRelease(albums->viewport(), Qt::RightButton, {},
                        CellPos(*albums, ListRow(albums, "Help")));
    EXPECT_THAT(Titles(*form),
                ElementsAre("Yesterday", "Blue Train", "Help", "So What", "Lost Song"));
    EXPECT_EQ(artists->MarkedRowCount(), 1);
    if (QMenu* menu = form->SunPopupMenuAlbum)
        menu->hide();

    // Ctrl+clicking every mark away leaves the song table as it was.
    for (int r = 1; r < albums->RowCount(); ++r)
        albums->SetRowMarked(r, r == 1);
    Click(*albums, 1, Qt::ControlModifier);
    EXPECT_EQ(albums->MarkedRowCount(), 0);
    EXPECT_EQ(Titles(*form).size(), 5u);
}

TEST_F(SongBrowserTest, AllEntryInAnyCaseAndFilterResultsOfTheFileTypeList) {
    StartWith({{1, "One", "All ...", "A", "", "MPEG audio file", "", "", "F00/1.mp3", 10},
               {2, "Two", "Other", "B", "", "WAV audio file", "", "", "F00/2.wav", 10},
               {3, "Three", "Other", "C", "", "", "", "", "F00/3.mp3", 10}});
    TITunesStringGrid* albums = form->AlbumList;
    form->LumoButtonSmall2->click();
    // An album that happens to be called "All ..." behaves like the "All ..." row.
    Click(*albums, ListRow(albums, "Other"));
    EXPECT_THAT(Titles(*form), ElementsAre("Two", "Three"));
    Click(*albums, ListRow(albums, "All ..."), Qt::ControlModifier);
    EXPECT_EQ(Titles(*form).size(), 3u);
    EXPECT_EQ(form->StatusText(), "3 Files found in your iPod.");

    // The file-type status names only the first marked entry; the blank entry finds the
    // songs without a type.
    TITunesStringGrid* types = form->FileTypeList;
    form->LumoButtonSmall3->click();
    Click(*types, ListRow(types, "MPEG audio file"));
    Click(*types, ListRow(types, "WAV audio file"), Qt::ControlModifier);
    EXPECT_THAT(Titles(*form), ElementsAre("One", "Two"));
    EXPECT_EQ(form->StatusText(), "MPEG audio file Files");
    Click(*types, 1); // the blank entry sorts first
    EXPECT_THAT(Titles(*form), ElementsAre("Three"));
    EXPECT_EQ(form->StatusText(), " Files");

    // Album names that match no song leave n blank rows under the header.
    const std::vector<std::string> none{"Nothing"};
    form->DisPlaySongs(SongListMode::AlbumSongs, &none);
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 4);
    EXPECT_THAT(Titles(*form), ElementsAre("", "", ""));
}

TEST_F(SongBrowserTest, ListCommandsMarkFromTheSecondEntryOn) {
    Start();
    TITunesStringGrid* artists =
        form->ArtistList; // All ..., John Coltrane, Miles Davis, The Beatles
    artists->SetRowMarked(0, true);
    form->ClearSelectListClick(artists);
    EXPECT_TRUE(artists->RowMarked(0)) << "Clear Select keeps All ...";
    artists->SetRowMarked(0, false);

    form->SelectAllListClick(artists);
    EXPECT_FALSE(artists->RowMarked(0));
    EXPECT_FALSE(artists->RowMarked(1)) << "the first entry keeps its mark";
    EXPECT_TRUE(artists->RowMarked(2));
    EXPECT_TRUE(artists->RowMarked(3));
    EXPECT_THAT(Titles(*form), ElementsAre("Yesterday", "Help", "So What"));

    form->InvertSelectListClick(artists);
    EXPECT_EQ(artists->MarkedRowCount(), 0);
    // Ctrl+A in a list is its Select All.
    artists->setFocus();
    QTest::keyClick(artists, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(artists->MarkedRowCount(), 2);
}

TEST_F(SongBrowserTest, SearchNeedsEveryWordInOneFieldAndObeysTheBlankRules) {
    Start();
    EXPECT_TRUE(TFormMain::SearchFunc("Blue  Tr", "Blue Train"));
    EXPECT_TRUE(TFormMain::SearchFunc("  Train Blue ", "Blue Train"));
    EXPECT_FALSE(TFormMain::SearchFunc("blue", "Blue Train")) << "letter case counts";
    EXPECT_FALSE(TFormMain::SearchFunc("Blue Miles", "Blue Train"));
    EXPECT_TRUE(TFormMain::SearchFunc("", "anything"));

    Search("Kind Blue");
    EXPECT_THAT(Titles(*form), ElementsAre("So What", "Lost Song"));
    // Words spread over the title and the artist do not find the song.
    Search("Yesterday Beatles");
    EXPECT_THAT(Titles(*form), ElementsAre(""));
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 2) << "nothing found: the empty state";
    EXPECT_EQ(form->StatusText(), "5 Files found in your iPod.") << "a search keeps the status";

    Search("So W"); // second-to-last character is a blank: not searched
    EXPECT_THAT(Titles(*form), ElementsAre(""));
    Search("Help "); // only the last is a blank: searched
    EXPECT_THAT(Titles(*form), ElementsAre("Yesterday", "Help"));
    Search("Y"); // one character
    EXPECT_THAT(Titles(*form), ElementsAre("Yesterday"));
    Search(" "); // one blank: not searched
    EXPECT_THAT(Titles(*form), ElementsAre("Yesterday"));
    Search("Miles   Davis"); // composer field
    EXPECT_THAT(Titles(*form), ElementsAre("So What"));
}

TEST_F(SongBrowserTest, SelectionCountsAndTheSongMenu) {
    Start();
    TITunesStringGrid* grid = form->AdvStringGridSong;
    form->ClearSelectSongClick();
    EXPECT_EQ(form->StatusText(), "0 file Selected");
    Click(*grid, 2);
    EXPECT_EQ(form->StatusText(), "1 file Selected");
    Click(*grid, 4, Qt::ControlModifier);
    EXPECT_EQ(form->StatusText(), "2 files Selected");
    form->InvertSelectSongClick();
    EXPECT_EQ(form->StatusText(), "3 files Selected");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form->StatusText(), "5 files Selected");

    // A marked blank row is not counted.
    const std::vector<std::string> none{"zzz"};
    form->DisPlaySongs(SongListMode::SearchSongs, &none);
    grid->SetRowMarked(1, true);
    form->ShowSelectedCount();
    EXPECT_EQ(form->StatusText(), "0 file Selected");

    form->SunPopupMenuSongsPopup();
    EXPECT_TRUE(form->CopyoutSong->isEnabled());
    EXPECT_FALSE(form->StopCopyOut->isEnabled());
    form->CopyRunning = true;
    form->SunPopupMenuSongsPopup();
    EXPECT_FALSE(form->CopyoutSong->isEnabled());
    EXPECT_TRUE(form->StopCopyOut->isEnabled());
    // While copying, the lists and the search leave the song table alone.
    Search("Help");
    EXPECT_THAT(Titles(*form), ElementsAre(""));
    Click(*form->ArtistList, 1);
    EXPECT_EQ(form->ArtistList->MarkedRowCount(), 1);
    EXPECT_THAT(Titles(*form), ElementsAre(""));
    form->CopyRunning = false;
}

TEST_F(SongBrowserTest, MarksStayAtTheirPositionsThroughASortAndAListReload) {
    Start();
    TITunesStringGrid* grid = form->AdvStringGridSong;
    grid->SetRowMarked(1, true);
    // A header click on Title sorts ascending.
    QHeaderView* header = grid->horizontalHeader();
    const int x = header->sectionViewportPosition(1) + header->sectionSize(1) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_THAT(Titles(*form),
                ElementsAre("Blue Train", "Help", "Lost Song", "So What", "Yesterday"));
    EXPECT_TRUE(grid->RowMarked(1));
    // A refill brings catalogue order back and clears the filled rows' marks.
    form->DisPlaySongs(SongListMode::AllSongs, nullptr);
    EXPECT_EQ(Titles(*form).front(), "Yesterday");
    EXPECT_EQ(grid->MarkedRowCount(), 0);

    form->ArtistList->SetRowMarked(2, true);
    form->DisPlayOther();
    EXPECT_TRUE(form->ArtistList->RowMarked(2));
}

// Select All and Invert Select in the album list filter by thousands of names at once; the
// rows must be those that comparing every song with every marked name would give, with
// names that differ only by case, accents, width or ligatures.
TEST_F(SongBrowserTest, ListFiltersOverManyNamesShowWhatComparingEachPairShows) {
    const char* const spellings[] = {"Rock",
                                     "rock",
                                     "ROCK",
                                     "Café",
                                     "CAFE\xCC\x81",
                                     "cafe",
                                     "\xEF\xBC\xB2\xEF\xBD\x8F\xEF\xBD\x83\xEF\xBD\x8B",
                                     "\xEF\xAC\x81ne",
                                     "Fine",
                                     "Straße",
                                     "STRASSE",
                                     "Ærø",
                                     "東京",
                                     ""};
    std::vector<DemoSong> songs;
    for (int i = 0; i < 240; ++i) {
        const std::string album = i % 3 == 0 ? std::string(spellings[i % std::size(spellings)])
                                             : "Album " + std::to_string(i % 97);
        songs.push_back({i + 1, "Song " + std::to_string(i), album, "Artist", "", "MPEG audio file",
                         "", "", "", 0});
    }
    StartWith(songs);
    TITunesStringGrid* albums = form->AlbumList;
    TITunesStringGrid* grid = form->AdvStringGridSong;

    auto expected = [&] {
        std::vector<std::string> marked;
        for (int r = 1; r < albums->RowCount(); ++r)
            if (albums->RowMarked(r))
                marked.push_back(albums->Cells(kListEntryColumn, r));
        std::vector<std::string> titles;
        for (const DemoSong& song : songs)
            for (const std::string& name : marked)
                if (fx.platform->CompareText(song.album, name) == 0) {
                    titles.push_back(song.title);
                    break;
                }
        return titles;
    };

    form->SelectAllListClick(albums);
    ASSERT_GT(albums->MarkedRowCount(), 50);
    std::vector<std::string> want = expected();
    ASSERT_GT(want.size(), 150u);
    EXPECT_EQ(Titles(*form), want);

    // Invert Select over a scattered set of marks.
    form->ClearSelectListClick(albums);
    for (int r = 1; r < albums->RowCount(); r += 3)
        albums->SetRowMarked(r, true);
    form->InvertSelectListClick(albums);
    want = expected();
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(Titles(*form), want);
    EXPECT_EQ(grid->RowCount(), static_cast<int>(want.size()) + 1);
}

TEST_F(SongBrowserTest, DoubleClickPlaysTheSongOfThatTitleOnlyWhenAllowed) {
    Start();
    TITunesStringGrid* grid = form->AdvStringGridSong;
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 1));
    EXPECT_TRUE(fx.opened.empty()) << "playing on double click is off by default";

    form->SetPlayOnDoubleClick(true);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 3));
    ASSERT_EQ(fx.opened.size(), 1u);
    EXPECT_TRUE(fx.opened[0].ends_with("/IPOD/iPod_Control/Music/F00/CCCC.wav")) << fx.opened[0];

    // The iPod goes away: nothing is opened, and the log says why.
    fx.UnmapDrive("e:");
    fx.platform->PollDeviceArrival();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, CellPos(*grid, 3));
    EXPECT_EQ(fx.opened.size(), 1u);
    EXPECT_NE(fx.Log().find("PlaySong:Cannot play e:\\iPod_Control\\Music\\F00\\CCCC.wav: its "
                            "drive e: is not attached"),
              std::string::npos)
        << fx.Log();
    fx.MapDrive("e:", fx.tmp / "IPOD");
    fx.platform->PollDeviceArrival();

    // A hidden column comes back at its start-up width with the next refill.
    grid->SetColWidths(kArtistColumn, 0);
    Click(*form->ArtistList, 0);
    EXPECT_EQ(grid->ColWidths(kArtistColumn), 80);
}

} // namespace
} // namespace korvello::test
