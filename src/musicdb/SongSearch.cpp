// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/SongSearch.h"

#include "platform/Text.h"

namespace korvello {

bool ContainsEveryWord(std::string_view pattern, std::string_view subject) {
    std::size_t pos = 0;
    while ((pos = pattern.find_first_not_of(' ', pos)) != std::string_view::npos) {
        const std::size_t end = pattern.find(' ', pos);
        if (subject.find(pattern.substr(pos, end - pos)) == std::string_view::npos)
            return false;
        if (end == std::string_view::npos)
            break;
        pos = end + 1;
    }
    return true;
}

bool MatchesSearch(const TSong& song, std::string_view pattern) {
    for (const std::u16string* field : SearchedFields(song)) {
        if (ContainsEveryWord(pattern, ToUtf8(*field)))
            return true;
    }
    return false;
}

} // namespace korvello
