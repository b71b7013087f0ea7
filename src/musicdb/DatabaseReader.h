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

struct TTrackWalkContext {
    std::string drivePath;              // put in front of every location
    std::string decimalSeparator = "."; // the user's, for the size texts
    TSizeLookup sizeOf;                 // may be empty: every FileSize is then empty
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
    TWalkCost cost;
    std::int64_t declared = 0; // the track count the list declares (never below 0)
    // Why the walk could not finish (memory ran out); the records are then dropped.
    // Empty when it finished.
    std::string problem;
};

// Walks the track list of the data set `entry` describes and replaces `songs` with the
// records of its tracks, in database order: every track that lies in the image and holds
// an id or a string, up to the declared count and the allowances. A failure part-way
// (memory, a throwing size look-up) leaves `songs` empty and says why in the result.
// String objects whose encoding field (offset 24) is 2 hold UTF-8; any other value means
// UTF-16LE. `compressedSize` as for WalkAllowance.
TTrackListResult ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                             const TTrackWalkContext& context, std::vector<TSong>& songs,
                             std::int64_t compressedSize = -1);

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
