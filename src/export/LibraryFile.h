#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The library file of a job: an XML property list in the form of iTunes' "iTunes Music
// Library.xml", which many players and importers read. It holds one track per song the
// job copied or found already copied, with its copy's place as a file:// URL and what the
// iPod kept of it (tags, numbers, rating, play and skip counts and dates, date added),
// then the playlists: a master list of every track and each of the iPod's playlists with
// the entries that have a copy (a playlist without any is left out).
//
// The text is UTF-8 XML 1.0: & < > " are escaped, characters XML 1.0 cannot hold
// (control characters other than tab, line feed and carriage return; U+FFFE, U+FFFF)
// are left out, and a lone surrogate of a UTF-16 tag becomes U+FFFD.

#include "export/JobCopies.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korvello {

class IPlatform;

struct TLibraryExport {
    std::int32_t tracks = 0;
    std::int32_t playlists = 0; // the iPod's playlists written, the master list not counted
};

// Writes the library file to `path` (a program path) whole, replacing an existing file
// (see TSafeFile); `now` (Unix seconds) is the file's own date. False with `error` set
// when it could not be written; an existing file then stays as it was.
bool WriteLibraryFile(IPlatform& platform, const std::string& path, const TCatalogueView& catalogue,
                      const TJobCopies& copies, std::int64_t now, TLibraryExport& counts,
                      std::string& error);

// The pieces of the text, for its tests.
// "file://" and the Linux path with every byte but letters, digits, "-._~/" as %XX.
std::string FileUrl(std::string_view linuxPath);
// `text` as XML character data, escaped and cleaned as described above.
void AppendXmlText(std::string& out, std::u16string_view text);
// "2024-02-29T13:05:09Z" for Unix seconds; false when the time lies outside the years
// 1 to 9999, which a property-list date cannot hold.
bool AppendPlistDate(std::string& out, std::int64_t unixSeconds);

} // namespace korvello
