#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The word search of the song table and of `korvello-cli copy --search`: a song matches
// when one of its searched fields contains every word of the search text.

#include "musicdb/iPodcomponent.h"

#include <array>
#include <string_view>

namespace korvello {

// True when every word of `pattern` (words are separated by runs of blanks) occurs in
// `subject`, letter case significant. A pattern without words matches everything.
bool ContainsEveryWord(std::string_view pattern, std::string_view subject);

// The fields a search looks at, in the order it tries them.
inline std::array<const std::u16string*, 5> SearchedFields(const TSong& song) {
    return {&song.Title, &song.Album, &song.Artist, &song.Composer, &song.Comment};
}

// True when one of the song's searched fields contains every word of `pattern`.
bool MatchesSearch(const TSong& song, std::string_view pattern);

} // namespace korvello
