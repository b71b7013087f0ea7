// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/MusicFolderScan.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/IpodLayout.h"
#include "platform/Platform.h"
#include "platform/TabFields.h"
#include "platform/Text.h"
#include "tags/Tagger.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <random>
#include <unordered_map>
#include <utility>

namespace korvello {

namespace {

// Music\F00\ABCD.mp3 lies two levels down; hand-filled players nest a few more.
constexpr int kMostFolderDepth = 6;
// A cache file beyond this is not read (some 400 bytes a song: a million songs).
constexpr std::int64_t kMostCacheBytes = 512LL * 1024 * 1024;
// Entries of other iPods kept beside those of the last scan.
constexpr std::size_t kMostCacheEntries = 200000;
constexpr std::string_view kCacheHeader = "Korvello song tags 1";

bool Cancelled(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string Extension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : AsciiLower(name.substr(dot + 1));
}

bool IsAudioName(const std::string& name) {
    static constexpr std::array<std::string_view, 13> kExtensions = {
        "mp3", "m4a", "m4b", "m4p",  "mp4",  "m4v", "mov",
        "aac", "wav", "aif", "aiff", "aifc", "flac"};
    const std::string extension = Extension(name);
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

// The entry of `folder` named `wanted` without regard to letter case, as the drive spells it.
std::optional<std::string> ExactName(IPlatform& platform, const std::string& folder,
                                     std::string_view wanted) {
    const auto names = platform.ListFolder(folder);
    if (!names)
        return std::nullopt;
    const std::string lower = AsciiLower(wanted);
    for (const std::string& name : *names)
        if (AsciiLower(name) == lower)
            return name;
    return std::nullopt;
}

void Walk(IPlatform& platform, const std::string& folder, int depth, const std::atomic<bool>* stop,
          std::vector<TMusicFile>& files) {
    const auto names = platform.ListFolder(folder);
    if (!names)
        return;
    std::vector<std::string> subfolders;
    for (const std::string& name : *names) {
        if (Cancelled(stop))
            return;
        if (name.empty() || name[0] == '.')
            continue;
        const std::string path = folder + "\\" + name;
        const bool audio = IsAudioName(name);
        if (!audio && depth >= kMostFolderDepth)
            continue;
        const NameInfo info = platform.StatName(path);
        if (info.kind == NameKind::Folder) {
            if (depth < kMostFolderDepth)
                subfolders.push_back(path);
        } else if (info.kind == NameKind::File && audio) {
            files.push_back({path, platform.FindFile(path).value_or(0), info.modifiedNs});
        }
    }
    // The files of a folder first, then its folders, each in the drive's order.
    for (const std::string& subfolder : subfolders)
        Walk(platform, subfolder, depth + 1, stop, files);
}

// ---- The cache: one line per file, its fields tab-separated and escaped. ----------------

std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (!AppendEscapedSeparator(out, c))
            out += c;
    return out;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

struct TCacheEntry {
    std::int64_t bytes = 0;
    std::int64_t modifiedNs = 0;
    bool readable = true;
    std::string error;
    TSong song; // the fields the tagger fills
};

// The song fields the tagger fills, in the order the cache keeps them.
constexpr std::array kTextFields = {&TSong::Title,       &TSong::Artist,   &TSong::Album,
                                    &TSong::AlbumArtist, &TSong::Genre,    &TSong::Composer,
                                    &TSong::Comment,     &TSong::Grouping, &TSong::FileType};
constexpr std::array kNumberFields = {&TSong::Year,       &TSong::TrackNumber, &TSong::TrackCount,
                                      &TSong::DiscNumber, &TSong::DiscCount,   &TSong::Duration,
                                      &TSong::Bitrate,    &TSong::SampleRate};
constexpr std::size_t kCacheFields = 5 + kTextFields.size() + kNumberFields.size() + 1;

template <class Number> bool ParseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

// One cache line; false for a line that is not one (it is dropped).
bool ParseCacheLine(std::string_view line, std::string& key, TCacheEntry& entry) {
    const std::vector<std::string_view> fields = SplitTabs(line);
    if (fields.size() != kCacheFields)
        return false;
    key = Unescaped(fields[0]);
    if (key.empty() || !ParseNumber(fields[1], entry.bytes) ||
        !ParseNumber(fields[2], entry.modifiedNs) || (fields[3] != "ok" && fields[3] != "bad"))
        return false;
    entry.readable = fields[3] == "ok";
    entry.error = Unescaped(fields[4]);
    std::size_t i = 5;
    for (const auto field : kTextFields)
        entry.song.*field = ToUtf16(Unescaped(fields[i++]));
    for (const auto field : kNumberFields)
        if (!ParseNumber(fields[i++], entry.song.*field))
            return false;
    entry.song.Compilation = fields[i] == "1";
    return true;
}

std::string CacheLine(const std::string& key, const TCacheEntry& entry) {
    std::string line = Escaped(key) + '\t' + std::to_string(entry.bytes) + '\t' +
                       std::to_string(entry.modifiedNs) + '\t' + (entry.readable ? "ok" : "bad") +
                       '\t' + Escaped(entry.error);
    for (const auto field : kTextFields)
        line += '\t' + Escaped(ToUtf8(entry.song.*field));
    for (const auto field : kNumberFields)
        line += '\t' + std::to_string(entry.song.*field);
    line += entry.song.Compilation ? "\t1\n" : "\t0\n";
    return line;
}

using TCache = std::unordered_map<std::string, TCacheEntry>;

// The cache file's entries in file order (for keeping other iPods' entries in order).
std::vector<std::pair<std::string, TCacheEntry>> ReadCache(IPlatform& platform,
                                                           const std::string& file) {
    std::vector<std::pair<std::string, TCacheEntry>> entries;
    if (file.empty())
        return entries;
    const auto size = platform.FindFile(file);
    if (!size || *size <= 0 || *size > kMostCacheBytes)
        return entries;
    std::string error;
    const std::unique_ptr<IFile> opened = platform.OpenRead(file, error);
    if (opened == nullptr)
        return entries;
    std::string text(static_cast<std::size_t>(*size), '\0');
    std::int64_t filled = 0;
    while (filled < *size) {
        const std::int64_t n = opened->Read(text.data() + filled, *size - filled);
        if (n <= 0)
            break;
        filled += n;
    }
    text.resize(static_cast<std::size_t>(filled));
    std::string_view rest = text;
    bool first = true;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        if (end == std::string_view::npos)
            break; // a last line without its end was cut short
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (first) {
            first = false;
            if (line != kCacheHeader)
                return entries; // another layout: start afresh
            continue;
        }
        std::pair<std::string, TCacheEntry> entry;
        if (ParseCacheLine(line, entry.first, entry.second))
            entries.push_back(std::move(entry));
    }
    return entries;
}

bool WriteCache(IPlatform& platform, const std::string& file, const std::string& text) {
    // Two programs may scan at once (the window and korvello-cli): each writes a name of
    // its own and renames it into place.
    std::random_device random;
    const std::string temporary = file + "." + std::to_string(random()) + ".new";
    std::string error;
    {
        bool taken = false;
        const std::unique_ptr<IFile> out = platform.CreateNew(temporary, error, taken);
        if (out == nullptr)
            return false;
        const bool written = out->Write(text.data(), static_cast<std::int64_t>(text.size())) ==
                                 static_cast<std::int64_t>(text.size()) &&
                             out->Close();
        if (!written) {
            platform.DeleteFile(temporary);
            return false;
        }
    }
    if (platform.RenameFile(temporary, file, true, error) != RenameResult::Done) {
        platform.DeleteFile(temporary);
        return false;
    }
    return true;
}

std::string FileName(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string NameWithoutExtension(const std::string& path) {
    std::string name = FileName(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

// The record of one file from what the tagger (or the cache) gave.
TSong SongOfFile(const TMusicFile& file, const TCacheEntry& entry,
                 const std::string& decimalSeparator) {
    TSong song = entry.song;
    song.Location = ToUtf16(file.path);
    song.FileBytes = file.bytes;
    song.FileSize = ToUtf16(FormatSizeText(file.bytes, decimalSeparator));
    song.Source = TSong::TSource::Files;
    song.MediaType = TMediaType::Audio;
    if (song.Title.empty())
        song.Title = ToUtf16(NameWithoutExtension(file.path));
    return song;
}

std::uint32_t BigEndian24(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
}

} // namespace

std::string MusicFileKey(const std::string& programPath) {
    // "e:\iPod_Control\..." and "\iPod_Control\..." name the same file.
    std::string_view path = programPath;
    if (path.size() >= 2 && path[1] == ':')
        path.remove_prefix(2);
    return AsciiLower(path);
}

std::vector<TMusicFile> ListMusicFiles(IPlatform& platform, const std::string& drive,
                                       const std::atomic<bool>* stop) {
    std::vector<TMusicFile> files;
    const auto control = ExactName(platform, drive, "iPod_Control");
    if (!control)
        return files;
    const std::string controlPath = drive + "\\" + *control;
    const auto music = ExactName(platform, controlPath, "Music");
    if (!music)
        return files;
    Walk(platform, controlPath + "\\" + *music, 1, stop, files);
    return files;
}

std::vector<std::string> ShuffleOrder(IPlatform& platform, const std::string& drive) {
    // A first- or second-generation shuffle's iTunesSD: an 18-byte header whose first three
    // bytes (big-endian) count the entries, then 558-byte entries, each holding the song's
    // path at byte 33 as 261 UTF-16LE code units with "/" between the names.
    constexpr std::int64_t kHeader = 18;
    constexpr std::int64_t kEntry = 558;
    constexpr std::int64_t kNameAt = 33;
    constexpr std::int64_t kNameUnits = 261;
    std::vector<std::string> order;
    const std::string path = drive + "\\iPod_Control\\iTunes\\iTunesSD";
    const auto size = platform.FindFile(path);
    if (!size || *size < kHeader)
        return order;
    std::string error;
    const std::unique_ptr<IFile> file = platform.OpenRead(path, error);
    if (file == nullptr)
        return order;
    std::array<std::uint8_t, kEntry> buffer{};
    if (file->Read(buffer.data(), kHeader) != kHeader)
        return order;
    const std::int64_t declared = BigEndian24(buffer.data());
    if (BigEndian24(buffer.data() + 6) != kHeader)
        return order; // a later shuffle's layout ("bdhs"), or not an iTunesSD at all
    const std::int64_t entries = std::min(declared, (*size - kHeader) / kEntry);
    for (std::int64_t i = 0; i < entries; ++i) {
        if (file->Read(buffer.data(), kEntry) != kEntry || BigEndian24(buffer.data()) != kEntry)
            break;
        std::u16string name;
        for (std::int64_t u = 0; u < kNameUnits; ++u) {
            const auto at = static_cast<std::size_t>(kNameAt + 2 * u);
            const auto unit = static_cast<char16_t>(buffer[at] | (buffer[at + 1] << 8));
            if (unit == 0)
                break;
            name += unit == u'/' ? u'\\' : unit;
        }
        if (!name.empty())
            order.push_back(MusicFileKey(ToUtf8(name)));
    }
    return order;
}

TScanResult ScanMusicFolders(IPlatform& platform, ITagger& tagger, const std::string& drive,
                             const TScanOptions& options) {
    TScanResult result;
    std::vector<TMusicFile> files = ListMusicFiles(platform, drive, options.stop);
    if (options.leaveOut != nullptr)
        std::erase_if(files, [&](const TMusicFile& file) {
            return options.leaveOut->contains(MusicFileKey(file.path));
        });
    result.filesFound = static_cast<std::int64_t>(files.size());

    auto cached = ReadCache(platform, options.cacheFile);
    TCache cache;
    cache.reserve(cached.size());
    for (auto& [key, entry] : cached)
        cache.insert_or_assign(key, entry);

    const std::string decimalSeparator = platform.DecimalSeparator();
    std::vector<std::pair<std::string, TCacheEntry>> used;
    std::vector<std::pair<std::string, TSong>> songs; // by key
    std::vector<std::string> unreadableNames;
    for (const TMusicFile& file : files) {
        if (Cancelled(options.stop)) {
            result.stopped = true;
            break;
        }
        const std::string key = MusicFileKey(file.path);
        TCacheEntry entry;
        const auto hit = cache.find(key);
        if (hit != cache.end() && hit->second.bytes == file.bytes &&
            hit->second.modifiedNs == file.modifiedNs) {
            entry = hit->second;
            ++result.fromCache;
        } else {
            entry.bytes = file.bytes;
            entry.modifiedNs = file.modifiedNs;
            TSong read;
            std::string error;
            ++result.tagsRead;
            if (tagger.ReadTags(file.path, read, error)) {
                entry.song = std::move(read);
            } else {
                entry.readable = false;
                entry.error = error;
            }
        }
        if (!entry.readable)
            result.unreadable.push_back(file.path + ": " + entry.error);
        songs.emplace_back(key, SongOfFile(file, entry, decimalSeparator));
        used.emplace_back(key, std::move(entry));
        if (options.progress)
            options.progress(static_cast<std::int64_t>(used.size()), result.filesFound);
    }

    // Path order, unless the shuffle's own list gives the order it plays in; files it does
    // not name follow in path order.
    std::stable_sort(songs.begin(), songs.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::vector<std::string> order = ShuffleOrder(platform, drive);
    if (!order.empty()) {
        std::unordered_map<std::string, std::size_t> position;
        for (std::size_t i = 0; i < order.size(); ++i)
            position.try_emplace(order[i], i);
        std::stable_sort(songs.begin(), songs.end(), [&](const auto& a, const auto& b) {
            const auto pa = position.find(a.first);
            const auto pb = position.find(b.first);
            const std::size_t ia = pa == position.end() ? order.size() : pa->second;
            const std::size_t ib = pb == position.end() ? order.size() : pb->second;
            return ia < ib;
        });
    }
    result.songs.reserve(songs.size());
    std::int32_t id = 0;
    for (auto& [key, song] : songs) {
        song.SongId = ++id;
        result.songs.push_back(std::move(song));
    }

    // This scan's entries first, then those of other files (other iPods) in their order.
    if (!options.cacheFile.empty() && result.tagsRead > 0) {
        std::string text(kCacheHeader);
        text += '\n';
        std::unordered_map<std::string, char> written;
        written.reserve(used.size());
        for (const auto& [key, entry] : used) {
            text += CacheLine(key, entry);
            written.try_emplace(key, 1);
        }
        for (const auto& [key, entry] : cached) {
            if (written.size() >= kMostCacheEntries)
                break;
            if (written.try_emplace(key, 1).second)
                text += CacheLine(key, entry);
        }
        result.cacheWritten = WriteCache(platform, options.cacheFile, text);
    }
    return result;
}

std::string SongTagsCacheFile(IPlatform& platform) {
    return platform.AppFolder() + "\\songtags.cache";
}

std::unordered_set<std::string> NamedFiles(const TiPod& ipod) {
    std::unordered_set<std::string> named;
    named.reserve(static_cast<std::size_t>(ipod.SongCount()));
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
        if (!ipod.SongAt(i).Location.empty())
            named.insert(MusicFileKey(ToUtf8(ipod.SongAt(i).Location)));
    return named;
}

TScanResult AddSongsOfFiles(TiPod& ipod, IPlatform& platform, ITagger& tagger, bool withUnlisted,
                            const TScanOptions& options) {
    const std::string& drive = ipod.DrivePath();
    const bool readable = ipod.DatabaseStatus().Readable();
    if ((readable && !withUnlisted) || (!readable && !HoldsITunesFolder(platform, drive)))
        return {};
    TScanResult result;
    std::unordered_set<std::string> named;
    TScanOptions how = options;
    if (readable) {
        named = NamedFiles(ipod);
        how.leaveOut = &named;
    }
    result = ScanMusicFolders(platform, tagger, drive, how);
    result.scanned = true;
    if (!result.unreadable.empty()) {
        // The log keeps one message a second: the files go into one, the first few named.
        constexpr std::size_t kNamed = 10;
        std::string message = "ScanMusicFolders:" + std::to_string(result.unreadable.size()) +
                              " song files could not be read and are listed by their names: ";
        for (std::size_t i = 0; i < std::min(kNamed, result.unreadable.size()); ++i)
            message += (i > 0 ? "; " : "") + result.unreadable[i];
        if (result.unreadable.size() > kNamed)
            message += "; and " + std::to_string(result.unreadable.size() - kNamed) + " more";
        TLogClass::WriteLog(message);
    }
    if (!readable && result.songs.empty())
        return result; // nothing to show instead: the songs stay as the load left them
    result.replaced = !readable;
    ipod.AddSongsFromFiles(result.songs, !readable);
    return result;
}

std::string ScannedSongsText(const std::string& count) {
    return "No music database on this iPod: " + count + " songs read from their files.";
}

} // namespace korvello
