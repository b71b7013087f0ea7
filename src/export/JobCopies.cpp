// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/JobCopies.h"

#include "copyout/ResultTexts.h"
#include "platform/Platform.h"

#include <algorithm>
#include <utility>

namespace korvello {

TCatalogueView TCatalogueView::Of(const TiPod& ipod) {
    TCatalogueView view;
    view.songCount = ipod.SongCount();
    view.songAt = [&ipod](std::int32_t i) -> const TSong& {
        return ipod.SongAt(i);
    };
    view.playlists = &ipod.Playlists();
    view.masterName = ipod.MasterPlaylistName();
    return view;
}

std::int32_t TJobCopies::Count() const {
    return static_cast<std::int32_t>(std::count_if(
        pathOfSong.begin(), pathOfSong.end(), [](const std::string& p) { return !p.empty(); }));
}

TJobCopies CopiesOfJob(IPlatform& platform, std::int32_t songCount,
                       const std::vector<std::int32_t>& songOfEntry,
                       const std::vector<std::string>& outcomes,
                       const std::vector<std::string>& found) {
    TJobCopies copies;
    copies.pathOfSong.resize(static_cast<std::size_t>(std::max(songCount, 0)));
    const std::size_t count = std::min(songOfEntry.size(), outcomes.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t song = songOfEntry[i];
        if (song < 0 || song >= songCount || copies.Has(song))
            continue;
        std::string path;
        if (!IsResultText(outcomes[i]))
            path = outcomes[i];
        else if (outcomes[i] == kAlreadyCopied && i < found.size())
            path = found[i];
        if (path.empty())
            continue;
        // Exports name copies by their place on this machine; a path no drive holds has
        // none and is passed over.
        std::string onDisk = platform.DisplayPath(path);
        if (onDisk.starts_with('/'))
            copies.pathOfSong[static_cast<std::size_t>(song)] = std::move(onDisk);
    }
    return copies;
}

} // namespace korvello
