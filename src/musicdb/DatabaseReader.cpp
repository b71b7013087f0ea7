// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/DatabaseReader.h"

#include "musicdb/ImageReader.h"
#include "platform/Text.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace korvello {

namespace {

// Data-object types that carry a string; of these only the ten below are kept.
constexpr std::int32_t kFirstStringType = 1;
constexpr std::int32_t kLastStringType = 14;
// An unknown object longer than this is taken to be the end of the track's objects
// rather than something to step over.
constexpr std::int32_t kMaxSkippedObject = 1024;
// A string object's string starts this far into the object; its encoding is at 24.
constexpr std::int64_t kStringOffset = 40;
constexpr std::int64_t kEncodingOffset = 24;
constexpr std::int32_t kUtf8Encoding = 2;
// The data-set count in the database header, and the first two data sets that are always
// read before any other is looked at.
constexpr std::int64_t kDataSetCountOffset = 20;
constexpr int kFirstDataSets = 2;
// iTunesCDB: the compressed flag in the plain header.
constexpr std::int64_t kCompressedFlagOffset = 0xA8;
constexpr std::int64_t kMaxInflated = std::int64_t{1} << 30;
constexpr std::int64_t kMaxInflateRatio = 64;

bool IsKeptStringType(std::int32_t type) {
    return (type >= 1 && type <= 8) || type == 12 || type == 13;
}

// The record of a track that lies wholly beyond the image: id 0, no strings, and the
// mount root alone as its location.
void ReadEmptyTrack(const TTrackWalkContext& context, TSong& song) {
    std::optional<std::int64_t> size;
    if (context.sizeOf)
        size = context.sizeOf(context.drivePath);
    TSong empty;
    empty.Location = ToUtf16(context.drivePath);
    if (size)
        empty.FileSize = ToUtf16(FormatSizeText(*size, context.decimalSeparator));
    song = std::move(empty);
}

} // namespace

bool ReadDataSets(std::span<const std::uint8_t> image, TDataSetTable& table) {
    const TImageReader reader(image);
    bool trackListSeen = false;
    // The first data set follows the database header; each next one follows the one before.
    std::int64_t start = reader.Int32At(4);
    for (int n = 0; n < kFirstDataSets; ++n) {
        const std::int32_t headerLength = reader.Int32At(start + 4);
        const std::int32_t totalLength = reader.Int32At(start + 8);
        const std::int32_t type = reader.Int32At(start + 12);
        // The table only has the types 1 to 7; another type (a newer device's data set,
        // or a damaged one) has nowhere to go and is passed over.
        if (type >= 1 && type <= static_cast<std::int32_t>(table.size())) {
            table[static_cast<std::size_t>(type - 1)] = {totalLength, headerLength,
                                                         static_cast<std::int32_t>(start)};
            trackListSeen = trackListSeen || type == 1;
        }
        start += totalLength;
    }
    if (trackListSeen)
        return true;

    // Later iTunes versions may put album and artist lists first, so the track list can be
    // any of the data sets. The search stops at the declared count, at the end of the
    // image, and at a data set that does not move forward (which would only repeat).
    const std::int32_t declared = reader.Int32At(kDataSetCountOffset);
    for (std::int32_t n = kFirstDataSets; n < declared && reader.Contains(start); ++n) {
        const std::int32_t headerLength = reader.Int32At(start + 4);
        const std::int32_t totalLength = reader.Int32At(start + 8);
        const std::int32_t type = reader.Int32At(start + 12);
        if (type == 1) {
            table[0] = {totalLength, headerLength, static_cast<std::int32_t>(start)};
            return true;
        }
        if (totalLength <= 0)
            break;
        start += totalLength;
    }
    return false;
}

std::int64_t WalkAllowance(std::int64_t imageSize) {
    return std::max<std::int64_t>(imageSize, 0);
}

