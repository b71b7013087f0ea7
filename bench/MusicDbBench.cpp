// SPDX-License-Identifier: GPL-3.0-or-later
// The music database on 50,000 songs: a full load with the song files on local disk (one
// size look-up per track), the same load with the files absent, the same database as an
// iTunesCDB, the inflate alone, the walk alone in memory, and the album and artist lists.
// First, crafted hostile files of 1 MB and a damaged one of 8 MB against an empty
// database, each with the peak memory of the process while it was read.
#include "itdb/Crafted.h"
#include "itdb/ITunesDbWriter.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/iPodcomponent.h"
#include "platform/posix/PosixPlatform.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
        std::string pattern = (fs::temp_directory_path() / "korvello-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        const fs::path withFiles = root_ / "ipod";
        const fs::path withoutFiles = root_ / "copy";

        itdb::ITunesDbWriter writer;
        for (int i = 0; i < kTracks; ++i) {
            char folder[8];
            char name[16];
            std::snprintf(folder, sizeof folder, "F%02d", i % kFolders);
            std::snprintf(name, sizeof name, "K%05d.mp3", i);
            itdb::Track& track = writer.AddTrack(i + 1);
            // Albums and artists repeat, some in another letter case, as a real library's do.
            const int album = i / 10;
            const int artist = i / 33;
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

        fs::create_directories(root_ / "config/korvello/drives");
        fs::create_directories(root_ / "root");
        fs::create_directories(root_ / "data");
        std::ofstream(root_ / "mountinfo").close();
        fs::create_directory_symlink(withFiles, root_ / "config/korvello/drives/e:");
        fs::create_directory_symlink(withoutFiles, root_ / "config/korvello/drives/f:");
        fs::create_directory_symlink(nano, root_ / "config/korvello/drives/g:");

        PosixRoots roots;
        roots.rootDir = (root_ / "root").string();
        roots.mountinfo = (root_ / "mountinfo").string();
        roots.sysfs = (root_ / "sys").string();
        roots.byLabel = (root_ / "bylabel").string();
        roots.configHome = (root_ / "config").string();
        roots.dataHome = (root_ / "data").string();
        roots.programPath = (root_ / "root/korvello").string();
        roots.shellOpen = [](const std::string&) {
        };
        platform_ = std::make_unique<PosixPlatform>(roots);
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
        if (ipod.SongCount() != kTracks)
            state.SkipWithError("wrong song count");
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
        if (!image)
            state.SkipWithError(problem.c_str());
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

} // namespace

// The hostile files first, before the 50,000-song machine is built, so that their peak
// memory is their own.
BENCHMARK(BM_ListEmptyDatabase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCraftedObjectChain1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCraftedSharedTitle1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListDamaged8MBHugeCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatabase50kFilesPresent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatabase50kFilesAbsent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatabase50kCompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseTracks50kInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetAlbums50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetArtists50k)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
