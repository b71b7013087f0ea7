#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Putting a finished file under its own name without ever losing a file on the way.
//
// Where the file system has them, renameat2's RENAME_NOREPLACE and RENAME_EXCHANGE (or a
// hard link) make each step atomic. Where it has none of them (FAT through FUSE), jobs
// take turns on a name through a claim: a hidden file ".NAME.korvello-claim" beside it,
// created with O_EXCL and locked (flock) while held, so the check of what the name holds
// and the rename are one step for every job that follows the same rule. The claim is
// never the song's name, so a kill at any point leaves under the name either what was
// there or the whole new file. A claim left by a killed job is free (unlocked) and is
// taken over once it is a few seconds old.
//
// Temporary files and claims are locked while in use; DeleteUnlockedLeftover removes one
// that nobody holds, after checking under its lock that the name still is that file.

#include "platform/posix/FileUtil.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvello::posix {

// Suffix of a claim's name: "X.mp3" is claimed as ".X.mp3.korvello-claim".
inline constexpr std::string_view kClaimSuffix = ".korvello-claim";
// Age from which a free temporary file or claim counts as left behind.
inline constexpr int kLeftoverAgeSeconds = 5;

// Seams for tests: they stop or delay the program at a step, or behave like a file system
// without renameat2's flags and hard links.
struct PlaceOptions {
    // Called before each step that touches a name: "rename2" (renameat2 without
    // replacing), "link", "claim", "check", "rename", "exchange", "remove", "put back",
    // "unclaim".
    std::function<void(std::string_view step)> step;
    bool plainRenames = false;
};

// Creates `path` new (O_EXCL) and locks it. A cleanup that removed it in the moment
// between the two is noticed (the name is no longer this file) and the file made again.
// Invalid with `err` set (EEXIST when the name is taken) on failure.
UniqueFd CreateLocked(const std::string& path, int flags, int& err);

// Renames `from` to `to` unless `to` exists. 0, EEXIST, or the errno of the failing step
// (`from` is then where it was).
int PlaceNoReplace(const std::string& from, const std::string& to, const PlaceOptions& options);

// Puts `from` in place of `to` only while `to` is the regular file (device, inode): 0,
// EEXIST when `to` holds anything else or nothing (left as it was), or an errno.
int PlaceReplacing(const std::string& from, const std::string& to, std::uint64_t device,
                   std::uint64_t inode, const PlaceOptions& options);

// Removes `path` if it is a regular file whose lock is free and whose last change is at
// least `minAgeSeconds` away from now (either way: FAT keeps local time). True when removed.
bool DeleteUnlockedLeftover(const std::string& path, int minAgeSeconds);

} // namespace korvello::posix