TWalkCost ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                      const TTrackWalkContext& context, std::vector<TSong>& songs) {
    const TImageReader reader(image);
    // See the header: the walk as a whole takes at most one object step and one copied
    // string byte per byte of the image.
    const std::int64_t allowance = WalkAllowance(reader.Size());
    TWalkCost cost;
    const std::int64_t list = std::int64_t{entry.Start} + entry.HeaderLength;
    const std::int64_t firstTrack = list + reader.Int32At(list + 4);
    const std::int32_t declared = reader.Int32At(list + 8);

    // A damaged count must neither allocate without bound nor report records that the
    // image cannot hold: cut it to the tracks that fit between the first track and the end.
    const std::int64_t room = reader.Contains(firstTrack) ? reader.Size() - firstTrack : 0;
    const std::int64_t count = std::clamp<std::int64_t>(declared, 0, room / kMinTrackBytes);

    // The last look-up, for tracks that name the same file as the one before (a damaged
    // file whose track stops moving reads one track over and over).
    std::string lastLocation;
    std::optional<std::int64_t> lastSize;
    bool looked = false;

    try {
        songs.resize(static_cast<std::size_t>(count));
        std::int64_t track = firstTrack;
        std::array<std::u16string, kLastStringType + 1> strings;
        for (std::size_t i = 0; i < songs.size(); ++i) {
            const std::int32_t headerLength = reader.Int32At(track + 4);
            const std::int32_t totalLength = reader.Int32At(track + 8);
            const std::int32_t objectCount = reader.Int32At(track + 12);
            songs[i].SongId = reader.Int32At(track + 16);

            for (auto& s : strings)
                s.clear();
            std::int64_t object = track + headerLength;
            for (std::int32_t k = 0; k < objectCount; ++k) {
                // Past the end everything reads as zero, which would change nothing more.
                if (object >= reader.Size())
                    break;
                if (cost.objectSteps >= allowance)
                    break;
                ++cost.objectSteps;
                const std::int32_t objectLength = reader.Int32At(object + 8);
                const std::int32_t type = reader.Int32At(object + 12);
                if (type >= kFirstStringType && type <= kLastStringType) {
                    const std::int32_t byteLength = reader.Int32At(object + 28);
                    if (IsKeptStringType(type)) {
                        // Only the bytes the image holds, and only as many as the string
                        // allowance has left.
                        const bool utf8 = reader.Int32At(object + kEncodingOffset) == kUtf8Encoding;
                        std::string_view bytes = reader.BytesAt(
                            object + kStringOffset,
                            std::min<std::int64_t>(byteLength, allowance - cost.stringBytes));
                        if (!utf8)
                            bytes.remove_suffix(bytes.size() % 2);
                        cost.stringBytes += static_cast<std::int64_t>(bytes.size());
                        strings[static_cast<std::size_t>(type)] =
                            utf8 ? ToUtf16(bytes)
                                 : reader.Utf16At(object + kStringOffset,
                                                  static_cast<std::int64_t>(bytes.size()));
                    }
                    // The next object follows the string, whatever the object's own total
                    // length says. A negative length counts as an empty string, so the
                    // walk still moves forward.
                    object += kStringOffset + std::max<std::int32_t>(byteLength, 0);
                } else if (objectLength > kMaxSkippedObject) {
                    break;
                } else if (objectLength <= 0) {
                    // Stepping by nothing or backwards would re-read the same objects for
                    // as many rounds as the count says; nothing after it can be found.
                    break;
                } else {
                    object += objectLength;
                }
            }

            std::string location = ToUtf8(strings[2]);
            std::replace(location.begin(), location.end(), ':', '\\');
            location.insert(0, context.drivePath);
            std::optional<std::int64_t> size;
            if (looked && location == lastLocation) {
                size = lastSize;
            } else if (context.sizeOf) {
                size = context.sizeOf(location);
                lastLocation = location;
                lastSize = size;
                looked = true;
            }
            std::u16string location16 = ToUtf16(location);
            std::u16string sizeText =
                size ? ToUtf16(FormatSizeText(*size, context.decimalSeparator)) : u"";

            // Everything that can fail is done; the record is replaced in one go so that a
            // failure above leaves it with its earlier strings.
            TSong& song = songs[i];
            song.Title = std::move(strings[1]);
            song.Location = std::move(location16);
            song.FileSize = std::move(sizeText);
            song.Album = std::move(strings[3]);
            song.Artist = std::move(strings[4]);
            song.Genre = std::move(strings[5]);
            song.FileType = std::move(strings[6]);
            song.EQSetting = std::move(strings[7]);
            song.Comment = std::move(strings[8]);
            song.Composer = std::move(strings[12]);
            song.Grouping = std::move(strings[13]);

            track += totalLength;
            if (track >= reader.Size()) {
                // Past the end every field reads as zero, so the track position no longer
                // moves and each further track would read the same empty record: give them
                // that record without walking it again (a cut-off file declaring
                // thousands of tracks would otherwise cost a look-up for each).
                for (std::size_t j = i + 1; j < songs.size(); ++j) {
                    if (j == i + 1)
                        ReadEmptyTrack(context, songs[j]);
                    else
                        songs[j] = songs[i + 1];
                }
                break;
            }
        }
    } catch (...) {
        // A track that cannot be read ends the walk; the reader reports nothing.
    }
    return cost;
}

