// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/iPodcomponent.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/DeviceFiles.h"
#include "platform/Text.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace korvello {

namespace {

// Hashes a std::string key and a std::string_view alike, so that a look-up by a part of a
// longer string makes no copy of it.
struct TViewHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>()(text);
    }
};

// The file look-ups of one thread of a load. Songs share a few dozen folders. A folder
// that is not there (a database copied without its music, a damaged device) is asked
// about once rather than for each of its songs, each of which would cost several failed
// look-ups on the device. The platform lists each folder once rather than walking the
// path of every song. Each look-up has its own asker and memo, so two can run at once
// where the platform allows it.
TFileLookup FileLookup(IPlatform& platform) {
    struct TState {
        std::unordered_map<std::string, bool, TViewHash, std::equal_to<>> folderExists;
        std::unique_ptr<IFileSizes> sizes;
        bool asked = false;
    };
    auto state = std::make_shared<TState>();
    state->sizes = platform.FileSizes();
    TFileLookup lookup;
    lookup.sizeOf = [&platform, state](const std::string& location) {
        state->asked = false;
        const auto slash = location.rfind('\\');
        if (slash != std::string::npos) {
            const std::string_view folder(location.data(), slash);
            auto it = state->folderExists.find(folder);
            if (it == state->folderExists.end())
                it = state->folderExists
                         .emplace(folder, platform.DirectoryExists(std::string(folder)))
                         .first;
            if (!it->second)
                return std::optional<std::int64_t>();
        }
        state->asked = true;
        return state->sizes->FindFile(location);
    };
    lookup.foundAsGiven = [state] {
        return state->asked && state->sizes->FoundAsGiven();
    };
    return lookup;
}

} // namespace

TiPod::TiPod(IPlatform& platform) : platform_(platform) {}

void TiPod::SetDrivePath(const std::string& path) {
    drivePath_ = path;
}

const std::string& TiPod::DrivePath() const {
    return drivePath_;
}

void TiPod::LoadDatabase() {
    TDatabaseImage image;
    TDatabaseStatus status = ReadDatabaseFile(platform_, drivePath_, image);
    // Without any database file the songs stay as they were; a file that was found
    // replaces them with what it yields, none when it could not be used.
    if (status.file != TDatabaseFile::None) {
        const std::string problem = LoadImage(image.Bytes(), status.compressedSize);
        status.declaredSongs = lastDeclared_;
        status.readSongs = SongCount();
        if (!problem.empty() && status.Readable())
            status.problem =
                "its " + std::string(DatabaseFileName(status.file)) + " cannot be read: " + problem;
    }
    databaseStatus_ = std::move(status);
}

std::string TiPod::LoadImage(std::span<const std::uint8_t> image, std::int64_t compressedSize) {
    DropIndexes();
    songsFromFiles_ = 0;
    lastDeclared_ = 0;
    foundAsGiven_.clear();
    playlists_.clear();
    masterPlaylistName_.clear();
    if (!ReadDataSets(image, dataSets_)) {
        // Without a track list among the first two data sets the entry of type 1 would
        // describe an earlier file (or nothing); this database simply holds no songs.
        songs_.clear();
        return {};
    }
    TTrackWalkContext context;
    context.drivePath = drivePath_;
    context.decimalSeparator = platform_.DecimalSeparator();
    TFileLookup lookup = FileLookup(platform_);
    context.sizeOf = std::move(lookup.sizeOf);
    context.foundAsGiven = std::move(lookup.foundAsGiven);
    if (platform_.ConcurrentFileSizes())
        context.anotherLookup = [this] {
            return FileLookup(platform_);
        };
    context.preferLargePages = [this](void* start, std::size_t bytes) {
        platform_.PreferLargePages(start, bytes);
    };
    TTrackListResult result = ParseTracks(image, dataSets_[0], context, songs_, compressedSize);
    lastDeclared_ = result.declared;
    if (!result.problem.empty())
        return result.problem;
    foundAsGiven_ = std::move(result.foundAsGiven);
    try {
        MergePlayCountsFile(platform_, drivePath_, result.songOfTrack, songs_);
        TPlaylistRead read = ReadPlaylists(image, songs_, result.allowance, result.cost);
        masterPlaylistName_ = std::move(read.masterName);
        playlists_ = std::move(read.playlists);
        AppendOnTheGoFiles(platform_, drivePath_, result.songOfTrack, playlists_);
    } catch (const std::bad_alloc&) {
        songs_ = std::vector<TSong>();
        foundAsGiven_ = std::vector<bool>();
        playlists_ = std::vector<TPlaylist>();
        return "there is not enough memory to hold its songs";
    }
    return {};
}

