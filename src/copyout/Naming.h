#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// How a copied song is named: the folder the user picked in the save dialog, the song's
// title made safe for a file name, and the extension of the song's own file on the iPod.
// Pure text functions on program paths ("D:\Music\Yesterday.mp3"); nothing here touches
// the disk. Clashes with files that already exist are settled later by the copy worker.

#include <cstddef>
#include <string>
#include <string_view>

namespace korvello {

// Longest file name (one path component) the destination file system takes, in bytes of
// UTF-8. Linux's NAME_MAX; Windows allows 255 UTF-16 units, which this never exceeds.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// `text` without the characters ; = + < > / " [ ] \ ' * ? | : and without control
// characters (U+0000 to U+001F, U+007F). Nothing is put in their place; never fails.
std::string CleanFileName(const std::string& text);

// Extension of the file name of `path`: from the last "." after the last "\" or ":" on,
// dot included; empty when the file name has no dot.
std::string ExtractFileExt(const std::string& path);

// Extension a copy of the song file at `location` takes: from the last "." of its file
// name (the part after the last "\", ":" or "/") on, dot included, in the case stored.
// Empty when there is none, or when it is not what a real extension looks like: 1 to
// kMaxExtensionChars ASCII letters, digits, "_" or "-" after the dot. A damaged database
// can thus never put a separator, a ".." or a blank into a destination's name.
inline constexpr std::size_t kMaxExtensionChars = 16;
std::string SongFileExt(const std::string& location);

// A file name that file managers and `ls` show: a name that is empty or begins with "."
// (the titles ".hidden", ".." or "...Baby One More Time", an empty title) gets "_" in
// front, so "...Baby One More Time.mp3" is written as "_...Baby One More Time.mp3".
std::string VisibleFileName(const std::string& name);

// The first at most `maxBytes` bytes of `text`, never cutting a UTF-8 sequence in half.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// `base` + `extension`, with `base` cut (at a character boundary) so that the whole name
// fits in kMaxFileNameBytes. An extension that alone is too long is cut as well.
std::string FitFileName(const std::string& base, const std::string& extension);

// Destination of one song: folder + "\" + CleanFileName(title) + SongFileExt(sourcePath),
// made visible (VisibleFileName) and cut to kMaxFileNameBytes with the extension kept.
// The folder is used as given (a drive root "D:\" gives "D:\\Title.mp3", which the
// platform accepts).
std::string BuildTargetPath(const std::string& folder, const std::string& title,
                            const std::string& sourcePath);

// Folder part of the path confirmed in the save dialog: the text before its last "\",
// except that a "\" directly after ":" or after another "\" is kept, so "D:\song.mp3"
// gives the drive root "D:\". Empty when the path holds no "\".
std::string DialogFolderPart(const std::string& confirmedPath);

// File name the save dialog proposes for the first marked song: the name BuildTargetPath
// gives it.
std::string ProposedFileName(const std::string& title, const std::string& sourcePath);

// The dialog's single file-type filter for that song, in Qt's form: "*.mp3", or "*" for a
// song file without extension.
std::string DialogFilter(const std::string& sourcePath);

} // namespace korvello
