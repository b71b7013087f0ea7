#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The iTunesDB walk behind TiPod::LoadDatabase, free of any platform so that it can be
// run over images built in memory.
//
// Only lengths lead from one record to the next; record tags are never looked at, so a
// damaged file is never rejected, it yields whatever its lengths lead to. The walk never
// reads outside the image and always ends: a track count is cut to what the image can
// hold, and an object walk ends as soon as it stops moving forward or leaves the image.
//
// The walk's cost is bounded by the size of the file it came from, whatever the lengths
// say. Lengths alone lead to tracks, so a hostile file can make tracks overlap (a total
// length of 16) and let every one of them walk the same long chain of objects, or point
// every track's title at one string that runs to the end of the image: counted naively
// that is the image's size squared in steps and in string copies. So one walk shares
// three allowances (TWalkAllowance): object steps, copied string bytes and records. A
// plain file gets one step and one string byte per byte and one record per
// kMinTrackBytes; an iTunesCDB, whose image may inflate to many times the file, gets
// allowances in proportion to the file instead (real databases shrink 6 to 10 times, and
// their allowances are still their whole images). A well-formed database never comes
// near any of them: its tracks do not overlap, every object step moves forward by a
// whole object (40 bytes or more for a string), and every string it copies is bytes of
// the image no other track reads. Once the steps are spent, the remaining tracks are read
// without their objects (id and mount root only); once the string bytes are spent, a
// string is cut where they end and later ones read as empty; once the records are spent,
// the walk ends. Only a track that lies in the image and holds something (an id or a
// string) becomes a record, and a track that does not move forward is the last one, so
// a damaged file of zeros declaring millions of tracks yields no empty rows.

#include "musicdb/iPodcomponent.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvello {

// Size in bytes of the file at a program path, or nothing when no file is there.
using TSizeLookup = std::function<std::optional<std::int64_t>(const std::string& location)>;

// The file look-ups of one thread of a walk.
struct TFileLookup {
    TSizeLookup sizeOf;
    // Whether the last answer of sizeOf found the file under exactly the names of its
    // location as written (may be empty: never known).
    std::function<bool()> foundAsGiven;
};

struct TTrackWalkContext {
    std::string drivePath;              // put in front of every location
    std::string decimalSeparator = "."; // the user's, for the size texts
    // May be empty: every FileSize is then empty. A walk asks it, and foundAsGiven, from
    // one thread of its own while it reads on (see ParseTracks), one call at a time.
    TSizeLookup sizeOf;
    // As TFileLookup::foundAsGiven, of sizeOf.
    std::function<bool()> foundAsGiven;
    // Told of the songs' memory once it is made, before it is filled (may be empty); see
    // IPlatform::PreferLargePages.
    std::function<void(void* start, std::size_t bytes)> preferLargePages;
    // Makes the look-ups of one more thread, which may run at the same time as sizeOf on
    // the calling thread; may be empty, and then one thread looks every file up.
    std::function<TFileLookup()> anotherLookup;
};

// Reads the database header and the first two data sets of `image` into `table` (entry
// type - 1; a type outside 1 to 7 is ignored, the other entries keep their values).
// When neither of the two is the track list (type 1), the data sets after them are looked
// at in turn, each one's total length leading to the next, up to the number of data sets
// the header declares or the end of the image; the first track list met is recorded.
// True when a track list was found.
bool ReadDataSets(std::span<const std::uint8_t> image, TDataSetTable& table);

// What one walk spent of its allowances, and what each allowance is.
struct TWalkCost {
    std::int64_t objectSteps = 0; // data objects looked at, over all tracks
    std::int64_t stringBytes = 0; // bytes of the image copied into kept strings
    std::int64_t records = 0;     // tracks walked, kept or not
};
using TWalkAllowance = TWalkCost;

// The allowances of a walk over an image of `imageSize` bytes inflated from a compressed
// file of `compressedSize` bytes, or read plain when `compressedSize` is negative.
TWalkAllowance WalkAllowance(std::int64_t imageSize, std::int64_t compressedSize = -1);
// True when `cost` stays within `allowance`.
bool WithinAllowance(const TWalkCost& cost, const TWalkAllowance& allowance);

// What a track-list walk found.
struct TTrackListResult {
    TWalkAllowance allowance; // what the walk of this image may spend in all
    TWalkCost cost;
    std::int64_t declared = 0; // the track count the list declares (never below 0)
    // Why the walk could not finish (memory ran out); the records are then dropped.
    // Empty when it finished.
    std::string problem;
    // For each track walked, in database order, the position of its record in the songs,
    // or -1 when it held nothing. The Play Counts and On-The-Go files name tracks so.
    std::vector<std::int32_t> songOfTrack;
    // For each record, in the songs' order: its file was found under exactly the names of
    // its location (TTrackWalkContext::foundAsGiven).
    std::vector<bool> foundAsGiven;
};