void TiPod::AddSongsFromFiles(std::vector<TSong> songs, bool replace) {
    DropIndexes();
    if (replace) {
        songs_.clear();
        foundAsGiven_.clear();
        playlists_.clear();
        masterPlaylistName_.clear();
        songsFromFiles_ = 0;
    }
    std::int64_t highest = 0;
    for (const TSong& song : songs_)
        highest = std::max<std::int64_t>(highest, song.SongId);
    for (TSong& song : songs) {
        // Past the largest id there is no room: count on from the smallest negative ones.
        song.SongId = highest < std::numeric_limits<std::int32_t>::max()
                          ? static_cast<std::int32_t>(++highest)
                          : std::numeric_limits<std::int32_t>::min() + songsFromFiles_;
        song.Source = TSong::TSource::Files;
        songs_.push_back(std::move(song));
        ++songsFromFiles_;
    }
}

std::int32_t TiPod::SongCount() const {
    return static_cast<std::int32_t>(songs_.size());
}

const TSong& TiPod::SongAt(std::int32_t index) const {
    if (index < 0 || index >= SongCount())
        throw EKorvelloError("List index out of bounds (" + std::to_string(index) + ")");
    return songs_[static_cast<std::size_t>(index)];
}

bool TiPod::FoundAsGiven(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < foundAsGiven_.size() &&
           foundAsGiven_[static_cast<std::size_t>(index)];
}

void TiPod::GetSong(std::int32_t index, TSong& song) const {
    song = SongAt(index);
}

void TiPod::FindSongById(std::int32_t id, TSong& song) const {
    const std::int32_t position = PositionOfId(id);
    if (position >= 0)
        song = songs_[static_cast<std::size_t>(position)];
}

std::int32_t TiPod::PositionOfId(std::int32_t id) const {
    // Every song with the id would be copied in turn, so the last one is the result.
    const auto& index = IdIndex();
    const auto it = index.find(id);
    return it == index.end() ? -1 : it->second;
}

void TiPod::FindSongByTitle(const std::string& title, TSong& song) const {
    for (auto it = songs_.rbegin(); it != songs_.rend(); ++it) {
        if (platform_.CompareText(ToUtf8(it->Title), title) == 0) {
            song = *it;
            return;
        }
    }
}

std::vector<std::string> TiPod::GetAlbums() const {
    return SortedDistinct(TNameField::Album, false);
}

std::vector<std::string> TiPod::GetArtists() const {
    return SortedDistinct(TNameField::Artist, false);
}

std::vector<std::string> TiPod::GetFileTypes() const {
    return SortedDistinct(TNameField::FileType, true);
}

namespace {

// The fields of the name indexes, in TNameField's order.
constexpr std::array<std::u16string TSong::*, 3> kNameFields = {&TSong::Album, &TSong::Artist,
                                                                &TSong::FileType};

std::u16string TSong::*FieldOf(TNameField field) {
    return kNameFields[static_cast<std::size_t>(field)];
}

// Below this many songs one walk of them is quick enough; above it the songs are walked in
// two halves at once.
constexpr std::size_t kSongsForTwoWalks = 8192;

std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 29;
    return h;
}

