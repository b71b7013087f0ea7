#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The files an iPod writes beside its database between syncs: "Play Counts" (what was
// played, rated and skipped since) and the On-The-Go playlists made on the device
// ("OTGPlaylistInfo", "OTGPlaylistInfo_1", ...). Both name tracks by their position in
// the database. Each is read only as far as the tracks it can name need, so a file of
// any size costs time and memory in proportion to the database; a file that cannot be
// read costs its counts or its list, never the songs.

#include "musicdb/iPodcomponent.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvello {

// Merges the Play Counts file of the iPod at `drivePath` into `songs` (see
// MergePlayCounts); `songOfTrack` as ParseTracks gives it.
void MergePlayCountsFile(IPlatform& platform, const std::string& drivePath,
                         const std::vector<std::int32_t>& songOfTrack, std::vector<TSong>& songs);

// Appends the iPod's On-The-Go lists to `playlists` as "On-The-Go 1", "On-The-Go 2", ...
// (a list the user emptied keeps its number but is left out).
void AppendOnTheGoFiles(IPlatform& platform, const std::string& drivePath,
                        const std::vector<std::int32_t>& songOfTrack,
                        std::vector<TPlaylist>& playlists);

} // namespace korvello
