// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/DatabaseReader.h"

#include "musicdb/ImageReader.h"
#include "platform/Text.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace korvello {

namespace {

// Data-object types that carry a string (1 to 14 and 18 to 31; 15 to 17 hold podcast
// addresses and chapter data in other shapes); of these only the ones below are kept.
constexpr std::int32_t kFirstStringType = 1;
constexpr std::int32_t kLastStringType = 31;
constexpr std::int32_t kTitleType = 1;
constexpr std::int32_t kLocationType = 2;
constexpr std::int32_t kAlbumType = 3;
constexpr std::int32_t kArtistType = 4;
constexpr std::int32_t kGenreType = 5;
constexpr std::int32_t kFileTypeType = 6;
constexpr std::int32_t kEQSettingType = 7;
constexpr std::int32_t kCommentType = 8;
constexpr std::int32_t kComposerType = 12;
constexpr std::int32_t kGroupingType = 13;
constexpr std::int32_t kAlbumArtistType = 22;
constexpr std::int32_t kSortArtistType = 23;
constexpr std::int32_t kSortTitleType = 27;
constexpr std::int32_t kSortAlbumType = 28;
constexpr std::int32_t kSortAlbumArtistType = 29;
constexpr std::int32_t kSortComposerType = 30;
// An unknown object longer than this is taken to be the end of the track's objects
// rather than something to step over.
constexpr std::int32_t kMaxSkippedObject = 1024;
constexpr std::int32_t kUtf8Encoding = 2;
// The first two data sets are always read before any other is looked at.
constexpr int kFirstDataSets = 2;
// iTunesCDB: what inflating may grow to.
constexpr std::int64_t kMaxInflated = std::int64_t{1} << 30;
constexpr std::int64_t kMaxInflateRatio = 32;
// The walk allowances of an iTunesCDB, in multiples of the file's size (see WalkAllowance).
constexpr std::int64_t kCompressedStepRatio = 16;
constexpr std::int64_t kCompressedRecordRatio = 2;

bool IsStringObject(std::int32_t type) {
    return (type >= kFirstStringType && type <= 14) || (type >= 18 && type <= kLastStringType);
}

bool IsKeptStringType(std::int32_t type) {
    return (type >= kTitleType && type <= kCommentType) || type == kComposerType ||
           type == kGroupingType || type == kAlbumArtistType || type == kSortArtistType ||
           (type >= kSortTitleType && type <= kSortComposerType);
}

// One track's kept strings, by data-object type.
using TTrackStrings = std::array<std::u16string, kLastStringType + 1>;

// The string of the string object at `object` that holds `byteLength` bytes: only the
// bytes the image holds, and only as many as the string allowance has left.
std::u16string ReadString(const TImageReader& reader, std::int64_t object, std::int32_t byteLength,
                          const TWalkAllowance& allowance, TWalkCost& cost) {
    const bool utf8 = reader.Int32At(object + kStringEncodingOffset) == kUtf8Encoding;
    std::string_view bytes = reader.BytesAt(
        object + kStringOffset,
        std::min<std::int64_t>(byteLength, allowance.stringBytes - cost.stringBytes));
    if (!utf8)
        bytes.remove_suffix(bytes.size() % 2);
    cost.stringBytes += static_cast<std::int64_t>(bytes.size());
    return utf8 ? ToUtf16(bytes)
                : reader.Utf16At(object + kStringOffset, static_cast<std::int64_t>(bytes.size()));
}

// Walks the data objects of the track at `track` and keeps its strings; the steps and
// string bytes it takes are spent from the walk's allowances.
void ReadTrackStrings(const TImageReader& reader, std::int64_t track,
                      const TWalkAllowance& allowance, TWalkCost& cost, TTrackStrings& strings) {
    for (auto& s : strings)
        s.clear();
    const std::int32_t objectCount = reader.Int32At(track + kTrackObjectCountOffset);
    std::int64_t object = track + reader.Int32At(track + kTrackHeaderLengthOffset);
    for (std::int32_t k = 0; k < objectCount; ++k) {
        // Past the end everything reads as zero, which would change nothing more.
        if (object >= reader.Size())
            break;
        if (cost.objectSteps >= allowance.objectSteps)
            break;
        ++cost.objectSteps;
        const std::int32_t objectLength = reader.Int32At(object + kObjectTotalLengthOffset);
        const std::int32_t type = reader.Int32At(object + kObjectTypeOffset);
        if (IsStringObject(type)) {
            const std::int32_t byteLength = reader.Int32At(object + kStringByteLengthOffset);
            if (IsKeptStringType(type))
                strings[static_cast<std::size_t>(type)] =
                    ReadString(reader, object, byteLength, allowance, cost);
            // The next object follows the string, whatever the object's own total length
            // says. A negative length counts as an empty string, so the walk still moves
            // forward.
            object += kStringOffset + std::max<std::int32_t>(byteLength, 0);
        } else if (objectLength > kMaxSkippedObject) {
            break;
        } else if (objectLength <= 0) {
            // Stepping by nothing or backwards would re-read the same objects for as many
            // rounds as the count says; nothing after it can be found.
            break;
        } else {
            object += objectLength;
        }
    }
}

// The size look-up of a walk, which keeps its last answer for tracks that name the same
// file as the one before (a damaged file whose track stops moving reads one track over
// and over).
class TSizeLookups {
public:
    TSizeLookups(const TSizeLookup& sizeOf, const std::function<bool()>& foundAsGiven)
        : sizeOf_(sizeOf), foundAsGiven_(foundAsGiven) {}

