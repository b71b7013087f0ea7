#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A copy job: for each song to copy, in the order it is copied, the song's file on the
// iPod, its destination, the title and artist the report and the playlist show, and the
// song's whole record. The window (its marked rows) and korvello-cli (its filters) both
// build it with BuildCopyJob from the records they chose.

#include "copyout/CopyNaming.h"
#include "musicdb/iPodcomponent.h"

#include <string>
#include <vector>

namespace korvello {

class TITunesStringGrid;

struct TCopyJob {
    // The worker's lists (see TCopyThread): the song files and their destinations.
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    std::vector<std::string> titles;  // as the song table shows them, for the report
    std::vector<std::string> artists; // for the job's playlist
    // The record of each entry's song, as it was when the job was built; entry i of every
    // list above belongs to songs[i].
    std::vector<TSong> songs;
};

// The job of `songs`, one entry each in the order given, named by `naming` below the
// chosen `folder` (program form).
TCopyJob BuildCopyJob(std::vector<TSong> songs, const std::string& folder,
                      const TCopyNaming& naming);

// The records of the marked song rows, walking from row 1 down until `marked` rows are
// taken. A row's song is the one its id column names (the last song with that id); an id
// cell that is not a number throws EKorvelloError.
std::vector<TSong> MarkedSongs(const TITunesStringGrid& grid, const TiPod& ipod, int marked);

// The window's job: BuildCopyJob of MarkedSongs.
TCopyJob BuildCopyJob(const TITunesStringGrid& grid, const TiPod& ipod, const std::string& folder,
                      int marked, const TCopyNaming& naming = kDefaultCopyNaming);

} // namespace korvello
