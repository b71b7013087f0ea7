// SPDX-License-Identifier: GPL-3.0-or-later
// The song table: one row per song of the loaded catalogue, or of the current filter or
// search. Row 0 is the header; the song id column ties a row to its song for the copy
// command.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "musicdb/SongSearch.h"
#include "platform/Platform.h"
#include "platform/Text.h"

#include <QProgressBar>

namespace korvello {

namespace {

// Decimal text to integer, failing with the program's failure type.
int StrToInt(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value, /*allowHex=*/true))
        throw EKorvelloError("'" + text + "' is not a valid integer value");
    return value;
}

// The names of a filter, each followed by CR LF, every CR LF then turned into "," and the
// last "," dropped: "Blue,Red".
std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names)
        joined += name + "\r\n";
    std::string out;
    out.reserve(joined.size());
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] == '\r' && i + 1 < joined.size() && joined[i + 1] == '\n') {
            out += ',';
            ++i;
        } else {
            out += joined[i];
        }
    }
    if (!out.empty() && out.back() == ',')
        out.pop_back();
    return out;
}

// Keeps the grid in one model reset for a whole refill.
class UpdateScope {
public:
    explicit UpdateScope(TITunesStringGrid* grid) : grid_(grid) { grid_->BeginUpdate(); }
    ~UpdateScope() { grid_->EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    TITunesStringGrid* grid_;
};

} // namespace

void TFormMain::DisPlaySongsInit() {
    Guard("DisPlaySongsInit:", [&] {
        TITunesStringGrid* grid = AdvStringGridSong;
        grid->SetColWidths(kIconColumn, kIconColumnWidth);
        for (int c = kFirstTextColumn; c < kSongColumnCount; ++c) {
            if (c >= static_cast<int>(ColumnWidths.size()))
                throw EKorvelloError("List index out of bounds (" + std::to_string(c) + ")");
            grid->SetColWidths(c, StrToInt(ColumnWidths[c]));
        }
        grid->SetRowCount(2);
        grid->SetRowHeights(0, kGridRowHeight);
        grid->SetRowHeights(1, kGridRowHeight);
        for (int c = kFirstTextColumn; c < kSongColumnCount; ++c)
            grid->SetCells(c, 0, kSongColumnHeaders[c]);
        grid->SetColWidths(kSongIdColumn, 0);
    });
}

void TFormMain::DisPlaySongs(SongListMode mode, const std::vector<std::string>* names) {
    bool searchFoundNothing = false;
    Guard("DisPlaySongs:", [&] {
        static const std::vector<std::string> kNoNames;
        const std::vector<std::string>& list = names != nullptr ? *names : kNoNames;
        const std::int32_t n = iPod.SongCount();
        UpdateScope update(AdvStringGridSong);
        AdvStringGridSong->ClearCells();
        DisPlaySongsInit();
        AdvStringGridSong->SetRowCount(n + 1);
        songRowCounter_ = 0;
        AddSongRows(mode, list);
        EndSongRows();
        if (n >= 1)
            ShowSongListStatus(mode, list);
        searchFoundNothing = mode == SongListMode::SearchSongs && songRowCounter_ == 0;
    });
    if (searchFoundNothing)
        DisPlaySongs(SongListMode::NoSongs, nullptr);
}

void TFormMain::AddSongRows(SongListMode mode, const std::vector<std::string>& list) {
    const std::int32_t n = iPod.SongCount();
    switch (mode) {
    case SongListMode::AllSongs:
        for (std::int32_t i = 0; i < n; ++i)
            AddSongRow(i);
        break;
    case SongListMode::AlbumSongs:
        AddSongRowsNamed(TNameField::Album, list);
        break;
    case SongListMode::ArtistSongs:
        AddSongRowsNamed(TNameField::Artist, list);
        break;
    case SongListMode::FileTypeSongs:
        AddSongRowsNamed(TNameField::FileType, list);
        break;
    case SongListMode::NoSongs:
        // Each song would empty the table again; once gives the same empty state.
        if (n > 0) {
            AdvStringGridSong->ClearCells();
            DisPlaySongsInit();
        }
        break;
    case SongListMode::SearchSongs:
        AddSongRowsMatching(list.empty() ? std::string() : list.front());
        break;
    }
}

// One pass over the songs: each song's field is compared through its collation key,
// made once per distinct text of the load.
void TFormMain::AddSongRowsNamed(TNameField field, const std::vector<std::string>& names) {
    if (names.empty())
        return;
    const std::int32_t n = iPod.SongCount();
    const std::vector<char> named = iPod.SongsNamed(field, names);
    for (std::int32_t i = 0; i < n; ++i) {
        if (named[static_cast<std::size_t>(i)])
            AddSongRow(i);
    }
}

void TFormMain::DisPlayPlaylistSongs(std::size_t index) {
    Guard("DisPlayPlaylistSongs:", [&] {
        const std::vector<TPlaylist>& playlists = iPod.Playlists();
        if (!iPodFound || CopyRunning || index >= playlists.size())
            return;
        const TPlaylist& playlist = playlists[index];
        const std::int32_t n = iPod.SongCount();
        UpdateScope update(AdvStringGridSong);
        AdvStringGridSong->ClearCells();
        DisPlaySongsInit();
        songRowCounter_ = 0;
        // A song the playlist holds again keeps its first row: two rows of one song would
        // copy it twice, and a playlist repeating one song a million times stays one row.
        std::vector<char> shown(static_cast<std::size_t>(n), 0);
        for (const std::int32_t song : playlist.Songs) {
            if (song < 0 || song >= n || shown[static_cast<std::size_t>(song)])
                continue;
            shown[static_cast<std::size_t>(song)] = 1;
            AddSongRow(song);
        }
        EndSongRows();
        ShowStatus("Files in playlist " + ToUtf8(playlist.Name));
    });
}

