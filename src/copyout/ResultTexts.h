#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The texts a copy job writes in place of a destination for a song it did not copy, and
// the one rule that tells them from paths: every path of the program begins with its drive
// ("d:"), every result text with a blank. The report window, the playlist, the job's
// summary and korvello-cli all decide with IsResultText.

#include <string>

namespace korvello {

inline constexpr const char* kCopyTerminated = " Copy Terminated.";
inline constexpr const char* kSongNotFound = " This song not found in your iPod.";
inline constexpr const char* kDiskSpaceNotEnough =
    " Diskspace is not enough, please recopy the file.";
// A song whose copy was already in the destination folder.
inline constexpr const char* kAlreadyCopied = " Already copied.";
// A song whose copy failed for a reason of its own (a name the file system refuses, a
// source that cannot be read, a song that changed while it was copied) reads
// " Copy failed: <reason>."; the job goes on with the next song.
inline constexpr const char* kCopyFailedPrefix = " Copy failed: ";

// " Copy failed: <reason>." with the reason's own closing stops and blanks dropped.
std::string CopyFailedText(const std::string& reason);
bool IsCopyFailedText(const std::string& outcome);

// True for a result text (or an entry the job never reached, which is empty); false for
// the path of a copy.
bool IsResultText(const std::string& outcome);

} // namespace korvello
