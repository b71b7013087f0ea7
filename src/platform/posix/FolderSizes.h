#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The sizes of many files on one drive with one listing per folder.
//
// A load asks the size of every song file, and songs share a few dozen folders. Instead
// of a whole path walk per song, each folder is opened once and listed once; a name is
// then looked up in the listing and its size asked with fstatat relative to the folder's
// descriptor. The answers are those of a path look-up (see PathResolver): the exact name
// first, else the name that matches without regard to letter case (the byte-wise
// smallest of several); a symbolic link is followed; only a regular file has a size.
//
// A folder listed within FAT's two-second time granularity of its last change may still
// gain entries, so a name it does not hold is left to the caller's own look-up. Folders
// are told apart by device and inode, so one folder named in many spellings is listed
// once; at most `maxFolders` are held open, and a name in any further folder is left to
// the caller as well.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <sys/types.h>

namespace korvello::posix {

class FolderSizes {
public:
    explicit FolderSizes(std::size_t maxFolders) : maxFolders_(maxFolders) {}
    ~FolderSizes();
    FolderSizes(const FolderSizes&) = delete;
    FolderSizes& operator=(const FolderSizes&) = delete;

    struct Listing;

    // The listing of the folder at the Linux path `folder`, read on first use. nullptr
    // when it is no folder or cannot be opened or read, or when `maxFolders` are held.
    Listing* Open(const std::string& folder);

    // What a listing tells about one name.
    struct Answer {
        bool known = false;               // false: the caller must look the name up itself
        std::optional<std::int64_t> size; // when known: the file's size, or no regular file
    };
    static Answer SizeOf(Listing& listing, const std::string& name);

private:
    std::size_t maxFolders_;
    std::map<std::pair<dev_t, ino_t>, std::unique_ptr<Listing>> listings_;
};

struct FolderSizes::Listing {
    int fd = -1;
    bool racy = false;
    std::unordered_set<std::string> names;
    // Folded name -> the byte-wise smallest real name of that folding; made on the first
    // name that is not in the folder exactly as given.
    bool foldedMade = false;
    std::unordered_map<std::string, std::string> byFolded;
};

} // namespace korvello::posix