    std::optional<std::int64_t> SizeOf(const std::string& location) {
        if (looked_ && location == lastLocation_)
            return lastSize_;
        if (!sizeOf_)
            return std::nullopt;
        lastSize_ = sizeOf_(location);
        lastAsGiven_ = foundAsGiven_ && foundAsGiven_();
        lastLocation_ = location;
        looked_ = true;
        return lastSize_;
    }
    // Whether the last file asked about was found under its names as written.
    bool FoundAsGiven() const { return looked_ && lastAsGiven_; }

private:
    const TSizeLookup& sizeOf_;
    const std::function<bool()>& foundAsGiven_;
    std::string lastLocation_;
    std::optional<std::int64_t> lastSize_;
    bool lastAsGiven_ = false;
    bool looked_ = false;
};

// Moves a track's strings into its record. Its Location is still the database's own
// (":iPod_Control:Music:F00:X.mp3"); StoreFileFields turns it into the drive's.
void StoreStrings(TTrackStrings& strings, TSong& song) {
    song.Title = std::move(strings[kTitleType]);
    song.Location = std::move(strings[kLocationType]);
    song.Album = std::move(strings[kAlbumType]);
    song.Artist = std::move(strings[kArtistType]);
    song.Genre = std::move(strings[kGenreType]);
    song.FileType = std::move(strings[kFileTypeType]);
    song.EQSetting = std::move(strings[kEQSettingType]);
    song.Comment = std::move(strings[kCommentType]);
    song.Composer = std::move(strings[kComposerType]);
    song.Grouping = std::move(strings[kGroupingType]);
    song.AlbumArtist = std::move(strings[kAlbumArtistType]);
    song.SortTitle = std::move(strings[kSortTitleType]);
    song.SortArtist = std::move(strings[kSortArtistType]);
    song.SortAlbum = std::move(strings[kSortAlbumType]);
    song.SortAlbumArtist = std::move(strings[kSortAlbumArtistType]);
    song.SortComposer = std::move(strings[kSortComposerType]);
}

// Gives a record what it takes from its file: the location on the drive (the database's
// with ":" turned into a backslash, behind the drive path), the file's size and its size text.
// Returns whether the file was found under exactly the names of that location.
bool StoreFileFields(TSong& song, const TTrackWalkContext& context, TSizeLookups& sizes) {
    std::string location = ToUtf8(song.Location);
    std::replace(location.begin(), location.end(), ':', '\\');
    location.insert(0, context.drivePath);
    const std::optional<std::int64_t> size = sizes.SizeOf(location);
    song.Location = ToUtf16(location);
    song.FileSize = size ? ToUtf16(FormatSizeText(*size, context.decimalSeparator)) : u"";
    song.FileBytes = size.value_or(-1);
    return sizes.FoundAsGiven();
}

// The location of a record on the drive, made straight from the database's: the drive
// path `drive` (in UTF-16), then the stored location with ":" turned into a backslash
// and a lone surrogate into U+FFFD. For a drive path in valid UTF-8 this is exactly
// ToUtf16 of the UTF-8 location StoreFileFields makes, whose UTF-8 is that location.
std::u16string DriveLocation(std::u16string_view drive, std::u16string_view stored) {
    std::u16string location;
    location.reserve(drive.size() + stored.size());
    location.append(drive);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const char16_t unit = stored[i];
        if (unit == u':') {
            location += u'\\';
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < stored.size() &&
                   stored[i + 1] >= 0xDC00 && stored[i + 1] <= 0xDFFF) {
            location += unit;
            location += stored[++i];
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            location += u'\uFFFD';
        } else {
            location += unit;
        }
    }
    return location;
}

// The file fields of a record whose Location is already the drive's (DriveLocation).
bool LookUpFile(TSong& song, const std::string& decimalSeparator, TSizeLookups& sizes) {
    const std::optional<std::int64_t> size = sizes.SizeOf(ToUtf8(song.Location));
    song.FileSize = size ? ToUtf16(FormatSizeText(*size, decimalSeparator)) : u"";
    song.FileBytes = size.value_or(-1);
    return sizes.FoundAsGiven();
}

