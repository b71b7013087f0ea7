// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the songs of 5,000 song files of an iPod without a database, from a slow disk:
// an ext4 file system in a loop-mounted image whose reads this process (and its children)
// may make at 20 MB/s and 1,000 requests a second at most (a cgroup v1 blkio throttle,
// about what an iPod on USB 2.0 gives). Every pass starts with the file system mounted
// afresh, so no file is in the page cache:
//   - cold: the walk and TagLib's reading of every file, no cache;
//   - find+head: `find -exec head -c 65536 {} +`, the least any reader of each file's
//     head does;
//   - warm: the walk with the tag cache of an earlier pass (no file is opened).
// Where the machine refuses the loop mount or the throttle, the label says so and the
// same runs on the folder as it is.
#include "musicdb/MusicFolderScan.h"
#include "platform/posix/PosixPlatform.h"
#include "tags/Tagger.h"

#include "ChildProcess.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvello;

namespace {

constexpr int kFiles = 5000;
constexpr int kFolders = 50; // F00 to F49, as iTunes fills them
constexpr const char* kCgroup = "/sys/fs/cgroup/blkio/korvello-bench-scan";

class ScanDisk {
public:
    static ScanDisk& Get() {
        static ScanDisk disk;
        return disk;
    }
    ScanDisk(const ScanDisk&) = delete;
    ScanDisk& operator=(const ScanDisk&) = delete;