// Walks the track list of the data set `entry` describes and replaces `songs` with the
// records of its tracks, in database order: every track that lies in the image and holds
// an id or a string, up to the declared count and the allowances. A failure part-way
// (memory, a throwing size look-up) leaves `songs` empty and says why in the result.
// The files are looked up in database order on a thread of its own while the walk reads
// on, and once it is done with anotherLookup on the calling thread as well; the calling
// thread makes no call of sizeOf or foundAsGiven, and whatever the look-ups throw is
// reported as if the walk had made every call itself, in database order.
// String objects whose encoding field (offset 24) is 2 hold UTF-8; any other value means
// UTF-16LE. `compressedSize` as for WalkAllowance.
TTrackListResult ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                             const TTrackWalkContext& context, std::vector<TSong>& songs,
                             std::int64_t compressedSize = -1);

// Merges the iPod's "Play Counts" file into the records, as the iPod's own software
// does: entry i counts for the ith track of the database (songOfTrack as ParseTracks
// gives it); its plays and skips are added, a last-played or last-skipped time that is
// set replaces the record's, and with entries of 16 bytes or more its rating replaces the
// record's. A damaged file yields what its lengths lead to and never more entries than
// the file holds or tracks were walked.
void MergePlayCounts(std::span<const std::uint8_t> file,
                     const std::vector<std::int32_t>& songOfTrack, std::vector<TSong>& songs);

// What the playlist walk found.
struct TPlaylistRead {
    std::vector<TPlaylist> playlists; // in database order, without the master playlist
    std::u16string masterName;        // the master playlist's name, or empty
};

// Reads the playlists of the podcast data set (type 3), which holds every playlist with
// the podcast episodes grouped under their shows, or of the playlist data set (type 2)
// when there is none. Entries name songs by id (the last song with an id, as
// FindSongById finds it); an entry naming no song is dropped and counted, a podcast
// show's group entry is no entry. Data sets, playlists, objects and entries are walked
// within what `allowance` leaves after `cost`, which the walk adds to; a playlist or
// entry whose length does not move forward ends its list.
TPlaylistRead ReadPlaylists(std::span<const std::uint8_t> image, const std::vector<TSong>& songs,
                            const TWalkAllowance& allowance, TWalkCost& cost);

// An On-The-Go file (OTGPlaylistInfo): header length (offset 4), entry length (8) and
// entry count (12), then entries naming tracks by their position in the database (the
// first track is 0). A position that names no song is dropped and counted.
TPlaylist ReadOnTheGo(std::span<const std::uint8_t> file,
                      const std::vector<std::int32_t>& songOfTrack, std::u16string name);

// Where the fields of the playlist records lie.
// A playlist list (mhlp): header length at 4, playlist count at 8.
inline constexpr std::int64_t kPlaylistCountOffset = 8;
// A playlist (mhyp): header length at 4, total length at 8, then:
inline constexpr std::int64_t kPlaylistObjectCountOffset = 12;
inline constexpr std::int64_t kPlaylistEntryCountOffset = 16;
inline constexpr std::int64_t kPlaylistMasterOffset = 20;  // byte: 1 for the master playlist
inline constexpr std::int64_t kPlaylistPodcastOffset = 40; // upper 16 bits: 1 for podcasts
// A playlist entry (mhip): header length at 4, total length at 8, then:
inline constexpr std::int64_t kEntryObjectCountOffset = 12;
inline constexpr std::int64_t kEntryFlagsOffset = 16; // 0x100: a podcast show's group
inline constexpr std::int64_t kEntryTrackIdOffset = 24;
// The Play Counts file (mhdp): header length at 4, entry length at 8, count at 12; an
// entry holds plays (0), last played (4), bookmark (8), rating (12, from 16 bytes on),
// skips (20) and last skipped (24, from 28 bytes on).
inline constexpr std::int64_t kCountsEntryLengthOffset = 8;
inline constexpr std::int64_t kCountsEntryCountOffset = 12;

// The size text of a file of `bytes` bytes: bytes / 1024 / 1024 written with up to 15
// significant digits and never with an exponent, in the given decimal separator; with "."
// it is cut two digits after the point; then "MB". 3,620,000 gives "3.45MB".
std::string FormatSizeText(std::int64_t bytes, std::string_view decimalSeparator);

