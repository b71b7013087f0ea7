#include "musicdb/iPodcomponent.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "platform/Text.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace korvello {

TiPod::TiPod(IPlatform& platform) : platform_(platform) {}

void TiPod::SetDrivePath(const std::string& path) {
    drivePath_ = path;
}

const std::string& TiPod::DrivePath() const {
    return drivePath_;
}

void TiPod::LoadDatabase() {
    std::vector<std::uint8_t> image;
    TDatabaseStatus status = ReadDatabaseFile(platform_, drivePath_, image);
    // Without any database file the songs stay as they were; a file that was found
    // replaces them with what it yields, none when it could not be used.
    if (status.file != TDatabaseFile::None)
        LoadImage(image);
    databaseStatus_ = std::move(status);
}

void TiPod::LoadImage(std::span<const std::uint8_t> image) {
    if (!ReadDataSets(image, dataSets_)) {
        // Without a track list among the first two data sets the entry of type 1 would
        // describe an earlier file (or nothing); this database simply holds no songs.
        songs_.clear();
        return;
    }
    TTrackWalkContext context;
    context.drivePath = drivePath_;
    context.decimalSeparator = platform_.DecimalSeparator();
    // Songs share a few dozen folders. A folder that is not there (a database copied
    // without its music, a damaged device) is asked about once rather than for each of
    // its songs, each of which would cost several failed look-ups on the device.
    std::unordered_map<std::string, bool> folderExists;
    context.sizeOf = [this, &folderExists](const std::string& location) {
        const auto slash = location.rfind('\\');
        if (slash != std::string::npos) {
            const std::string folder = location.substr(0, slash);
            auto [it, added] = folderExists.try_emplace(folder, false);
            if (added)
                it->second = platform_.DirectoryExists(folder);
            if (!it->second)
                return std::optional<std::int64_t>();
        }
        return platform_.FindFile(location);
    };
    ParseTracks(image, dataSets_[0], context, songs_);
}

std::int32_t TiPod::SongCount() const {
    return static_cast<std::int32_t>(songs_.size());
}

const TSong& TiPod::SongAt(std::int32_t index) const {
    if (index < 0 || index >= SongCount())
        throw EKorvelloError("List index out of bounds (" + std::to_string(index) + ")");
    return songs_[static_cast<std::size_t>(index)];
}

void TiPod::GetSong(std::int32_t index, TSong& song) const {
    song = SongAt(index);
}

void TiPod::FindSongById(std::int32_t id, TSong& song) const {
    // The last match wins, so no early exit; find the last one and copy it once.
    for (auto it = songs_.rbegin(); it != songs_.rend(); ++it) {
        if (it->SongId == id) {
            song = *it;
            return;
        }
    }
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
    return SortedDistinct(&TSong::Album, false);
}

std::vector<std::string> TiPod::GetArtists() const {
    return SortedDistinct(&TSong::Artist, false);
}

std::vector<std::string> TiPod::GetFileTypes() const {
    return SortedDistinct(&TSong::FileType, true);
}

std::vector<std::string> TiPod::SortedDistinct(std::u16string TSong::*field, bool keepEmpty) const {
    // Collation keys are costly, so each distinct raw text gets one, in the order the
    // texts first appear. A stable sort then keeps, among texts that compare equal, the
    // one that appeared first, which is the spelling the list shows.
    std::unordered_set<std::u16string_view> seen;
    struct Item {
        std::string key;
        std::string text;
    };
    std::vector<Item> items;
    for (const TSong& song : songs_) {
        const std::u16string& value = song.*field;
        if (value.empty() && !keepEmpty)
            continue;
        if (!seen.insert(value).second)
            continue;
        std::string text = ToUtf8(value);
        std::string key = platform_.CollationKey(text);
        items.push_back({std::move(key), std::move(text)});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.key < b.key; });
    std::vector<std::string> list;
    list.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && items[i].key == items[i - 1].key)
            continue;
        list.push_back(std::move(items[i].text));
    }
    return list;
}

} // namespace korvello
