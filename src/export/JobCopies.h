#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// What the exports of a finished job read: the catalogue's songs and playlists, and where
// the job left a copy of each song. Both exports point at the copies, never at the iPod.

#include "musicdb/iPodcomponent.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvello {

class IPlatform;

// The catalogue as the exports see it: songs by position, the playlists (without the
// master list, as TiPod::Playlists gives them) and the master list's name.
struct TCatalogueView {
    std::int32_t songCount = 0;
    std::function<const TSong&(std::int32_t)> songAt;
    const std::vector<TPlaylist>* playlists = nullptr;
    std::u16string masterName;

    // A view of the catalogue's last load; valid while `ipod` is not loaded again.
    static TCatalogueView Of(const TiPod& ipod);
};

// Where the copies of one job lie, by song.
struct TJobCopies {
    // For each song of the catalogue, by position: the Linux path of the copy the job
    // wrote or found already there, or empty when it has none.
    std::vector<std::string> pathOfSong;

    bool Has(std::int32_t song) const {
        return song >= 0 && static_cast<std::size_t>(song) < pathOfSong.size() &&
               !pathOfSong[static_cast<std::size_t>(song)].empty();
    }
    std::int32_t Count() const;
};

// The copies of a finished job from its parallel lists: `songOfEntry` holds each entry's
// song (a catalogue position), `outcomes` the path written or the result text, `found`
// the earlier copy of a song found " Already copied." (it may be shorter than the job).
// An entry whose song is out of range is passed over; a song that the job holds twice
// keeps its first copy.
TJobCopies CopiesOfJob(IPlatform& platform, std::int32_t songCount,
                       const std::vector<std::int32_t>& songOfEntry,
                       const std::vector<std::string>& outcomes,
                       const std::vector<std::string>& found);

} // namespace korvello