// Where the fields the walk reads lie, in bytes from the start of their record. Every
// record opens with a four-byte tag, which is never looked at, and its header length.
// The database header:
inline constexpr std::int64_t kDatabaseHeaderLengthOffset = 4; // where the first data set starts
inline constexpr std::int64_t kDatabaseTotalLengthOffset = 8;  // the whole image, header included
inline constexpr std::int64_t kDataSetCountOffset = 20;
inline constexpr std::int64_t kCompressedFlagOffset = 0xA8; // iTunesCDB: 1 when compressed
// A data set (track list, playlists, albums...), which its header leads into:
inline constexpr std::int64_t kDataSetHeaderLengthOffset = 4;
inline constexpr std::int64_t kDataSetTotalLengthOffset = 8; // the next data set follows it
inline constexpr std::int64_t kDataSetTypeOffset = 12;       // 1 for the track list
// The track list, which the tracks follow:
inline constexpr std::int64_t kTrackListHeaderLengthOffset = 4;
inline constexpr std::int64_t kTrackCountOffset = 8;
// A track, whose data objects follow its header:
inline constexpr std::int64_t kTrackHeaderLengthOffset = 4;
inline constexpr std::int64_t kTrackTotalLengthOffset = 8; // the next track follows it
inline constexpr std::int64_t kTrackObjectCountOffset = 12;
inline constexpr std::int64_t kTrackIdOffset = 16;
// The track's numbers, read only when they lie inside its header length.
inline constexpr std::int64_t kTrackFlagsOffset = 28;    // byte 30 compilation, 31 rating
inline constexpr std::int64_t kTrackDurationOffset = 40; // milliseconds
inline constexpr std::int64_t kTrackNumberOffset = 44;
inline constexpr std::int64_t kTrackCountFieldOffset = 48; // tracks on the album
inline constexpr std::int64_t kTrackYearOffset = 52;
inline constexpr std::int64_t kTrackBitrateOffset = 56;
inline constexpr std::int64_t kTrackSampleRateOffset = 60; // Hz in the upper 16 bits
inline constexpr std::int64_t kTrackPlayCountOffset = 80;
inline constexpr std::int64_t kTrackLastPlayedOffset = 88; // seconds since 1904
inline constexpr std::int64_t kTrackDiscNumberOffset = 92;
inline constexpr std::int64_t kTrackDiscCountOffset = 96;
inline constexpr std::int64_t kTrackDateAddedOffset = 104;
inline constexpr std::int64_t kTrackSkipCountOffset = 156; // from a header of 0xF4 on
inline constexpr std::int64_t kTrackLastSkippedOffset = 160;
inline constexpr std::int64_t kTrackMediaTypeOffset = 208;
// A data object, of which the string objects are read:
inline constexpr std::int64_t kObjectTotalLengthOffset = 8;
inline constexpr std::int64_t kObjectTypeOffset = 12;
inline constexpr std::int64_t kStringEncodingOffset = 24; // 2 for UTF-8, else UTF-16LE
inline constexpr std::int64_t kStringByteLengthOffset = 28;
inline constexpr std::int64_t kStringOffset = 40; // the string itself

// The smallest track this reader can take something from: the five integers up to the
// track id. The track count is cut so that the declared tracks could all be held.
inline constexpr std::int64_t kMinTrackBytes = kTrackIdOffset + 4;

// iTunesCDB, the compressed database of later iPods (nano 5G to 7G): a database header
// stored plain, whose byte 0xA8 is 1, then one zlib stream holding the rest of the image.
bool IsCompressedDatabase(std::span<const std::uint8_t> file);

// The largest image a compressed file of `compressedSize` bytes may inflate to: 32 times
// its size, and never more than 1 GiB. Real databases shrink 6 to 10 times.
std::int64_t InflateLimit(std::int64_t compressedSize);

// Inflates an iTunesCDB into the image an iTunesDB would hold: the plain header followed
// by the inflated rest. Nothing, with `problem` saying why, when the stream is cut short,
// damaged, or would grow past InflateLimit.
std::optional<std::vector<std::uint8_t>> InflateDatabase(std::span<const std::uint8_t> file,
                                                         std::string& problem);
// The start of the image an iTunesCDB inflates to, for a look at its headers: inflating
// stops after `imageBytes` bytes, and with `partialFile` (`file` is the file's first
// bytes only) a stream that ends early is no fault. Nothing, with `problem` saying why,
// when the header is cut short or the stream is damaged within what was inflated.
std::optional<std::vector<std::uint8_t>> InflateDatabaseStart(std::span<const std::uint8_t> file,
                                                              std::int64_t imageBytes,
                                                              bool partialFile,
                                                              std::string& problem);

} // namespace korvello
