#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Which of an iPod's database files holds its songs, read into memory.
//
// Earlier iPods keep the plain "iTunesDB". iPod nano 5G and 6G keep the compressed
// "iTunesCDB" beside an iTunesDB of 0 bytes, and nano 7G keeps the iTunesCDB alone. The
// iTunesDB is read when it declares tracks; otherwise an iTunesCDB, when there is one,
// is inflated into the same image. iPod touch, iPhone and iPad keep an SQLite library
// ("iTunes Library.itlp") that this program cannot read; such a volume, like one whose
// files are missing, empty or damaged, is told apart from an iPod that holds no songs.

#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvello {

enum class TDatabaseFile { None, ITunesDB, ITunesCDB };

// "iTunesDB", "iTunesCDB" or "none".
const char* DatabaseFileName(TDatabaseFile file);

// What a look at an iPod's database files found.
struct TDatabaseStatus {
    TDatabaseFile file = TDatabaseFile::None; // the file read (or that could not be used)
    std::string path;                         // its program path; empty with None
    // Why no songs could be read, as words that follow the iPod's folder ("its iTunesDB is
    // empty"); empty when the database was read, even one that holds no songs.
    std::string problem;
    // The size of the compressed file the image was inflated from; -1 for a plain one.
    std::int64_t compressedSize = -1;
    // After a load: the songs the track list declares and those that could be read. Fewer
    // read than declared means the database is damaged (cut short, or lengths that lead
    // nowhere).
    std::int64_t declaredSongs = 0;
    std::int64_t readSongs = 0;

    bool Readable() const { return problem.empty(); }
    bool Damaged() const { return Readable() && readSongs < declaredSongs; }
};

// A database image in memory: a file mapped (no copy at all) or read whole into memory
// that was not zeroed first (the read fills every byte of it), or what an iTunesCDB
// inflated to.
class TDatabaseImage {
public:
    std::span<const std::uint8_t> Bytes() const {
        if (mapped_)
            return mapped_->Bytes();
        return read_ ? std::span<const std::uint8_t>(read_.get(), readSize_)
                     : std::span<const std::uint8_t>(inflated_);
    }
    std::size_t Size() const { return Bytes().size(); }
    bool Empty() const { return Size() == 0; }

    void Clear() {
        mapped_.reset();
        read_.reset();
        readSize_ = 0;
        inflated_ = std::vector<std::uint8_t>();
    }
    void TakeMapped(std::unique_ptr<IFileMapping> mapping) {
        Clear();
        mapped_ = std::move(mapping);
    }
    void TakeRead(std::unique_ptr<std::uint8_t[]> bytes, std::size_t size) {
        Clear();
        read_ = std::move(bytes);
        readSize_ = size;
    }
    void TakeInflated(std::vector<std::uint8_t> bytes) {
        Clear();
        inflated_ = std::move(bytes);
    }

private:
    std::unique_ptr<IFileMapping> mapped_;
    std::unique_ptr<std::uint8_t[]> read_;
    std::size_t readSize_ = 0;
    std::vector<std::uint8_t> inflated_;
};

// "The iPod's music database is damaged: 2 of 128 songs could be read."
std::string DamagedDatabaseText(const TDatabaseStatus& status);

// Looks for the database of the iPod at `drivePath` ("e:") and reads it into `image`
// (inflated when compressed). `image` is left empty when no usable image was found.
// Throws EKorvelloError ("Cannot open file <path>", or a read failure) when a database
// file exists but cannot be opened or read.
TDatabaseStatus ReadDatabaseFile(IPlatform& platform, const std::string& drivePath,
                                 TDatabaseImage& image);
// What ReadDatabaseFile would find, judged from the first 256 KB of each file and the
// first 4 MB they inflate to, so that a glance at many iPods never reads whole databases.
// A track list that lies beyond that counts as found. Throws as ReadDatabaseFile does.
TDatabaseStatus LookAtDatabaseFile(IPlatform& platform, const std::string& drivePath);

} // namespace korvello
