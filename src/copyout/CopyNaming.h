#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// How the copies of a job are named and sorted: by title alone (every song in the chosen
// folder), as "Artist - Title", or in artist and album folders under the chosen folder.
// The choice is a user setting; the words below are what the registry stores and what
// korvello-cli copy --name takes.

#include "platform/Platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvello {

enum class TCopyNaming {
    Title,            // "Yesterday.mp3"
    ArtistTitle,      // "The Beatles - Yesterday.mp3"
    ArtistAlbumTitle, // "The Beatles\Help!\Yesterday.mp3"
};

inline constexpr TCopyNaming kDefaultCopyNaming = TCopyNaming::Title;

// "title", "artist-title" or "artist-album-title".
std::string CopyNamingWord(TCopyNaming naming);
// The naming a word names (ASCII letter case does not matter); nothing for any other text.
std::optional<TCopyNaming> ParseCopyNaming(std::string_view word);
// The choice as the options window lists it: "Title", "Artist - Title",
// "Artist\Album\Title".
std::string CopyNamingLabel(TCopyNaming naming);

// What a song's folders are called when its tag is empty (or nothing is left of it once
// it is cleaned).
inline constexpr const char* kUnknownArtist = "Unknown Artist";
inline constexpr const char* kUnknownAlbum = "Unknown Album";

// The tags of a song that its copy's name is made of, as UTF-8 texts.
struct TSongNameTags {
    std::string title; // as the song table shows it
    std::string artist;
    std::string album;
};

// One name of the copy's path made of a tag: cleaned as a title is (CleanFileName), made
// visible (no leading "."), cut to the name limit; `unknown` when the tag is empty or only
// blanks once cleaned.
std::string TagNamePart(const std::string& tag, const char* unknown);

// Destination of one song under `naming`, below the chosen `folder` (program paths):
//   Title             folder\Title.mp3 (BuildTargetPath, unchanged)
//   ArtistTitle       folder\Artist - Title.mp3
//   ArtistAlbumTitle  folder\Artist\Album\Title.mp3
// The extension comes from the song's file `sourcePath` as for BuildTargetPath.
std::string BuildNamedTargetPath(const std::string& folder, TCopyNaming naming,
                                 const TSongNameTags& tags, const std::string& sourcePath);

// The file name the folder dialog proposes for the first marked song: the last name of
// its destination under `naming` ("Artist - Title.mp3", or "Title.mp3" for the other two).
std::string ProposedNamedFileName(TCopyNaming naming, const TSongNameTags& tags,
                                  const std::string& sourcePath);

// The chosen folder `linuxFolder` (an absolute Linux path) in program form, as the copy
// job names it: a drive root keeps its backslash ("c:\"), any other folder has none at
// its end. Empty when its program form would lead to another folder (a Linux name that
// holds "\") or no drive holds it: copying into what that leads to would be wrong.
std::string DestinationFolder(IPlatform& platform, const std::string& linuxFolder);

} // namespace korvello
