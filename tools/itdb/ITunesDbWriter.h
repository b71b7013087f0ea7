#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Writes iTunesDB files for tests, benchmarks and the demo iPod.
//
// The output has the shape of a real device's database: a database header (mhbd, 0xF4
// bytes) followed by a track-list data set (mhsd type 1 holding mhlt and one mhit per
// track, each with its mhod data objects) and a playlist data set (mhsd type 2 holding
// mhlp and mhyp/mhip records), in either order, optionally after other data sets (album or
// artist lists, as later iTunes versions write them first), and optionally with the
// podcast data set (mhsd type 3: the same playlists, the podcast episodes grouped under
// their shows). It also writes the compressed iTunesCDB of later iPods: the same header
// with byte 0xA8 = 1, then the rest as one zlib stream.
//
// Beside the database it writes what the iPod itself keeps in the same folder: the
// "Play Counts" file (what was played, rated and skipped since the last sync) and the
// On-The-Go playlists (OTGPlaylistInfo, OTGPlaylistInfo_1, ...).
//
// Beyond well-formed files it can write the damage a reader must survive: odd string
// lengths, repeated string types, unknown objects of any length, wrong counts and
// data-set types, lengths that lie, playlist entries naming no track, huge declared
// entry counts, and any entry repeated as often as wanted.

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
    Subtitle = 18,
    TvShow = 19,
    TvEpisode = 20,
    TvNetwork = 21,
    AlbumArtist = 22,
    SortArtist = 23,
    Keywords = 24,
    SortTitle = 27,
    SortAlbum = 28,
    SortAlbumArtist = 29,
    SortComposer = 30,
    SortTvShow = 31,
};

// Data-object types that are not strings.
enum ObjectType : std::int32_t {
    SmartPreferences = 50, // a smart playlist's settings
    SmartRules = 51,       // its rules ("SLst", big-endian)
    LibraryIndex = 52,     // the master playlist's sorted indexes
    Position = 100,        // a playlist entry's position; a playlist's view settings
};

// True for the data-object types that hold a string after the 40-byte string header.
bool IsStringType(std::int32_t type);

// Seconds from 1904-01-01 (the database's epoch) to 1970-01-01.
inline constexpr std::int64_t kMacEpochSeconds = 2082844800;
// The database's 32-bit time of a Unix time (seconds, UTC); 0 (never) stays 0.
std::uint32_t MacTime(std::int64_t unixSeconds);

// One data object of a track or playlist.
struct Object {
    std::int32_t type = Title;
    // String objects (see IsStringType): the string's bytes as stored, normally UTF-16LE;
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

// One track (mhit) and its objects. The numbers are written at their places in the track
// header; a field that lies past the header length is left out.
struct Track {
    std::int32_t id = 0;
    std::vector<Object> objects;
    // Nothing: 0x9C (the short header of early databases), or 0x184 as iTunes 7 writes it
    // when a field past 0x9C (skip count, last skipped, media type) is set. Real devices
    // hold 0x9C to 0x248.
    std::optional<std::int32_t> headerLength;
    std::int32_t fileSize = 0; // bytes, stored in the header as a device does
    std::int32_t lengthMs = 0;
    std::int32_t trackNumber = 0;
    std::int32_t trackCount = 0;
    std::int32_t discNumber = 0;
    std::int32_t discCount = 0;
    std::int32_t year = 0;
    bool compilation = false;
    std::int32_t rating = 0; // 0 to 100, stars times 20 (one byte)
    std::int32_t playCount = 0;
    std::int32_t skipCount = 0;
    // Unix seconds (UTC); 0 is "never". Stored as the database's 1904-based time.
    std::int64_t lastPlayed = 0;
    std::int64_t lastSkipped = 0;
    std::int64_t dateAdded = 0;
    std::int32_t bitrate = 0;    // kbit/s
    std::int32_t sampleRate = 0; // Hz
    std::uint32_t mediaType = 0; // 1 audio, 2 video, 4 podcast, 8 audiobook, ...
    // Written instead of the real object count / total length when set.
    std::optional<std::int32_t> declaredObjectCount;
    std::optional<std::int32_t> declaredTotalLength;

    // Appends a string object (UTF-8 text) and returns the track, for chaining.
    Track& Add(std::int32_t type, std::string_view utf8);
};

// One rule of a smart playlist. Field and action numbers as the database stores them,
// e.g. field 0x19 rating, 0x04 artist, 0x07 year; action 0x10 "greater than",
// 0x01000002 "contains" (string actions have 0x01000000 or 0x03000000 set).
struct SmartRule {
    std::int32_t field = 0;
    std::int32_t action = 0;
    std::string text; // string rules, UTF-8 (stored UTF-16BE)
    std::int64_t from = 0;
    std::int64_t to = 0;

    static SmartRule Text(std::int32_t field, std::int32_t action, std::string_view utf8);
    static SmartRule Number(std::int32_t field, std::int32_t action, std::int64_t from,
                            std::int64_t to);
    bool IsString() const;
};

// A playlist (mhyp) naming tracks by id, in its order.
struct Playlist {
    enum class Kind : std::uint8_t { Ordinary, Smart, Podcast };

