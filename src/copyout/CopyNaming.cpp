// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/CopyNaming.h"

#include "copyout/Naming.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace korvello {

namespace {

enum Field : int {
    kTitle,
    kArtist,
    kAlbum,
    kAlbumArtist,
    kGenre,
    kComposer,
    kYear,
    kTrack,
    kTracks,
    kDisc,
    kDiscs,
    kFileType,
    kFieldCount
};

constexpr std::array<const char*, kFieldCount> kFieldNames{
    "title", "artist", "album",  "albumartist", "genre", "composer",
    "year",  "track",  "tracks", "disc",        "discs", "filetype"};

constexpr const char* kFieldList = "{title} {artist} {album} {albumartist} {genre} {composer} "
                                   "{year} {track} {tracks} {disc} {discs} {filetype}";

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<int> FieldNamed(std::string_view name) {
    for (int f = 0; f < kFieldCount; ++f) {
        if (EqualsAsciiNoCase(name, kFieldNames[static_cast<std::size_t>(f)]))
            return f;
    }
    return std::nullopt;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

using Piece = TCopyNaming::Piece;

// A part that always has something in it: text, or a field outside brackets.
bool HasFixedContent(const std::vector<Piece>& part) {
    return std::any_of(part.begin(), part.end(), [](const Piece& p) {
        return p.kind == Piece::Kind::Field || (p.kind == Piece::Kind::Text && !p.text.empty());
    });
}

// A part made of nothing but the text "." or "..".
bool IsDotsOnly(const std::vector<Piece>& part) {
    std::string text;
    for (const Piece& p : part) {
        if (p.kind != Piece::Kind::Text)
            return false;
        text += p.text;
    }
    return text == "." || text == "..";
}

// The template split into parts at the separators outside brackets; `why` set on a fault.
// One pass over the text.
std::optional<std::vector<std::vector<Piece>>> ParseParts(std::string_view text, std::string& why) {
    std::vector<std::vector<Piece>> parts(1);
    Piece* group = nullptr; // the open bracket's group
    auto pieces = [&]() -> std::vector<Piece>& {
        return group ? group->members : parts.back();
    };
    auto addText = [&](char c) {
        std::vector<Piece>& list = pieces();
        if (list.empty() || list.back().kind != Piece::Kind::Text)
            list.push_back(Piece{});
        list.back().text += c;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{') {
            const std::size_t close = text.find_first_of("{}", i + 1);
            if (close == std::string_view::npos || text[close] != '}') {
                why = "a \"{\" is not closed by a \"}\"";
                return std::nullopt;
            }
            const std::string_view name = text.substr(i + 1, close - i - 1);
            const std::optional<int> field = FieldNamed(name);
            if (!field) {
                why = "unknown field {" + std::string(name) + "}; the fields are " + kFieldList;
                return std::nullopt;
            }
            Piece piece;
            piece.kind = Piece::Kind::Field;
            piece.field = *field;
            pieces().push_back(std::move(piece));
            i = close;
        } else if (c == '}') {
            why = "a \"}\" has no \"{\" before it";
            return std::nullopt;
        } else if (c == '[') {
            if (group) {
                why = "square brackets cannot be put inside square brackets";
                return std::nullopt;
            }
            Piece piece;
            piece.kind = Piece::Kind::Group;
            parts.back().push_back(std::move(piece));
            group = &parts.back().back();
        } else if (c == ']') {
            if (!group) {
                why = "a \"]\" has no \"[\" before it";
                return std::nullopt;
            }
            group = nullptr;
        } else if (IsSeparator(c)) {
            if (group) {
                why = "a part in square brackets cannot hold \"\\\" or \"/\"";
                return std::nullopt;
            }
            parts.emplace_back();
        } else {
            addText(c);
        }
    }
    if (group) {
        why = "a \"[\" is not closed by a \"]\"";
        return std::nullopt;
    }
    return parts;
}

// The text of one field of `song`, cleaned; empty when the song has none.
std::string FieldText(int field, const TSong& song) {
    auto tag = [](const std::u16string& value) {
        std::string clean = CleanFileName(ToUtf8(value));
        if (clean.find_first_not_of(' ') == std::string::npos)
            clean.clear();
        return clean;
    };
    auto number = [](std::int32_t n) {
        return n > 0 ? std::to_string(n) : std::string();
    };
    switch (field) {
    case kTitle:
        return CleanFileName(ToUtf8(song.Title));
    case kArtist: {
        std::string artist = tag(song.Artist);
        return artist.empty() ? kUnknownArtist : artist;
    }
    case kAlbum: {
        std::string album = tag(song.Album);
        return album.empty() ? kUnknownAlbum : album;
    }
    case kAlbumArtist: {
        if (std::string albumArtist = tag(song.AlbumArtist); !albumArtist.empty())
            return albumArtist;
        if (song.Compilation)
            return kVariousArtists;
        std::string artist = tag(song.Artist);
        return artist.empty() ? kUnknownArtist : artist;
    }
    case kGenre:
        return tag(song.Genre);
    case kComposer:
        return tag(song.Composer);
    case kFileType:
        return tag(song.FileType);
    case kYear:
        return number(song.Year);
    case kTrack: {
        std::string track = number(song.TrackNumber);
        if (track.empty())
            return track;
        // As many digits as the album's track count has, at least two.
        const std::size_t width = std::max<std::size_t>(2, number(song.TrackCount).size());
        if (track.size() < width)
            track.insert(0, width - track.size(), '0');
        return track;
    }
    case kTracks:
        return number(song.TrackCount);
    case kDisc:
        // Only an album of more than one disc numbers its discs.
        return song.DiscCount > 1 || song.DiscNumber > 1 ? number(song.DiscNumber) : std::string();
    case kDiscs:
        return number(song.DiscCount);
    default:
        return {};
    }
}

// One part of the template for `song`, cleaned; texts of fields are looked up once each.
std::string ExpandPart(const std::vector<Piece>& part, const TSong& song,
                       std::array<std::optional<std::string>, kFieldCount>& cache) {
    auto field = [&](int f) -> const std::string& {
        std::optional<std::string>& slot = cache[static_cast<std::size_t>(f)];
        if (!slot)
            slot = FieldText(f, song);
        return *slot;
    };
    std::string out;
    for (const Piece& piece : part) {
        switch (piece.kind) {
        case Piece::Kind::Text:
            out += piece.text;
            break;
        case Piece::Kind::Field:
            out += field(piece.field);
            break;
        case Piece::Kind::Group: {
            const bool complete =
                std::none_of(piece.members.begin(), piece.members.end(), [&](const Piece& m) {
                    return m.kind == Piece::Kind::Field && field(m.field).empty();
                });
            if (!complete)
                break;
            for (const Piece& member : piece.members)
                out += member.kind == Piece::Kind::Field ? field(member.field) : member.text;
            break;
        }
        }
    }
    return CleanFileName(out);
}

// The file name of a copy: `base` cleaned, made visible with the "_" in front of the base
// (so the cut to the name limit keeps the extension), and the song file's extension.
std::string CopyFileName(const std::string& base, const std::string& sourcePath) {
    const std::string extension = SongFileExt(sourcePath);
    std::string clean = CleanFileName(base);
    if (VisibleFileName(clean + extension).size() != clean.size() + extension.size())
        clean.insert(0, "_");
    return FitFileName(clean, extension);
}

} // namespace

TCopyNaming::TCopyNaming() : text_("{title}") {
    Piece title;
    title.kind = Piece::Kind::Field;
    title.field = kTitle;
    parts_.push_back({title});
}

std::optional<TCopyNaming> TCopyNaming::Parse(std::string_view text, std::string& why) {
    if (text.empty()) {
        why = "the template is empty";
        return std::nullopt;
    }
    std::optional<std::vector<std::vector<Piece>>> parts = ParseParts(text, why);
    if (!parts)
        return std::nullopt;
    for (std::size_t i = 0; i < parts->size(); ++i) {
        const std::vector<Piece>& part = (*parts)[i];
        const bool isFile = i + 1 == parts->size();
        if (part.empty()) {
            why = isFile ? "the template ends with \"\\\" or \"/\": it names no file"
                         : "the template has an empty folder name (a \"\\\" or \"/\" at its "
                           "start or two in a row)";
            return std::nullopt;
        }
        if (IsDotsOnly(part)) {
            why = "\"" + std::string(part.front().text) + "\" cannot be a folder or file name";
            return std::nullopt;
        }
        if (isFile && !HasFixedContent(part)) {
            why = "the file name can come out empty: put a field or text outside the square "
                  "brackets";
            return std::nullopt;
        }
    }
    const bool anyField = std::any_of(parts->begin(), parts->end(), [](const auto& part) {
        return std::any_of(part.begin(), part.end(), [](const Piece& p) {
            return p.kind == Piece::Kind::Field ||
                   (p.kind == Piece::Kind::Group &&
                    std::any_of(p.members.begin(), p.members.end(),
                                [](const Piece& m) { return m.kind == Piece::Kind::Field; }));
        });
    });
    if (!anyField) {
        why = "the template holds no field, so every song would get the same name";
        return std::nullopt;
    }
    TCopyNaming naming;
    naming.text_ = std::string(text);
    naming.parts_ = std::move(*parts);
    return naming;
}

std::vector<std::string> TCopyNaming::Names(const TSong& song) const {
    std::array<std::optional<std::string>, kFieldCount> cache;
    std::vector<std::string> names;
    names.reserve(parts_.size());
    for (std::size_t i = 0; i + 1 < parts_.size(); ++i) {
        const std::string folder = ExpandPart(parts_[i], song, cache);
        // A folder whose fields are all empty is left out: "[Disc {disc}]" on a one-disc
        // album puts the song one folder up.
        if (folder.find_first_not_of(' ') == std::string::npos)
            continue;
        names.push_back(CutUtf8(VisibleFileName(folder), kMaxFileNameBytes));
    }
    names.push_back(CopyFileName(ExpandPart(parts_.back(), song, cache), ToUtf8(song.Location)));
    return names;
}

TCopyNaming PresetNaming(std::size_t index) {
    std::string why;
    return TCopyNaming::Parse(kNamingPresets.at(index).text, why).value_or(TCopyNaming());
}

std::optional<std::size_t> PresetIndex(const TCopyNaming& naming) {
    for (std::size_t i = 0; i < kNamingPresets.size(); ++i) {
        if (naming.Text() == kNamingPresets[i].text)
            return i;
    }
    return std::nullopt;
}

std::string CopyNamingWord(const TCopyNaming& naming) {
    const std::optional<std::size_t> preset = PresetIndex(naming);
    if (preset && kNamingPresets[*preset].word != nullptr)
        return kNamingPresets[*preset].word;
    return naming.Text();
}

std::optional<TCopyNaming> ParseCopyNaming(std::string_view text, std::string& why) {
    for (std::size_t i = 0; i < kNamingPresets.size(); ++i) {
        if (kNamingPresets[i].word != nullptr && EqualsAsciiNoCase(text, kNamingPresets[i].word))
            return PresetNaming(i);
    }
    return TCopyNaming::Parse(text, why);
}

std::string CopyNamingLabel(const TCopyNaming& naming) {
    const std::optional<std::size_t> preset = PresetIndex(naming);
    return preset ? kNamingPresets[*preset].label : naming.Text();
}

std::string BuildNamedTargetPath(const std::string& folder, const TCopyNaming& naming,
                                 const TSong& song) {
    const std::vector<std::string> names = naming.Names(song);
    if (names.size() == 1)
        return folder + "\\" + names.front();
    // A drive root keeps its "\" ("D:\"), so no second one is put after it.
    std::string path = folder.ends_with('\\') ? folder.substr(0, folder.size() - 1) : folder;
    for (const std::string& name : names)
        path += "\\" + name;
    return path;
}

std::string ProposedNamedFileName(const TCopyNaming& naming, const TSong& song) {
    return naming.Names(song).back();
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
