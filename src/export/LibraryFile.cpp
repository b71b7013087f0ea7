// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/LibraryFile.h"

#include "export/SafeFile.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>

namespace korvello {

namespace {

// Unix seconds of 9999-12-31T23:59:59Z and of 0001-01-01T00:00:00Z.
constexpr std::int64_t kLastPlistSecond = 253402300799;
constexpr std::int64_t kFirstPlistSecond = -62135596800;

void AppendNumber(std::string& out, std::int64_t value) {
    std::array<char, 24> digits{};
    const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    (void)ec; // 24 characters hold every 64-bit number
    out.append(digits.data(), end);
}

void AppendTwoDigits(std::string& out, unsigned value) {
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A 64-bit FNV-1a hash: persistent ids that stay the same when the same copies are
// exported again, so an importer that syncs by id finds its tracks again.
std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = 14695981039346656037ull) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

void AppendPersistentId(std::string& out, std::uint64_t id) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    for (int shift = 60; shift >= 0; shift -= 4)
        out += kHex[(id >> shift) & 0xF];
}

// The writer of one file: keys and values at the indentation iTunes uses, handed to the
// file a track or a playlist at a time.
class PlistWriter {
public:
    explicit PlistWriter(TSafeFile& file) : file_(file) {}

    void Line(std::string_view indent, std::string_view text) {
        text_ += indent;
        text_ += text;
        text_ += '\n';
    }
    void Key(std::string_view indent, std::string_view key) {
        text_ += indent;
        text_ += "<key>";
        text_ += key;
        text_ += "</key>";
    }
    void Integer(std::string_view indent, std::string_view key, std::int64_t value) {
        Key(indent, key);
        text_ += "<integer>";
        AppendNumber(text_, value);
        text_ += "</integer>\n";
    }
    // Left out when zero or less, as iTunes leaves out numbers it does not know.
    void Count(std::string_view indent, std::string_view key, std::int64_t value) {
        if (value > 0)
            Integer(indent, key, value);
    }
    void String(std::string_view indent, std::string_view key, std::u16string_view value) {
        if (value.empty())
            return;
        Key(indent, key);
        text_ += "<string>";
        AppendXmlText(text_, value);
        text_ += "</string>\n";
    }
    // Only for texts that need no escaping (URLs, ids, fixed words).
    void Ascii(std::string_view indent, std::string_view key, std::string_view value) {
        Key(indent, key);
        text_ += "<string>";
        text_ += value;
        text_ += "</string>\n";
    }
    void Date(std::string_view indent, std::string_view key, std::int64_t unixSeconds) {
        if (unixSeconds <= 0)
            return;
        std::string date;
        if (!AppendPlistDate(date, unixSeconds))
            return;
        Key(indent, key);
        text_ += "<date>";
        text_ += date;
        text_ += "</date>\n";
    }
    void True(std::string_view indent, std::string_view key) {
        Key(indent, key);
        text_ += "<true/>\n";
    }
    void False(std::string_view indent, std::string_view key) {
        Key(indent, key);
        text_ += "<false/>\n";
    }
    void Id(std::string_view indent, std::string_view key, std::uint64_t id) {
        Key(indent, key);
        text_ += "<string>";
        AppendPersistentId(text_, id);
        text_ += "</string>\n";
    }
    void Hand() {
        file_.Write(text_);
        text_.clear();
    }

private:
    TSafeFile& file_;
    std::string text_;
};

constexpr std::string_view kIndent1 = "\t";
constexpr std::string_view kIndent2 = "\t\t";
constexpr std::string_view kIndent3 = "\t\t\t";
constexpr std::string_view kIndent4 = "\t\t\t\t";

void WriteTrackEntry(PlistWriter& w, std::int32_t trackId, const TSong& song,
                     const std::string& path) {
    std::string key = "<key>";
    AppendNumber(key, trackId);
    key += "</key>";
    w.Line(kIndent2, key);
    w.Line(kIndent2, "<dict>");
    const std::string_view in = kIndent3;
    w.Integer(in, "Track ID", trackId);
    w.String(in, "Name", song.Title);
    w.String(in, "Artist", song.Artist);
    w.String(in, "Album Artist", song.AlbumArtist);
    w.String(in, "Composer", song.Composer);
    w.String(in, "Album", song.Album);
    w.String(in, "Grouping", song.Grouping);
    w.String(in, "Genre", song.Genre);
    w.String(in, "Kind", song.FileType);
    w.Count(in, "Size", song.FileBytes);
    w.Count(in, "Total Time", song.Duration);
    w.Count(in, "Disc Number", song.DiscNumber);
    w.Count(in, "Disc Count", song.DiscCount);
    w.Count(in, "Track Number", song.TrackNumber);
    w.Count(in, "Track Count", song.TrackCount);
    w.Count(in, "Year", song.Year);
    w.Date(in, "Date Added", song.DateAdded);
    w.Count(in, "Bit Rate", song.Bitrate);
    w.Count(in, "Sample Rate", song.SampleRate);
    w.Count(in, "Play Count", song.PlayCount);
    w.Date(in, "Play Date UTC", song.LastPlayed);
    w.Count(in, "Skip Count", song.SkipCount);
    w.Date(in, "Skip Date", song.LastSkipped);
    w.Count(in, "Rating", std::min(song.Rating, 100));
    if (song.Compilation)
        w.True(in, "Compilation");
    w.String(in, "Comments", song.Comment);
    w.String(in, "Sort Name", song.SortTitle);
    w.String(in, "Sort Artist", song.SortArtist);
    w.String(in, "Sort Album Artist", song.SortAlbumArtist);
    w.String(in, "Sort Album", song.SortAlbum);
    w.String(in, "Sort Composer", song.SortComposer);
    w.Id(in, "Persistent ID", Fnv1a(path));
    w.Ascii(in, "Track Type", "File");
    w.Ascii(in, "Location", FileUrl(path));
    w.Line(kIndent2, "</dict>");
}

void WritePlaylistHead(PlistWriter& w, std::u16string_view name, std::int32_t playlistId,
                       std::uint64_t persistentId, bool master) {
    w.Line(kIndent2, "<dict>");
    if (master) {
        w.True(kIndent3, "Master");
        w.False(kIndent3, "Visible");
    }
    w.Integer(kIndent3, "Playlist ID", playlistId);
    w.Id(kIndent3, "Playlist Persistent ID", persistentId);
    w.True(kIndent3, "All Items");
    // A playlist without a name would be nameless in the importer too.
    w.String(kIndent3, "Name", name.empty() ? std::u16string_view(u"Playlist") : name);
    w.Key(kIndent3, "Playlist Items");
    w.Line("", "");
    w.Line(kIndent3, "<array>");
}

void WritePlaylistItem(PlistWriter& w, std::int32_t trackId) {
    w.Line(kIndent4, "<dict>");
    w.Integer("\t\t\t\t\t", "Track ID", trackId);
    w.Line(kIndent4, "</dict>");
}

void WritePlaylistTail(PlistWriter& w) {
    w.Line(kIndent3, "</array>");
    w.Line(kIndent2, "</dict>");
}

} // namespace

std::string FileUrl(std::string_view linuxPath) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string url = "file://";
    url.reserve(url.size() + linuxPath.size() * 3);
    for (const char ch : linuxPath) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            url += ch;
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 0xF];
        }
    }
    return url;
}

void AppendXmlText(std::string& out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'&':
            out += "&amp;";
            continue;
        case u'<':
            out += "&lt;";
            continue;
        case u'>':
            out += "&gt;";
            continue;
        case u'"':
            out += "&quot;";
            continue;
        case u'\r':
            // A bare carriage return would reach the reader as a line feed.
            out += "&#13;";
            continue;
        case u'\t':
        case u'\n':
            out += static_cast<char>(c);
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
            continue;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
}

bool AppendPlistDate(std::string& out, std::int64_t unixSeconds) {
    if (unixSeconds < kFirstPlistSecond || unixSeconds > kLastPlistSecond)
        return false;
    // Days to a civil date (Howard Hinnant's days_from_civil, run backwards).
    std::int64_t days = unixSeconds / 86400;
    std::int64_t rest = unixSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    const auto y = static_cast<unsigned>(year);
    AppendTwoDigits(out, y / 100);
    AppendTwoDigits(out, y % 100);
    out += '-';
    AppendTwoDigits(out, month);
    out += '-';
    AppendTwoDigits(out, day);
    out += 'T';
    const auto seconds = static_cast<unsigned>(rest);
    AppendTwoDigits(out, seconds / 3600);
    out += ':';
    AppendTwoDigits(out, seconds / 60 % 60);
    out += ':';
    AppendTwoDigits(out, seconds % 60);
    out += 'Z';
    return true;
}

bool WriteLibraryFile(IPlatform& platform, const std::string& path, const TCatalogueView& catalogue,
                      const TJobCopies& copies, std::int64_t now, TLibraryExport& counts,
                      std::string& error) {
    counts = {};
    if (const NameKind kind = platform.StatName(path).kind;
        kind == NameKind::Other || kind == NameKind::Folder) {
        error = "not a file";
        return false;
    }
    TSafeFile file(platform, path);
    if (!file.Open(error))
        return false;
    PlistWriter w(file);
    const std::string folder =
        std::filesystem::path(platform.DisplayPath(path)).parent_path().string();
    w.Line("", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    w.Line("", "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">");
    w.Line("", "<plist version=\"1.0\">");
    w.Line("", "<dict>");
    w.Integer(kIndent1, "Major Version", 1);
    w.Integer(kIndent1, "Minor Version", 1);
    w.Date(kIndent1, "Date", now);
    w.Ascii(kIndent1, "Application Version", "Korvello " KORVELLO_VERSION);
    w.Integer(kIndent1, "Features", 5);
    w.True(kIndent1, "Show Content Ratings");
    if (folder.starts_with('/'))
        w.Ascii(kIndent1, "Music Folder", FileUrl(folder.ends_with('/') ? folder : folder + "/"));
    w.Id(kIndent1, "Library Persistent ID", Fnv1a(path));
    w.Key(kIndent1, "Tracks");
    w.Line("", "");
    w.Line(kIndent1, "<dict>");

    // Track ids by song position: 1, 2, ... in the catalogue's order; 0 for a song
    // without a copy.
    const std::int32_t songCount =
        std::min(catalogue.songCount, static_cast<std::int32_t>(copies.pathOfSong.size()));
    std::vector<std::int32_t> trackOfSong(static_cast<std::size_t>(std::max(songCount, 0)));
    for (std::int32_t song = 0; song < songCount; ++song) {
        if (!copies.Has(song))
            continue;
        const std::int32_t trackId = ++counts.tracks;
        trackOfSong[static_cast<std::size_t>(song)] = trackId;
        WriteTrackEntry(w, trackId, catalogue.songAt(song),
                        copies.pathOfSong[static_cast<std::size_t>(song)]);
        w.Hand();
    }
    w.Line(kIndent1, "</dict>");
    w.Key(kIndent1, "Playlists");
    w.Line("", "");
    w.Line(kIndent1, "<array>");

    std::int32_t playlistId = 0;
    const std::u16string_view masterName =
        catalogue.masterName.empty() ? std::u16string_view(u"Library") : catalogue.masterName;
    WritePlaylistHead(w, masterName, ++playlistId, Fnv1a("master", Fnv1a(path)), true);
    for (std::int32_t track = 1; track <= counts.tracks; ++track) {
        WritePlaylistItem(w, track);
        if (track % 1024 == 0)
            w.Hand();
    }
    WritePlaylistTail(w);
    w.Hand();

    const auto trackOf = [&](std::int32_t song) {
        return song >= 0 && song < songCount ? trackOfSong[static_cast<std::size_t>(song)] : 0;
    };
    if (catalogue.playlists != nullptr) {
        for (const TPlaylist& playlist : *catalogue.playlists) {
            if (std::none_of(playlist.Songs.begin(), playlist.Songs.end(),
                             [&](std::int32_t song) { return trackOf(song) != 0; }))
                continue;
            ++counts.playlists;
            std::string idSeed = std::to_string(counts.playlists);
            WritePlaylistHead(w, playlist.Name, ++playlistId, Fnv1a(idSeed, Fnv1a(path)), false);
            std::size_t items = 0;
            for (const std::int32_t song : playlist.Songs) {
                if (const std::int32_t track = trackOf(song); track != 0) {
                    WritePlaylistItem(w, track);
                    if (++items % 1024 == 0)
                        w.Hand();
                }
            }
            WritePlaylistTail(w);
            w.Hand();
        }
    }
    w.Line(kIndent1, "</array>");
    w.Line("", "</dict>");
    w.Line("", "</plist>");
    w.Hand();
    return file.Finish(error) && file.PlaceAs({}, /*replace=*/true, error) == RenameResult::Done;
}

} // namespace korvello