// A hash of a text's code units, 8 bytes a step. The seed differs from run to run, so a
// database cannot be made to put all its names into one chain.
std::uint64_t HashText(std::u16string_view text, std::uint64_t seed) {
    const char* bytes = reinterpret_cast<const char*>(text.data());
    std::size_t left = text.size() * sizeof(char16_t);
    std::uint64_t h = seed ^ (left * 0x9e3779b97f4a7c15ULL);
    for (; left >= 8; left -= 8, bytes += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, 8);
        h = Mix(h ^ word) * 0x94d049bb133111ebULL;
    }
    if (left > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, left);
        h = Mix(h ^ word) * 0x94d049bb133111ebULL;
    }
    return Mix(h);
}

// Numbers the distinct texts of one field of a run of songs in the order of their first
// song: an open hash table of the texts met so far, and a song that repeats the text of
// the song before it (the songs of an album usually follow one another) costs one
// comparison.
class TTextNumbers {
public:
    TTextNumbers(const std::vector<TSong>& songs, std::u16string TSong::*member, std::uint64_t seed)
        : songs_(songs), member_(member), seed_(seed), slots_(1024) {}

    // The number of each song's text, from the first song walked on.
    std::vector<std::int32_t> numberOfSong;
    // By number: the first song with the text.
    std::vector<std::int32_t> firstSong;

    void Add(std::size_t song) {
        const std::u16string& text = songs_[song].*member_;
        if (previous_ == nullptr || *previous_ != text)
            previousNumber_ = Find(text, HashText(text, seed_), static_cast<std::int32_t>(song));
        previous_ = &text;
        numberOfSong.push_back(previousNumber_);
    }

    // Takes in the songs of `later`, a walk of the songs that follow this one's with the
    // same seed: its texts keep their numbers here, new ones are numbered on in its order.
    void Append(const TTextNumbers& later) {
        std::vector<std::int32_t> renumbered(later.firstSong.size());
        for (std::size_t n = 0; n < later.firstSong.size(); ++n) {
            const std::int32_t song = later.firstSong[n];
            renumbered[n] =
                Find(songs_[static_cast<std::size_t>(song)].*member_, later.hashOfNumber_[n], song);
        }
        numberOfSong.reserve(numberOfSong.size() + later.numberOfSong.size());
        for (const std::int32_t n : later.numberOfSong)
            numberOfSong.push_back(renumbered[static_cast<std::size_t>(n)]);
    }

private:
    struct TSlot {
        std::uint64_t hash = 0;
        std::int32_t number = -1;
    };

    std::int32_t Find(const std::u16string& text, std::uint64_t hash, std::int32_t song) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            TSlot& slot = slots_[i];
            if (slot.number < 0) {
                slot = {hash, static_cast<std::int32_t>(firstSong.size())};
                firstSong.push_back(song);
                hashOfNumber_.push_back(hash);
                if (firstSong.size() * 2 > slots_.size())
                    Grow();
                return static_cast<std::int32_t>(firstSong.size()) - 1;
            }
            if (slot.hash == hash &&
                songs_[static_cast<std::size_t>(firstSong[static_cast<std::size_t>(slot.number)])].*
                        member_ ==
                    text)
                return slot.number;
        }
    }

    void Grow() {
        slots_.assign(slots_.size() * 2, TSlot{});
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t n = 0; n < hashOfNumber_.size(); ++n) {
            std::size_t i = hashOfNumber_[n] & mask;
            while (slots_[i].number >= 0)
                i = (i + 1) & mask;
            slots_[i] = {hashOfNumber_[n], static_cast<std::int32_t>(n)};
        }
    }

    const std::vector<TSong>& songs_;
    std::u16string TSong::*member_;
    std::uint64_t seed_;
    std::vector<TSlot> slots_; // a power of two, at most half full
    std::vector<std::uint64_t> hashOfNumber_;
    const std::u16string* previous_ = nullptr;
    std::int32_t previousNumber_ = -1;
};

using TFieldNumbers = std::array<TTextNumbers, 3>;

TFieldNumbers MakeFieldNumbers(const std::vector<TSong>& songs, std::uint64_t seed) {
    return {TTextNumbers(songs, kNameFields[0], seed), TTextNumbers(songs, kNameFields[1], seed),
            TTextNumbers(songs, kNameFields[2], seed)};
}

void Prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

// Songs and their texts lie all over the memory the load left, long out of the cache: a
// walk asks for them a few songs ahead, the record first, then (once the record is
// there) its texts.
constexpr std::size_t kRecordsAhead = 16;
constexpr std::size_t kTextsAhead = 8;

void PrefetchTexts(const TSong& song) {
    for (std::u16string TSong::*member : kNameFields)
        Prefetch((song.*member).data());
}

// One walk of songs [begin, end) for all three fields: a song's three texts lie close
// together, so each song is fetched once.
void WalkSongs(const std::vector<TSong>& songs, TFieldNumbers& numbers, std::size_t begin,
               std::size_t end) {
    for (TTextNumbers& field : numbers)
        field.numberOfSong.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        if (i + kRecordsAhead < end) {
            Prefetch(&(songs[i + kRecordsAhead].*kNameFields[0]));
            Prefetch(&(songs[i + kRecordsAhead].*kNameFields[2]));
        }
        if (i + kTextsAhead < end)
            PrefetchTexts(songs[i + kTextsAhead]);
        for (TTextNumbers& field : numbers)
            field.Add(i);
    }
}

} // namespace

std::vector<std::string> TiPod::SortedDistinct(TNameField field, bool keepEmpty) const {
    // Of the songs whose texts share a key, the first one in database order gives the
    // spelling; the list is in key order, which is CompareText's order.
    const TNameIndex& index = NameIndex(field);
    const std::u16string TSong::*member = FieldOf(field);
    const std::vector<std::int32_t>& first = keepEmpty ? index.firstSong : index.firstNamedSong;
    std::vector<std::int32_t> ids;
    ids.reserve(first.size());
    for (std::size_t id = 0; id < first.size(); ++id) {
        if (first[id] >= 0)
            ids.push_back(static_cast<std::int32_t>(id));
    }
    std::sort(ids.begin(), ids.end(), [&](std::int32_t a, std::int32_t b) {
        return *index.keys[static_cast<std::size_t>(a)] < *index.keys[static_cast<std::size_t>(b)];
    });
    std::vector<std::string> list;
    list.reserve(ids.size());
    for (const std::int32_t id : ids)
        list.push_back(
            ToUtf8(songs_[static_cast<std::size_t>(first[static_cast<std::size_t>(id)])].*member));
    return list;
}

std::vector<char> TiPod::SongsNamed(TNameField field, const std::vector<std::string>& names) const {
    TNameIndex& index = nameIndexes_[static_cast<std::size_t>(field)];
    NameIndex(field);
    const std::u16string TSong::*member = FieldOf(field);
    if (!index.textsBuilt) {
        // The names usually come from the lists, whose texts are songs' own texts.
        index.keyIdOfUtf8.reserve(index.firstSongOfText.size());
        for (std::size_t t = 0; t < index.firstSongOfText.size(); ++t)
            index.keyIdOfUtf8.try_emplace(
                ToUtf8(songs_[static_cast<std::size_t>(index.firstSongOfText[t])].*member),
                index.keyIdOfText[t]);
        index.textsBuilt = true;
    }
    std::vector<char> wanted(index.keys.size(), 0);
    for (const std::string& name : names) {
        auto it = index.keyIdOfUtf8.find(name);
        if (it == index.keyIdOfUtf8.end()) {
            it = index.keyIdOfKey.find(platform_.CollationKey(name));
            if (it == index.keyIdOfKey.end())
                continue;
        }
        wanted[static_cast<std::size_t>(it->second)] = 1;
    }
    std::vector<char> named(songs_.size(), 0);
    for (std::size_t i = 0; i < songs_.size(); ++i)
        named[i] = wanted[static_cast<std::size_t>(index.keyIdOfSong[i])];
    return named;
}

const TiPod::TNameIndex& TiPod::NameIndex(TNameField field) const {
    const TNameIndex& index = nameIndexes_[static_cast<std::size_t>(field)];
    if (!index.built || index.keyIdOfSong.size() != songs_.size())
        BuildNameIndexes();
    return index;
}

