// SPDX-License-Identifier: GPL-3.0-or-later
// Wires the song table, the category lists, their popup menus and the search box to the
// main window's handlers, and gives the tables their looks.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "core/FrmMain.h"
#include "ui/SunPopupMenu.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace korvello {

void TFormMain::ConnectBrowser() {
    playIcon_ = Image2->pixmap();
    ConnectSongTable();
    BuildSongMenu();
    ConnectCategoryLists();
    ConnectListTabs();
    // The search box's Enter reaches Edit1KeyDown through the window's event filter.
    Edit1->installEventFilter(this);
}

void TFormMain::ConnectSongTable() {
    TITunesStringGrid* songs = AdvStringGridSong;
    songs->SetColCount(kSongColumnCount);
    songs->SetFixedRows(1);
    songs->SetFixedCols(1);
    songs->SetColumnsResizable(true);
    songs->SetScrollBarsBoth(true);
    songs->SetCellTextColor(palette().color(QPalette::Shadow));
    songs->SetTextsSource([this](std::int32_t index, std::vector<std::string>& texts) {
        SongRowTexts(index, texts);
    });
    songs->OnCanSort = [this](int col, bool& allow) {
        AdvStringGridSongCanSort(col, allow);
    };
    songs->OnRightClickCell = [this](int row, int col) {
        AdvStringGridSongRightClickCell(row, col);
    };
    songs->OnMouseUp = [this](Qt::MouseButton) {
        AdvStringGridSongMouseUp();
    };
    songs->OnKeyDown = [this](int key, Qt::KeyboardModifiers m) {
        AdvStringGridSongKeyDown(key, m);
    };
    songs->OnDblClickCell = [this](int row, int col) {
        AdvStringGridSongDblClickCell(row, col);
    };
}

// The song table's popup menu: Copy, Stop and the three selection commands.
void TFormMain::BuildSongMenu() {
    SunPopupMenuSongs = new TSunPopupMenu(AdvStringGridSong);
    SunPopupMenuSongs->setObjectName(QStringLiteral("SunPopupMenuSongs"));
    CopyoutSong =
        SunPopupMenuSongs->addAction(QStringLiteral("Copy"), this, [this] { CopyoutSongClick(); });
    CopyoutSong->setObjectName(QStringLiteral("CopyoutSong"));
    StopCopyOut =
        SunPopupMenuSongs->addAction(QStringLiteral("Stop"), this, [this] { StopCopyOutClick(); });
    StopCopyOut->setObjectName(QStringLiteral("StopCopyOut"));
    SunPopupMenuSongs
        ->addAction(QStringLiteral("Select All"), this, [this] { SelectAllSongClick(); })
        ->setObjectName(QStringLiteral("SelectAllSong"));
    SunPopupMenuSongs
        ->addAction(QStringLiteral("Invert Select"), this, [this] { InvertSelectSongClick(); })
        ->setObjectName(QStringLiteral("InvertSelectSong"));
    SunPopupMenuSongs
        ->addAction(QStringLiteral("Clear Select"), this, [this] { ClearSelectSongClick(); })
        ->setObjectName(QStringLiteral("ClearSelectSong"));
    connect(SunPopupMenuSongs, &QMenu::aboutToShow, this, [this] { SunPopupMenuSongsPopup(); });
    AdvStringGridSong->SetPopupMenu(SunPopupMenuSongs);
}

void TFormMain::ConnectCategoryLists() {
    struct ListSetup {
        TITunesStringGrid* list;
        QMenu** menu;
        const char* menuName;
        const char* itemPrefix;
        void (TFormMain::*click)();
    };
    const ListSetup lists[] = {
        {ArtistList, &SunPopupMenuArtist, "SunPopupMenuArtist", "Artist",
         &TFormMain::ArtistListClick},
        {AlbumList, &SunPopupMenuAlbum, "SunPopupMenuAlbum", "Album", &TFormMain::AlbumListClick},
        {FileTypeList, &SunPopupMenuFileType, "SunPopupMenuFileType", "FileType",
         &TFormMain::FileTypeListClick}};
    for (const ListSetup& s : lists) {
        ConnectCategoryList(s.list, s.click);
        *s.menu = BuildListMenu(s.list, s.menuName, s.itemPrefix);
    }
}

void TFormMain::ConnectCategoryList(TITunesStringGrid* list, void (TFormMain::*click)()) {
    list->SetColCount(kListColumnCount);
    list->SetFixedRows(0);
    list->SetFixedCols(0);
    list->SetColumnsResizable(list == ArtistList);
    list->SetScrollBarsBoth(false);
    list->SetCellTextColor(Qt::black);
    list->OnClick = [this, click] {
        (this->*click)();
    };
    list->OnMouseUp = [this, list](Qt::MouseButton) {
        ListFilter(list);
    };
    list->OnRightClickCell = [this, list](int row, int) {
        ListRightClickCell(list, row);
    };
    list->OnKeyDown = [this, list](int key, Qt::KeyboardModifiers m) {
        ListKeyDown(list, key, m);
    };
}

// A list's popup menu: its three selection commands, named after the list
// ("SelectAllArtist", ...).
QMenu* TFormMain::BuildListMenu(TITunesStringGrid* list, const char* menuName,
                                const char* itemPrefix) {
    QMenu* menu = new TSunPopupMenu(list);
    menu->setObjectName(QString::fromLatin1(menuName));
    const QString prefix = QString::fromLatin1(itemPrefix);
    menu->addAction(QStringLiteral("Select All"), this, [this, list] { SelectAllListClick(list); })
        ->setObjectName(QStringLiteral("SelectAll") + prefix);
    menu->addAction(QStringLiteral("Invert Select"), this,
                    [this, list] { InvertSelectListClick(list); })
        ->setObjectName(QStringLiteral("InvertSelect") + prefix);
    menu->addAction(QStringLiteral("Clear Select"), this,
                    [this, list] { ClearSelectListClick(list); })
        ->setObjectName(QStringLiteral("ClearSelect") + prefix);
    // The iPod's playlists, filled each time the menu opens (SunPopupMenuListPopup).
    menu->addSeparator();
    QMenu* playlists = new TSunPopupMenu(menu);
    playlists->setTitle(QStringLiteral("Show Playlist"));
    playlists->setObjectName(QStringLiteral("ShowPlaylist") + prefix);
    menu->addMenu(playlists);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { SunPopupMenuListPopup(menu); });
    list->SetPopupMenu(menu);
    return menu;
}

// The tabs above the lists: the artist list and its tab are active from the start.
void TFormMain::ConnectListTabs() {
    connect(LumoButtonSmall1, &QPushButton::clicked, this, [this] { LumoButtonSmall1Click(); });
    connect(LumoButtonSmall2, &QPushButton::clicked, this, [this] { LumoButtonSmall2Click(); });
    connect(LumoButtonSmall3, &QPushButton::clicked, this, [this] { LumoButtonSmall3Click(); });
    StyleTab(LumoButtonSmall1, true);
    StyleTab(LumoButtonSmall2, false);
    StyleTab(LumoButtonSmall3, false);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        Edit1KeyDown(key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvello
