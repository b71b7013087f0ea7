// SPDX-License-Identifier: GPL-3.0-or-later
// The music database on 50,000 songs: a full load with the song files on local disk (one
// size look-up per track), the same load with the files absent, the same database as an
// iTunesCDB, the inflate alone, the walk alone in memory, and the album and artist lists.
// First, crafted hostile files of 1 MB and a damaged one of 8 MB against an empty
// database, each with the peak memory of the process while it was read; then hostile
// files of 1 MB and 16 MB read from disk as a load reads them: an iTunesCDB inflating to
// tiny tracks, locations in thousands of distinct 255-level missing folders, and songs
// missing from a big folder dated in the future.
#include "itdb/Crafted.h"
#include "itdb/ITunesDbWriter.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/iPodcomponent.h"
#include "platform/posix/PosixPlatform.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using namespace korvello;
namespace itdb = korvello::itdb;

namespace {

constexpr int kTracks = 50000;
constexpr int kFolders = 50;

// A machine in a temporary folder, made once per run: drive e: holds the database and a
// sparse file for every song, drive f: the same database without song files.
// The Linux backend over a machine in `root` whose drives folder maps each letter of
// `drives` to its folder.
std::unique_ptr<PosixPlatform>
MakeBenchPlatform(const fs::path& root, const std::vector<std::pair<char, fs::path>>& drives) {
    fs::create_directories(root / "config/korvello/drives");
    fs::create_directories(root / "root");
    fs::create_directories(root / "data");
    std::ofstream(root / "mountinfo").close();
    for (const auto& [letter, folder] : drives)
        fs::create_directory_symlink(folder, root / "config/korvello/drives" /
                                                 (std::string(1, letter) + ":"));
    PosixRoots roots;
    roots.rootDir = (root / "root").string();
    roots.mountinfo = (root / "mountinfo").string();
    roots.sysfs = (root / "sys").string();
    roots.byLabel = (root / "bylabel").string();
    roots.configHome = (root / "config").string();
    roots.dataHome = (root / "data").string();
    roots.programPath = (root / "root/korvello").string();
    roots.shellOpen = [](const std::string&) {
    };
    return std::make_unique<PosixPlatform>(roots);
}

fs::path MakeTempRoot() {
    std::string pattern = (fs::temp_directory_path() / "korvello-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

class BenchMachine {
public:
    static BenchMachine& Get() {
        static BenchMachine machine;
        return machine;
    }
    ~BenchMachine() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    IPlatform& Platform() { return *platform_; }
    const std::vector<std::uint8_t>& Image() const { return image_; }
    const std::vector<std::uint8_t>& Compressed() const { return compressed_; }

private:
    BenchMachine() {
        root_ = MakeTempRoot();
        const fs::path withFiles = root_ / "ipod";
        const fs::path withoutFiles = root_ / "copy";

        itdb::ITunesDbWriter writer;
        srandom(27); // the same library on every run
        for (int i = 0; i < kTracks; ++i) {
            char folder[8];
            char name[16];
            std::snprintf(folder, sizeof folder, "F%02d", i % kFolders);
            std::snprintf(name, sizeof name, "K%05d.mp3", i);
            itdb::Track& track = writer.AddTrack(i + 1);
            // Albums and artists repeat, some in another letter case, as a real library's do.
            const int album = i / 10;
            const int artist = i / 33;
            // The numbers a real library's tracks carry, varying from track to track as
            // theirs do; without them the database compresses far better than any real
            // one, past what the reader accepts of an iTunesCDB.
            const std::uint32_t r = static_cast<std::uint32_t>(random());
            track.fileSize = 2'000'000 + static_cast<std::int32_t>(r % 9'000'000);
            track.lengthMs = 90'000 + static_cast<std::int32_t>((r >> 7) % 400'000);
            track.trackNumber = 1 + i % 12;
            track.trackCount = 12;
            track.year = 1960 + static_cast<std::int32_t>((r >> 3) % 60);
            track.bitrate = 128 + static_cast<std::int32_t>((r >> 11) % 193);
            track.sampleRate = 44100;
            track.playCount = static_cast<std::int32_t>(r % 50);
            track.dateAdded = 1'200'000'000 + static_cast<std::int64_t>(random() % 500'000'000);
            track.lastPlayed = track.playCount > 0 ? track.dateAdded + random() % 10'000'000 : 0;
            track.Add(itdb::Title, "Song number " + std::to_string(i))
                .Add(itdb::Location, std::string(":iPod_Control:Music:") + folder + ":" + name)
                .Add(itdb::Album, (album % 7 == 0 ? "album " : "Album ") + std::to_string(album))
                .Add(itdb::Artist,
                     (artist % 5 == 0 ? "THE ARTIST " : "The Artist ") + std::to_string(artist))
                .Add(itdb::Genre, i % 3 == 0 ? "Rock" : "Pop")
                .Add(itdb::FileType, i % 4 == 0 ? "AAC audio file" : "MPEG audio file");
            const fs::path file = withFiles / "iPod_Control" / "Music" / folder / name;
            if (i < kFolders)
                fs::create_directories(file.parent_path());
            std::ofstream(file).close();
            fs::resize_file(file, 2'000'000 + static_cast<std::uintmax_t>(i % 97) * 70'000);
        }
        image_ = writer.Build();
        compressed_ = itdb::Compress(image_);
        itdb::WriteBytes((withFiles / "iPod_Control/iTunes/iTunesDB").string(), image_);
        itdb::WriteBytes((withoutFiles / "iPod_Control/iTunes/iTunesDB").string(), image_);
        // A nano 7G's layout: the iTunesCDB alone (song files absent, as on f:).
        const fs::path nano = root_ / "nano";
        itdb::WriteBytes((nano / "iPod_Control/iTunes/iTunesCDB").string(), compressed_);

        // A device's folders were last changed long ago; freshly made ones count as still
        // changing, and the backend would not trust its cached listings of them.
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (const fs::path& top : {withFiles, withoutFiles, nano})
            for (const auto& entry : fs::recursive_directory_iterator(top))
                if (entry.is_directory())
                    fs::last_write_time(entry.path(), past);
        fs::last_write_time(withFiles, past);
        fs::last_write_time(withoutFiles, past);
        fs::last_write_time(nano, past);

        platform_ = MakeBenchPlatform(root_, {{'e', withFiles}, {'f', withoutFiles}, {'g', nano}});
    }

    fs::path root_;
    std::vector<std::uint8_t> image_;
    std::vector<std::uint8_t> compressed_;
    std::unique_ptr<PosixPlatform> platform_;
};

void LoadFrom(benchmark::State& state, const char* drive) {
    BenchMachine& machine = BenchMachine::Get();
    for (auto _ : state) {
        TiPod ipod(machine.Platform());
        ipod.SetDrivePath(drive);
        ipod.LoadDatabase();
        if (ipod.SongCount() != kTracks) {
            state.SkipWithError(("wrong song count: " + std::to_string(ipod.SongCount()) + " (" +
                                 ipod.DatabaseStatus().problem + ")")
                                    .c_str());
            break;
        }
        benchmark::DoNotOptimize(ipod.SongAt(kTracks - 1));
    }
}

void BM_LoadDatabase50kFilesPresent(benchmark::State& state) {
    LoadFrom(state, "e:");
}
void BM_LoadDatabase50kFilesAbsent(benchmark::State& state) {
    LoadFrom(state, "f:");
}

void BM_LoadDatabase50kCompressed(benchmark::State& state) {
    LoadFrom(state, "g:");
    // A label, not a counter: the CSV table takes its counter columns from the first rows
    // only, and a counter that appears later ends the run.
    char label[48];
    std::snprintf(label, sizeof label, "iTunesCDB %.1f MB",
                  static_cast<double>(BenchMachine::Get().Compressed().size()) / (1024.0 * 1024.0));
    state.SetLabel(label);
}

void BM_Inflate50k(benchmark::State& state) {
    const auto& compressed = BenchMachine::Get().Compressed();
    for (auto _ : state) {
        std::string problem;
        auto image = InflateDatabase(compressed, problem);
        if (!image) {
            state.SkipWithError(problem.c_str());
            break;
        }
        benchmark::DoNotOptimize(image->data());
    }
}

void BM_ParseTracks50kInMemory(benchmark::State& state) {
    const auto& image = BenchMachine::Get().Image();
    TTrackWalkContext context;
    context.drivePath = "e:";
    for (auto _ : state) {
        TDataSetTable table{};
        std::vector<TSong> songs;
        ReadDataSets(image, table);
        ParseTracks(image, table[0], context, songs);
        benchmark::DoNotOptimize(songs.data());
    }
}

template <std::vector<std::string> (TiPod::*List)() const>
void BM_List50k(benchmark::State& state) {
    BenchMachine& machine = BenchMachine::Get();
    TiPod ipod(machine.Platform());
    ipod.SetDrivePath("f:");
    ipod.LoadDatabase();
    for (auto _ : state) {
        auto list = (ipod.*List)();
        benchmark::DoNotOptimize(list.data());
    }
}

void BM_GetAlbums50k(benchmark::State& state) {
    BM_List50k<&TiPod::GetAlbums>(state);
}
void BM_GetArtists50k(benchmark::State& state) {
    BM_List50k<&TiPod::GetArtists>(state);
}

// Peak resident memory of the process since the last ResetPeakMemory, in MB.
double PeakMemoryMB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}
// Lowers the peak to what the process holds now (Linux 4.0 and later).
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Reads `image` as a load does (track list, walk; no song files), reporting the process's
// peak memory while it did.
void ListImage(benchmark::State& state, const std::vector<std::uint8_t>& image) {
    ResetPeakMemory();
    TTrackWalkContext context;
    context.drivePath = "e:";
    for (auto _ : state) {
        TDataSetTable table{};
        std::vector<TSong> songs;
        if (ReadDataSets(image, table))
            ParseTracks(image, table[0], context, songs);
        benchmark::DoNotOptimize(songs.data());
    }
    state.counters["peak_MB"] = PeakMemoryMB();
}

constexpr std::int32_t kCraftedSize = 1024 * 1024;

void BM_ListEmptyDatabase(benchmark::State& state) {
    ListImage(state, itdb::ITunesDbWriter().Build());
}
void BM_ListCraftedObjectChain1MB(benchmark::State& state) {
    ListImage(state, itdb::SharedObjectChain(kCraftedSize, 16384));
}
void BM_ListCraftedSharedTitle1MB(benchmark::State& state) {
    ListImage(state, itdb::SharedTitle(kCraftedSize, 16384));
}
void BM_ListDamaged8MBHugeCount(benchmark::State& state) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 3; ++i)
        writer.AddTrack(i).Add(itdb::Title, "T").Add(itdb::Location, ":F:x");
    writer.layout().declaredTrackCount = 0x7FFFFFFF;
    auto image = writer.Build();
    image.resize(8 * 1024 * 1024, 0);
    ListImage(state, image);
}

// An iTunesCDB of about `fileBytes` bytes whose image is one real track and then 20-byte
// tracks with ids, behind a huge declared count: it inflates about twentyfold, within the
// limit, to far more tracks than a file of its size could hold.
std::vector<std::uint8_t> CompressedTinyTracks(std::size_t fileBytes) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "Real").Add(itdb::Location, ":iPod_Control:Music:F00:A");
    writer.layout().declaredTrackCount = 0x7FFFFFFF;
    const std::vector<std::uint8_t> start = writer.Build();
    constexpr std::size_t kHeader = 0xF4;
    std::vector<std::uint8_t> file(start.begin(), start.begin() + kHeader);
    file[0xA8] = 1;
    z_stream stream{};
    deflateInit(&stream, 3);
    std::vector<std::uint8_t> chunk(start.begin() + kHeader, start.end());
    std::vector<std::uint8_t> out(1 << 20);
    std::uint32_t random = 12345;
    bool finishing = false;
    for (;;) {
        stream.next_in = chunk.data();
        stream.avail_in = static_cast<uInt>(chunk.size());
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, finishing ? Z_FINISH : Z_NO_FLUSH);
            file.insert(file.end(), out.data(), out.data() + (out.size() - stream.avail_out));
        } while (stream.avail_out == 0);
        if (finishing)
            break;
        finishing = file.size() >= fileBytes;
        chunk.assign(1 << 20, 0);
        for (std::size_t at = 0; at + 20 <= chunk.size(); at += 20) {
            random = random * 1103515245u + 12345u;
            chunk[at + 4] = 20;
            chunk[at + 8] = 20;
            chunk[at + 16] = static_cast<std::uint8_t>(1 + (random >> 24) % 8);
        }
        if (finishing)
            chunk.clear();
    }
    deflateEnd(&stream);
    return file;
}

// iPods on disk whose databases are hostile to the look-ups of a load, each of about 1 MB
// and 16 MB: h: and i: name a distinct 255-level missing folder for every song; j: and k:
// name two missing songs by turns in a folder of 20,000 files dated a day ahead; l: and m:
// hold an iTunesCDB of tiny tracks.
class HostileMachine {
public:
    static HostileMachine& Get() {
        static HostileMachine machine;
        return machine;
    }
    ~HostileMachine() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    IPlatform& Platform() { return *platform_; }
    std::int64_t FileSize(char drive) const { return sizes_.at(drive); }

private:
    HostileMachine() {
        root_ = MakeTempRoot();
        std::vector<std::pair<char, fs::path>> drives;
        const auto add = [&](char letter, const std::string& file,
                             const std::vector<std::uint8_t>& bytes) {
            const fs::path folder = root_ / std::string(1, letter);
            itdb::WriteBytes((folder / "iPod_Control/iTunes" / file).string(), bytes);
            drives.emplace_back(letter, folder);
            sizes_[letter] = static_cast<std::int64_t>(bytes.size());
            return folder;
        };
        for (const auto& [letter, bytes] : {std::pair{'h', 1 << 20}, std::pair{'i', 16 << 20}}) {
            itdb::ITunesDbWriter writer;
            std::string deep;
            for (int level = 0; level < 254; ++level)
                deep += "d:";
            const int tracks = bytes / 1200;
            for (int i = 0; i < tracks; ++i)
                writer.AddTrack(i + 1)
                    .Add(itdb::Title, "Deep")
                    .Add(itdb::Location,
                         ":iPod_Control:M" + std::to_string(i) + ":" + deep + "x.mp3");
            add(letter, "iTunesDB", writer.Build());
        }
        const fs::path big = root_ / "big";
        fs::create_directories(big / "iPod_Control/Music/F00");
        for (int i = 0; i < 20000; ++i)
            std::ofstream(big / "iPod_Control/Music/F00" / ("K" + std::to_string(i) + ".mp3"));
        for (const auto& [letter, bytes] : {std::pair{'j', 1 << 20}, std::pair{'k', 16 << 20}}) {
            itdb::ITunesDbWriter writer;
            const int tracks = bytes / 330;
            for (int i = 0; i < tracks; ++i)
                writer.AddTrack(i + 1)
                    .Add(itdb::Title, "Missing")
                    .Add(itdb::Location, std::string(":iPod_Control:Music:F00:GONE") +
                                             (i % 2 ? "A" : "B") + ".mp3");
            const fs::path folder = add(letter, "iTunesDB", writer.Build());
            fs::create_directories(folder / "iPod_Control/Music");
            fs::create_directory_symlink(big / "iPod_Control/Music/F00",
                                         folder / "iPod_Control/Music/F00");
        }
        fs::last_write_time(big / "iPod_Control/Music/F00",
                            fs::file_time_type::clock::now() + std::chrono::hours(24));
        add('l', "iTunesCDB", CompressedTinyTracks(1 << 20));
        add('m', "iTunesCDB", CompressedTinyTracks(16 << 20));
        platform_ = MakeBenchPlatform(root_, drives);
    }

    fs::path root_;
    std::map<char, std::int64_t> sizes_;
    std::unique_ptr<PosixPlatform> platform_;
};

// Loads drive `drive` of the hostile machine, reporting the peak memory while it did, the
// songs it kept and the file's size.
void LoadHostile(benchmark::State& state, char drive) {
    HostileMachine& machine = HostileMachine::Get();
    ResetPeakMemory();
    std::int32_t songs = 0;
    for (auto _ : state) {
        TiPod ipod(machine.Platform());
        ipod.SetDrivePath(std::string(1, drive) + ":");
        ipod.LoadDatabase();
        songs = ipod.SongCount();
        benchmark::DoNotOptimize(songs);
    }
    state.counters["peak_MB"] = PeakMemoryMB();
    char label[64];
    std::snprintf(label, sizeof label, "file %.1f MB, %d songs",
                  static_cast<double>(machine.FileSize(drive)) / (1024.0 * 1024.0), songs);
    state.SetLabel(label);
}

void BM_LoadDeepMissingFolders1MB(benchmark::State& state) {
    LoadHostile(state, 'h');
}
void BM_LoadDeepMissingFolders16MB(benchmark::State& state) {
    LoadHostile(state, 'i');
}
void BM_LoadMissingFromFutureFolder1MB(benchmark::State& state) {
    LoadHostile(state, 'j');
}
void BM_LoadMissingFromFutureFolder16MB(benchmark::State& state) {
    LoadHostile(state, 'k');
}
void BM_LoadCompressedTinyTracks1MB(benchmark::State& state) {
    LoadHostile(state, 'l');
}
void BM_LoadCompressedTinyTracks16MB(benchmark::State& state) {
    LoadHostile(state, 'm');
}

} // namespace

// The hostile files first, before the 50,000-song machine is built, so that their peak
// memory is their own.
BENCHMARK(BM_ListEmptyDatabase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCraftedObjectChain1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCraftedSharedTitle1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListDamaged8MBHugeCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCompressedTinyTracks1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCompressedTinyTracks16MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDeepMissingFolders1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDeepMissingFolders16MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMissingFromFutureFolder1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMissingFromFutureFolder16MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatabase50kFilesPresent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatabase50kFilesAbsent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatabase50kCompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseTracks50kInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetAlbums50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetArtists50k)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
