// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/FolderSizes.h"

#include "platform/posix/TextServices.h"

#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvello::posix {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::optional<std::int64_t> SizeIfFile(const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

// A name that fstatat takes as one entry of the folder: not empty, not "." or "..", no
// "/" (which would lead into another folder) and no NUL (which would cut it short).
bool IsEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// Reads the names of the folder open as `fd` into `listing`; false when it cannot be read.
bool ReadNames(FolderSizes::Listing& listing) {
    // The listing reads through a descriptor of its own, which closedir closes; the
    // folder's own descriptor stays for fstatat.
    const int listFd = ::dup(listing.fd);
    std::unique_ptr<DIR, DirCloser> dir(listFd < 0 ? nullptr : ::fdopendir(listFd));
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return false;
    }
    // Two names that differ only in case (possible on a Linux copy): the smaller one
    // wins, so the choice does not depend on the listing order.
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        auto [slot, added] = listing.byFolded.emplace(FoldCase(name), name);
        if (!added && name < slot->second)
            slot->second = name;
    }
    listing.listed = true;
    return true;
}

} // namespace

FolderSizes::~FolderSizes() {
    for (auto& [identity, listing] : listings_)
        if (listing->fd >= 0)
            ::close(listing->fd);
}

FolderSizes::Listing* FolderSizes::Open(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return nullptr;
    }
    const auto known = listings_.find({st.st_dev, st.st_ino});
    if (known != listings_.end()) {
        ::close(fd);
        return known->second.get();
    }
    if (listings_.size() >= maxFolders_) {
        ::close(fd);
        return nullptr;
    }
    auto listing = std::make_unique<Listing>();
    listing->fd = fd;
    // As PathResolver judges it: a folder changed less than FAT's two seconds ago may
    // still gain an entry that would not move its time.
    const auto age = std::time(nullptr) - st.st_mtim.tv_sec;
    listing->racy = age < 3 && age > -3;
    Listing* result = listing.get();
    listings_.emplace(std::make_pair(st.st_dev, st.st_ino), std::move(listing));
    return result;
}

FolderSizes::Answer FolderSizes::SizeOf(Listing& listing, const std::string& name) {
    struct stat st {};
    // The name as given: one fstatat, no listing, for every song a database spells as
    // the disk does.
    if (IsEntryName(name) && ::fstatat(listing.fd, name.c_str(), &st, 0) == 0)
        return {true, SizeIfFile(st), true};
    if (!listing.listed && !ReadNames(listing))
        return {false, std::nullopt};
    const auto found = listing.byFolded.find(FoldCase(name));
    if (found == listing.byFolded.end())
        return {!listing.racy, std::nullopt};
    if (::fstatat(listing.fd, found->second.c_str(), &st, 0) != 0)
        return {true, std::nullopt};
    return {true, SizeIfFile(st)};
}

} // namespace korvello::posix