// The songs with every word of the pattern in one of their searched fields.
void TFormMain::AddSongRowsMatching(const std::string& pattern) {
    const std::int32_t n = iPod.SongCount();
    for (std::int32_t i = 0; i < n; ++i) {
        const TSong& song = iPod.SongAt(i);
        for (const std::u16string* field : SearchedFields(song)) {
            if (SearchFunc(pattern, ToUtf8(*field))) {
                AddSongRow(i);
                break;
            }
        }
    }
}

// The status line after a fill of a catalogue that has songs; a search and the emptied
// table leave it as it was.
void TFormMain::ShowSongListStatus(SongListMode mode, const std::vector<std::string>& list) {
    switch (mode) {
    case SongListMode::AllSongs:
        ShowStatus(std::to_string(iPod.SongCount()) + " Files found in your iPod.");
        break;
    case SongListMode::AlbumSongs:
        ShowStatus("Files in album " + JoinNames(list));
        break;
    case SongListMode::ArtistSongs:
        ShowStatus("Files by artist " + JoinNames(list));
        break;
    case SongListMode::FileTypeSongs:
        ShowStatus((list.empty() ? std::string() : list.front()) + " Files");
        break;
    case SongListMode::NoSongs:
    case SongListMode::SearchSongs:
        break;
    }
}

// The table ends after the last row written, unless no row was (then it keeps the rows it
// was given). The fills grow the table only where it is too short, so a fill of every song
// into a table sized for them moves no rows.
void TFormMain::EndSongRows() {
    if (songRowCounter_ > 0)
        AdvStringGridSong->SetRowCount(songRowCounter_ + 1);
}

// A row holds only its song's number until it is first read; SongRowTexts writes it then.
void TFormMain::AddSongRow(int index) {
    TITunesStringGrid* grid = AdvStringGridSong;
    const int r = ++songRowCounter_;
    if (grid->RowCount() < r + 1)
        grid->SetRowCount(r + 1);
    grid->SetRowHeights(r, kGridRowHeight);
    grid->SetCellPicture(kIconColumn, r, playIcon_);
    (void)iPod.SongAt(index); // a number outside the catalogue fails here, as before
    grid->SetRowRecord(r, index);
    grid->SetRowMarked(r, false);
}

// The icon column's empty text, the song's texts in column order from the title to the
// grouping, then its id.
void TFormMain::SongRowTexts(std::int32_t index, std::vector<std::string>& texts) const {
    if (index < 0 || index >= iPod.SongCount())
        return;
    const TSong& song = iPod.SongAt(index);
    const std::u16string* fields[kSongIdColumn - kFirstTextColumn] = {
        &song.Title,    &song.FileSize, &song.Album,     &song.Artist,   &song.Genre,
        &song.FileType, &song.Comment,  &song.EQSetting, &song.Composer, &song.Grouping};
    texts.resize(kSongColumnCount);
    texts[kIconColumn].clear();
    for (int c = kFirstTextColumn; c < kSongIdColumn; ++c)
        texts[static_cast<std::size_t>(c)] = ToUtf8(*fields[c - kFirstTextColumn]);
    texts[kSongIdColumn] = std::to_string(song.SongId);
}

void TFormMain::AdvStringGridSongCanSort(int /*col*/, bool& allow) {
    allow = true;
}

void TFormMain::AdvStringGridSongRightClickCell(int row, int /*col*/) {
    if (row > 0)
        AdvStringGridSong->SetRowMarked(row, true);
    ShowSelectedCount();
}

void TFormMain::AdvStringGridSongMouseUp() {
    if (!CopyRunning && iPodFound) {
        ProgressBarItunes->setValue(0);
        ShowSelectedCount();
    }
}

void TFormMain::AdvStringGridSongKeyDown(int key, Qt::KeyboardModifiers shift) {
    if (key == Qt::Key_A && (shift & Qt::ControlModifier))
        SelectAllSongClick();
}

void TFormMain::AdvStringGridSongDblClickCell(int row, int /*col*/) {
    Guard("PlaySong:", [&] {
        if (!(PlayOnDoubleClick && iPodFound && row > 0))
            return;
        const std::string title = AdvStringGridSong->Cells(kTitleColumn, row);
        TSong song;
        iPod.FindSongByTitle(title, song);
        // No song of that title (a blank row): handing the desktop an empty path would
        // open some unrelated folder, so nothing is opened.
        if (song.Location.empty())
            return;
        // A drive that went away leaves no Linux path: the desktop would be handed
        // "d:\iPod_Control\..." and open who knows what, so nothing is opened.
        const std::string location = ToUtf8(song.Location);
        if (platform_.ToLinuxPath(location).empty())
            throw EKorvelloError("Cannot play " + location + ": its drive " +
                                 location.substr(0, 2) + " is not attached");
        platform_.ShellOpen(location);
    });
}

} // namespace korvello
