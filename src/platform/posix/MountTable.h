#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the kernel's mount table (the mountinfo format of proc(5)) into plain records.

#include <string>
#include <string_view>
#include <vector>

namespace korvello::posix {

// One mount of the table, with the octal escapes (\040 for a blank) undone.
struct MountEntry {
    int id = 0;
    int parentId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;       // the folder of the file system mounted here ("/" unless a bind)
    std::string mountPoint; // as the process sees it
    std::string fsType;
    std::string source; // "/dev/sdb1", "server:/export", "tmpfs", ...
};

// Undoes the octal escapes the kernel puts in mount table fields ("\040" -> " ").
std::string UnescapeMountField(std::string_view field);

// Parses a whole mountinfo text. Lines that do not have the documented shape are
// skipped, so a damaged or future-format line never costs the others.
std::vector<MountEntry> ParseMountinfo(std::string_view text);

// Pseudo and network file systems: never a drive of their own.
bool IsPseudoOrNetworkFs(std::string_view fsType);

} // namespace korvello::posix
