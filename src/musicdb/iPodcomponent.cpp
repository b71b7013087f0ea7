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

namespace {

const char* const kDatabasePath = "\\iPod_Control\\iTunes\\itunesdb";

// Reads an open file whole, in as few reads as the system allows.
std::vector<std::uint8_t> ReadWholeFile(IFile& file, const std::string& path) {
    const std::int64_t size = file.Size();
    if (size < 0)
        throw EKorvelloError("Cannot read file " + path + ": " + file.ErrorText());
    // Every position in the database is a signed 32-bit number, so nothing past 2 GiB
    // could ever be reached; such a file is no database this reader can use.
    if (size > std::numeric_limits<std::int32_t>::max())
        throw EKorvelloError("Cannot read file " + path + ": the file is too large");
    std::vector<std::uint8_t> image;
    try {
        image.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        throw EKorvelloError("Out of memory reading " + path);
    }
    std::int64_t done = 0;
    while (done < size) {
        const std::int64_t n = file.Read(image.data() + done, size - done);
        if (n < 0)
            throw EKorvelloError("Cannot read file " + path + ": " + file.ErrorText());
        if (n == 0)
            throw EKorvelloError("Cannot read file " + path + ": it ended early");
        done += n;
    }
    return image;
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
    const std::string path = drivePath_ + kDatabasePath;
    if (!platform_.FindFile(path))
        return;
    std::string error;
    // Linux has no share-deny open: another program may hold or even rewrite the file
    // while it is read. Reading it in one go and parsing the copy keeps that window small,
    // and the walk never trusts a length, so a half-written file only yields less.
    std::unique_ptr<IFile> file = platform_.OpenRead(path, error);
    if (!file)
        throw EKorvelloError("Cannot open file " + path);
    const std::vector<std::uint8_t> image = ReadWholeFile(*file, path);
    file->Close();
    LoadImage(image);
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
