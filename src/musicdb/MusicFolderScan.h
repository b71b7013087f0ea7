#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Songs read from the files in an iPod's music folders, for an iPod whose database cannot
// be read (none, empty, damaged beyond reading, a shuffle with an iTunesSD only) and for
// the files a readable database does not name.
//
// The walk goes folder by folder in the order the drive lists its entries (the order the
// files lie in on a FAT disk), so a slow USB device is read front to back. Each audio
// file's tags and stream properties come from the tagger; a file without a title is
// titled by its name, and a file the tagger cannot read is still listed, by its name and
// size. What was read is kept in a cache file keyed by the file's path on the iPod, its
// size and its modification time, so a second scan of the same files reads no tag. The
// scan only reads the iPod; the cache lives in the program's own folder.

#include "musicdb/iPodcomponent.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace korvello {

class IPlatform;
class ITagger;

// One audio file of the music folders, as the walk found it.
struct TMusicFile {
    std::string path; // program path ("e:\iPod_Control\Music\F00\ABCD.mp3")
    std::int64_t bytes = 0;
    std::int64_t modifiedNs = 0;
};

// The audio files under the iPod's iPod_Control\Music folder, in the drive's own order
// (folder by folder). Hidden files (".*", such as the "._" files macOS leaves), links and
// names without an audio extension are left out; folders deeper than a few levels are
// not entered. `stop` (may be null) ends the walk early.
std::vector<TMusicFile> ListMusicFiles(IPlatform& platform, const std::string& drive,
                                       const std::atomic<bool>* stop = nullptr);

// The key under which a database location and a file found by the walk are the same
// file: the path without its drive, in ASCII lower case (devices are caseless).
std::string MusicFileKey(const std::string& programPath);

struct TScanOptions {
    // Called after each file with the files done and the files found.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    // Set from another thread (or a signal handler) to end the scan with what it has.
    const std::atomic<bool>* stop = nullptr;
    // The cache file (program path); empty for none.
    std::string cacheFile;
    // Keys (MusicFileKey) of files to leave out: those the database names.
    const std::unordered_set<std::string>* leaveOut = nullptr;
};

struct TScanResult {
    // In the iPod's play order when an iTunesSD gives one, else in path order; song ids
    // count from 1.
    std::vector<TSong> songs;
    std::int64_t filesFound = 0; // audio files the walk found (after leaveOut)
    std::int64_t tagsRead = 0;   // files whose tags the tagger was asked for
    std::int64_t fromCache = 0;  // files whose record came from the cache
    // "path: why" of each file listed by its name alone.
    std::vector<std::string> unreadable;
    bool stopped = false;
    bool cacheWritten = false;
    bool scanned = false;  // AddSongsOfFiles: the music folders were walked
    bool replaced = false; // AddSongsOfFiles: the songs took the database's place
};

// Scans the music folders of the iPod at `drive` ("e:").
TScanResult ScanMusicFolders(IPlatform& platform, ITagger& tagger, const std::string& drive,
                             const TScanOptions& options);

// The cache file of the program's own folder (AppFolder: the per-user data folder of an
// installed program).
std::string SongTagsCacheFile(IPlatform& platform);

// After ipod.LoadDatabase(): when the iPod holds the iTunes folder but no readable
// database, its songs become those of its music folders (when the scan finds any); when
// the database was read and `withUnlisted` is set, the files it does not name follow its
// songs. Files listed by name alone are noted in the error log. result.scanned says
// whether the music folders were walked.
TScanResult AddSongsOfFiles(TiPod& ipod, IPlatform& platform, ITagger& tagger, bool withUnlisted,
                            const TScanOptions& options);

// The keys (MusicFileKey) of the files the loaded songs name.
std::unordered_set<std::string> NamedFiles(const TiPod& ipod);

// The order of an iPod shuffle's iTunesSD (first and second generation): the keys
// (MusicFileKey) of its entries in play order. Empty when the iPod has none or it cannot
// be read; a file of any size costs no more than its entries.
std::vector<std::string> ShuffleOrder(IPlatform& platform, const std::string& drive);

// "No music database on this iPod: 1,234 songs read from their files." with the count as
// given (the caller formats it).
std::string ScannedSongsText(const std::string& count);

} // namespace korvello
