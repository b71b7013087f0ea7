// SPDX-License-Identifier: GPL-3.0-or-later
// Listing 20,000 songs from a slow device with nothing of it in memory: the large iPod of
// the scale benchmarks (20,000 songs, 10 playlists of 5,000) on an ext4 file system in a
// loop-mounted image, read through the loop device without the host's page cache
// (direct I/O) at 20 MB/s and 1,000 requests a second at most (a cgroup I/O limit, about
// what an iPod on USB 2.0 gives). Before every pass the page cache is dropped and the file
// system mounted afresh. Two rows, each a whole program run with its output thrown away:
//   - ColdList: korvello-cli list --folder, which reads the database and the size of
//     every song file;
//   - ColdCatFind: cat of the database and find -printf %s over the music folders, the
//     same bytes and sizes read by the plainest tools.
// Where the machine refuses (not root, no loop device, no cgroup I/O limit) the rows are
// skipped with the reason, which bench.sh prints.
#include "LargeiPod.h"

#include "ChildProcess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace korvello;

namespace {

constexpr int kSongs = 20000;
constexpr int kPlaylists = 10;
constexpr long kBytesPerSecond = 20L * 1024 * 1024;
constexpr int kReadsPerSecond = 1000;
constexpr const char* kBlkioRoot = "/sys/fs/cgroup/blkio";
constexpr const char* kUnifiedRoots[] = {"/sys/fs/cgroup", "/sys/fs/cgroup/unified"};

std::string ReadText(const std::string& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text, '\0');
    return text;
}

// The disk, the iPod on it and the limit on this process's reads from it; made on first
// use and taken apart at exit.
class ColdDisk {
public:
    static ColdDisk& Get() {
        static ColdDisk disk;
        return disk;
    }
    ColdDisk(const ColdDisk&) = delete;
    ColdDisk& operator=(const ColdDisk&) = delete;

    // Empty when the disk is ready, else why it is not.
    const std::string& Refusal() const { return refusal_; }
    const std::string& Label() const { return label_; }
    std::string IpodPath() const { return pod_ ? pod_->IpodPath() : std::string(); }

    // Nothing of the disk stays in memory: the page cache is dropped and the file system
    // mounted again. False when either fails.
    bool MakeCold() {
        bench::Shell("sync");
        if (!bench::WriteText("/proc/sys/vm/drop_caches", "3"))
            return false;
        return bench::Shell("umount '" + mountPoint_.string() + "'") &&
               bench::Shell("mount '" + loop_ + "' '" + mountPoint_.string() + "'");
    }

private:
    ColdDisk() {
        char name[] = "/tmp/korvello-bench-cold-XXXXXX";
        if (mkdtemp(name) == nullptr) {
            refusal_ = "no temporary folder";
            return;
        }
        root_ = name;
        mountPoint_ = root_ / "disk";
        fs::create_directories(mountPoint_);
        if (geteuid() != 0) {
            refusal_ = "needs root (loop device, mount, cgroup, drop_caches)";
            return;
        }
        const std::string image = (root_ / "disk.img").string();
        if (!bench::Shell("truncate -s 2G '" + image + "'") ||
            !bench::Shell("mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 '" + image +
                          "'")) {
            refusal_ = "mkfs.ext4 failed";
            return;
        }
        if (FILE* out = popen(("losetup --direct-io=on -f --show '" + image + "'").c_str(), "r")) {
            char loop[64] = {};
            if (fgets(loop, sizeof loop, out) != nullptr)
                loop_ = std::string(loop).substr(0, std::string(loop).find('\n'));
            pclose(out);
        }
        if (loop_.empty() ||
            !bench::Shell("mount '" + loop_ + "' '" + mountPoint_.string() + "'")) {
            refusal_ = "the loop device or its mount was refused";
            return;
        }
        mounted_ = true;
        // The iPod is made on the disk itself: the pod's folder goes under TMPDIR.
        const char* oldTmp = std::getenv("TMPDIR");
        const std::string keep = oldTmp != nullptr ? oldTmp : "";
        setenv("TMPDIR", mountPoint_.c_str(), 1);
        try {
            pod_ = std::make_unique<bench::LargeiPod>(kSongs, kPlaylists);
        } catch (const std::exception& e) {
            refusal_ = std::string("making the iPod failed: ") + e.what();
        }
        if (oldTmp != nullptr)
            setenv("TMPDIR", keep.c_str(), 1);
        else
            unsetenv("TMPDIR");
        if (!refusal_.empty())
            return;
        if (!Throttle()) {
            refusal_ = "no cgroup I/O limit (neither blkio throttling nor io.max)";
            return;
        }
        if (!MakeCold()) {
            refusal_ = "dropping the page cache or mounting again was refused";
            return;
        }
        label_ = "ext4 loop disk; direct I/O; 20 MB/s and 1000 reads/s; cache dropped";
    }

