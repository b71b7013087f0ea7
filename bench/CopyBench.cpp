// SPDX-License-Identifier: GPL-3.0-or-later
// Copying 200 songs of 5 MB each from one local folder to another: `korvello-cli copy`
// (the copy worker with its 2048-byte blocks, started as the real program) against
// coreutils `cp` on the same files, and korvello-cli again with --write-tags, which
// completes each copy's ID3v2 tag from the database (title, artist, album, genre, track)
// before the copy takes its name. The songs are MPEG audio frames of random content, so
// the tagger takes them for MP3 files. All copy into an emptied folder, with the page
// cache warm from an untimed pass of each. The korvello-cli runs also report the number
// of CM_PROGRESS messages of their job in the label.
//
// The same on a real disk (an ext4 file system in a loop-mounted image, made once per
// run; skipped where mounting is refused), where the copy's syncs cost what they cost:
// korvello-cli into an empty folder (one syncfs at the end), korvello-cli replacing older
// copies of every song (each new file synced before it replaces the old one, then the
// syncfs), against cp followed by sync -f of that file system.
#include "itdb/ITunesDbWriter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace fs = std::filesystem;
namespace itdb = korvello::itdb;

namespace {

constexpr int kSongs = 200;
constexpr std::size_t kSongBytes = 5 * 1024 * 1024;

// Runs a program without a shell; stdout goes to /dev/null, stderr to `errFile` when given.
int Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
        const std::string& errFile = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!errFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The iPod folder with its database and song files, an output folder, and a private
// configuration so the user's settings play no part. Made once per run.
class CopyMachine {
public:
    static CopyMachine& Get() {
        static CopyMachine machine;
        return machine;
    }
    ~CopyMachine() {
        if (!mounted_.empty())
            Run({"umount", mounted_.string()}, {});
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    void EmptyOutput() { EmptyFolder(out_); }
    static void EmptyFolder(const fs::path& folder) {
        fs::remove_all(folder);
        fs::create_directory(folder);
    }

    // The folder on the loop-mounted ext4 disk, mounted on first use; empty when the
    // machine refuses (not root, no loop devices).
    const fs::path& DiskFolder() {
        if (!diskTried_) {
            diskTried_ = true;
            const fs::path image = root_ / "disk.img";
            const fs::path mountPoint = root_ / "disk";
            fs::create_directories(mountPoint);
            const std::string quiet = " >/dev/null 2>&1";
            if (std::system(("truncate -s 1500M '" + image.string() + "' && mkfs.ext4 -q -F '" +
                             image.string() + "'" + quiet)
                                .c_str()) == 0 &&
                std::system(
                    ("mount -o loop '" + image.string() + "' '" + mountPoint.string() + "'" + quiet)
                        .c_str()) == 0) {
                mounted_ = mountPoint;
                disk_ = mountPoint / "out";
            }
        }
        return disk_;
    }

    // Older copies of every song in `folder`, as a run of an earlier day left them.
    void OlderCopies(const fs::path& folder) {
        EmptyFolder(folder);
        for (int i = 0; i < kSongs; ++i) {
            const fs::path copy = folder / ("Song " + std::to_string(i) + ".mp3");
            std::ofstream(copy, std::ios::binary) << "an older copy";
            fs::last_write_time(copy, fs::last_write_time(copy) - std::chrono::hours(24));
        }
        Sync(folder);
    }

    // One korvello-cli copy of every song; the number of CM_PROGRESS messages, or -1.
    long CopyWithKorvello(bool writeTags = false) { return CopyWithKorvello(out_, writeTags); }
    long CopyWithKorvello(const fs::path& out, bool writeTags = false) {
        const std::string errFile = (root_ / "stderr.txt").string();
        const int status =
            Run({KORVELLO_CLI_PATH, "copy", "--overwrite", "--folder", ipod_.string(), "--to",
                 out.string(), writeTags ? "--write-tags" : "--no-write-tags"},
                {"KORVELLO_CLI_COUNT_PROGRESS=1", "XDG_CONFIG_HOME=" + (root_ / "config").string(),
                 "XDG_DATA_HOME=" + (root_ / "data").string()},
                errFile);
        if (status != 0)
            return -1;
        std::ifstream err(errFile);
        std::string word;
        while (err >> word) {
            if (word.find_first_not_of("0123456789") == std::string::npos)
                return std::stol(word);
        }
        return -1;
    }

    bool CopyWithCp() { return CopyWithCp(out_); }
    bool CopyWithCp(const fs::path& out) {
        std::vector<std::string> args{"cp"};
        args.insert(args.end(), songFiles_.begin(), songFiles_.end());
        args.push_back(out.string());
        return Run(args, {}) == 0;
    }
    // sync -f: the file system that holds `folder`, as korvello-cli's syncfs.
    static bool Sync(const fs::path& folder) {
        return Run({"sync", "-f", folder.string()}, {}) == 0;
    }

private:
    CopyMachine() {
        std::string pattern = (fs::temp_directory_path() / "korvello-copybench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        ipod_ = root_ / "ipod";
        out_ = root_ / "out";
        const fs::path music = ipod_ / "iPod_Control/Music/F00";
        fs::create_directories(music);
        fs::create_directories(root_ / "config");
        fs::create_directories(root_ / "data");

        // Incompressible content, so no file system shortcut makes one side look fast, cut
        // into MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz: 417 bytes each).
        std::mt19937_64 random(42);
        std::vector<std::uint64_t> block(kSongBytes / sizeof(std::uint64_t));
        const auto frame = [&] {
            auto* bytes = reinterpret_cast<unsigned char*>(block.data());
            for (std::size_t at = 0; at + 4 <= kSongBytes; at += 417) {
                bytes[at] = 0xFF;
                bytes[at + 1] = 0xFB;
                bytes[at + 2] = 0x90;
                bytes[at + 3] = 0x64;
            }
        };
        itdb::ITunesDbWriter writer;
        for (int i = 0; i < kSongs; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "S%03d.mp3", i);
            for (std::uint64_t& word : block)
                word = random();
            frame();
            std::ofstream(music / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(block.data()), kSongBytes);
            songFiles_.push_back((music / name).string());
            writer.AddTrack(i + 1)
                .Add(itdb::Title, "Song " + std::to_string(i))
                .Add(itdb::Artist, "Artist " + std::to_string(i % 10))
                .Add(itdb::Album, "Album " + std::to_string(i % 20))
                .Add(itdb::Genre, "Rock")
                .Add(itdb::Location, std::string(":iPod_Control:Music:F00:") + name);
        }
        writer.WriteFile((ipod_ / "iPod_Control/iTunes/iTunesDB").string());

        // Warm-up, untimed: the sources into the page cache, both programs once.
        EmptyOutput();
        if (CopyWithKorvello() < 0)
            throw std::runtime_error("korvello-cli copy failed");
        EmptyOutput();
        if (CopyWithKorvello(true) < 0)
            throw std::runtime_error("korvello-cli copy --write-tags failed");
        EmptyOutput();
        if (!CopyWithCp())
            throw std::runtime_error("cp failed");
    }

    fs::path root_, ipod_, out_;
    std::vector<std::string> songFiles_;
    bool diskTried_ = false;
    fs::path mounted_, disk_;
};

void BM_Copy200x5MB_KorvelloCli(benchmark::State& state) {
    CopyMachine& machine = CopyMachine::Get();
    long progress = -1;
    for (auto _ : state) {
        state.PauseTiming();
        machine.EmptyOutput();
        state.ResumeTiming();
        progress = machine.CopyWithKorvello();
        if (progress < 0) {
            state.SkipWithError("korvello-cli copy failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSongs * kSongBytes);
    state.SetLabel("CM_PROGRESS=" + std::to_string(progress));
}

// The same copy with each song's tags written into its copy.
void BM_Copy200x5MB_KorvelloCliWriteTags(benchmark::State& state) {
    CopyMachine& machine = CopyMachine::Get();
    long progress = -1;
    for (auto _ : state) {
        state.PauseTiming();
        machine.EmptyOutput();
        state.ResumeTiming();
        progress = machine.CopyWithKorvello(true);
        if (progress < 0) {
            state.SkipWithError("korvello-cli copy --write-tags failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSongs * kSongBytes);
    state.SetLabel("CM_PROGRESS=" + std::to_string(progress));
}

void BM_Copy200x5MB_Cp(benchmark::State& state) {
    CopyMachine& machine = CopyMachine::Get();
    for (auto _ : state) {
        state.PauseTiming();
        machine.EmptyOutput();
        state.ResumeTiming();
        if (!machine.CopyWithCp()) {
            state.SkipWithError("cp failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSongs * kSongBytes);
}

// On the ext4 disk: `replacing` puts older copies of every song there first (untimed).
void DiskCopy(benchmark::State& state, bool korvello, bool replacing) {
    CopyMachine& machine = CopyMachine::Get();
    const fs::path& disk = machine.DiskFolder();
    if (disk.empty()) {
        state.SkipWithError("no ext4 disk: mounting a loop image was refused");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (replacing)
            machine.OlderCopies(disk);
        else
            CopyMachine::EmptyFolder(disk);
        CopyMachine::Sync(disk);
        state.ResumeTiming();
        const bool done = korvello ? machine.CopyWithKorvello(disk) >= 0
                                   : machine.CopyWithCp(disk) && CopyMachine::Sync(disk);
        if (!done) {
            state.SkipWithError("the copy failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSongs * kSongBytes);
}

void BM_Copy200x5MB_Ext4Disk_KorvelloCli(benchmark::State& state) {
    DiskCopy(state, true, false);
}
void BM_Copy200x5MB_Ext4Disk_KorvelloCliReplacing(benchmark::State& state) {
    DiskCopy(state, true, true);
}
void BM_Copy200x5MB_Ext4Disk_CpSync(benchmark::State& state) {
    DiskCopy(state, false, false);
}

// One copy per repetition: a copy takes seconds, and bench.sh asks for five repetitions.
BENCHMARK(BM_Copy200x5MB_KorvelloCli)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy200x5MB_KorvelloCliWriteTags)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy200x5MB_Cp)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy200x5MB_Ext4Disk_KorvelloCli)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy200x5MB_Ext4Disk_KorvelloCliReplacing)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy200x5MB_Ext4Disk_CpSync)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