// Looks the songs' files up beside the walk, which would otherwise spend most of its time
// waiting for the system's file look-ups. The walk hands over each record once it is
// filled, its location already the drive's (Publish), and a thread of its own looks the
// files up in database order. Once the walk is done, the walk's thread takes a share of
// what is left when the context gives it a look-up of its own (TFileLookup): both then
// claim runs of records in database order.
//
// The answers are those of a walk that looks each file up itself: the same look-ups per
// record, and of several failures the one of the earliest record is thrown, as that walk
// would have met it first. While the threads run, each look-up is used by its own thread
// only, and the walk's thread touches no handed-over record. The records lie in memory
// reserved for all of them, so the walk adding records never moves the handed-over ones.
class TFileLookupThreads {
public:
    TFileLookupThreads(const TTrackWalkContext& context, TSong* songs, std::size_t capacity)
        : context_(context), songs_(songs), asGiven_(capacity, 0) {
        thread_ = std::thread([this] {
            TSizeLookups sizes(context_.sizeOf, context_.foundAsGiven);
            LookUp(sizes, 0);
        });
    }
    ~TFileLookupThreads() { Stop(); }
    TFileLookupThreads(const TFileLookupThreads&) = delete;
    TFileLookupThreads& operator=(const TFileLookupThreads&) = delete;

    // The first `count` records are filled and may be looked up.
    void Publish(std::size_t count) {
        ready_.store(count, std::memory_order_release);
        ready_.notify_one();
    }
    // True once a look-up has thrown: the walk need not go on.
    bool Failed() const { return firstFailure_.load(std::memory_order_acquire) != kNone; }

    // No more records come. With `help`, the calling thread looks up a share of the records
    // left; then it waits for the thread and throws the earliest failure, if any.
    void Finish(bool help) {
        ready_.fetch_or(kNoMore, std::memory_order_release);
        ready_.notify_one();
        if (help && context_.anotherLookup && !Failed()) {
            // A look-up that cannot be made leaves the rest to the thread.
            std::optional<TFileLookup> own;
            try {
                own = context_.anotherLookup();
            } catch (const std::exception&) {
            }
            if (own) {
                TSizeLookups sizes(own->sizeOf, own->foundAsGiven);
                LookUp(sizes, 1);
            }
        }
        Stop();
        const std::size_t first = firstFailure_.load(std::memory_order_acquire);
        for (std::size_t slot = 0; slot < kThreads; ++slot)
            if (failures_[slot] && failedAt_[slot] == first)
                std::rethrow_exception(failures_[slot]);
    }

    // For each of the first `count` records, whether its file was found under its names
    // as written. Only after Finish.
    std::vector<bool> FoundAsGiven(std::size_t count) const {
        return std::vector<bool>(asGiven_.begin(),
                                 asGiven_.begin() + static_cast<std::ptrdiff_t>(count));
    }

private:
    static constexpr std::size_t kThreads = 2;
    // Records claimed at a time: few enough that the two threads end close together.
    static constexpr std::size_t kRun = 64;
    // Set in `ready_` beside the count once no more records come.
    static constexpr std::size_t kNoMore = ~(~std::size_t{0} >> 1);
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

    void Stop() {
        if (!thread_.joinable())
            return;
        ready_.fetch_or(kNoMore, std::memory_order_release);
        ready_.notify_one();
        thread_.join();
    }

    // Waits until record `i` is handed over; false when it never will be.
    bool WaitFor(std::size_t i) {
        std::size_t ready = ready_.load(std::memory_order_acquire);
        while ((ready & ~kNoMore) <= i) {
            if ((ready & kNoMore) != 0)
                return false;
            ready_.wait(ready, std::memory_order_acquire);
            ready = ready_.load(std::memory_order_acquire);
        }
        return true;
    }

    // Claims runs of records and looks their files up with `sizes` until none is left or
    // a look-up of an earlier record has failed. A record before a failure is always
    // looked up: runs are claimed in order, and each is worked through up to the failure.
    void LookUp(TSizeLookups& sizes, std::size_t slot) {
        for (;;) {
            const std::size_t start = next_.fetch_add(kRun, std::memory_order_relaxed);
            for (std::size_t i = start; i < start + kRun; ++i) {
                if (!WaitFor(i) || i > firstFailure_.load(std::memory_order_acquire))
                    return;
                try {
                    asGiven_[i] = LookUpFile(songs_[i], context_.decimalSeparator, sizes) ? 1 : 0;
                } catch (...) {
                    failures_[slot] = std::current_exception();
                    failedAt_[slot] = i;
                    std::size_t first = firstFailure_.load(std::memory_order_relaxed);
                    while (i < first && !firstFailure_.compare_exchange_weak(
                                            first, i, std::memory_order_acq_rel))
                        ;
                    return;
                }
            }
        }
    }

    const TTrackWalkContext& context_;
    TSong* songs_;
    std::vector<std::uint8_t> asGiven_;
    std::array<std::exception_ptr, kThreads> failures_;
    std::array<std::size_t, kThreads> failedAt_{};
    std::atomic<std::size_t> ready_{0};
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> firstFailure_{kNone};
    std::thread thread_;
};

// A time as the database stores it (seconds since 1904, unsigned) in Unix seconds; 0
// (never) stays 0.
std::int64_t UnixTime(std::int32_t stored) {
    const auto seconds = static_cast<std::uint32_t>(stored);
    return seconds == 0 ? 0 : static_cast<std::int64_t>(seconds) - kMacEpochOffset;
}

