#include "copyout/CopyNaming.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace korvello {

namespace {

struct NamingNames {
    TCopyNaming naming;
    const char* word;
    const char* label;
};

constexpr std::array<NamingNames, 3> kNamings{{
    {TCopyNaming::Title, "title", "Title"},
    {TCopyNaming::ArtistTitle, "artist-title", "Artist - Title"},
    {TCopyNaming::ArtistAlbumTitle, "artist-album-title", "Artist\\Album\\Title"},
}};

const NamingNames& NamesOf(TCopyNaming naming) {
    for (const NamingNames& names : kNamings) {
        if (names.naming == naming)
            return names;
    }
    return kNamings.front();
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string CopyNamingWord(TCopyNaming naming) {
    return NamesOf(naming).word;
}

std::optional<TCopyNaming> ParseCopyNaming(std::string_view word) {
    for (const NamingNames& names : kNamings) {
        if (EqualsAsciiNoCase(word, names.word))
            return names.naming;
    }
    return std::nullopt;
}

std::string CopyNamingLabel(TCopyNaming naming) {
    return NamesOf(naming).label;
}

} // namespace korvello