    ~ColdDisk() {
        if (!cgroupProcs_.empty()) {
            bench::WriteText(parentProcs_, std::to_string(getpid()));
            rmdir(cgroup_.c_str());
        }
        pod_.reset();
        if (mounted_)
            bench::Shell("umount '" + mountPoint_.string() + "'");
        if (!loop_.empty())
            bench::Shell("losetup -d " + loop_);
        std::error_code ec;
        if (!root_.empty())
            fs::remove_all(root_, ec);
    }

    // Moves this process (and so the programs it starts) into a cgroup of its own that
    // limits reads from the loop device: cgroup v1 blkio where it is mounted, else v2 io.max.
    bool Throttle() {
        struct stat st {};
        if (stat(loop_.c_str(), &st) != 0)
            return false;
        const std::string device =
            std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        const std::string name = "korvello-bench-cold-" + std::to_string(getpid());
        if (fs::exists(std::string(kBlkioRoot) + "/blkio.throttle.read_bps_device")) {
            cgroup_ = std::string(kBlkioRoot) + "/" + name;
            if (mkdir(cgroup_.c_str(), 0755) == 0 &&
                bench::WriteText(cgroup_ + "/blkio.throttle.read_bps_device",
                                 device + " " + std::to_string(kBytesPerSecond)) &&
                bench::WriteText(cgroup_ + "/blkio.throttle.read_iops_device",
                                 device + " " + std::to_string(kReadsPerSecond)) &&
                bench::WriteText(cgroup_ + "/cgroup.procs", std::to_string(getpid()))) {
                cgroupProcs_ = cgroup_ + "/cgroup.procs";
                parentProcs_ = std::string(kBlkioRoot) + "/cgroup.procs";
                return true;
            }
            rmdir(cgroup_.c_str());
        }
        for (const char* root : kUnifiedRoots) {
            const std::string controllers = ReadText(std::string(root) + "/cgroup.controllers");
            if (controllers.find("io") == std::string::npos)
                continue;
            bench::WriteText(std::string(root) + "/cgroup.subtree_control", "+io");
            cgroup_ = std::string(root) + "/" + name;
            if (mkdir(cgroup_.c_str(), 0755) == 0 &&
                bench::WriteText(cgroup_ + "/io.max",
                                 device + " rbps=" + std::to_string(kBytesPerSecond) +
                                     " riops=" + std::to_string(kReadsPerSecond)) &&
                bench::WriteText(cgroup_ + "/cgroup.procs", std::to_string(getpid()))) {
                cgroupProcs_ = cgroup_ + "/cgroup.procs";
                parentProcs_ = std::string(root) + "/cgroup.procs";
                return true;
            }
            rmdir(cgroup_.c_str());
        }
        cgroup_.clear();
        return false;
    }

    fs::path root_, mountPoint_;
    std::string loop_, refusal_, label_;
    std::string cgroup_, cgroupProcs_, parentProcs_;
    bool mounted_ = false;
    std::unique_ptr<bench::LargeiPod> pod_;
};

void RunCold(benchmark::State& state, const std::vector<std::string>& argv) {
    ColdDisk& disk = ColdDisk::Get();
    if (!disk.Refusal().empty()) {
        state.SkipWithError(("skipped: " + disk.Refusal()).c_str());
        return;
    }
    std::vector<double> cpuMs;
    for (auto _ : state) {
        if (!disk.MakeCold()) {
            state.SkipWithError("skipped: the page cache could not be dropped");
            break;
        }
        rusage usage{};
        const auto start = std::chrono::steady_clock::now();
        const bool ok = bench::RunChild(argv, -1, usage);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpuMs.push_back(bench::CpuMs(usage));
        if (!ok) {
            state.SkipWithError((argv[0] + " failed").c_str());
            break;
        }
    }
    std::sort(cpuMs.begin(), cpuMs.end());
    state.counters["program_cpu_ms"] = cpuMs.empty() ? 0 : cpuMs[cpuMs.size() / 2];
    state.SetLabel(disk.Label());
}

void BM_ColdList20k(benchmark::State& state) {
    const std::string ipod = ColdDisk::Get().IpodPath();
    RunCold(state, {KORVELLO_CLI_PATH, "list", "--folder", ipod});
}

void BM_ColdCatFind20k(benchmark::State& state) {
    const std::string ipod = ColdDisk::Get().IpodPath();
    RunCold(state, {"/bin/sh", "-c",
                    "cat '" + ipod + "/iPod_Control/iTunes/iTunesDB' && find '" + ipod +
                        "/iPod_Control/Music' -printf '%s\\n'"});
}

} // namespace

BENCHMARK(BM_ColdList20k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_ColdCatFind20k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

BENCHMARK_MAIN();
