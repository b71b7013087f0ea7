#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The sizes of many files on one drive with one open folder each.
//
// A load asks the size of every song file, and songs share a few dozen folders. Instead
// of a whole path walk per song, each folder is opened once and a name is asked with
// fstatat relative to the folder's descriptor. The answers are those of a path look-up
// (see PathResolver): the name exactly as given first (which a file system that ignores
// letter case matches as the path look-up's own first try does), else the name that
// matches without regard to letter case, the byte-wise smallest of several, taken from
// the folder's listing, which is read only when a name first needs it; a symbolic link
// is followed; only a regular file has a size.
//
// A folder opened within FAT's two-second time granularity of its last change may still
// gain entries, so a name it does not hold is left to the caller's own look-up. Folders
// are told apart by device and inode, so one folder named in many spellings is opened
// once; at most `maxFolders` are held open, and a name in any further folder is left to
// the caller as well.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
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

    // The folder at the Linux path `folder`, opened on first use. nullptr when it is no
    // folder or cannot be opened, or when `maxFolders` are held.
    Listing* Open(const std::string& folder);

    // What a folder tells about one name.
    struct Answer {
        bool known = false;               // false: the caller must look the name up itself
        std::optional<std::int64_t> size; // when known: the file's size, or no regular file
        // When known: something is there under exactly the name given, so a path look-up
        // takes that name as it is.
        bool asGiven = false;
    };
    static Answer SizeOf(Listing& listing, const std::string& name);

private:
    std::size_t maxFolders_;
    std::map<std::pair<dev_t, ino_t>, std::unique_ptr<Listing>> listings_;
};

struct FolderSizes::Listing {
    int fd = -1;
    bool racy = false;
    // Folded name -> the byte-wise smallest real name of that folding; read from the
    // folder on the first name that is not there exactly as given.
    bool listed = false;
    std::unordered_map<std::string, std::string> byFolded;
};

} // namespace korvello::posix