    // Unmounts and mounts the disk again: its files leave the page cache.
    void Remount() {
        if (!mounted_)
            return;
        bench::Shell("umount '" + mountPoint_.string() + "'");
        mounted_ = bench::Shell("mount '" + loop_ + "' '" + mountPoint_.string() + "'");
    }
    const std::string& Label() const { return label_; }
    const fs::path& Ipod() const { return ipod_; }
    PosixPlatform& Platform() { return *platform_; }

private:
    ScanDisk() {
        char name[] = "/tmp/korvello-bench-scan-XXXXXX";
        root_ = mkdtemp(name);
        mountPoint_ = root_ / "disk";
        fs::create_directories(mountPoint_);
        const fs::path image = root_ / "disk.img";
        if (geteuid() == 0 && bench::Shell("truncate -s 256M '" + image.string() + "'") &&
            bench::Shell("mkfs.ext4 -q -F '" + image.string() + "'")) {
            char loop[64] = {};
            if (FILE* out = popen(("losetup -f --show '" + image.string() + "'").c_str(), "r")) {
                if (fgets(loop, sizeof loop, out) != nullptr)
                    loop_ = std::string(loop).substr(0, std::string(loop).find('\n'));
                pclose(out);
            }
            mounted_ = !loop_.empty() &&
                       bench::Shell("mount '" + loop_ + "' '" + mountPoint_.string() + "'");
        }
        ipod_ = (mounted_ ? mountPoint_ : root_) / "ipod";
        MakeSongs();
        Throttle();
        if (!mounted_)
            label_ = "local folder (loop mount refused), page cache warm";
        else if (!throttled_)
            label_ = "ext4 loop disk (throttle refused), remounted each pass";
        else
            label_ = "ext4 loop disk at 20 MB/s and 1,000 reads/s, remounted each pass";

        PosixRoots roots;
        roots.rootDir = root_; // c:, holding the data folder the cache goes to
        roots.configHome = root_ / "config";
        roots.dataHome = root_ / "data";
        fs::create_directories(fs::path(roots.configHome) / "korvello/drives");
        fs::create_directories(roots.dataHome);
        fs::create_directory_symlink(ipod_, fs::path(roots.configHome) / "korvello/drives/e:");
        platform_ = std::make_unique<PosixPlatform>(roots);
    }
    ~ScanDisk() {
        if (throttled_) {
            bench::WriteText(std::string("/sys/fs/cgroup/blkio/cgroup.procs"),
                             std::to_string(getpid()));
            rmdir(kCgroup);
        }
        if (mounted_)
            bench::Shell("umount '" + mountPoint_.string() + "'");
        if (!loop_.empty())
            bench::Shell("losetup -d " + loop_);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // One short tagged MP3 made by lame, copied under 5,000 names with a few bytes of
    // its own at the end of each, so no two files are alike.
    void MakeSongs() {
        const fs::path music = ipod_ / "iPod_Control/Music";
        fs::create_directories(ipod_ / "iPod_Control/iTunes");
        const std::string wav = (root_ / "tone.wav").string();
        const std::string mp3 = (root_ / "tone.mp3").string();
        bench::Shell("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 1 sine 440");
        bench::Shell(
            "lame --quiet -b 128 --tt 'A title' --ta 'An artist' --tl 'An album' --tn 3/12 '" +
            wav + "' '" + mp3 + "'");
        std::ifstream in(mp3, std::ios::binary);
        const std::string song((std::istreambuf_iterator<char>(in)), {});
        for (int i = 0; i < kFiles; ++i) {
            char folder[8], file[16];
            std::snprintf(folder, sizeof folder, "F%02d", i % kFolders);
            std::snprintf(file, sizeof file, "S%04d.mp3", i);
            fs::create_directories(music / folder);
            std::ofstream out(music / folder / file, std::ios::binary);
            out << song << std::to_string(i);
        }
    }

    void Throttle() {
        if (!mounted_ || mkdir(kCgroup, 0755) != 0)
            return;
        struct stat st {};
        if (stat(loop_.c_str(), &st) != 0)
            return;
        const std::string device =
            std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        const std::string cgroup = kCgroup;
        throttled_ =
            bench::WriteText(cgroup + "/blkio.throttle.read_bps_device",
                             device + " " + std::to_string(20 * 1024 * 1024)) &&
            bench::WriteText(cgroup + "/blkio.throttle.read_iops_device", device + " 1000") &&
            bench::WriteText(cgroup + "/cgroup.procs", std::to_string(getpid()));
    }

    fs::path root_, mountPoint_, ipod_;
    std::string loop_, label_;
    bool mounted_ = false;
    bool throttled_ = false;
    std::unique_ptr<PosixPlatform> platform_;
};

void Scan(benchmark::State& state, bool warm) {
    ScanDisk& disk = ScanDisk::Get();
    auto tagger = MakeTagLibTagger(disk.Platform());
    TScanOptions options;
    options.cacheFile = warm ? disk.Platform().AppFolder() + "\\bench-songtags.cache" : "";
    if (warm)
        ScanMusicFolders(disk.Platform(), *tagger, "e:", options); // fills the cache
    std::int64_t read = 0, songs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        disk.Remount();
        state.ResumeTiming();
        const TScanResult result = ScanMusicFolders(disk.Platform(), *tagger, "e:", options);
        read = result.tagsRead;
        songs = static_cast<std::int64_t>(result.songs.size());
    }
    if (songs != kFiles)
        state.SkipWithError("the scan did not find every file");
    state.SetLabel(disk.Label() + ", " + std::to_string(read) + " files' tags read");
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_ScanCold(benchmark::State& state) {
    Scan(state, false);
}
void BM_ScanWarmFromCache(benchmark::State& state) {
    Scan(state, true);
}
void BM_FindHead64K(benchmark::State& state) {
    ScanDisk& disk = ScanDisk::Get();
    const std::string command = "find '" + (disk.Ipod() / "iPod_Control/Music").string() +
                                "' -type f -exec head -c 65536 {} + >/dev/null";
    for (auto _ : state) {
        state.PauseTiming();
        disk.Remount();
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("find failed");
    }
    state.SetLabel(disk.Label());
    state.SetItemsProcessed(state.iterations() * kFiles);
}

} // namespace

BENCHMARK(BM_ScanCold)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FindHead64K)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanWarmFromCache)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
