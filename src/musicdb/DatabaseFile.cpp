// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/DatabaseFile.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/ImageReader.h"
#include "musicdb/IpodLayout.h"

#include <algorithm>
#include <limits>
#include <new>

namespace korvello {

namespace {

// What a look at the files reads at most: the first bytes of each file, and the start of
// the image they inflate to.
constexpr std::int64_t kLookFileBytes = 256 * 1024;
constexpr std::int64_t kLookImageBytes = 4 * 1024 * 1024;

// Reads an open file whole (or its first `most` bytes), in as few reads as the system
// allows.
std::vector<std::uint8_t> ReadWholeFile(IFile& file, const std::string& path, std::int64_t most) {
    std::int64_t size = file.Size();
    if (size < 0)
        throw EKorvelloError("Cannot read file " + path + ": " + file.ErrorText());
    // Every position in the database is a signed 32-bit number, so nothing past 2 GiB
    // could ever be reached; such a file is no database this reader can use.
    if (size > std::numeric_limits<std::int32_t>::max())
        throw EKorvelloError("Cannot read file " + path + ": the file is too large");
    size = std::min(size, most);
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

std::vector<std::uint8_t> ReadFile(IPlatform& platform, const std::string& path,
                                   std::int64_t most) {
    std::string error;
    // Linux has no share-deny open: another program may hold or even rewrite the file
    // while it is read. Reading it in one go and parsing the copy keeps that window small,
    // and the walk never trusts a length, so a half-written file only yields less.
    std::unique_ptr<IFile> file = platform.OpenRead(path, error);
    if (!file)
        throw EKorvelloError("Cannot open file " + path);
    std::vector<std::uint8_t> image = ReadWholeFile(*file, path, most);
    file->Close();
    return image;
}

// The track count the image's track list declares; nothing when it has no track list.
std::optional<std::int32_t> DeclaredTracks(const std::vector<std::uint8_t>& image) {
    TDataSetTable table{};
    if (!ReadDataSets(image, table))
        return std::nullopt;
    const TImageReader reader(image);
    const std::int64_t list = std::int64_t{table[0].Start} + table[0].HeaderLength;
    return reader.Int32At(list + kTrackCountOffset);
}

} // namespace

std::string DamagedDatabaseText(const TDatabaseStatus& status) {
    return "The iPod's music database is damaged: " + std::to_string(status.readSongs) + " of " +
           std::to_string(status.declaredSongs) + " songs could be read.";
}

const char* DatabaseFileName(TDatabaseFile file) {
    switch (file) {
    case TDatabaseFile::ITunesDB:
        return "iTunesDB";
    case TDatabaseFile::ITunesCDB:
        return "iTunesCDB";
    case TDatabaseFile::None:
        break;
    }
    return "none";
}

namespace {

// ReadDatabaseFile, or with `look` a look at the files' first bytes only: a track list
// beyond them counts as declaring tracks.
TDatabaseStatus Examine(IPlatform& platform, const std::string& drivePath,
                        std::vector<std::uint8_t>& image, bool look) {
    image.clear();
    const std::int64_t most = look ? kLookFileBytes : std::numeric_limits<std::int64_t>::max();
    const std::string plainPath = DatabasePath(drivePath);
    const std::string compressedPath = CompressedDatabasePath(drivePath);
    TDatabaseStatus status;

    if (const auto size = platform.FindFile(plainPath)) {
        status = TDatabaseStatus();
        status.file = TDatabaseFile::ITunesDB;
        status.path = plainPath;
        if (*size > 0)
            image = ReadFile(platform, plainPath, most);
        const std::optional<std::int32_t> tracks = DeclaredTracks(image);
        if (tracks ? *tracks > 0 : look && *size > kLookFileBytes)
            return status;
        if (image.empty())
            status.problem = "its iTunesDB is empty";
        else if (!tracks)
            status.problem = "its iTunesDB holds no track list";
        // Otherwise it holds no songs, which is an answer unless an iTunesCDB says more.
    }

    if (platform.FindFile(compressedPath)) {
        std::vector<std::uint8_t> file = ReadFile(platform, compressedPath, most);
        bool cut = look && static_cast<std::int64_t>(file.size()) == kLookFileBytes;
        status = TDatabaseStatus();
        status.file = TDatabaseFile::ITunesCDB;
        status.path = compressedPath;
        image.clear();
        if (!IsCompressedDatabase(file)) {
            // Stored plain after all: it is read like an iTunesDB.
            image = std::move(file);
        } else {
            std::string problem;
            status.compressedSize = static_cast<std::int64_t>(file.size());
            try {
                auto inflated = look ? InflateDatabaseStart(file, kLookImageBytes, cut, problem)
                                     : InflateDatabase(file, problem);
                cut = cut || (look && inflated &&
                              static_cast<std::int64_t>(inflated->size()) >= kLookImageBytes);
                if (inflated)
                    image = std::move(*inflated);
                else
                    status.problem = "its iTunesCDB cannot be read: " + problem;
            } catch (const std::bad_alloc&) {
                image = std::vector<std::uint8_t>();
                status.problem = "its iTunesCDB cannot be read: there is not enough memory";
            }
        }
        if (status.Readable() && !DeclaredTracks(image) && !cut)
            status.problem =
                image.empty() ? "its iTunesCDB is empty" : "its iTunesCDB holds no track list";
        return status;
    }

    if (status.file == TDatabaseFile::None) {
        status.problem = platform.FindFile(SqliteLibraryPath(drivePath)) ||
                                 platform.DirectoryExists(SqliteLibraryPath(drivePath))
                             ? "it keeps its music in an SQLite library (iTunes Library.itlp), "
                               "as iPod touch, iPhone and iPad do, which Korvello cannot read"
                             : "it holds no iTunesDB or iTunesCDB";
    }
    return status;
}

} // namespace

TDatabaseStatus ReadDatabaseFile(IPlatform& platform, const std::string& drivePath,
                                 std::vector<std::uint8_t>& image) {
    return Examine(platform, drivePath, image, false);
}

TDatabaseStatus LookAtDatabaseFile(IPlatform& platform, const std::string& drivePath) {
    std::vector<std::uint8_t> image;
    return Examine(platform, drivePath, image, true);
}

} // namespace korvello
