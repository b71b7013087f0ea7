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
// The walk's cost is bounded by the image's size, whatever the lengths say. Lengths alone
// lead to tracks, so a hostile file can make tracks overlap (a total length of 16) and
// let every one of them walk the same long chain of objects, or point every track's title
// at one string that runs to the end of the image: counted naively that is the image's
// size squared in steps and in string copies. So one walk of an image shares two
// allowances, each as large as the image (WalkAllowance): one object step per byte and
// one copied string byte per byte. A well-formed database never comes near either: its
// tracks do not overlap, every object step moves forward by a whole object (40 bytes or
// more for a string), and every string it copies is bytes of the image no other track
// reads. Once the steps are spent, the remaining tracks are read without their objects
// (id and mount root only); once the string bytes are spent, a string is cut where they
// end and later ones read as empty. Together with the track count cut (kMinTrackBytes)
// this keeps a load of S bytes to O(S) work and memory.

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

// What one walk spent of its allowances.
struct TWalkCost {
    std::int64_t objectSteps = 0; // data objects looked at, over all tracks
    std::int64_t stringBytes = 0; // bytes of the image copied into kept strings
};

// Each of the two allowances of a walk over an image of `imageSize` bytes.
std::int64_t WalkAllowance(std::int64_t imageSize);

// Walks the track list of the data set `entry` describes and fills `songs`, replacing the
// records position by position: the vector is resized to the track count first (records
// below it kept, new ones empty), then every track overwrites its record. A failure
// part-way (memory, a throwing size look-up) ends the walk quietly: the records done
// before it are kept, the rest keep what they held. Afterwards songs.size() is the
// count, never more than the image can hold. String objects whose encoding field
// (offset 24) is 2 hold UTF-8; any other value means UTF-16LE.
TWalkCost ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                      const TTrackWalkContext& context, std::vector<TSong>& songs);

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

// The largest image a compressed file of `compressedSize` bytes may inflate to: 64 times
// its size, and never more than 1 GiB. Real databases shrink about tenfold.
std::int64_t InflateLimit(std::int64_t compressedSize);

// Inflates an iTunesCDB into the image an iTunesDB would hold: the plain header followed
// by the inflated rest. Nothing, with `problem` saying why, when the stream is cut short,
// damaged, or would grow past InflateLimit.
std::optional<std::vector<std::uint8_t>> InflateDatabase(std::span<const std::uint8_t> file,
                                                         std::string& problem);

} // namespace korvello
