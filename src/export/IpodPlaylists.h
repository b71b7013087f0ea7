#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The iPod's playlists taken along with a job's copies: one M3U8 file per playlist (the
// master list left out, On-The-Go lists included) in a folder the user chose, named after
// the playlist as a copy is named after its title, holding the playlist's songs that the
// job copied or found already copied, in the playlist's order, with paths relative to the
// folder. A playlist none of whose songs has a copy is not written.

#include "export/JobCopies.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvello {

class IPlatform;

struct TPlaylistExport {
    std::int32_t written = 0;
    // Playlists with none of the job's songs, not written.
    std::int32_t withoutSongs = 0;
    // Entries of the written playlists whose song the job has no copy of (left out).
    std::int64_t songsNotInJob = 0;
    // One "<file name>: <why>" per playlist that could not be written.
    std::vector<std::string> failures;
};

// The file name (without folder) a playlist's M3U8 file takes: the name cleaned as a
// title is, "(n)" added for the n-th clash, cut to the longest name a file may have.
std::string PlaylistFileName(const std::u16string& name, int clash);

// The text of one playlist's file in `folder` (Linux form): "#EXTM3U" and two lines per
// song that has a copy. `relativeOfSong` caches each song's relative path (filled on
// first use, one entry per catalogue song); `notInJob` counts the entries left out.
std::string IpodPlaylistText(const TCatalogueView& catalogue, const TPlaylist& playlist,
                             const TJobCopies& copies, std::vector<std::string>& relativeOfSong,
                             const std::string& folder, std::int64_t& notInJob);

// Writes the files into `folder` (a program path to an existing folder). An existing file
// is never replaced: its name counts as a clash and the next number is taken.
TPlaylistExport ExportIpodPlaylists(IPlatform& platform, const std::string& folder,
                                    const TCatalogueView& catalogue, const TJobCopies& copies);

// "3 playlists written, 12 of their songs not in this job" (and ", 2 playlists without
// songs of this job", ", 1 could not be written" when there were such).
std::string PlaylistExportText(const TPlaylistExport& result);

} // namespace korvello