bool IsCompressedDatabase(std::span<const std::uint8_t> file) {
    const TImageReader reader(file);
    // The flag lies inside the header, so the header must reach past it.
    return reader.Int32At(4) > kCompressedFlagOffset && reader.Contains(kCompressedFlagOffset) &&
           file[static_cast<std::size_t>(kCompressedFlagOffset)] == 1;
}

std::int64_t InflateLimit(std::int64_t compressedSize) {
    if (compressedSize > kMaxInflated / kMaxInflateRatio)
        return kMaxInflated;
    return std::max<std::int64_t>(compressedSize, 0) * kMaxInflateRatio;
}

std::optional<std::vector<std::uint8_t>> InflateDatabase(std::span<const std::uint8_t> file,
                                                         std::string& problem) {
    const TImageReader reader(file);
    const std::int64_t headerLength = reader.Int32At(4);
    if (headerLength <= kCompressedFlagOffset || headerLength > reader.Size()) {
        problem = "its header is cut short";
        return std::nullopt;
    }
    const std::int64_t limit = InflateLimit(reader.Size());
    std::vector<std::uint8_t> image(file.begin(), file.begin() + headerLength);
    // The header's total length is the inflated image's size on a sound file: room for it
    // is made at once (within the limit), so the image is not copied as it grows.
    const std::int64_t declared = reader.Int32At(8);
    if (declared > headerLength)
        image.reserve(static_cast<std::size_t>(std::min(declared, limit)));

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        problem = "zlib could not start";
        return std::nullopt;
    }
    // The rest is fed in one piece (it is in memory already); the output grows in steps,
    // so a stream that claims a huge total length costs nothing until it delivers bytes.
    stream.next_in = const_cast<Bytef*>(file.data() + headerLength);
    stream.avail_in = static_cast<uInt>(reader.Size() - headerLength);
    constexpr std::size_t kChunk = 256 * 1024;
    int status = Z_OK;
    while (status == Z_OK) {
        const std::size_t done = image.size();
        if (static_cast<std::int64_t>(done) >= limit) {
            status = Z_MEM_ERROR;
            break;
        }
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(
            std::max(kChunk, image.capacity() - done), limit - static_cast<std::int64_t>(done)));
        image.resize(done + chunk);
        stream.next_out = image.data() + done;
        stream.avail_out = static_cast<uInt>(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        image.resize(done + (chunk - stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the input ended before the stream did
        if (status == Z_BUF_ERROR)
            status = Z_OK; // only the output was full
    }
    inflateEnd(&stream);
    if (status == Z_STREAM_END)
        return image;
    if (status == Z_MEM_ERROR)
        problem = "it would inflate to more than " + std::to_string(limit / (1024 * 1024)) +
                  " MB, " + std::to_string(kMaxInflateRatio) + " times its size";
    else if (status == Z_BUF_ERROR || status == Z_OK)
        problem = "its compressed data is cut short";
    else
        problem = "its compressed data is damaged";
    return std::nullopt;
}

std::string FormatSizeText(std::int64_t bytes, std::string_view decimalSeparator) {
    const double megabytes = static_cast<double>(bytes) / 1024.0 / 1024.0;
    std::array<char, 64> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), megabytes,
                                std::chars_format::general, 15);
    std::string text(buffer.data(), result.ptr);
    if (text.find('e') != std::string::npos) {
        // The general format turns to an exponent below 0.0001 (files under 105 bytes);
        // write the same 15 significant digits in plain decimals instead.
        const int decimals = 14 - static_cast<int>(std::floor(std::log10(std::fabs(megabytes))));
        result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), megabytes,
                               std::chars_format::fixed, decimals);
        text.assign(buffer.data(), result.ptr);
        if (text.find('.') != std::string::npos) {
            text.erase(text.find_last_not_of('0') + 1);
            if (text.back() == '.')
                text.pop_back();
        }
    }
    if (const auto point = text.find('.'); point != std::string::npos)
        text.replace(point, 1, decimalSeparator);
    if (const auto point = text.find('.'); point != std::string::npos)
        text.resize(std::min(text.size(), point + 3));
    return text + "MB";
}

} // namespace korvello
