// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/DatabaseFile.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/ImageReader.h"
#include "musicdb/IpodLayout.h"

#include <limits>
#include <new>

namespace korvello {

namespace {

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

std::vector<std::uint8_t> ReadFile(IPlatform& platform, const std::string& path) {
    std::string error;
    // Linux has no share-deny open: another program may hold or even rewrite the file
    // while it is read. Reading it in one go and parsing the copy keeps that window small,
    // and the walk never trusts a length, so a half-written file only yields less.
    std::unique_ptr<IFile> file = platform.OpenRead(path, error);
    if (!file)
        throw EKorvelloError("Cannot open file " + path);
    std::vector<std::uint8_t> image = ReadWholeFile(*file, path);
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

TDatabaseStatus ReadDatabaseFile(IPlatform& platform, const std::string& drivePath,
                                 std::vector<std::uint8_t>& image) {
    image.clear();
    const std::string plainPath = DatabasePath(drivePath);
    const std::string compressedPath = CompressedDatabasePath(drivePath);
    TDatabaseStatus status;

    if (const auto size = platform.FindFile(plainPath)) {
        status = {TDatabaseFile::ITunesDB, plainPath, ""};
        if (*size > 0)
            image = ReadFile(platform, plainPath);
        const std::optional<std::int32_t> tracks = DeclaredTracks(image);
        if (tracks && *tracks > 0)
            return status;
        if (image.empty())
            status.problem = "its iTunesDB is empty";
        else if (!tracks)
            status.problem = "its iTunesDB holds no track list";
        // Otherwise it holds no songs, which is an answer unless an iTunesCDB says more.
    }

    if (platform.FindFile(compressedPath)) {
        std::vector<std::uint8_t> file = ReadFile(platform, compressedPath);
        status = {TDatabaseFile::ITunesCDB, compressedPath, ""};
        image.clear();
        if (!IsCompressedDatabase(file)) {
            // Stored plain after all: it is read like an iTunesDB.
            image = std::move(file);
        } else {
            std::string problem;
            if (auto inflated = InflateDatabase(file, problem))
                image = std::move(*inflated);
            else
                status.problem = "its iTunesCDB cannot be read: " + problem;
        }
        if (status.Readable() && !DeclaredTracks(image))
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

} // namespace korvello