void TiPod::BuildNameIndexes() const {
    for (TNameIndex& index : nameIndexes_)
        index = TNameIndex();
    const std::size_t count = songs_.size();
    const std::uint64_t seed = Mix(
        reinterpret_cast<std::uintptr_t>(this) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    // The later half of a large catalogue is walked on a second thread meanwhile; only the
    // texts are compared there (the platform, and so the collation, is asked on this
    // thread alone).
    TFieldNumbers numbers = MakeFieldNumbers(songs_, seed);
    TFieldNumbers later = MakeFieldNumbers(songs_, seed);
    std::size_t middle = count;
    std::exception_ptr laterFailed;
    {
        std::jthread walker;
        if (count >= kSongsForTwoWalks && std::thread::hardware_concurrency() > 1) {
            try {
                walker = std::jthread([this, &later, &laterFailed, half = count / 2, count] {
                    try {
                        WalkSongs(songs_, later, half, count);
                    } catch (...) {
                        laterFailed = std::current_exception();
                    }
                });
                middle = count / 2;
            } catch (const std::system_error&) {
                // No second thread to be had: one walk does it all.
            }
        }
        WalkSongs(songs_, numbers, 0, middle);
    } // the walker is joined here
    if (laterFailed)
        std::rethrow_exception(laterFailed);
    if (middle < count) {
        for (std::size_t f = 0; f < numbers.size(); ++f)
            numbers[f].Append(later[f]);
    }

    // Each distinct text's collation key, once; texts whose keys are equal share a key id.
    for (std::size_t f = 0; f < numbers.size(); ++f) {
        TNameIndex& index = nameIndexes_[f];
        const std::u16string TSong::*member = kNameFields[f];
        index.firstSongOfText = std::move(numbers[f].firstSong);
        const std::size_t texts = index.firstSongOfText.size();
        index.keyIdOfText.resize(texts);
        index.keyIdOfKey.reserve(texts);
        for (std::size_t t = 0; t < texts; ++t) {
            if (t + kTextsAhead < texts)
                Prefetch((songs_[static_cast<std::size_t>(index.firstSongOfText[t + kTextsAhead])].*
                          member)
                             .data());
            const std::int32_t song = index.firstSongOfText[t];
            const std::u16string& text = songs_[static_cast<std::size_t>(song)].*member;
            const auto [it, isNew] = index.keyIdOfKey.try_emplace(
                platform_.CollationKey(ToUtf8(text)), static_cast<std::int32_t>(index.keys.size()));
            if (isNew) {
                index.keys.push_back(&it->first);
                index.firstSong.push_back(song);
                index.firstNamedSong.push_back(-1);
            }
            std::int32_t& named = index.firstNamedSong[static_cast<std::size_t>(it->second)];
            if (!text.empty() && named < 0)
                named = song;
            index.keyIdOfText[t] = it->second;
        }
        index.keyIdOfSong = std::move(numbers[f].numberOfSong);
        for (std::int32_t& id : index.keyIdOfSong)
            id = index.keyIdOfText[static_cast<std::size_t>(id)];
        index.built = true;
    }
}

const std::unordered_map<std::int32_t, std::int32_t>& TiPod::IdIndex() const {
    if (idIndexBuilt_ && idIndexSongs_ == songs_.size())
        return lastOfId_;
    lastOfId_.clear();
    lastOfId_.reserve(songs_.size());
    // A later song with the same id overwrites the earlier one's position.
    for (std::size_t i = 0; i < songs_.size(); ++i)
        lastOfId_[songs_[i].SongId] = static_cast<std::int32_t>(i);
    idIndexBuilt_ = true;
    idIndexSongs_ = songs_.size();
    return lastOfId_;
}

void TiPod::DropIndexes() {
    for (TNameIndex& index : nameIndexes_)
        index = TNameIndex();
    lastOfId_.clear();
    idIndexBuilt_ = false;
}

} // namespace korvello
