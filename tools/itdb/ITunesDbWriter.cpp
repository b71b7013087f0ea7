// SPDX-License-Identifier: GPL-3.0-or-later
#include "itdb/ITunesDbWriter.h"

#include "platform/Text.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace korvello::itdb {

namespace {

constexpr std::int32_t kDatabaseHeader = 0xF4;
constexpr std::int32_t kDataSetHeader = 0x60;
constexpr std::int32_t kListHeader = 0x5C;
constexpr std::int32_t kObjectHeader = 0x18;
constexpr std::int32_t kStringObjectHeader = 40;
constexpr std::int32_t kPlaylistHeader = 0x6C;
constexpr std::int32_t kPlaylistItem = 0x4C;
// The track-header fields this writer fills end here; a shorter header would overlap them.
constexpr std::int32_t kMinTrackHeader = 0x30;

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

bool IsStringType(std::int32_t type) {
    return type >= 1 && type <= 14;
}

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

void WriteTrack(Bytes& out, const Track& track) {
    const std::int32_t headerLength = std::max(track.headerLength, kMinTrackHeader);
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
    out.Append(objects);
}

void WritePlaylist(Bytes& out, const Playlist& playlist) {
    Bytes body;
    WriteObject(body, Object::String8(Title, playlist.name));
    for (std::size_t i = 0; i < playlist.trackIds.size(); ++i) {
        const std::size_t item = body.Record("mhip", kPlaylistItem);
        body.Put32(item + 4, kPlaylistItem);
        body.Put32(item + 8, kPlaylistItem);
        body.Put32(item + 20, static_cast<std::int32_t>(i + 1)); // group id
        body.Put32(item + 24, playlist.trackIds[i]);
    }
    const std::size_t at = out.Record("mhyp", kPlaylistHeader);
    out.Put32(at + 4, kPlaylistHeader);
    out.Put32(at + 8, kPlaylistHeader + static_cast<std::int32_t>(body.Size()));
    out.Put32(at + 12, 1); // one data object: the name
    out.Put32(at + 16, static_cast<std::int32_t>(playlist.trackIds.size()));
    out.Put32(at + 20, playlist.master ? 1 : 0);
    out.Append(body);
}

void WriteDataSet(Bytes& out, std::int32_t type, const Bytes& body) {
    const std::size_t at = out.Record("mhsd", kDataSetHeader);
    out.Put32(at + 4, kDataSetHeader);
    out.Put32(at + 8, kDataSetHeader + static_cast<std::int32_t>(body.Size()));
    out.Put32(at + 12, type);
    out.Append(body);
}

} // namespace

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

    Bytes playlists;
    const std::size_t mhlp = playlists.Record("mhlp", kListHeader);
    playlists.Put32(mhlp + 4, kListHeader);
    playlists.Put32(mhlp + 8, static_cast<std::int32_t>(playlists_.size()));
    for (const Playlist& playlist : playlists_)
        WritePlaylist(playlists, playlist);

    Bytes sets;
    for (const std::int32_t type : layout_.dataSetsBefore) {
        // An album or artist list with no items: its list header alone.
        Bytes list;
        const std::size_t at =
            type == 4 ? list.Record("mhla", kListHeader) : list.Record("mhli", kListHeader);
        list.Put32(at + 4, kListHeader);
        WriteDataSet(sets, type, list);
    }
    if (layout_.playlistsFirst) {
        WriteDataSet(sets, layout_.playlistDataSetType, playlists);
        WriteDataSet(sets, layout_.trackDataSetType, trackList);
    } else {
        WriteDataSet(sets, layout_.trackDataSetType, trackList);
        WriteDataSet(sets, layout_.playlistDataSetType, playlists);
    }

    Bytes out;
    const std::size_t mhbd = out.Record("mhbd", kDatabaseHeader);
    out.Put32(mhbd + 4, kDatabaseHeader);
    out.Put32(mhbd + 8, kDatabaseHeader + static_cast<std::int32_t>(sets.Size()));
    out.Put32(mhbd + 12, 1);    // always 1 on devices
    out.Put32(mhbd + 16, 0x19); // database version
    out.Put32(mhbd + 20, layout_.declaredDataSetCount.value_or(
                             2 + static_cast<std::int32_t>(layout_.dataSetsBefore.size())));
    out.Append(sets);
    return out.Take();
}

std::vector<std::uint8_t> ITunesDbWriter::BuildCompressed() const {
    return Compress(Build());
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
