// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/iPodcomponent.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/DeviceFiles.h"
#include "platform/Text.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
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

std::u16string TSong::*FieldOf(TNameField field) {
    switch (field) {
    case TNameField::Album:
        return &TSong::Album;
    case TNameField::Artist:
        return &TSong::Artist;
    case TNameField::FileType:
        break;
    }
    return &TSong::FileType;
}

} // namespace

std::vector<std::string> TiPod::SortedDistinct(TNameField field, bool keepEmpty) const {
    // Of the songs whose texts share a key, the first one in database order gives the
    // spelling; the list is in key order, which is CompareText's order.
    const TNameIndex& index = NameIndex(field);
    const std::u16string TSong::*member = FieldOf(field);
    std::vector<std::int32_t> firstSong(index.keys.size(), -1);
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < songs_.size(); ++i) {
        if (!keepEmpty && (songs_[i].*member).empty())
            continue;
        const std::int32_t id = index.keyIdOfSong[i];
        if (firstSong[static_cast<std::size_t>(id)] < 0) {
            firstSong[static_cast<std::size_t>(id)] = static_cast<std::int32_t>(i);
            ids.push_back(id);
        }
    }
    std::sort(ids.begin(), ids.end(), [&](std::int32_t a, std::int32_t b) {
        return index.keys[static_cast<std::size_t>(a)] < index.keys[static_cast<std::size_t>(b)];
    });
    std::vector<std::string> list;
    list.reserve(ids.size());
    for (const std::int32_t id : ids)
        list.push_back(ToUtf8(
            songs_[static_cast<std::size_t>(firstSong[static_cast<std::size_t>(id)])].*member));
    return list;
}

std::vector<char> TiPod::SongsNamed(TNameField field, const std::vector<std::string>& names) const {
    const TNameIndex& index = NameIndex(field);
    std::vector<char> wanted(index.keys.size(), 0);
    for (const std::string& name : names) {
        // The names usually come from the lists, whose texts are songs' own texts.
        auto it = index.keyIdOfText.find(name);
        if (it == index.keyIdOfText.end()) {
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
    TNameIndex& index = nameIndexes_[static_cast<std::size_t>(field)];
    if (index.built && index.keyIdOfSong.size() == songs_.size())
        return index;
    index = TNameIndex();
    const std::u16string TSong::*member = FieldOf(field);
    // Songs share a few thousand albums and artists: one key per distinct raw text.
    std::unordered_map<std::u16string_view, std::int32_t> keyIdOfRaw;
    index.keyIdOfSong.resize(songs_.size());
    for (std::size_t i = 0; i < songs_.size(); ++i) {
        const std::u16string& raw = songs_[i].*member;
        auto [rawIt, newRaw] = keyIdOfRaw.try_emplace(raw, -1);
        if (newRaw) {
            std::string text = ToUtf8(raw);
            std::string key = platform_.CollationKey(text);
            auto [keyIt, newKey] = index.keyIdOfKey.try_emplace(
                std::move(key), static_cast<std::int32_t>(index.keys.size()));
            if (newKey)
                index.keys.push_back(keyIt->first);
            rawIt->second = keyIt->second;
            index.keyIdOfText.try_emplace(std::move(text), keyIt->second);
        }
        index.keyIdOfSong[i] = rawIt->second;
    }
    index.built = true;
    return index;
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
