// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PathResolver.h"

#include "platform/posix/FileUtil.h"
#include "platform/posix/TextServices.h"

#include <memory>

#include <dirent.h>

namespace korvello::posix {

namespace {

// Bounds the memory a long session over many folders can take.
constexpr std::size_t kMaxListings = 512;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string JoinAll(const std::string& root, const std::vector<std::string>& components,
                    std::size_t from, std::size_t to) {
    std::string path = root;
    for (std::size_t i = from; i < to; ++i) {
        if (path.empty() || path.back() != '/')
            path += '/';
        path += components[i];
    }
    return path;
}

timespec Now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

void PathResolver::Clear() {
    listings_.clear();
    folders_.clear();
}

std::string PathResolver::Resolve(const std::string& root,
                                  const std::vector<std::string>& components, struct stat* found,
                                  bool* statValid) {
    std::string path;
    struct stat st {};
    if (statValid != nullptr)
        *statValid = false;
    if (components.size() <= kMaxCaselessDepth &&
        ResolvePrefix(root, components, components.size(), path, st)) {
        if (found != nullptr && statValid != nullptr) {
            *found = st;
            *statValid = true;
        }
        return path;
    }
    return JoinAll(root, components, 0, components.size());
}

bool PathResolver::ResolvePrefix(const std::string& root,
                                 const std::vector<std::string>& components, std::size_t count,
                                 std::string& path, struct stat& st) {
    const std::string exact = JoinAll(root, components, 0, count);
    if (::stat(exact.c_str(), &st) == 0) {
        path = exact;
        return true;
    }
    if (count == 0)
        return false;

    std::string parent;
    struct stat parentStat {};
    const std::string exactParent = JoinAll(root, components, 0, count - 1);
    const auto known = folders_.find(exactParent);
    if (known != folders_.end() && ::stat(known->second.c_str(), &parentStat) == 0 &&
        S_ISDIR(parentStat.st_mode)) {
        parent = known->second;
    } else if (ResolvePrefix(root, components, count - 1, parent, parentStat) &&
               S_ISDIR(parentStat.st_mode)) {
        if (parent != exactParent) {
            if (folders_.size() >= kMaxListings)
                folders_.clear();
            folders_[exactParent] = parent;
        }
    } else {
        return false;
    }

    const std::string* real = LookUp(parent, parentStat, components[count - 1]);
    if (real == nullptr)
        return false;
    path = JoinPath(parent, *real);
    return ::stat(path.c_str(), &st) == 0;
}

const std::string* PathResolver::LookUp(const std::string& folder, const struct stat& folderStat,
                                        const std::string& name) {
    const std::string folded = FoldCase(name);
    auto it = listings_.find(folder);
    Listing* listing = nullptr;
    if (it != listings_.end() && it->second.device == folderStat.st_dev &&
        it->second.inode == folderStat.st_ino && SameTime(it->second.mtime, folderStat.st_mtim))
        listing = &it->second;
    else
        listing = &ReadListing(folder, folderStat);

    auto found = listing->byFolded.find(folded);
    if (found == listing->byFolded.end() && listing->racy &&
        !(listing->reread && listing->readAt == Now().tv_sec)) {
        // Read again, but at most once a second: thousands of songs missing from one big
        // folder would otherwise list it anew for each of them.
        listing = &ReadListing(folder, folderStat);
        listing->reread = true;
        found = listing->byFolded.find(folded);
    }
    return found == listing->byFolded.end() ? nullptr : &found->second;
}

PathResolver::Listing& PathResolver::ReadListing(const std::string& folder,
                                                 const struct stat& folderStat) {
    if (listings_.size() >= kMaxListings && listings_.find(folder) == listings_.end())
        listings_.clear();
    Listing& listing = listings_[folder];
    listing = Listing{};
    listing.device = folderStat.st_dev;
    listing.inode = folderStat.st_ino;
    listing.mtime = folderStat.st_mtim;
    const timespec now = Now();
    listing.readAt = now.tv_sec;
    // FAT keeps times to two seconds; anything closer than that to now may still change.
    // A folder dated further ahead (a skewed clock, a hostile file system) is not: a
    // change would date it now, which differs from its time.
    const auto age = now.tv_sec - folderStat.st_mtim.tv_sec;
    listing.racy = age < 3 && age > -3;

    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return listing;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // Two names that differ only in case (possible on a Linux copy): the smaller one
        // wins, so the choice does not depend on the listing order.
        auto [slot, inserted] = listing.byFolded.emplace(FoldCase(name), name);
        if (!inserted && name < slot->second)
            slot->second = name;
    }
    return listing;
}

} // namespace korvello::posix
