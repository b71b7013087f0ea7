#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A playlist of a copy job: an M3U8 file (UTF-8, "#EXTM3U") that lists every song the
// job copied or found already copied, in job order, each with an "#EXTINF:-1,Artist -
// Title" line and its path relative to the playlist's own folder, so the playlist keeps
// working when the folder is moved or shared.

#include <string>
#include <string_view>
#include <vector>

namespace korvello {

class IPlatform;

// The name proposed for a job's playlist, in the job's folder.
inline constexpr const char* kPlaylistFileName = "Korvello.m3u8";

struct TPlaylistEntry {
    std::string artist; // may be empty
    std::string title;
    std::string path; // Linux form of the copy
};

// The playlist's text for a file at `playlistPath` (Linux form). Paths use "/"; a song
// outside the playlist's folder is reached with "..". A path that would begin with "#"
// (a title such as "#1 Hit") gets "./" in front, so players do not take it for a
// comment; line breaks inside tags become blanks.
std::string PlaylistText(const std::string& playlistPath,
                         const std::vector<TPlaylistEntry>& entries);

// The pieces PlaylistText is made of, for playlists of many entries that share songs:
// the path of the song at `song` as a playlist in the folder `playlistFolder` (both in
// Linux form, the folder lexically normal) names it, and one entry's two lines, with
// `seconds` the song's length (-1 when unknown) and `path` as PlaylistRelativePath gave it.
std::string PlaylistRelativePath(const std::string& song, const std::string& playlistFolder);
void AppendPlaylistEntry(std::string& text, std::string_view artist, std::string_view title,
                         int seconds, std::string_view path);

// The entries of a finished job from its parallel lists: `outcomes` holds each song's
// path written or its result text; `found` holds, for a song found " Already copied.",
// the program path of that copy (and may be shorter than the job, or empty entries,
// for jobs without such songs). Program paths are turned into Linux form.
std::vector<TPlaylistEntry> PlaylistOfJob(IPlatform& platform,
                                          const std::vector<std::string>& titles,
                                          const std::vector<std::string>& artists,
                                          const std::vector<std::string>& outcomes,
                                          const std::vector<std::string>& found);

// Writes `text` to the file at `path` (a program path) whole: through a hidden temporary
// file beside it that is renamed over the old file only once every byte is stored, so a
// failure leaves an existing playlist as it was. An existing file is replaced only when
// it is an earlier playlist (it begins with "#EXTM3U") and none of `jobFiles` (the job's
// outcomes: the songs it wrote), checked in one step with the rename. False with `error`
// set when it could not be written (a song or other file of that name, a folder, a
// missing folder, no room).
bool WritePlaylistFile(IPlatform& platform, const std::string& path, const std::string& text,
                       const std::vector<std::string>& jobFiles, std::string& error);

} // namespace korvello
