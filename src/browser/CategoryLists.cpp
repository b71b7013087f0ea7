// SPDX-License-Identifier: GPL-3.0-or-later
// The artist, album and file-type lists beside the song table: marking entries narrows
// the song table to their songs, the first row "All ..." brings every song back.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/Platform.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

namespace korvello {

namespace {

constexpr const char* kAllEntry = "All ...";

// A playlist's name as a menu item shows it: "&" is no shortcut mark and a tab or line
// break does not split the item.
QString PlaylistItemText(const TPlaylist& playlist) {
    QString name = QString::fromStdU16String(playlist.Name);
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return name + QStringLiteral(" (") + QString::number(playlist.Songs.size()) + QLatin1Char(')');
}

} // namespace

void TFormMain::DisPlayOtherInit() {
    Guard("DisPlayOtherInit:", [&] {
        for (TITunesStringGrid* list : {ArtistList, AlbumList, FileTypeList}) {
            list->SetColWidths(0, 0);
            list->SetColWidths(kListEntryColumn, 200);
            list->SetRowCount(1);
            list->SetRowHeights(list->RowCount() - 1, kGridRowHeight);
        }
    });
}

void TFormMain::DisPlayOther() {
    Guard("DisPlayOther:", [&] {
        const std::pair<TITunesStringGrid*, std::vector<std::string> (TiPod::*)() const> lists[] = {
            {ArtistList, &TiPod::GetArtists},
            {AlbumList, &TiPod::GetAlbums},
            {FileTypeList, &TiPod::GetFileTypes}};
        for (const auto& [list, query] : lists) {
            const std::vector<std::string> names = (iPod.*query)();
            const int n = static_cast<int>(names.size());
            list->BeginUpdate();
            list->ClearCells();
            list->SetRowCount(n + 1);
            for (int i = 1; i <= n; ++i) {
                list->SetRowHeights(i, kGridRowHeight);
                list->SetCells(kListEntryColumn, i, names[i - 1]);
            }
            list->SetRowHeights(list->RowCount() - 1, kGridRowHeight);
            list->SetCells(kListEntryColumn, 0, kAllEntry);
            list->EndUpdate();
        }
    });
}

// The filter of one list: the song table shows the songs of its marked entries.
void TFormMain::FilterByList(TITunesStringGrid* list, SongListMode mode, const char* prefix) {
    Guard(prefix, [&] {
        if (!iPodFound || CopyRunning)
            return;
        std::vector<std::string> marked;
        bool all = false;
        for (int row = 0; row < list->RowCount(); ++row) {
            if (!list->RowMarked(row))
                continue;
            std::string text = list->Cells(kListEntryColumn, row);
            if (platform_.CompareText(text, kAllEntry) == 0)
                all = true;
            marked.push_back(std::move(text));
        }
        if (all)
            DisPlaySongs(SongListMode::AllSongs, nullptr);
        else if (!marked.empty())
            DisPlaySongs(mode, &marked);
    });
}

void TFormMain::DisPlayCurrentArtistSongs() {
    FilterByList(ArtistList, SongListMode::ArtistSongs, "DisPlayCurrentArtistSongs:");
}

void TFormMain::DisPlayCurrentAlbumSongs() {
    FilterByList(AlbumList, SongListMode::AlbumSongs, "DisPlayCurrentAlbumSongs:");
}

void TFormMain::DisPlayCurrentFileTypeSongs() {
    FilterByList(FileTypeList, SongListMode::FileTypeSongs, "DisPlayCurrentFileTypeSongs:");
}

void TFormMain::ListFilter(TITunesStringGrid* list) {
    if (list == ArtistList)
        DisPlayCurrentArtistSongs();
    else if (list == AlbumList)
        DisPlayCurrentAlbumSongs();
    else if (list == FileTypeList)
        DisPlayCurrentFileTypeSongs();
}

// A click in one list clears the entry marks of the other two; their "All ..." rows keep
// their marks.
void TFormMain::ListClick(TITunesStringGrid* list) {
    for (TITunesStringGrid* other : {ArtistList, AlbumList, FileTypeList}) {
        if (other != list)
            ClearSelectListClick(other);
    }
}

void TFormMain::ArtistListClick() {
    ListClick(ArtistList);
}
void TFormMain::AlbumListClick() {
    ListClick(AlbumList);
}
void TFormMain::FileTypeListClick() {
    ListClick(FileTypeList);
}

void TFormMain::ListRightClickCell(TITunesStringGrid* list, int row) {
    if (row <= 0)
        return;
    list->SetRowMarked(row, true);
    list->viewport()->update();
    ListFilter(list);
}

void TFormMain::ListKeyDown(TITunesStringGrid* list, int key, Qt::KeyboardModifiers shift) {
    if (key == Qt::Key_A && (shift & Qt::ControlModifier))
        SelectAllListClick(list);
}

void TFormMain::ShowList(TITunesStringGrid* list) {
    const std::pair<TITunesStringGrid*, QPushButton*> tabs[] = {{ArtistList, LumoButtonSmall1},
                                                                {AlbumList, LumoButtonSmall2},
                                                                {FileTypeList, LumoButtonSmall3}};
    for (const auto& [grid, tab] : tabs) {
        const bool active = grid == list;
        grid->setVisible(active);
        StyleTab(tab, active);
    }
}

void TFormMain::StyleTab(QPushButton* tab, bool active) {
    QPalette pal = tab->palette();
    pal.setColor(QPalette::ButtonText,
                 active ? QColor(Qt::black) : tab->palette().color(QPalette::Shadow));
    tab->setPalette(pal);
    tab->setProperty("activeTab", active);
    tab->setGeometry(tab->x(), active ? 12 : 14, tab->width(), active ? 20 : 18);
}

void TFormMain::LumoButtonSmall1Click() {
    ShowList(ArtistList);
}
void TFormMain::LumoButtonSmall2Click() {
    ShowList(AlbumList);
}
void TFormMain::LumoButtonSmall3Click() {
    ShowList(FileTypeList);
}

void TFormMain::SunPopupMenuListPopup(QMenu* menu) {
    for (QAction* action : menu->actions())
        action->setEnabled(iPodFound);
    // The playlists item lists the loaded iPod's playlists; one without songs cannot be
    // shown, and an iPod without playlists leaves the item disabled.
    QMenu* playlistMenu = menu->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    if (playlistMenu == nullptr)
        return;
    playlistMenu->clear();
    const std::vector<TPlaylist>& playlists = iPod.Playlists();
    for (std::size_t i = 0; i < playlists.size(); ++i) {
        QAction* item = playlistMenu->addAction(PlaylistItemText(playlists[i]), this,
                                                [this, i] { DisPlayPlaylistSongs(i); });
        item->setEnabled(!playlists[i].Songs.empty());
    }
    playlistMenu->menuAction()->setEnabled(iPodFound && !playlists.empty());
}

} // namespace korvello
