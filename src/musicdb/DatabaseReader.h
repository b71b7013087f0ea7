#pragma once
// The iTunesDB walk behind TiPod::LoadDatabase, free of any platform so that it can be
// run over images built in memory.
//
// Only lengths lead from one record to the next; record tags are never looked at, so a
// damaged file is never rejected, it yields whatever its lengths lead to. The walk never
// reads outside the image and always ends: a track count is cut to what the image can
// hold, and an object walk ends as soon as it stops moving forward or leaves the image.

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
// True when one of the two is the track list (type 1).
bool ReadDataSets(std::span<const std::uint8_t> image, TDataSetTable& table);

// Walks the track list of the data set `entry` describes and fills `songs`, replacing the
// records position by position: the vector is resized to the track count first (records
// below it kept, new ones empty), then every track overwrites its record. A failure
// part-way (memory, a throwing size look-up) ends the walk quietly: the records done
// before it are kept, the rest keep what they held. Afterwards songs.size() is the
// count, never more than the image can hold.
void ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                 const TTrackWalkContext& context, std::vector<TSong>& songs);

// The size text of a file of `bytes` bytes: bytes / 1024 / 1024 written with up to 15
// significant digits and never with an exponent, in the given decimal separator; with "."
// it is cut two digits after the point; then "MB". 3,620,000 gives "3.45MB".
std::string FormatSizeText(std::int64_t bytes, std::string_view decimalSeparator);

// The smallest track this reader can take something from: the five integers up to the
// track id. The track count is cut so that the declared tracks could all be held.
inline constexpr std::int64_t kMinTrackBytes = 20;

} // namespace korvello