// The numbers of the track header at `track`: only those that lie inside its header
// length, the rest stay 0 (an early database's header ends at 0x9C).
void ReadTrackNumbers(const TImageReader& reader, std::int64_t track, TSong& song) {
    const std::int64_t headerLength = reader.Int32At(track + kTrackHeaderLengthOffset);
    const auto field = [&](std::int64_t offset) -> std::int32_t {
        return offset + 4 <= headerLength ? reader.Int32At(track + offset) : 0;
    };
    const std::int32_t flags = field(kTrackFlagsOffset);
    song.Compilation = ((flags >> 16) & 0xFF) != 0;
    song.Rating = std::min((flags >> 24) & 0xFF, 100);
    song.Duration = field(kTrackDurationOffset);
    song.TrackNumber = field(kTrackNumberOffset);
    song.TrackCount = field(kTrackCountFieldOffset);
    song.Year = field(kTrackYearOffset);
    song.Bitrate = field(kTrackBitrateOffset);
    song.SampleRate =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(field(kTrackSampleRateOffset)) >> 16);
    song.PlayCount = field(kTrackPlayCountOffset);
    song.LastPlayed = UnixTime(field(kTrackLastPlayedOffset));
    song.DiscNumber = field(kTrackDiscNumberOffset);
    song.DiscCount = field(kTrackDiscCountOffset);
    song.DateAdded = UnixTime(field(kTrackDateAddedOffset));
    song.SkipCount = field(kTrackSkipCountOffset);
    song.LastSkipped = UnixTime(field(kTrackLastSkippedOffset));
    song.MediaType = static_cast<std::uint32_t>(field(kTrackMediaTypeOffset));
}

// True when a track's strings give it anything to show.
bool HoldsAString(const TTrackStrings& strings) {
    return std::any_of(strings.begin(), strings.end(),
                       [](const std::u16string& s) { return !s.empty(); });
}

// One data set's header at `start`, as the table keeps it.
TDataSetEntry DataSetAt(const TImageReader& reader, std::int64_t start) {
    return {reader.Int32At(start + kDataSetTotalLengthOffset),
            reader.Int32At(start + kDataSetHeaderLengthOffset), static_cast<std::int32_t>(start)};
}

} // namespace

bool ReadDataSets(std::span<const std::uint8_t> image, TDataSetTable& table) {
    const TImageReader reader(image);
    bool trackListSeen = false;
    // The first data set follows the database header; each next one follows the one before.
    std::int64_t start = reader.Int32At(kDatabaseHeaderLengthOffset);
    for (int n = 0; n < kFirstDataSets; ++n) {
        const TDataSetEntry dataSet = DataSetAt(reader, start);
        const std::int32_t type = reader.Int32At(start + kDataSetTypeOffset);
        // The table only has the types 1 to 7; another type (a newer device's data set,
        // or a damaged one) has nowhere to go and is passed over.
        if (type >= 1 && type <= static_cast<std::int32_t>(table.size())) {
            table[static_cast<std::size_t>(type - 1)] = dataSet;
            trackListSeen = trackListSeen || type == 1;
        }
        start += dataSet.TotalLength;
    }
    if (trackListSeen)
        return true;

    // Later iTunes versions may put album and artist lists first, so the track list can be
    // any of the data sets. The search stops at the declared count, at the end of the
    // image, and at a data set that does not move forward (which would only repeat).
    const std::int32_t declared = reader.Int32At(kDataSetCountOffset);
    for (std::int32_t n = kFirstDataSets; n < declared && reader.Contains(start); ++n) {
        const TDataSetEntry dataSet = DataSetAt(reader, start);
        if (reader.Int32At(start + kDataSetTypeOffset) == 1) {
            table[0] = dataSet;
            return true;
        }
        if (dataSet.TotalLength <= 0)
            break;
        start += dataSet.TotalLength;
    }
    return false;
}

TWalkAllowance WalkAllowance(std::int64_t imageSize, std::int64_t compressedSize) {
    imageSize = std::max<std::int64_t>(imageSize, 0);
    TWalkAllowance allowance;
    if (compressedSize < 0) {
        allowance.objectSteps = imageSize;
        allowance.stringBytes = imageSize;
        allowance.records = imageSize / kMinTrackBytes;
        return allowance;
    }
    // An iTunesCDB's image is what its file inflates to; its walk may cost about what a
    // plain file of kCompressedStepRatio times its size would, and it may hold as many
    // records as a plain file of kCompressedRecordRatio times its size.
    allowance.objectSteps = std::min(imageSize, compressedSize * kCompressedStepRatio);
    allowance.stringBytes = allowance.objectSteps;
    allowance.records =
        std::min(imageSize, compressedSize * kCompressedRecordRatio) / kMinTrackBytes;
    return allowance;
}

bool WithinAllowance(const TWalkCost& cost, const TWalkAllowance& allowance) {
    return cost.objectSteps <= allowance.objectSteps && cost.stringBytes <= allowance.stringBytes &&
           cost.records <= allowance.records;
}

