#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The song record and the catalogue of the attached iPod.
//
// TiPod holds one TSong per track of the last database it read, in database order, and
// answers the window's queries: the count, a song by position, id or title, and the
// sorted distinct albums, artists and file types. Song fields are UTF-16; everything that
// goes in or out as text (paths, titles asked for, list items) is UTF-8.

#include "musicdb/DatabaseFile.h"
#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvello {

// One song as the song table shows it. Plain value; copies are independent.
struct TSong {
    std::u16string Title;
    std::u16string Location; // mount root + database location with ":" turned into "\"
    std::u16string FileSize; // "3.45MB"; empty when the file was not found at load time
    std::u16string Album;
    std::u16string Artist;
    std::u16string Genre;
    std::u16string FileType;
    std::u16string Comment;
    std::u16string EQSetting;
    std::u16string Composer;
    std::u16string Grouping;
    std::int32_t SongId = 0;

    // The rest of what the iPod keeps for a song. The song table shows none of it; naming,
    // exports, tags and korvello-cli take it from here. A number the database does not
    // carry is 0; a time that was never set is 0.
    std::u16string AlbumArtist;
    std::u16string SortTitle;
    std::u16string SortArtist;
    std::u16string SortAlbum;
    std::u16string SortAlbumArtist;
    std::u16string SortComposer;
    std::int32_t TrackNumber = 0;
    std::int32_t TrackCount = 0;
    std::int32_t DiscNumber = 0;
    std::int32_t DiscCount = 0;
    std::int32_t Year = 0;
    bool Compilation = false;
    std::int32_t Rating = 0;      // 0 to 100, stars times 20
    std::int32_t PlayCount = 0;   // the database's count plus the iPod's since the last sync
    std::int32_t SkipCount = 0;   // likewise
    std::int64_t LastPlayed = 0;  // seconds since 1970-01-01 UTC; 0 when never
    std::int64_t LastSkipped = 0; // likewise
    std::int64_t DateAdded = 0;   // likewise
    std::int32_t Duration = 0;    // milliseconds
    std::int32_t Bitrate = 0;     // kbit/s
    std::int32_t SampleRate = 0;  // Hz
    std::uint32_t MediaType = 0;  // the database's media-type bits, see TMediaType
    // The song file's size in bytes as the load found it; -1 when it was not found (then
    // FileSize is empty too).
    std::int64_t FileBytes = -1;
    // Where the record came from: the iPod's database, or the song file's own tags when
    // the iPod has no readable database (or the database does not name the file).
    enum class TSource : std::uint8_t { Database, Files };
    TSource Source = TSource::Database;

    bool operator==(const TSong&) const = default;
};

// The database's media-type bits (a song may carry several).
namespace TMediaType {
inline constexpr std::uint32_t Audio = 0x1;
inline constexpr std::uint32_t Video = 0x2;
inline constexpr std::uint32_t Podcast = 0x4;
inline constexpr std::uint32_t VideoPodcast = 0x6;
inline constexpr std::uint32_t Audiobook = 0x8;
inline constexpr std::uint32_t MusicVideo = 0x20;
inline constexpr std::uint32_t TvShow = 0x40;
} // namespace TMediaType

// Seconds between the database's epoch (1904-01-01) and the Unix epoch (1970-01-01).
inline constexpr std::int64_t kMacEpochOffset = 2082844800;

// One of the iPod's playlists, its entries in the playlist's own order.
struct TPlaylist {
    enum class TKind : std::uint8_t { Ordinary, Smart, Podcast, OnTheGo };
    std::u16string Name;
    TKind Kind = TKind::Ordinary;
    // Positions in the catalogue's songs (0 to SongCount() - 1), in playlist order; an
    // entry of the database that names no song is left out (see DroppedEntries).
    std::vector<std::int32_t> Songs;
    std::int32_t DroppedEntries = 0;

    bool operator==(const TPlaylist&) const = default;
};

// Where one data set of the database lies (file offset of its first byte) and its lengths.
struct TDataSetEntry {
    std::int32_t TotalLength = 0;
    std::int32_t HeaderLength = 0;
    std::int32_t Start = 0;

    bool operator==(const TDataSetEntry&) const = default;
};

// The data-set types 1 to 7, entry i - 1 for type i. Type 1 is the track list.
using TDataSetTable = std::array<TDataSetEntry, 7>;

// The song fields that the category lists narrow the song table by.
enum class TNameField { Album, Artist, FileType };

class TiPod {
public:
    explicit TiPod(IPlatform& platform);

    // Stores the mount root ("e:") as given; the songs stay until the next LoadDatabase.
    void SetDrivePath(const std::string& path);
    const std::string& DrivePath() const;

    // Reads DrivePath + "\iPod_Control\iTunes\itunesdb", or the compressed iTunesCDB
    // beside it when the iTunesDB is missing, empty or declares no tracks (see
    // DatabaseFile.h). No file: the songs stay as they were. A file that cannot be opened
    // or read throws EKorvelloError ("Cannot open file <path>") and nothing changes. A
    // damaged database never throws: it yields the songs that could be read, and
    // DatabaseStatus says how many the database declared. When memory runs out the
    // database counts as unreadable (DatabaseStatus().problem says so) and holds no songs.
    void LoadDatabase();
    // What the last LoadDatabase found: the file it read, or why it could read none.
    const TDatabaseStatus& DatabaseStatus() const { return databaseStatus_; }

