#pragma once
// How the copies of a job are named and sorted: by title alone (every song in the chosen
// folder), as "Artist - Title", or in artist and album folders under the chosen folder.
// The choice is a user setting; the words below are what the registry stores and what
// korvello-cli copy --name takes.

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

} // namespace korvello
