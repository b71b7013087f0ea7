// SPDX-License-Identifier: GPL-3.0-or-later
// The search box and the selection commands of the four tables.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "musicdb/SongSearch.h"
#include "platform/Text.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>

namespace korvello {

bool TFormMain::SearchFunc(const std::string& pattern, const std::string& subject) {
    bool result = false;
    Guard("SearchFunc:", [&] { result = ContainsEveryWord(pattern, subject); });
    return result;
}

void TFormMain::Edit1KeyDown(int key, Qt::KeyboardModifiers /*shift*/) {
    Guard("Edit1KeyPress:", [&] {
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return;
        if (!iPodFound || CopyRunning)
            return;
        const std::string text = Edit1->text().toStdString();
        if (text.empty())
            return;
        // The character before the last one (the only one of a one-character text) must
        // not be a blank.
        const std::u16string chars = ToUtf16(text);
        const char16_t tested = chars.size() >= 2 ? chars[chars.size() - 2] : chars[0];
        if (tested == u' ')
            return;
        const std::vector<std::string> names{text};
        DisPlaySongs(SongListMode::SearchSongs, &names);
    });
}

void TFormMain::ShowSelectedCount() {
    if (!iPodFound)
        return;
    int n = 0;
    TITunesStringGrid* grid = AdvStringGridSong;
    for (int row = 0; row < grid->RowCount(); ++row) {
        if (grid->RowMarked(row) && !grid->Cells(kTitleColumn, row).empty())
            ++n;
    }
    ShowStatus(std::to_string(n) + (n <= 1 ? " file" : " files") + " Selected");
}

void TFormMain::SelectAllSongClick() {
    AdvStringGridSong->MarkRows(1, AdvStringGridSong->RowCount());
    AdvStringGridSong->viewport()->update();
    ShowSelectedCount();
}

void TFormMain::InvertSelectSongClick() {
    TITunesStringGrid* grid = AdvStringGridSong;
    for (int row = 1; row < grid->RowCount(); ++row)
        grid->SetRowMarked(row, !grid->RowMarked(row));
    grid->viewport()->update();
    ShowSelectedCount();
}

void TFormMain::ClearSelectSongClick() {
    TITunesStringGrid* grid = AdvStringGridSong;
    for (int row = 1; row < grid->RowCount(); ++row)
        grid->SetRowMarked(row, false);
    grid->viewport()->update();
    ShowSelectedCount();
}

// Select All of a list marks every entry from the second one on; the first entry and
// "All ..." keep whatever mark they had.
void TFormMain::SelectAllListClick(TITunesStringGrid* list) {
    list->MarkRows(2, list->RowCount() - 1);
    list->viewport()->update();
    ListFilter(list);
}

void TFormMain::InvertSelectListClick(TITunesStringGrid* list) {
    for (int row = 2; row < list->RowCount(); ++row)
        list->SetRowMarked(row, !list->RowMarked(row));
    list->viewport()->update();
    ListFilter(list);
}

void TFormMain::ClearSelectListClick(TITunesStringGrid* list) {
    for (int row = 1; row < list->RowCount(); ++row)
        list->SetRowMarked(row, false);
    list->viewport()->update();
}

void TFormMain::SunPopupMenuSongsPopup() {
    const bool idle = iPodFound && !CopyRunning;
    for (QAction* action : SunPopupMenuSongs->actions())
        action->setEnabled(action == StopCopyOut ? !idle : idle);
}

} // namespace korvello
