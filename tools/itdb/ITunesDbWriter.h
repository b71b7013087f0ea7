#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Writes iTunesDB files for tests, benchmarks and the demo iPod.
//
// The output has the shape of a real device's database: a database header (mhbd, 0xF4
// bytes) followed by a track-list data set (mhsd type 1 holding mhlt and one mhit per
// track, each with its mhod data objects) and a playlist data set (mhsd type 2 holding
// mhlp and mhyp/mhip records), in either order, optionally after other data sets (album or
// artist lists, as later iTunes versions write them first). It also writes the compressed
// iTunesCDB of later iPods: the same header with byte 0xA8 = 1, then the rest as one zlib
// stream. Beyond well-formed files it can write the
// damage a reader must survive: odd string lengths, repeated string types, unknown objects
// of any length, wrong counts and data-set types, and lengths that lie.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvello::itdb {

// Data-object (mhod) types of the strings a track carries.
enum StringType : std::int32_t {
    Title = 1,
    Location = 2,
    Album = 3,
    Artist = 4,
    Genre = 5,
    FileType = 6,
    EQSetting = 7,
    Comment = 8,
    Category = 9,
    Composer = 12,
    Grouping = 13,
    Description = 14,
};

// One data object of a track.
struct Object {
    std::int32_t type = Title;
    // String objects (types 1 to 14): the string's bytes as stored, normally UTF-16LE;
    // any length, odd ones included. Other types: the body after the 0x18-byte header.
    std::string payload;
    // The total length written into the object; for other types it is also the number
    // of bytes the object takes (zero-filled past its payload). Nothing: the natural one.
    std::optional<std::int32_t> totalLength;
    // The string length written at offset 28 when it should differ from the payload.
    std::optional<std::int32_t> declaredStringLength;
    // The encoding field at offset 24 of a string object: 1 for UTF-16LE, 2 for UTF-8.
    std::int32_t encoding = 1;

    // A string object holding `text` as UTF-16LE.
    static Object String(std::int32_t type, std::u16string_view text);
    // A string object from UTF-8 text, stored as UTF-16LE.
    static Object String8(std::int32_t type, std::string_view utf8);
    // A string object stored as UTF-8 (encoding 2), as some devices' databases hold them.
    static Object Utf8(std::int32_t type, std::string_view utf8);
    // A non-string object taking exactly `totalLength` bytes (at least its header).
    static Object Opaque(std::int32_t type, std::int32_t totalLength);
};

// One track (mhit) and its objects.
struct Track {
    std::int32_t id = 0;
    std::vector<Object> objects;
    std::int32_t headerLength = 0x9C; // real devices write 0x9C to 0x248
    std::int32_t fileSize = 0;        // stored in the header as a device does
    std::int32_t lengthMs = 0;
    // Written instead of the real object count / total length when set.
    std::optional<std::int32_t> declaredObjectCount;
    std::optional<std::int32_t> declaredTotalLength;

    // Appends a string object (UTF-8 text) and returns the track, for chaining.
    Track& Add(std::int32_t type, std::string_view utf8);
};

// A playlist (mhyp) naming tracks by id.
struct Playlist {
    std::string name;
    std::vector<std::int32_t> trackIds;
    bool master = false;
};

struct Layout {
    bool playlistsFirst = false;
    std::int32_t trackDataSetType = 1;
    std::int32_t playlistDataSetType = 2;
    // Written instead of the number of tracks when set.
    std::optional<std::int32_t> declaredTrackCount;
    // Data sets of these types (each holding an empty list) written before the two above,
    // so that the track list comes third or later.
    std::vector<std::int32_t> dataSetsBefore;
    // Written instead of the number of data sets in the database header when set.
    std::optional<std::int32_t> declaredDataSetCount;
};

class ITunesDbWriter {
public:
    Track& AddTrack(std::int32_t id);
    void AddTrack(Track track);
    void AddPlaylist(Playlist playlist);
    Layout& layout() { return layout_; }

    // The whole file.
    std::vector<std::uint8_t> Build() const;
    // The same database as an iTunesCDB (see Compress).
    std::vector<std::uint8_t> BuildCompressed() const;

    // Writes the file, or its first `keepBytes` bytes to imitate a cut-off copy.
    // Creates the folders on the way. Throws std::runtime_error when it cannot write.
    void WriteFile(const std::string& linuxPath,
                   std::optional<std::size_t> keepBytes = std::nullopt) const;

private:
    std::vector<Track> tracks_;
    std::vector<Playlist> playlists_;
    Layout layout_;
};

// An iTunesDB image turned into an iTunesCDB: its header kept plain with the compressed
// flag (byte 0xA8) set, the rest deflated into one zlib stream.
std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& image);

// The UTF-16LE bytes of a UTF-8 text.
std::string Utf16LeBytes(std::string_view utf8);

// Writes `bytes` to a file, creating its folders; throws std::runtime_error on failure.
void WriteBytes(const std::string& linuxPath, const std::vector<std::uint8_t>& bytes);

} // namespace korvello::itdb