TTrackListResult ParseTracks(std::span<const std::uint8_t> image, const TDataSetEntry& entry,
                             const TTrackWalkContext& context, std::vector<TSong>& songs,
                             std::int64_t compressedSize) {
    const TImageReader reader(image);
    const TWalkAllowance allowance = WalkAllowance(reader.Size(), compressedSize);
    TTrackListResult result;
    result.allowance = allowance;
    const std::int64_t list = std::int64_t{entry.Start} + entry.HeaderLength;
    const std::int64_t firstTrack = list + reader.Int32At(list + kTrackListHeaderLengthOffset);
    result.declared = std::max<std::int32_t>(reader.Int32At(list + kTrackCountOffset), 0);

    // A damaged count must neither allocate without bound nor walk tracks the image cannot
    // hold: cut it to the tracks that fit between the first track and the end, and to the
    // records the walk may hold.
    const std::int64_t room = reader.Contains(firstTrack) ? reader.Size() - firstTrack : 0;
    const std::int64_t count =
        std::min({result.declared, room / kMinTrackBytes, allowance.records});

    songs.clear();
    try {
        songs.reserve(static_cast<std::size_t>(count));
        // A hundred thousand records are tens of megabytes, first touched one page at a
        // time as the walk fills them.
        if (context.preferLargePages && songs.capacity() > 0)
            context.preferLargePages(songs.data(), songs.capacity() * sizeof(TSong));
        result.songOfTrack.reserve(static_cast<std::size_t>(count));
        // The files are looked up beside the walk (TFileLookupThreads), which then writes
        // each location straight in the drive's form. Where no thread can be started, or
        // the drive path is no valid UTF-8 (so that form could not be turned back into
        // the path asked for), the walk looks each file up itself.
        const std::u16string drive = ToUtf16(context.drivePath);
        std::optional<TFileLookupThreads> files;
        if (context.sizeOf && count > 0 && ToUtf8(drive) == context.drivePath) {
            try {
                files.emplace(context, songs.data(), songs.capacity());
            } catch (const std::system_error&) {
            }
        }
        TSizeLookups sizes(context.sizeOf, context.foundAsGiven);
        if (!files)
            result.foundAsGiven.reserve(static_cast<std::size_t>(count));
        try {
            std::int64_t track = firstTrack;
            TTrackStrings strings;
            for (std::int64_t i = 0; i < count; ++i) {
                // A track whose id lies past the end holds nothing, and neither do the
                // ones after it.
                if (track < 0 || track + kMinTrackBytes > reader.Size())
                    break;
                if (files && files->Failed())
                    break;
                ++result.cost.records;
                const std::int32_t id = reader.Int32At(track + kTrackIdOffset);
                ReadTrackStrings(reader, track, allowance, result.cost, strings);
                if (id != 0 || HoldsAString(strings)) {
                    result.songOfTrack.push_back(static_cast<std::int32_t>(songs.size()));
                    // Never past the reserved records: at most one a track, `count` tracks.
                    TSong& song = songs.emplace_back();
                    song.SongId = id;
                    ReadTrackNumbers(reader, track, song);
                    StoreStrings(strings, song);
                    if (files) {
                        song.Location = DriveLocation(drive, song.Location);
                        files->Publish(songs.size());
                    } else {
                        result.foundAsGiven.push_back(StoreFileFields(song, context, sizes));
                    }
                } else {
                    result.songOfTrack.push_back(-1);
                }
                const std::int32_t length = reader.Int32At(track + kTrackTotalLengthOffset);
                // A track that does not move forward would be read again and again.
                if (length <= 0)
                    break;
                track += length;
            }
        } catch (...) {
            if (files)
                files->Finish(false); // a look-up's exception came first
            throw;
        }
        if (files) {
            files->Finish(true);
            result.foundAsGiven = files->FoundAsGiven(songs.size());
        }
    } catch (const std::bad_alloc&) {
        songs = std::vector<TSong>();
        result.songOfTrack = std::vector<std::int32_t>();
        result.foundAsGiven = std::vector<bool>();
        result.problem = "there is not enough memory to hold its songs";
    } catch (const std::exception& e) {
        songs = std::vector<TSong>();
        result.songOfTrack = std::vector<std::int32_t>();
        result.foundAsGiven = std::vector<bool>();
        result.problem = e.what();
    }
    return result;
}

namespace {

constexpr std::int32_t kPlaylistDataSet = 2;
constexpr std::int32_t kPodcastDataSet = 3;
constexpr std::int32_t kSmartPreferencesType = 50;
constexpr std::int32_t kSmartRulesType = 51;
constexpr std::int32_t kPodcastGroupFlag = 0x100;

// The start of the first data set of `type`, or -1. Every data set looked at is a step.
std::int64_t FindDataSet(const TImageReader& reader, std::int32_t type,
                         const TWalkAllowance& allowance, TWalkCost& cost) {
    std::int64_t start = reader.Int32At(kDatabaseHeaderLengthOffset);
    const std::int32_t declared = std::max(reader.Int32At(kDataSetCountOffset), kFirstDataSets);
    for (std::int32_t n = 0; n < declared && reader.Contains(start); ++n) {
        if (cost.objectSteps >= allowance.objectSteps)
            break;
        ++cost.objectSteps;
        if (reader.Int32At(start + kDataSetTypeOffset) == type)
            return start;
        const std::int32_t length = reader.Int32At(start + kDataSetTotalLengthOffset);
        if (length <= 0)
            break;
        start += length;
    }
    return -1;
}

// Position of the last song with each id, as FindSongById finds it. The ids of a real
// database run from about 1 to a little past the song count, so a table indexed by id
// answers each entry with one read; ids spread wider than a few times the song count (a
// damaged or hostile database) go into a hash map instead, so the table never costs
// more than a small multiple of the songs.
class TSongOfId {
public:
    explicit TSongOfId(const std::vector<TSong>& songs) {
        if (songs.empty())
            return;
        const auto [lowest, highest] =
            std::minmax_element(songs.begin(), songs.end(),
                                [](const TSong& a, const TSong& b) { return a.SongId < b.SongId; });
        const std::int64_t span = std::int64_t{highest->SongId} - lowest->SongId + 1;
        if (span <= kTableSongs * static_cast<std::int64_t>(songs.size()) + kTableSlack) {
            base_ = lowest->SongId;
            table_.assign(static_cast<std::size_t>(span), -1);
            for (std::size_t i = 0; i < songs.size(); ++i)
                table_[static_cast<std::size_t>(std::int64_t{songs[i].SongId} - base_)] =
                    static_cast<std::int32_t>(i);
            return;
        }
        map_.reserve(songs.size());
        for (std::size_t i = 0; i < songs.size(); ++i)
            map_[songs[i].SongId] = static_cast<std::int32_t>(i);
    }

    // The position, or -1 when no song has the id.
    std::int32_t Find(std::int32_t id) const {
        if (!table_.empty()) {
            const auto slot = static_cast<std::uint64_t>(std::int64_t{id} - base_);
            return slot < table_.size() ? table_[static_cast<std::size_t>(slot)] : -1;
        }
        const auto found = map_.find(id);
        return found == map_.end() ? -1 : found->second;
    }

private:
    static constexpr std::int64_t kTableSongs = 4;
    static constexpr std::int64_t kTableSlack = 1024;
    std::int64_t base_ = 0;
    std::vector<std::int32_t> table_;
    std::unordered_map<std::int32_t, std::int32_t> map_;
};

// Walks the objects of the playlist at `playlist`: its name, whether it is smart. Returns
// where its entries begin.
std::int64_t ReadPlaylistObjects(const TImageReader& reader, std::int64_t playlist,
                                 const TWalkAllowance& allowance, TWalkCost& cost, TPlaylist& out) {
    const std::int32_t objectCount = reader.Int32At(playlist + kPlaylistObjectCountOffset);
    std::int64_t object = playlist + reader.Int32At(playlist + kTrackHeaderLengthOffset);
    for (std::int32_t k = 0; k < objectCount && reader.Contains(object); ++k) {
        if (cost.objectSteps >= allowance.objectSteps)
            break;
        ++cost.objectSteps;
        const std::int32_t type = reader.Int32At(object + kObjectTypeOffset);
        const std::int32_t length = reader.Int32At(object + kObjectTotalLengthOffset);
        if (type == kTitleType)
            out.Name = ReadString(reader, object, reader.Int32At(object + kStringByteLengthOffset),
                                  allowance, cost);
        else if (type == kSmartPreferencesType || type == kSmartRulesType)
            out.Kind = TPlaylist::TKind::Smart;
        if (length <= 0)
            break;
        object += length;
    }
    return object;
}

// Room made at once for the entries of one playlist: what it declares, but no more than
// the bytes left could hold at this many bytes an entry (a real entry takes more than
// 100 bytes with its position object).
constexpr std::int64_t kReservedEntryBytes = 64;

// Walks the entries of a playlist from `entry` on and adds the songs they name to
// `found`. One `found` serves every playlist of a walk in turn: the room made from one
// playlist's declared count is made once for the whole walk, never again for each of
// many playlists that declare huge counts and hold nothing.
void ReadPlaylistEntries(const TImageReader& reader, std::int64_t entry, std::int32_t declared,
                         const TSongOfId& songOfId, const TWalkAllowance& allowance,
                         TWalkCost& cost, std::vector<std::int32_t>& found, std::int32_t& dropped) {
    if (!reader.Contains(entry))
        return;
    found.reserve(static_cast<std::size_t>(std::min<std::int64_t>(
        std::max(declared, 0), (reader.Size() - entry) / kReservedEntryBytes)));
    for (std::int32_t j = 0; j < declared && reader.Contains(entry); ++j) {
        if (cost.objectSteps >= allowance.objectSteps)
            break;
        ++cost.objectSteps;
        const std::int32_t header = reader.Int32At(entry + kTrackHeaderLengthOffset);
        const std::int32_t length = reader.Int32At(entry + kObjectTotalLengthOffset);
        if ((reader.Int32At(entry + kEntryFlagsOffset) & kPodcastGroupFlag) == 0) {
            const std::int32_t song = songOfId.Find(reader.Int32At(entry + kEntryTrackIdOffset));
            if (song < 0)
                ++dropped;
            else
                found.push_back(song);
        }
        std::int64_t next = entry + length;
        if (length == header) {
            // Early iTunes versions wrote an entry's total length as its header's alone:
            // its objects follow it.
            const std::int32_t objects = reader.Int32At(entry + kEntryObjectCountOffset);
            for (std::int32_t k = 0; k < objects && reader.Contains(next); ++k) {
                if (cost.objectSteps >= allowance.objectSteps)
                    break;
                ++cost.objectSteps;
                const std::int32_t objectLength = reader.Int32At(next + kObjectTotalLengthOffset);
                if (objectLength <= 0)
                    break;
                next += objectLength;
            }
        }
        if (next <= entry)
            break;
        entry = next;
    }
}

} // namespace

