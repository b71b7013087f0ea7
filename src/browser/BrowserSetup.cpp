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

    // Song table.
    TITunesStringGrid* songs = AdvStringGridSong;
    songs->SetColCount(kSongColumnCount);
    songs->SetFixedRows(1);
    songs->SetFixedCols(1);
    songs->SetColumnsResizable(true);
    songs->SetScrollBarsBoth(true);
    songs->SetCellTextColor(palette().color(QPalette::Shadow));
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

    SunPopupMenuSongs = new TSunPopupMenu(songs);
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
    songs->SetPopupMenu(SunPopupMenuSongs);

    // Category lists.
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
        TITunesStringGrid* list = s.list;
        list->SetColCount(kListColumnCount);
        list->SetFixedRows(0);
        list->SetFixedCols(0);
        list->SetColumnsResizable(list == ArtistList);
        list->SetScrollBarsBoth(false);
        list->SetCellTextColor(Qt::black);
        list->OnClick = [this, click = s.click] {
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

        QMenu* menu = new TSunPopupMenu(list);
        menu->setObjectName(QString::fromLatin1(s.menuName));
        const QString prefix = QString::fromLatin1(s.itemPrefix);
        menu->addAction(QStringLiteral("Select All"), this,
                        [this, list] { SelectAllListClick(list); })
            ->setObjectName(QStringLiteral("SelectAll") + prefix);
        menu->addAction(QStringLiteral("Invert Select"), this,
                        [this, list] { InvertSelectListClick(list); })
            ->setObjectName(QStringLiteral("InvertSelect") + prefix);
        menu->addAction(QStringLiteral("Clear Select"), this,
                        [this, list] { ClearSelectListClick(list); })
            ->setObjectName(QStringLiteral("ClearSelect") + prefix);
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { SunPopupMenuListPopup(menu); });
        list->SetPopupMenu(menu);
        *s.menu = menu;
    }

    // Switch buttons: the artist list and its tab are active from the start.
    connect(LumoButtonSmall1, &QPushButton::clicked, this, [this] { LumoButtonSmall1Click(); });
    connect(LumoButtonSmall2, &QPushButton::clicked, this, [this] { LumoButtonSmall2Click(); });
    connect(LumoButtonSmall3, &QPushButton::clicked, this, [this] { LumoButtonSmall3Click(); });
    StyleTab(LumoButtonSmall1, true);
    StyleTab(LumoButtonSmall2, false);
    StyleTab(LumoButtonSmall3, false);

    Edit1->installEventFilter(this);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        Edit1KeyDown(key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvello
