// SPDX-License-Identifier: GPL-3.0-or-later
#include "itdb/ITunesDbWriter.h"

#include "platform/Text.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unordered_map>

namespace korvello::itdb {

namespace {

constexpr std::int32_t kDatabaseHeader = 0xF4;
constexpr std::int32_t kDataSetHeader = 0x60;
constexpr std::int32_t kListHeader = 0x5C;
constexpr std::int32_t kObjectHeader = 0x18;
constexpr std::int32_t kStringObjectHeader = 40;
constexpr std::int32_t kPlaylistHeader = 0x6C;
constexpr std::int32_t kPlaylistItem = 0x4C;
constexpr std::int32_t kPositionObject = 0x2C;
constexpr std::int32_t kPodcastGroupFlag = 0x100;
constexpr std::int32_t kSmartPreferencesBody = 0x48;
constexpr std::int32_t kSmartRulesHeader = 136;
constexpr std::int32_t kSmartNumberLength = 0x44;
// The first fields of a track header (up to the length in ms) are always written; a
// shorter header would overlap them. Later fields are written where the header has room.
constexpr std::int32_t kMinTrackHeader = 0x30;
constexpr std::int32_t kShortTrackHeader = 0x9C;
constexpr std::int32_t kLongTrackHeader = 0x184;

// A growing little-endian record buffer.
class Bytes {
public:
    std::size_t Size() const { return data_.size(); }
    // Appends a record of `length` zero bytes starting with `tag`; returns its offset.
    std::size_t Record(const char (&tag)[5], std::size_t length) {
        const std::size_t at = data_.size();
        data_.resize(at + std::max<std::size_t>(length, 4), 0);
        std::copy(tag, tag + 4, data_.begin() + static_cast<std::ptrdiff_t>(at));
        return at;
    }
    void Put8(std::size_t at, std::uint8_t value) { data_[at] = value; }
    void Put16(std::size_t at, std::uint16_t value) {
        data_[at] = static_cast<std::uint8_t>(value & 0xFF);
        data_[at + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void Put32(std::size_t at, std::int32_t value) {
        const auto v = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            data_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void PutBytes(std::size_t at, std::string_view bytes) {
        std::copy(bytes.begin(), bytes.end(), data_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void Append(const Bytes& other) {
        data_.insert(data_.end(), other.data_.begin(), other.data_.end());
    }
    std::vector<std::uint8_t> Take() { return std::move(data_); }

private:
    std::vector<std::uint8_t> data_;
};

void WriteObject(Bytes& out, const Object& object) {
    if (IsStringType(object.type)) {
        const auto length = static_cast<std::int32_t>(object.payload.size());
        const std::size_t at = out.Record("mhod", kStringObjectHeader + object.payload.size());
        out.Put32(at + 4, kObjectHeader);
        out.Put32(at + 8, object.totalLength.value_or(kStringObjectHeader + length));
        out.Put32(at + 12, object.type);
        out.Put32(at + 24, object.encoding);
        out.Put32(at + 28, object.declaredStringLength.value_or(length));
        out.Put32(at + 32, 1);
        out.PutBytes(at + kStringObjectHeader, object.payload);
        return;
    }
    const auto natural = static_cast<std::int32_t>(kObjectHeader + object.payload.size());
    const std::int32_t total = object.totalLength.value_or(natural);
    const std::size_t at =
        out.Record("mhod", static_cast<std::size_t>(std::max({total, natural, kObjectHeader})));
    out.Put32(at + 4, kObjectHeader);
    out.Put32(at + 8, total);
    out.Put32(at + 12, object.type);
    out.PutBytes(at + kObjectHeader, object.payload);
}

bool HasLateFields(const Track& track) {
    return track.skipCount != 0 || track.lastSkipped != 0 || track.mediaType != 0;
}

void WriteTrack(Bytes& out, const Track& track) {
    const std::int32_t headerLength = std::max(
        track.headerLength.value_or(HasLateFields(track) ? kLongTrackHeader : kShortTrackHeader),
        kMinTrackHeader);
    Bytes objects;
    for (const Object& object : track.objects)
        WriteObject(objects, object);
    const std::size_t at = out.Record("mhit", static_cast<std::size_t>(headerLength));
    out.Put32(at + 4, headerLength);
    out.Put32(at + 8, track.declaredTotalLength.value_or(
                          headerLength + static_cast<std::int32_t>(objects.Size())));
    out.Put32(at + 12,
              track.declaredObjectCount.value_or(static_cast<std::int32_t>(track.objects.size())));
    out.Put32(at + 16, track.id);
    out.Put32(at + 20, 1);         // visible
    out.PutBytes(at + 24, " 3PM"); // the file type code as a device stores it
    out.Put32(at + 36, track.fileSize);
    out.Put32(at + 40, track.lengthMs);

    // The later fields, each only where the header has room for it.
    auto put32 = [&](std::int32_t offset, std::uint32_t value) {
        if (offset + 4 <= headerLength)
            out.Put32(at + static_cast<std::size_t>(offset), static_cast<std::int32_t>(value));
    };
    auto put8 = [&](std::int32_t offset, std::int32_t value) {
        if (offset < headerLength)
            out.Put8(at + static_cast<std::size_t>(offset), static_cast<std::uint8_t>(value));
    };
    put8(30, track.compilation ? 1 : 0);
    put8(31, track.rating);
    put32(44, static_cast<std::uint32_t>(track.trackNumber));
    put32(48, static_cast<std::uint32_t>(track.trackCount));
    put32(52, static_cast<std::uint32_t>(track.year));
    put32(56, static_cast<std::uint32_t>(track.bitrate));
    // The sample rate in the upper half (a 16.16 fixed-point number).
    put32(60, static_cast<std::uint32_t>(track.sampleRate) << 16);
    put32(80, static_cast<std::uint32_t>(track.playCount));
    put32(84, static_cast<std::uint32_t>(track.playCount)); // iTunes keeps it twice
    put32(88, MacTime(track.lastPlayed));
    put32(92, static_cast<std::uint32_t>(track.discNumber));
    put32(96, static_cast<std::uint32_t>(track.discCount));
    put32(104, MacTime(track.dateAdded));
    // A database id of the track, unique and stable as iTunes makes them.
    put32(112, static_cast<std::uint32_t>(track.id));
    put32(116, 0x4B56'4442u);
    put32(136, std::bit_cast<std::uint32_t>(static_cast<float>(track.sampleRate)));
    put32(156, static_cast<std::uint32_t>(track.skipCount));
    put32(160, MacTime(track.lastSkipped));
    put32(208, track.mediaType);
    out.Append(objects);
}

void PutBig32(std::string& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>((value >> shift) & 0xFF);
}

void PutBig64(std::string& bytes, std::uint64_t value) {
    PutBig32(bytes, static_cast<std::uint32_t>(value >> 32));
    PutBig32(bytes, static_cast<std::uint32_t>(value));
}

// The settings object of a smart playlist: live updating, rules checked, no limit.
Object SmartPreferencesObject() {
    Object object;
    object.type = SmartPreferences;
    object.payload.assign(kSmartPreferencesBody, '\0');
    object.payload[0] = 1;  // live update
    object.payload[1] = 1;  // check rules
    object.payload[2] = 0;  // check limits
    object.payload[3] = 3;  // limit type: songs
    object.payload[4] = 2;  // limit sort: random
    object.payload[8] = 25; // limit value
    return object;
}

// The rules object: "SLst", then everything big-endian (the only such part of the file).
Object SmartRulesObject(const Playlist& playlist) {
    Object object;
    object.type = SmartRules;
    std::string& bytes = object.payload;
    bytes = "SLst";
    PutBig32(bytes, 0);
    PutBig32(bytes, static_cast<std::uint32_t>(playlist.declaredRuleCount.value_or(
                        static_cast<std::int32_t>(playlist.rules.size()))));
    PutBig32(bytes, playlist.matchAny ? 1 : 0);
    bytes.resize(kSmartRulesHeader, '\0');
    for (const SmartRule& rule : playlist.rules) {
        PutBig32(bytes, static_cast<std::uint32_t>(rule.field));
        PutBig32(bytes, static_cast<std::uint32_t>(rule.action));
        bytes.append(44, '\0');
        if (rule.IsString()) {
            const std::u16string text = ToUtf16(rule.text);
            PutBig32(bytes, static_cast<std::uint32_t>(text.size() * 2));
            for (char16_t unit : text) {
                bytes += static_cast<char>(unit >> 8);
                bytes += static_cast<char>(unit & 0xFF);
            }
        } else {
            PutBig32(bytes, kSmartNumberLength);
            PutBig64(bytes, static_cast<std::uint64_t>(rule.from));
            PutBig64(bytes, 0); // from date
            PutBig64(bytes, 1); // from units
            PutBig64(bytes, static_cast<std::uint64_t>(rule.to));
            PutBig64(bytes, 0); // to date
            PutBig64(bytes, 1); // to units
            bytes.append(kSmartNumberLength - 48, '\0');
        }
    }
    return object;
}

// The track id -> album bytes (as stored) of every track, for the podcast groups.
using AlbumOf = std::unordered_map<std::int32_t, std::string>;

class PlaylistWriter {
public:
    PlaylistWriter(Bytes& out, const AlbumOf& albums) : out_(out), albums_(albums) {}

    void Write(const Playlist& playlist, std::size_t index, bool podcastDataSet) {
        std::vector<Object> objects;
        if (playlist.nameObject)
            objects.push_back(Object::String8(Title, playlist.name));
        if (playlist.kind == Playlist::Kind::Smart) {
            objects.push_back(SmartPreferencesObject());
            objects.push_back(SmartRulesObject(playlist));
        }
        objects.insert(objects.end(), playlist.extraObjects.begin(), playlist.extraObjects.end());
        Bytes body;
        for (const Object& object : objects)
            WriteObject(body, object);

        std::int32_t entries = 0;
        if (podcastDataSet && playlist.kind == Playlist::Kind::Podcast) {
            // One group entry per show (album), its episodes after it.
            std::vector<std::string> shows;
            std::unordered_map<std::string, std::vector<std::int32_t>> episodes;
            for (const std::int32_t id : playlist.trackIds) {
                const std::string& show = AlbumOfTrack(id);
                auto& ofShow = episodes[show];
                if (ofShow.empty())
                    shows.push_back(show);
                ofShow.push_back(id);
            }
            for (const std::string& show : shows) {
                const std::int32_t group = nextGroup_++;
                Object title;
                title.type = Title;
                title.payload = show;
                WriteEntry(body, playlist, 0, group, 0, kPodcastGroupFlag, &title);
                ++entries;
                for (const std::int32_t id : episodes[show]) {
                    WriteEntry(body, playlist, id, nextGroup_++, group, 0, nullptr, entries);
                    ++entries;
                }
            }
        } else {
            for (const std::int32_t id : playlist.trackIds) {
                WriteEntry(body, playlist, id, nextGroup_++, 0, 0, nullptr, entries);
                ++entries;
            }
        }

        const std::size_t at = out_.Record("mhyp", kPlaylistHeader);
        out_.Put32(at + 4, kPlaylistHeader);
        out_.Put32(at + 8, playlist.declaredTotalLength.value_or(
                               kPlaylistHeader + static_cast<std::int32_t>(body.Size())));
        out_.Put32(at + 12, static_cast<std::int32_t>(objects.size()));
        out_.Put32(at + 16, playlist.declaredEntryCount.value_or(entries));
        out_.Put32(at + 20, playlist.master ? 1 : 0);
        // The playlist's 64-bit id.
        out_.Put32(at + 28, static_cast<std::int32_t>(index + 1));
        out_.Put32(at + 32, 0x4B56'504C);
        out_.Put16(at + 40, playlist.nameObject ? 1 : 0); // string objects
        out_.Put16(at + 42, playlist.kind == Playlist::Kind::Podcast ? 1 : 0);
        out_.Put32(at + 44, 1); // sort order: manual
        out_.Append(body);
    }

private:
    const std::string& AlbumOfTrack(std::int32_t id) const {
        static const std::string none;
        const auto found = albums_.find(id);
        return found == albums_.end() ? none : found->second;
    }

    // One mhip: `trackId` (0 for a group entry), its own group id, the group it belongs
    // to, then the group's title or the entry's position object.
    void WriteEntry(Bytes& body, const Playlist& playlist, std::int32_t trackId,
                    std::int32_t groupId, std::int32_t parentGroup, std::int32_t flags,
                    const Object* title, std::int32_t position = 0) {
        const std::size_t item = body.Record("mhip", kPlaylistItem);
        std::int32_t childCount = 0;
        if (title) {
            WriteObject(body, *title);
            ++childCount;
        } else if (playlist.positions) {
            const std::size_t mhod = body.Record("mhod", kPositionObject);
            body.Put32(mhod + 4, kObjectHeader);
            body.Put32(mhod + 8, kPositionObject);
            body.Put32(mhod + 12, Position);
            body.Put32(mhod + 24, position);
            ++childCount;
        }
        body.Put32(item + 4, kPlaylistItem);
        body.Put32(item + 8, playlist.declaredEntryLength.value_or(
                                 static_cast<std::int32_t>(body.Size() - item)));
        body.Put32(item + 12, childCount);
        body.Put32(item + 16, flags);
        body.Put32(item + 20, groupId);
        body.Put32(item + 24, trackId);
        body.Put32(item + 32, parentGroup);
    }

    Bytes& out_;
    const AlbumOf& albums_;
    std::int32_t nextGroup_ = 1;
};

void WriteDataSet(Bytes& out, std::int32_t type, const Bytes& body) {
    const std::size_t at = out.Record("mhsd", kDataSetHeader);
    out.Put32(at + 4, kDataSetHeader);
    out.Put32(at + 8, kDataSetHeader + static_cast<std::int32_t>(body.Size()));
    out.Put32(at + 12, type);
    out.Append(body);
}

} // namespace

bool IsStringType(std::int32_t type) {
    return (type >= 1 && type <= 14) || (type >= 18 && type <= 31);
}

std::uint32_t MacTime(std::int64_t unixSeconds) {
    if (unixSeconds == 0)
        return 0;
    return static_cast<std::uint32_t>(unixSeconds + kMacEpochSeconds);
}

SmartRule SmartRule::Text(std::int32_t field, std::int32_t action, std::string_view utf8) {
    SmartRule rule;
    rule.field = field;
    rule.action = action;
    rule.text = std::string(utf8);
    return rule;
}

SmartRule SmartRule::Number(std::int32_t field, std::int32_t action, std::int64_t from,
                            std::int64_t to) {
    SmartRule rule;
    rule.field = field;
    rule.action = action;
    rule.from = from;
    rule.to = to;
    return rule;
}

bool SmartRule::IsString() const {
    const auto kind = static_cast<std::uint32_t>(action) >> 24;
    return kind == 1 || kind == 3;
}

Object Object::String(std::int32_t type, std::u16string_view text) {
    Object object;
    object.type = type;
    object.payload.reserve(text.size() * 2);
    for (char16_t unit : text) {
        object.payload += static_cast<char>(unit & 0xFF);
        object.payload += static_cast<char>(unit >> 8);
    }
    return object;
}

Object Object::String8(std::int32_t type, std::string_view utf8) {
    return String(type, ToUtf16(utf8));
}

Object Object::Utf8(std::int32_t type, std::string_view utf8) {
    Object object;
    object.type = type;
    object.payload = std::string(utf8);
    object.encoding = 2;
    return object;
}

Object Object::Opaque(std::int32_t type, std::int32_t totalLength) {
    Object object;
    object.type = type;
    object.totalLength = totalLength;
    return object;
}

Track& Track::Add(std::int32_t type, std::string_view utf8) {
    objects.push_back(Object::String8(type, utf8));
    return *this;
}

Track& ITunesDbWriter::AddTrack(std::int32_t id) {
    Track track;
    track.id = id;
    tracks_.push_back(std::move(track));
    return tracks_.back();
}

void ITunesDbWriter::AddTrack(Track track) {
    tracks_.push_back(std::move(track));
}

void ITunesDbWriter::AddPlaylist(Playlist playlist) {
    playlists_.push_back(std::move(playlist));
}

std::vector<std::uint8_t> ITunesDbWriter::Build() const {
    Bytes trackList;
    const std::size_t mhlt = trackList.Record("mhlt", kListHeader);
    trackList.Put32(mhlt + 4, kListHeader);
    trackList.Put32(mhlt + 8,
                    layout_.declaredTrackCount.value_or(static_cast<std::int32_t>(tracks_.size())));
    for (const Track& track : tracks_)
        WriteTrack(trackList, track);

    AlbumOf albums;
    for (const Track& track : tracks_) {
        for (const Object& object : track.objects) {
            if (object.type == Album) {
                albums.emplace(track.id, object.payload);
                break;
            }
        }
    }
    auto playlistList = [&](bool podcastDataSet) {
        Bytes list;
        const std::size_t mhlp = list.Record("mhlp", kListHeader);
        list.Put32(mhlp + 4, kListHeader);
        list.Put32(mhlp + 8, layout_.declaredPlaylistCount.value_or(
                                 static_cast<std::int32_t>(playlists_.size())));
        PlaylistWriter writer(list, albums);
        for (std::size_t i = 0; i < playlists_.size(); ++i)
            writer.Write(playlists_[i], i, podcastDataSet);
        return list;
    };
    const Bytes playlists = playlistList(false);

    Bytes sets;
    for (const std::int32_t type : layout_.dataSetsBefore) {
        // An album or artist list with no items: its list header alone.
        Bytes list;
        const std::size_t at =
            type == 4 ? list.Record("mhla", kListHeader) : list.Record("mhli", kListHeader);
        list.Put32(at + 4, kListHeader);
        WriteDataSet(sets, type, list);
    }
    // iTunes puts the podcast data set between the track list and the playlists.
    if (layout_.playlistsFirst) {
        if (layout_.podcastDataSet)
            WriteDataSet(sets, 3, playlistList(true));
        WriteDataSet(sets, layout_.playlistDataSetType, playlists);
        WriteDataSet(sets, layout_.trackDataSetType, trackList);
    } else {
        WriteDataSet(sets, layout_.trackDataSetType, trackList);
        if (layout_.podcastDataSet)
            WriteDataSet(sets, 3, playlistList(true));
        WriteDataSet(sets, layout_.playlistDataSetType, playlists);
    }

    Bytes out;
    const std::size_t mhbd = out.Record("mhbd", kDatabaseHeader);
    out.Put32(mhbd + 4, kDatabaseHeader);
    out.Put32(mhbd + 8, kDatabaseHeader + static_cast<std::int32_t>(sets.Size()));
    out.Put32(mhbd + 12, 1);    // always 1 on devices
    out.Put32(mhbd + 16, 0x19); // database version
    out.Put32(mhbd + 20, layout_.declaredDataSetCount.value_or(
                             2 + (layout_.podcastDataSet ? 1 : 0) +
                             static_cast<std::int32_t>(layout_.dataSetsBefore.size())));
    out.Append(sets);
    return out.Take();
}

std::vector<std::uint8_t> ITunesDbWriter::BuildCompressed() const {
    return Compress(Build());
}

PlayCounts ITunesDbWriter::UnchangedPlayCounts() const {
    PlayCounts counts;
    for (const Track& track : tracks_) {
        PlayCountEntry entry;
        entry.rating = track.rating;
        counts.entries.push_back(entry);
    }
    return counts;
}

std::vector<std::uint8_t> PlayCounts::Build() const {
    const std::int32_t header = std::max(headerLength, 16);
    const std::int32_t length = std::max(entryLength, 0);
    Bytes out;
    out.Record("mhdp", static_cast<std::size_t>(header) + entries.size() * length);
    out.Put32(4, headerLength);
    out.Put32(8, entryLength);
    out.Put32(12, declaredCount.value_or(static_cast<std::int32_t>(entries.size())));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PlayCountEntry& entry = entries[i];
        const std::size_t at = static_cast<std::size_t>(header) + i * length;
        auto put = [&](std::int32_t offset, std::uint32_t value) {
            if (offset + 4 <= length)
                out.Put32(at + static_cast<std::size_t>(offset), static_cast<std::int32_t>(value));
        };
        put(0, static_cast<std::uint32_t>(entry.plays));
        put(4, MacTime(entry.lastPlayed));
        put(8, static_cast<std::uint32_t>(entry.bookmarkMs));
        put(12, static_cast<std::uint32_t>(entry.rating));
        put(20, static_cast<std::uint32_t>(entry.skips));
        put(24, MacTime(entry.lastSkipped));
    }
    return out.Take();
}

std::vector<std::uint8_t> OnTheGo::Build() const {
    const std::int32_t header = std::max(headerLength, 16);
    const std::int32_t length = std::max(entryLength, 0);
    Bytes out;
    out.Record("mhpo", static_cast<std::size_t>(header) + positions.size() * length);
    out.Put32(4, headerLength);
    out.Put32(8, entryLength);
    out.Put32(12, declaredCount.value_or(static_cast<std::int32_t>(positions.size())));
    if (length >= 4) {
        for (std::size_t i = 0; i < positions.size(); ++i)
            out.Put32(static_cast<std::size_t>(header) + i * length, positions[i]);
    }
    return out.Take();
}

std::string OnTheGo::FileName(std::size_t index) {
    return index == 0 ? "OTGPlaylistInfo" : "OTGPlaylistInfo_" + std::to_string(index);
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& image) {
    constexpr std::size_t kFlag = 0xA8;
    const std::size_t header = static_cast<std::size_t>(image[4]) | (image[5] << 8) |
                               (image[6] << 16) | (static_cast<std::size_t>(image[7]) << 24);
    if (header <= kFlag || header > image.size())
        throw std::runtime_error("Compress: the image has no database header to keep");
    std::vector<std::uint8_t> out(image.begin(),
                                  image.begin() + static_cast<std::ptrdiff_t>(header));
    out[kFlag] = 1;
    uLongf room = compressBound(static_cast<uLong>(image.size() - header));
    out.resize(header + room);
    if (compress2(out.data() + header, &room, image.data() + header,
                  static_cast<uLong>(image.size() - header), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("Compress: zlib failed");
    out.resize(header + room);
    return out;
}

void ITunesDbWriter::WriteFile(const std::string& linuxPath,
                               std::optional<std::size_t> keepBytes) const {
    std::vector<std::uint8_t> bytes = Build();
    if (keepBytes && *keepBytes < bytes.size())
        bytes.resize(*keepBytes);
    WriteBytes(linuxPath, bytes);
}

void ITunesDbWriter::WriteITunesFolder(const std::string& folder, bool compressed,
                                       const PlayCounts* playCounts,
                                       const std::vector<OnTheGo>& onTheGo) const {
    if (compressed)
        WriteBytes(folder + "/iTunesCDB", BuildCompressed());
    else
        WriteFile(folder + "/iTunesDB");
    if (playCounts)
        WriteBytes(folder + "/Play Counts", playCounts->Build());
    for (std::size_t i = 0; i < onTheGo.size(); ++i)
        WriteBytes(folder + "/" + OnTheGo::FileName(i), onTheGo[i].Build());
}

std::string Utf16LeBytes(std::string_view utf8) {
    return Object::String8(Title, utf8).payload;
}

void WriteBytes(const std::string& linuxPath, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path path(linuxPath);
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + linuxPath);
}

} // namespace korvello::itdb