TPlaylistRead ReadPlaylists(std::span<const std::uint8_t> image, const std::vector<TSong>& songs,
                            const TWalkAllowance& allowance, TWalkCost& cost) {
    const TImageReader reader(image);
    TPlaylistRead result;
    std::int64_t dataSet = FindDataSet(reader, kPodcastDataSet, allowance, cost);
    if (dataSet < 0)
        dataSet = FindDataSet(reader, kPlaylistDataSet, allowance, cost);
    if (dataSet < 0)
        return result;
    // Made for the first playlist that has entries: a database of only its master
    // playlist needs none.
    std::optional<TSongOfId> songOfId;
    std::vector<std::int32_t> found;
    const std::int64_t list = dataSet + reader.Int32At(dataSet + kDataSetHeaderLengthOffset);
    const std::int32_t count = reader.Int32At(list + kPlaylistCountOffset);
    std::int64_t playlist = list + reader.Int32At(list + kTrackHeaderLengthOffset);
    for (std::int32_t p = 0; p < count && reader.Contains(playlist); ++p) {
        if (cost.objectSteps >= allowance.objectSteps)
            break;
        ++cost.objectSteps;
        TPlaylist read;
        if (((reader.Int32At(playlist + kPlaylistPodcastOffset) >> 16) & 0xFFFF) == 1)
            read.Kind = TPlaylist::TKind::Podcast;
        const std::int64_t entries = ReadPlaylistObjects(reader, playlist, allowance, cost, read);
        const bool master = (reader.Int32At(playlist + kPlaylistMasterOffset) & 0xFF) == 1;
        if (master) {
            // It holds every song; only its name is kept (the iPod's own name).
            if (result.masterName.empty())
                result.masterName = std::move(read.Name);
        } else {
            const std::int32_t declared = reader.Int32At(playlist + kPlaylistEntryCountOffset);
            found.clear();
            if (declared > 0) {
                if (!songOfId)
                    songOfId.emplace(songs);
                ReadPlaylistEntries(reader, entries, declared, *songOfId, allowance, cost, found,
                                    read.DroppedEntries);
            }
            read.Songs.assign(found.begin(), found.end());
            result.playlists.push_back(std::move(read));
        }
        const std::int32_t length = reader.Int32At(playlist + kDataSetTotalLengthOffset);
        if (length <= 0)
            break;
        playlist += length;
    }
    return result;
}

void MergePlayCounts(std::span<const std::uint8_t> file,
                     const std::vector<std::int32_t>& songOfTrack, std::vector<TSong>& songs) {
    const TImageReader reader(file);
    const std::int64_t header = reader.Int32At(kTrackHeaderLengthOffset);
    const std::int64_t entryLength = reader.Int32At(kCountsEntryLengthOffset);
    // An entry holds at least plays, last played and the bookmark.
    if (header <= 0 || entryLength < 12)
        return;
    const std::int64_t count =
        std::min<std::int64_t>({std::max(reader.Int32At(kCountsEntryCountOffset), 0),
                                static_cast<std::int64_t>(songOfTrack.size()),
                                std::max<std::int64_t>(reader.Size() - header, 0) / entryLength});
    const auto add = [](std::int32_t base, std::int32_t more) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            std::int64_t{base} + std::max(more, 0), 0, std::numeric_limits<std::int32_t>::max()));
    };
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int32_t position = songOfTrack[static_cast<std::size_t>(i)];
        if (position < 0)
            continue;
        TSong& song = songs[static_cast<std::size_t>(position)];
        const std::int64_t at = header + i * entryLength;
        song.PlayCount = add(song.PlayCount, reader.Int32At(at));
        if (const std::int64_t played = UnixTime(reader.Int32At(at + 4)); played != 0)
            song.LastPlayed = played;
        if (entryLength >= 16)
            song.Rating = std::clamp(reader.Int32At(at + 12), 0, 100);
        if (entryLength >= 28) {
            song.SkipCount = add(song.SkipCount, reader.Int32At(at + 20));
            if (const std::int64_t skipped = UnixTime(reader.Int32At(at + 24)); skipped != 0)
                song.LastSkipped = skipped;
        }
    }
}

