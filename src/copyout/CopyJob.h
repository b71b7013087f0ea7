#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The copy job that the marked rows of the song table make: for each marked row, in
// table order, the song's file on the iPod, its destination, the title as shown and the
// song's record.

#include "copyout/CopyNaming.h"
#include "musicdb/iPodcomponent.h"

#include <string>
#include <vector>

namespace korvello {

class TITunesStringGrid;
class TiPod;

struct TCopyJob {
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    std::vector<std::string> titles;
    std::vector<std::string> artists; // for the job's playlist
    std::vector<TSong> songs;         // the records, for the copies' tags
};

// Walks the song rows from row 1 down and takes each marked one until `marked` rows are
// taken. A row's song is the one its id column names (the last song with that id); an id
// cell that is not a number throws EKorvelloError. Destinations are named by `naming`.
TCopyJob BuildCopyJob(const TITunesStringGrid& grid, const TiPod& ipod, const std::string& folder,
                      int marked, TCopyNaming naming = kDefaultCopyNaming);

} // namespace korvello
