#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A byte-level database builder for the reader's tests of what lies beyond the song
// table: track headers of every length with their numbers, string objects of any type,
// playlists of every kind (the master playlist, smart and podcast playlists, podcast show
// groups) in the playlist or podcast data set, and the Play Counts and On-The-Go files.
// Every length and count can be written wrong on purpose.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvello::test::raw {

class Bytes {
public:
    std::size_t Add(std::size_t n) {
        const std::size_t at = data.size();
        data.resize(at + n, 0);
        return at;
    }
    void Put32(std::size_t at, std::int64_t value) {
        for (int i = 0; i < 4; ++i)
            data[at + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
    }
    void Put8(std::size_t at, int value) { data[at] = static_cast<std::uint8_t>(value); }
    void Append(const Bytes& other) {
        data.insert(data.end(), other.data.begin(), other.data.end());
    }
    std::size_t Size() const { return data.size(); }

    std::vector<std::uint8_t> data;
};

// A string object of `type` holding ASCII `text` as UTF-16LE.
inline void StringObject(Bytes& out, std::int32_t type, std::string_view text) {
    const std::size_t at = out.Add(40 + 2 * text.size());
    out.Put32(at + 4, 0x18);
    out.Put32(at + 8, 40 + 2 * static_cast<std::int64_t>(text.size()));
    out.Put32(at + 12, type);
    out.Put32(at + 24, 1);
    out.Put32(at + 28, 2 * static_cast<std::int64_t>(text.size()));
    out.Put32(at + 32, 1);
    for (std::size_t i = 0; i < text.size(); ++i)
        out.Put8(at + 40 + 2 * i, text[i]);
}

// An object of `type` that is not a string, `length` bytes long.
inline void OtherObject(Bytes& out, std::int32_t type, std::int32_t length) {
    const std::size_t at = out.Add(static_cast<std::size_t>(length));
    out.Put32(at + 4, 0x18);
    out.Put32(at + 8, length);
    out.Put32(at + 12, type);
}

struct Field {
    std::int32_t offset;
    std::int64_t value;
};

// A track: header of `headerLength` bytes with the given 32-bit fields (byte fields are
// put through the 32-bit word they lie in), then string objects.
inline void Track(Bytes& out, std::int32_t id, std::int32_t headerLength,
                  const std::vector<Field>& fields,
                  const std::vector<std::pair<std::int32_t, std::string>>& strings) {
    Bytes objects;
    for (const auto& [type, text] : strings)
        StringObject(objects, type, text);
    const std::size_t at = out.Add(static_cast<std::size_t>(headerLength));
    out.Put32(at + 4, headerLength);
    out.Put32(at + 8, headerLength + static_cast<std::int64_t>(objects.Size()));
    out.Put32(at + 12, static_cast<std::int64_t>(strings.size()));
    out.Put32(at + 16, id);
    for (const Field& field : fields)
        if (field.offset + 4 <= headerLength)
            out.Put32(at + static_cast<std::size_t>(field.offset), field.value);
    out.Append(objects);
}

struct Entry {
    std::int32_t trackId = 0;
    std::int32_t flags = 0;            // 0x100: a podcast show's group
    std::int32_t length = 0x4C + 0x2C; // total length as written
};

struct Playlist {
    std::string name;
    std::vector<Entry> entries;
    bool master = false;
    bool smart = false;
    bool podcast = false;
    std::int64_t declaredEntries = -1; // -1: the real count
    std::int64_t declaredLength = -1;  // -1: the real length
};

inline Entry To(std::int32_t id) {
    return Entry{id, 0, 0x4C + 0x2C};
}

inline void PlaylistRecord(Bytes& out, const Playlist& playlist) {
    Bytes body;
    StringObject(body, 1, playlist.name);
    std::int32_t objects = 1;
    if (playlist.smart) {
        OtherObject(body, 50, 0x18 + 0x60);
        OtherObject(body, 51, 0x18 + 0x88);
        objects += 2;
    }
    std::int32_t position = 0;
    for (const Entry& entry : playlist.entries) {
        const std::size_t at = body.Add(0x4C + 0x2C);
        body.Put32(at + 4, 0x4C);
        body.Put32(at + 8, entry.length);
        body.Put32(at + 12, 1);
        body.Put32(at + 16, entry.flags);
        body.Put32(at + 24, entry.trackId);
        body.Put32(at + 0x4C + 4, 0x18);
        body.Put32(at + 0x4C + 8, 0x2C);
        body.Put32(at + 0x4C + 12, 100);
        body.Put32(at + 0x4C + 24, position++);
    }
    const std::size_t at = out.Add(0x6C);
    out.Put32(at + 4, 0x6C);
    out.Put32(at + 8, playlist.declaredLength != -1
                          ? playlist.declaredLength
                          : 0x6C + static_cast<std::int64_t>(body.Size()));
    out.Put32(at + 12, objects);
    out.Put32(at + 16, playlist.declaredEntries >= 0
                           ? playlist.declaredEntries
                           : static_cast<std::int64_t>(playlist.entries.size()));
    out.Put32(at + 20, playlist.master ? 1 : 0);
    out.Put32(at + 40, playlist.podcast ? 0x10000 : 0);
    out.Append(body);
}

inline void DataSet(Bytes& out, std::int32_t type, const Bytes& body) {
    const std::size_t at = out.Add(0x60);
    out.Put32(at + 4, 0x60);
    out.Put32(at + 8, 0x60 + static_cast<std::int64_t>(body.Size()));
    out.Put32(at + 12, type);
    out.Append(body);
}

// A list record (track or playlist list): header of 0x5C bytes with the count at 8.
inline Bytes List(std::int64_t count, const Bytes& items) {
    Bytes list;
    const std::size_t at = list.Add(0x5C);
    list.Put32(at + 4, 0x5C);
    list.Put32(at + 8, count);
    list.Append(items);
    return list;
}

// The whole image: header, then the data sets in the order given.
inline std::vector<std::uint8_t> Database(const std::vector<std::pair<std::int32_t, Bytes>>& sets) {
    Bytes out;
    out.Add(0xF4);
    out.Put32(4, 0xF4);
    out.Put32(20, static_cast<std::int64_t>(sets.size()));
    for (const auto& [type, body] : sets)
        DataSet(out, type, body);
    out.Put32(8, static_cast<std::int64_t>(out.Size()));
    return out.data;
}

// A Play Counts or On-The-Go file: a header of `headerLength` bytes holding the entry
// length (8) and count (12), then the entries as given, each padded to the entry length.
inline std::vector<std::uint8_t> CountsFile(std::int32_t headerLength, std::int32_t entryLength,
                                            const std::vector<std::vector<std::int64_t>>& entries,
                                            std::int64_t declared = -1) {
    Bytes out;
    out.Add(static_cast<std::size_t>(headerLength));
    out.Put32(4, headerLength);
    out.Put32(8, entryLength);
    out.Put32(12, declared >= 0 ? declared : static_cast<std::int64_t>(entries.size()));
    for (const auto& entry : entries) {
        const std::size_t at = out.Add(static_cast<std::size_t>(entryLength));
        for (std::size_t i = 0;
             i < entry.size() && 4 * i + 4 <= static_cast<std::size_t>(entryLength); ++i)
            out.Put32(at + 4 * i, entry[i]);
    }
    return out.data;
}

} // namespace korvello::test::raw