TPlaylist ReadOnTheGo(std::span<const std::uint8_t> file,
                      const std::vector<std::int32_t>& songOfTrack, std::u16string name) {
    const TImageReader reader(file);
    TPlaylist list;
    list.Name = std::move(name);
    list.Kind = TPlaylist::TKind::OnTheGo;
    const std::int64_t header = reader.Int32At(kTrackHeaderLengthOffset);
    const std::int64_t entryLength = reader.Int32At(kCountsEntryLengthOffset);
    if (header <= 0 || entryLength < 4)
        return list;
    const std::int64_t count =
        std::min<std::int64_t>(std::max(reader.Int32At(kCountsEntryCountOffset), 0),
                               std::max<std::int64_t>(reader.Size() - header, 0) / entryLength);
    list.Songs.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const auto position = static_cast<std::uint32_t>(reader.Int32At(header + i * entryLength));
        if (position < songOfTrack.size() && songOfTrack[position] >= 0)
            list.Songs.push_back(songOfTrack[position]);
        else
            ++list.DroppedEntries;
    }
    return list;
}

bool IsCompressedDatabase(std::span<const std::uint8_t> file) {
    const TImageReader reader(file);
    // The flag lies inside the header, so the header must reach past it.
    return reader.Int32At(kDatabaseHeaderLengthOffset) > kCompressedFlagOffset &&
           reader.Contains(kCompressedFlagOffset) &&
           file[static_cast<std::size_t>(kCompressedFlagOffset)] == 1;
}

std::int64_t InflateLimit(std::int64_t compressedSize) {
    if (compressedSize > kMaxInflated / kMaxInflateRatio)
        return kMaxInflated;
    return std::max<std::int64_t>(compressedSize, 0) * kMaxInflateRatio;
}

namespace {

// Inflates the stream's input onto the end of `image` until the stream ends, fails, or
// the image would grow past `limit` (Z_MEM_ERROR). Returns zlib's last status; Z_BUF_ERROR
// when the input ended before the stream did.
int InflateInto(z_stream& stream, std::vector<std::uint8_t>& image, std::int64_t limit) {
    // The output grows in steps, so a stream that claims a huge total length costs
    // nothing until it delivers bytes.
    constexpr std::size_t kChunk = 256 * 1024;
    int status = Z_OK;
    while (status == Z_OK) {
        const std::size_t done = image.size();
        if (static_cast<std::int64_t>(done) >= limit)
            return Z_MEM_ERROR;
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
    return status;
}

// Why a stream that did not end well gave no image.
std::string InflateProblem(int status, std::int64_t limit) {
    if (status == Z_MEM_ERROR)
        return "it would inflate to more than " + std::to_string(limit / (1024 * 1024)) + " MB, " +
               std::to_string(kMaxInflateRatio) + " times its size";
    if (status == Z_BUF_ERROR || status == Z_OK)
        return "its compressed data is cut short";
    return "its compressed data is damaged";
}

} // namespace

namespace {

// Inflates `file` into an image of at most `limit` bytes. A stream that ends within the
// limit gives the image; with `cutOk`, so does one that reaches the limit, and with
// `partialFile` one whose input ends early (the image then holds what was inflated).
std::optional<std::vector<std::uint8_t>> Inflate(std::span<const std::uint8_t> file,
                                                 std::int64_t limit, bool cutOk, bool partialFile,
                                                 std::string& problem) {
    const TImageReader reader(file);
    const std::int64_t headerLength = reader.Int32At(kDatabaseHeaderLengthOffset);
    if (headerLength <= kCompressedFlagOffset || headerLength > reader.Size()) {
        problem = "its header is cut short";
        return std::nullopt;
    }
    std::vector<std::uint8_t> image(file.begin(), file.begin() + headerLength);
    // The header's total length is the inflated image's size on a sound file: room for it
    // is made at once (within the limit), so the image is not copied as it grows.
    const std::int64_t declared = reader.Int32At(kDatabaseTotalLengthOffset);
    if (declared > headerLength)
        image.reserve(static_cast<std::size_t>(std::min(declared, limit)));

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        problem = "zlib could not start";
        return std::nullopt;
    }
    // The rest is fed in one piece: it is in memory already.
    stream.next_in = const_cast<Bytef*>(file.data() + headerLength);
    stream.avail_in = static_cast<uInt>(reader.Size() - headerLength);
    const int status = InflateInto(stream, image, limit);
    inflateEnd(&stream);
    if (status == Z_STREAM_END || (cutOk && status == Z_MEM_ERROR) ||
        (partialFile && (status == Z_BUF_ERROR || status == Z_OK)))
        return image;
    problem = InflateProblem(status, limit);
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::uint8_t>> InflateDatabase(std::span<const std::uint8_t> file,
                                                         std::string& problem) {
    return Inflate(file, InflateLimit(static_cast<std::int64_t>(file.size())), false, false,
                   problem);
}

std::optional<std::vector<std::uint8_t>> InflateDatabaseStart(std::span<const std::uint8_t> file,
                                                              std::int64_t imageBytes,
                                                              bool partialFile,
                                                              std::string& problem) {
    return Inflate(file, imageBytes, true, partialFile, problem);
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
