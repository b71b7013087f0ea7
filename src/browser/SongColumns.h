#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's tables in numbers: the song table's columns (which one holds what,
// and their header texts), the two columns of the artist, album and file-type lists, and
// the row height of every one of these grids. The song table, the copy command, the
// options window and the stored column widths all take their numbers from here; the
// header needs no Qt, so the settings store below the windows includes it too.

namespace korvello {

// The song table. Row 0 is the header. Column 0 shows the play icon; the columns from
// kFirstTextColumn on hold texts: a song's tags, then its id, which ties a row to its
// song and is kept at width 0.
inline constexpr int kIconColumn = 0;
inline constexpr int kTitleColumn = 1;
inline constexpr int kFileSizeColumn = 2;
inline constexpr int kAlbumColumn = 3;
inline constexpr int kArtistColumn = 4;
inline constexpr int kGenreColumn = 5;
inline constexpr int kFileTypeColumn = 6;
inline constexpr int kCommentColumn = 7;
inline constexpr int kEqSettingColumn = 8;
inline constexpr int kComposerColumn = 9;
inline constexpr int kGroupingColumn = 10;
inline constexpr int kSongIdColumn = 11;
inline constexpr int kSongColumnCount = 12;

inline constexpr int kFirstTextColumn = kTitleColumn;
inline constexpr int kIconColumnWidth = 16;

// The header row's texts, one a column; the icon column has none.
inline constexpr const char* kSongColumnHeaders[kSongColumnCount] = {
    "",         "Title",   "File Size", "Album",    "Artist",   "Genre",
    "Filetype", "Comment", "EQSetting", "Composer", "Grouping", "songid"};

// The artist, album and file-type lists: column 0 is empty and hidden, column 1 holds
// the entry ("All ..." in row 0, then one name a row).
inline constexpr int kListColumnCount = 2;
inline constexpr int kListEntryColumn = 1;

// Every row of these grids, the header row included; the copy report's table has rows
// of the same height.
inline constexpr int kGridRowHeight = 16;

} // namespace korvello
