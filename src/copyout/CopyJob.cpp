// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/CopyJob.h"

#include "platform/Text.h"

#include <utility>

namespace korvello {

TCopyJob BuildCopyJob(std::vector<TSong> songs, const std::string& folder,
                      const TCopyNaming& naming) {
    TCopyJob job;
    job.sources.reserve(songs.size());
    job.targets.reserve(songs.size());
    job.titles.reserve(songs.size());
    job.artists.reserve(songs.size());
    for (const TSong& song : songs) {
        job.sources.push_back(ToUtf8(song.Location));
        job.targets.push_back(BuildNamedTargetPath(folder, naming, song));
        job.titles.push_back(ToUtf8(song.Title));
        job.artists.push_back(ToUtf8(song.Artist));
    }
    job.songs = std::move(songs);
    return job;
}

} // namespace korvello
