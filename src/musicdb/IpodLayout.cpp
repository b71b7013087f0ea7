// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/IpodLayout.h"

namespace korvello {

std::string ITunesFolder(const std::string& drive) {
    return drive + "\\iPod_Control\\iTunes";
}

std::string DatabasePath(const std::string& drive) {
    return ITunesFolder(drive) + "\\itunesdb";
}

std::string CompressedDatabasePath(const std::string& drive) {
    return ITunesFolder(drive) + "\\iTunesCDB";
}

std::string SqliteLibraryPath(const std::string& drive) {
    return ITunesFolder(drive) + "\\iTunes Library.itlp";
}

bool HoldsITunesFolder(IPlatform& platform, const std::string& drive) {
    return platform.DirectoryExists(ITunesFolder(drive) + "\\");
}

std::vector<std::string> FindIpodRoots(IPlatform& platform) {
    std::vector<std::string> roots;
    const std::uint32_t mask = platform.GetLogicalDrives();
    for (int i = 2; i <= 25; ++i) {
        if ((mask & (1u << i)) == 0)
            continue;
        const std::string drive = std::string(1, static_cast<char>('a' + i)) + ":";
        if (platform.GetDriveType(drive + "\\") == DriveType::Removable &&
            HoldsITunesFolder(platform, drive))
            roots.push_back(drive);
    }
    return roots;
}

} // namespace korvello