    // Parses a database image already in memory exactly as LoadDatabase parses the file
    // (song sizes are still looked up through the platform); `compressedSize` is the size
    // of the iTunesCDB it was inflated from, -1 for a plain one. Returns why the walk could
    // not finish (memory ran out: then there are no songs), or nothing.
    std::string LoadImage(std::span<const std::uint8_t> image, std::int64_t compressedSize = -1);

    // Songs read from the files themselves (see MusicFolderScan.h): with `replace` they
    // take the place of the database's songs and playlists (an iPod without a readable
    // database), otherwise they follow the database's songs. Their ids are renumbered to
    // follow the highest id of the database's songs, so an id names one song.
    void AddSongsFromFiles(std::vector<TSong> songs, bool replace);
    // How many of the songs were read from their files.
    std::int32_t SongsFromFiles() const { return songsFromFiles_; }

    std::int32_t SongCount() const;
    // Copies the song at `index` (0 to SongCount() - 1). Throws EKorvelloError when the
    // index is out of range, leaving `song` as it was.
    void GetSong(std::int32_t index, TSong& song) const;
    // The song at `index` without a copy, for filling big tables. Same range check.
    const TSong& SongAt(std::int32_t index) const;
    // True when the last load found the file of the song at `index` under exactly the
    // names of its Location (IFileSizes::FoundAsGiven), so that IPlatform::LinuxPathAsGiven
    // shows it without asking the disk again. False when not known, or out of range.
    bool FoundAsGiven(std::int32_t index) const;

    // Copies every song whose id matches into `song`, so the last match in database order
    // wins; no match leaves `song` untouched.
    void FindSongById(std::int32_t id, TSong& song) const;
    // The position of the song FindSongById finds (the last with the id), or -1.
    std::int32_t PositionOfId(std::int32_t id) const;
    // Same for the title (UTF-8), compared without regard to letter case.
    void FindSongByTitle(const std::string& title, TSong& song) const;

    // Sorted by the user's collation without regard to letter case; of items that compare
    // equal, the spelling of the first song in database order is kept.
    std::vector<std::string> GetAlbums() const;    // empty albums left out
    std::vector<std::string> GetArtists() const;   // empty artists left out
    std::vector<std::string> GetFileTypes() const; // one empty item when a song has none

    // The iPod's playlists of the last load, without the master playlist (which holds
    // every song): ordinary, smart (their stored members) and podcast playlists of the
    // database in its order, then the On-The-Go playlists "On-The-Go 1", "On-The-Go 2", ...
    const std::vector<TPlaylist>& Playlists() const { return playlists_; }
    // The master playlist's name as the database gives it (the iPod's own name), or empty.
    const std::u16string& MasterPlaylistName() const { return masterPlaylistName_; }

    // Data-set positions met by the reads so far (never cleared between reads).
    const TDataSetTable& DataSetTable() const { return dataSets_; }

    // One flag per song, in database order: set when the song's field equals one of
    // `names` without regard to letter case, exactly as CompareText finds it. Costs one
    // pass over the songs plus one look-up per name.
    std::vector<char> SongsNamed(TNameField field, const std::vector<std::string>& names) const;

private:
    // The collation keys of one name field: each distinct text of the loaded songs gets its
    // key once, and texts with equal keys (those CompareText finds equal) share one key id.
    // Key ids follow the songs' order: a key's id is smaller than that of any key whose
    // first song comes later.
    struct TNameIndex {
        bool built = false;
        std::vector<std::int32_t> keyIdOfSong;
        std::vector<const std::string*> keys; // by key id, into keyIdOfKey
        std::unordered_map<std::string, std::int32_t> keyIdOfKey;
        // By key id: the first song with the key, and the first whose text is not empty
        // (a text of characters the collation ignores shares the empty text's key), or -1.
        std::vector<std::int32_t> firstSong;
        std::vector<std::int32_t> firstNamedSong;
        // By distinct text, in the order of the songs: its first song and its key id.
        std::vector<std::int32_t> firstSongOfText;
        std::vector<std::int32_t> keyIdOfText;
        // Made on the first SongsNamed: the UTF-8 of each distinct text to its key id.
        bool textsBuilt = false;
        std::unordered_map<std::string, std::int32_t> keyIdOfUtf8;
    };

    std::vector<std::string> SortedDistinct(TNameField field, bool keepEmpty) const;
    // The indexes below are made on first use after a load and dropped by the next one.
    // The three name fields' indexes are made together, in one walk of the songs.
    const TNameIndex& NameIndex(TNameField field) const;
    void BuildNameIndexes() const;
    // Position of the last song with each id.
    const std::unordered_map<std::int32_t, std::int32_t>& IdIndex() const;
    void DropIndexes();

    IPlatform& platform_;
    std::string drivePath_;
    std::vector<TSong> songs_;
    std::vector<bool> foundAsGiven_; // of the database's songs, by position
    std::vector<TPlaylist> playlists_;
    std::u16string masterPlaylistName_;
    TDataSetTable dataSets_{};
    TDatabaseStatus databaseStatus_;
    std::int64_t lastDeclared_ = 0; // the track count the last image declared
    std::int32_t songsFromFiles_ = 0;

    // Whatever replaces songs_ calls DropIndexes(); an index whose song count no longer
    // matches is made again all the same.
    mutable std::array<TNameIndex, 3> nameIndexes_;
    mutable std::unordered_map<std::int32_t, std::int32_t> lastOfId_;
    mutable bool idIndexBuilt_ = false;
    mutable std::size_t idIndexSongs_ = 0;
};

} // namespace korvello
