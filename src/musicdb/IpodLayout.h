#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Where an iPod keeps its music database, and how the program tells an iPod among the
// drives: a removable drive whose root holds the folder iPod_Control\iTunes. The window's
// selector, korvello-cli and the catalogue all ask here.

#include "platform/Platform.h"

#include <string>
#include <vector>

namespace korvello {

// The folder of the database files on the drive `drive` ("e:"): "e:\iPod_Control\iTunes".
std::string ITunesFolder(const std::string& drive);
// The plain database, in the letter case devices are looked up with (the platform finds
// "iTunesDB" on disk): "e:\iPod_Control\iTunes\itunesdb".
std::string DatabasePath(const std::string& drive);
// The compressed database of later iPods: "e:\iPod_Control\iTunes\iTunesCDB".
std::string CompressedDatabasePath(const std::string& drive);
// The library of iPods that keep their songs in SQLite only (no file this program reads).
std::string SqliteLibraryPath(const std::string& drive);

// True when the root of `drive` holds the iPod's iTunes folder.
bool HoldsITunesFolder(IPlatform& platform, const std::string& drive);
// The roots ("e:") of every removable drive from c: to z: that holds the iTunes folder,
// in letter order. Re-reads the drive map.
std::vector<std::string> FindIpodRoots(IPlatform& platform);

} // namespace korvello