    std::string name;
    std::vector<std::int32_t> trackIds;
    bool master = false;
    // Smart: settings and rule objects after the name, trackIds are its stored members.
    // Podcast: flagged as the podcast playlist; in the podcast data set its episodes are
    // grouped under one group entry per album (the show), in order of first appearance.
    Kind kind = Kind::Ordinary;
    std::vector<SmartRule> rules{};
    bool matchAny = false; // smart: any rule (OR) instead of all (AND)

    // Each entry carries its position object (type 100) as iTunes writes it; without,
    // the entry is its header alone.
    bool positions = true;
    // Without it the playlist has no name object at all.
    bool nameObject = true;
    // Unknown objects written after the name (and smart objects).
    std::vector<Object> extraObjects{};
    // Written instead of the real values when set: the entry count in the playlist
    // header, the playlist's total length, and every entry's total length.
    std::optional<std::int32_t> declaredEntryCount{};
    std::optional<std::int32_t> declaredTotalLength{};
    std::optional<std::int32_t> declaredEntryLength{};
    // Written instead of the number of rules in a smart playlist's rules object.
    std::optional<std::int32_t> declaredRuleCount{};
};

struct Layout {
    bool playlistsFirst = false;
    std::int32_t trackDataSetType = 1;
    std::int32_t playlistDataSetType = 2;
    // Also write the podcast data set (type 3) after the track list, as iTunes does
    // from version 4.9 on; it holds the same playlists.
    bool podcastDataSet = false;
    // Written instead of the number of tracks / playlists when set.
    std::optional<std::int32_t> declaredTrackCount;
    std::optional<std::int32_t> declaredPlaylistCount;
    // Data sets of these types (each holding an empty list) written before the two above,
    // so that the track list comes third or later.
    std::vector<std::int32_t> dataSetsBefore;
    // Written instead of the number of data sets in the database header when set.
    std::optional<std::int32_t> declaredDataSetCount;
};

// One entry of the "Play Counts" file: what the iPod counted for one track (the entry's
// position is the track's position in the database) since the last sync.
struct PlayCountEntry {
    std::int32_t plays = 0;
    std::int64_t lastPlayed = 0; // Unix seconds, 0 when not played since
    std::int32_t bookmarkMs = 0;
    // The track's rating as the iPod holds it now (0 to 100); the device writes it for
    // every track, changed or not.
    std::int32_t rating = 0;
    std::int32_t skips = 0;
    std::int64_t lastSkipped = 0; // Unix seconds
};

// The "Play Counts" file: mhdp header, then one entry per track of the database.
struct PlayCounts {
    std::vector<PlayCountEntry> entries;
    // 0x0C (firmware 1.3: plays, last played, bookmark), 0x10 (adds the rating), 0x14,
    // 0x1C (adds skips and last skipped); longer entries are zero-filled.
    std::int32_t entryLength = 0x1C;
    std::int32_t headerLength = 0x60;
    std::optional<std::int32_t> declaredCount;

    std::vector<std::uint8_t> Build() const;
};

// One On-The-Go playlist file (mhpo): positions of tracks in the database (0 = first
// track of the track list), in the playlist's order.
struct OnTheGo {
    std::vector<std::int32_t> positions;
    std::int32_t headerLength = 0x14;
    std::int32_t entryLength = 4;
    std::optional<std::int32_t> declaredCount;

    std::vector<std::uint8_t> Build() const;
    // The file name of the `index`th list (0-based): "OTGPlaylistInfo", then
    // "OTGPlaylistInfo_1", "OTGPlaylistInfo_2", ...
    static std::string FileName(std::size_t index);
};

class ITunesDbWriter {
public:
    Track& AddTrack(std::int32_t id);
    void AddTrack(Track track);
    void AddPlaylist(Playlist playlist);
    Layout& layout() { return layout_; }
    const std::vector<Track>& tracks() const { return tracks_; }

    // The whole file.
    std::vector<std::uint8_t> Build() const;
    // The same database as an iTunesCDB (see Compress).
    std::vector<std::uint8_t> BuildCompressed() const;

    // Play Counts with one entry per track, nothing played or skipped, each track's
    // rating as it is: what an iPod writes when nothing happened. Change entries from here.
    PlayCounts UnchangedPlayCounts() const;

    // Writes the file, or its first `keepBytes` bytes to imitate a cut-off copy.
    // Creates the folders on the way. Throws std::runtime_error when it cannot write.
    void WriteFile(const std::string& linuxPath,
                   std::optional<std::size_t> keepBytes = std::nullopt) const;

    // Writes an iPod's iTunes folder: "iTunesDB" (or only "iTunesCDB" when `compressed`),
    // the "Play Counts" file when given and one OTGPlaylistInfo file per On-The-Go list.
    void WriteITunesFolder(const std::string& folder, bool compressed = false,
                           const PlayCounts* playCounts = nullptr,
                           const std::vector<OnTheGo>& onTheGo = {}) const;

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
