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

// An open file whole (or its first `most` bytes): mapped where the system allows, else read
// in as few reads as it allows into memory that is not zeroed first (the reads fill it).
TDatabaseImage ReadWholeFile(IFile& file, const std::string& path, std::int64_t most) {
    std::int64_t size = file.Size();
    if (size < 0)
        throw EKorvelloError("Cannot read file " + path + ": " + file.ErrorText());
    // Every position in the database is a signed 32-bit number, so nothing past 2 GiB
    // could ever be reached; such a file is no database this reader can use.
    if (size > std::numeric_limits<std::int32_t>::max())
        throw EKorvelloError("Cannot read file " + path + ": the file is too large");
    size = std::min(size, most);
    TDatabaseImage image;
    if (size > 0) {
        if (std::unique_ptr<IFileMapping> mapping = file.Map(size)) {
            image.TakeMapped(std::move(mapping));
            return image;
        }
    }
    std::unique_ptr<std::uint8_t[]> bytes;
    try {
        bytes.reset(new std::uint8_t[static_cast<std::size_t>(size)]);
    } catch (const std::bad_alloc&) {
        throw EKorvelloError("Out of memory reading " + path);
    }
    std::int64_t done = 0;
    while (done < size) {
        const std::int64_t n = file.Read(bytes.get() + done, size - done);
        if (n < 0)
            throw EKorvelloError("Cannot read file " + path + ": " + file.ErrorText());
        if (n == 0)
            throw EKorvelloError("Cannot read file " + path + ": it ended early");
        done += n;
    }
    image.TakeRead(std::move(bytes), static_cast<std::size_t>(size));
    return image;
}

TDatabaseImage ReadFile(IPlatform& platform, const std::string& path, std::int64_t most) {
    std::string error;
    // Linux has no share-deny open: another program may hold or even rewrite the file
    // while it is read. The walk never trusts a length and reads every byte through
    // bounds-checked accessors, so a half-written file only yields less; a mapped file
    // that shrinks reads as zeros past its new end.
    std::unique_ptr<IFile> file = platform.OpenRead(path, error);
    if (!file)
        throw EKorvelloError("Cannot open file " + path);
    TDatabaseImage image = ReadWholeFile(*file, path, most);
    file->Close();
    return image;
}

// The track count the image's track list declares; nothing when it has no track list.
std::optional<std::int32_t> DeclaredTracks(std::span<const std::uint8_t> image) {
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
TDatabaseStatus Examine(IPlatform& platform, const std::string& drivePath, TDatabaseImage& image,
                        bool look) {
    image.Clear();
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
        const std::optional<std::int32_t> tracks = DeclaredTracks(image.Bytes());
        if (tracks ? *tracks > 0 : look && *size > kLookFileBytes)
            return status;
        if (image.Empty())
            status.problem = "its iTunesDB is empty";
        else if (!tracks)
            status.problem = "its iTunesDB holds no track list";
        // Otherwise it holds no songs, which is an answer unless an iTunesCDB says more.
    }

    if (platform.FindFile(compressedPath)) {
        TDatabaseImage file = ReadFile(platform, compressedPath, most);
        bool cut = look && static_cast<std::int64_t>(file.Size()) == kLookFileBytes;
        status = TDatabaseStatus();
        status.file = TDatabaseFile::ITunesCDB;
        status.path = compressedPath;
        image.Clear();
        if (!IsCompressedDatabase(file.Bytes())) {
            // Stored plain after all: it is read like an iTunesDB.
            image = std::move(file);
        } else {
            std::string problem;
            status.compressedSize = static_cast<std::int64_t>(file.Size());
            try {
                auto inflated =
                    look ? InflateDatabaseStart(file.Bytes(), kLookImageBytes, cut, problem)
                         : InflateDatabase(file.Bytes(), problem);
                cut = cut || (look && inflated &&
                              static_cast<std::int64_t>(inflated->size()) >= kLookImageBytes);
                if (inflated)
                    image.TakeInflated(std::move(*inflated));
                else
                    status.problem = "its iTunesCDB cannot be read: " + problem;
            } catch (const std::bad_alloc&) {
                image.Clear();
                status.problem = "its iTunesCDB cannot be read: there is not enough memory";
            }
        }
        if (status.Readable() && !DeclaredTracks(image.Bytes()) && !cut)
            status.problem =
                image.Empty() ? "its iTunesCDB is empty" : "its iTunesCDB holds no track list";
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
                                 TDatabaseImage& image) {
    return Examine(platform, drivePath, image, false);
}

TDatabaseStatus LookAtDatabaseFile(IPlatform& platform, const std::string& drivePath) {
    TDatabaseImage image;
    return Examine(platform, drivePath, image, true);
}

} // namespace korvello
