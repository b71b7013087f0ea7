// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/CopyNaming.h"

#include "copyout/Naming.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

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

std::string TagNamePart(const std::string& tag, const char* unknown) {
    const std::string clean = CleanFileName(tag);
    if (clean.find_first_not_of(' ') == std::string::npos)
        return unknown;
    return CutUtf8(VisibleFileName(clean), kMaxFileNameBytes);
}

namespace {

// "Artist - Title": the artist part is settled first, so an empty artist reads "Unknown
// Artist - Title" and the title is cleaned, made visible and cut as ever.
std::string ArtistTitle(const TSongNameTags& tags) {
    return TagNamePart(tags.artist, kUnknownArtist) + " - " + tags.title;
}

} // namespace

std::string BuildNamedTargetPath(const std::string& folder, TCopyNaming naming,
                                 const TSongNameTags& tags, const std::string& sourcePath) {
    switch (naming) {
    case TCopyNaming::ArtistTitle:
        return BuildTargetPath(folder, ArtistTitle(tags), sourcePath);
    case TCopyNaming::ArtistAlbumTitle: {
        // A drive root keeps its "" ("D:"), so no second one is put after it.
        const std::string base =
            folder.ends_with('\\') ? folder.substr(0, folder.size() - 1) : folder;
        const std::string albumFolder = base + "\\" + TagNamePart(tags.artist, kUnknownArtist) +
                                        "\\" + TagNamePart(tags.album, kUnknownAlbum);
        return BuildTargetPath(albumFolder, tags.title, sourcePath);
    }
    case TCopyNaming::Title:
        break;
    }
    return BuildTargetPath(folder, tags.title, sourcePath);
}

std::string ProposedNamedFileName(TCopyNaming naming, const TSongNameTags& tags,
                                  const std::string& sourcePath) {
    if (naming == TCopyNaming::ArtistTitle)
        return ProposedFileName(ArtistTitle(tags), sourcePath);
    return ProposedFileName(tags.title, sourcePath);
}

std::string DestinationFolder(IPlatform& platform, const std::string& linuxFolder) {
    std::string folder = platform.ToProgramPath(linuxFolder);
    if (!folder.empty() && folder.back() == ':')
        folder += '\\';
    const std::string back = folder.empty() ? std::string() : platform.ToLinuxPath(folder);
    if (back.empty())
        return {};
    std::error_code ec;
    if (back != linuxFolder && !(std::filesystem::equivalent(back, linuxFolder, ec) && !ec))
        return {};
    return folder;
}

} // namespace korvello
