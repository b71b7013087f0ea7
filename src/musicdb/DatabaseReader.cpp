#include "musicdb/DatabaseReader.h"

#include "musicdb/ImageReader.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace korvello {

namespace {

// Data-object types that carry a string; of these only the ten below are kept.
constexpr std::int32_t kFirstStringType = 1;
constexpr std::int32_t kLastStringType = 14;
// An unknown object longer than this is taken to be the end of the track's objects
// rather than something to step over.
constexpr std::int32_t kMaxSkippedObject = 1024;
// A string object's string starts this far into the object.
constexpr std::int64_t kStringOffset = 40;

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
    // The first data set follows the database header; the second follows the first.
    std::int64_t start = reader.Int32At(4);
    for (int n = 0; n < 2; ++n) {
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
    return trackListSeen;
}

void ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                 const TTrackWalkContext& context, std::vector<TSong>& songs) {
    const TImageReader reader(image);
    const std::int64_t list = std::int64_t{entry.Start} + entry.HeaderLength;
    const std::int64_t firstTrack = list + reader.Int32At(list + 4);
    const std::int32_t declared = reader.Int32At(list + 8);

    // A damaged count must neither allocate without bound nor report records that the
    // image cannot hold: cut it to the tracks that fit between the first track and the end.
    const std::int64_t room = reader.Contains(firstTrack) ? reader.Size() - firstTrack : 0;
    const std::int64_t count = std::clamp<std::int64_t>(declared, 0, room / kMinTrackBytes);

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
                const std::int32_t objectLength = reader.Int32At(object + 8);
                const std::int32_t type = reader.Int32At(object + 12);
                if (type >= kFirstStringType && type <= kLastStringType) {
                    const std::int32_t byteLength = reader.Int32At(object + 28);
                    if (IsKeptStringType(type))
                        strings[static_cast<std::size_t>(type)] =
                            reader.Utf16At(object + kStringOffset, byteLength);
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
            if (context.sizeOf)
                size = context.sizeOf(location);
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
