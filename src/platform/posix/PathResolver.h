#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Finds a file under a drive root by names that may differ from the disk's in letter case
// ("itunesdb" for "iTunesDB"). The exact path is tried first with a single stat; only when
// it is missing are folder listings consulted, and each listing is kept and reused until
// its folder changes, so looking up thousands of song files costs about one stat each.

#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace korvello::posix {

// An iPod's own files lie four levels below its root (iPod_Control\Music\F00\ABCD.mp3);
// a path of more components than this is looked up exactly as given. Each level of a
// missing path costs a stat and perhaps a folder listing, so a damaged database naming
// thousands of distinct deep folders would otherwise cost hundreds of look-ups per song.
inline constexpr std::size_t kMaxCaselessDepth = 8;

class PathResolver {
public:
    // The Linux path of `components` under `root`, each component matched without regard
    // to letter case when no entry has its exact name. When nothing matches, the rest of
    // the components are appended as given (the path then names a missing file). Not
    // thread-safe: the owner serialises calls.
    // When the path exists, `found` (if given) receives its stat and `statValid` is set,
    // so a caller that wants the file's size needs no second stat.
    std::string Resolve(const std::string& root, const std::vector<std::string>& components,
                        struct stat* found = nullptr, bool* statValid = nullptr);

    void Clear();

private:
    struct Listing {
        dev_t device = 0;
        ino_t inode = 0;
        timespec mtime{};
        // Taken within the clock granularity of the folder's last change: an entry added
        // in the same tick would not move the folder's time, so a miss re-reads it (at
        // most once in the second the listing was read in).
        bool racy = false;
        time_t readAt = 0;
        bool reread = false;
        std::unordered_map<std::string, std::string> byFolded; // folded name -> real name
    };

    // Resolves components [0, count) to an existing path; fills `st` for it. False when
    // some component cannot be found.
    bool ResolvePrefix(const std::string& root, const std::vector<std::string>& components,
                       std::size_t count, std::string& path, struct stat& st);
    const std::string* LookUp(const std::string& folder, const struct stat& folderStat,
                              const std::string& name);
    Listing& ReadListing(const std::string& folder, const struct stat& folderStat);

    std::unordered_map<std::string, Listing> listings_;
    // Folders found by a caseless match: requested path -> real path.
    std::unordered_map<std::string, std::string> folders_;
};

} // namespace korvello::posix
