#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a song was copied before: the file at a destination name is taken for the
// song's copy when it has the song's size and the same first and last 64 KiB. Reading
// those few bytes instead of the whole song keeps a second run over thousands of songs
// fast; a file of the same size that differs anywhere near its start or end (another
// song, a cut copy, a different encoding) is caught.
//
// A copy whose tags were written (by Korvello or by the user's own tag editor) differs
// from the song in its tags only: it is taken for the song's copy when its audio part has
// the song's length and the same first and last 64 KiB (see tags/AudioPart.h).

#include <cstdint>
#include <string>

namespace korvello {

class IPlatform;

// Bytes compared at each end of the two files.
inline constexpr std::int64_t kSameFileProbeBytes = 64 * 1024;

// True when the files at `source` and `copy` (program paths) can both be read, have the
// same size, and agree in their first and last kSameFileProbeBytes bytes (the whole
// file when it is shorter than both together), or when their audio parts agree so
// (SameAudioAlreadyThere). A file that cannot be read is not a copy.
bool SameFileAlreadyThere(IPlatform& platform, const std::string& source, const std::string& copy);

} // namespace korvello
