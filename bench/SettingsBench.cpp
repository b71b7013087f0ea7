// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file at 50 MB (other programs' keys, a log grown without bounds): what the
// window's start reads (5 "Visible" keys and 12 column widths) and what its close writes
// (12 widths), once as one batch, as the window does it, and once a key at a time, as it
// did before, which reads or rewrites the whole file for every key.
#include "platform/posix/PosixPlatform.h"
#include "settings/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using namespace korvello;

namespace {

constexpr std::size_t kFileBytes = 50u << 20;

class BenchFolder {
public:
    static BenchFolder& Get() {
        static BenchFolder folder;
        return folder;
    }
    ~BenchFolder() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    IPlatform& Platform() { return *platform_; }
    const std::string& File() const { return file_; }

private:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "korvello-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        PosixRoots roots;
        roots.rootDir = root_.string();
        roots.mountinfo = (root_ / "mountinfo").string();
        roots.sysfs = (root_ / "sys").string();
        roots.byLabel = (root_ / "by-label").string();
        roots.configHome = (root_ / "config").string();
        roots.dataHome = (root_ / "data").string();
        std::ofstream(roots.mountinfo) << "";
        std::ofstream out(root_ / "ipdes.dll", std::ios::binary);
        out << "[Visible]\nSearchBox=1\n[Other]\n";
        for (std::size_t n = 0, i = 0; n < kFileBytes; ++i) {
            const std::string line = "key" + std::to_string(i) + "=some value of another program\n";
            out << line;
            n += line.size();
        }
        out << "[COLWIDTH]\n0=16\n1=120\n";
        platform_ = std::make_unique<PosixPlatform>(roots);
        file_ = "c:\\ipdes.dll";
    }
    fs::path root_;
    std::unique_ptr<PosixPlatform> platform_;
    std::string file_;
};

std::vector<IniInteger> StartKeys() {
    std::vector<IniInteger> keys = {{"Visible", "iPodSelector", 1},
                                    {"Visible", "SearchBox", 1},
                                    {"Visible", "ArtistList", 1},
                                    {"Visible", "AlbumList", 1},
                                    {"Visible", "FileTypeList", 1}};
    const std::vector<IniInteger> widths = ColumnWidthKeys();
    keys.insert(keys.end(), widths.begin(), widths.end());
    return keys;
}

void BM_Settings50MB_ReadAtStart_Batch(benchmark::State& state) {
    BenchFolder& folder = BenchFolder::Get();
    for (auto _ : state) {
        std::vector<IniInteger> keys = StartKeys();
        ReadIniIntegers(folder.Platform(), folder.File(), keys);
        benchmark::DoNotOptimize(keys);
    }
}
BENCHMARK(BM_Settings50MB_ReadAtStart_Batch)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Settings50MB_ReadAtStart_KeyByKey(benchmark::State& state) {
    BenchFolder& folder = BenchFolder::Get();
    for (auto _ : state) {
        for (const IniInteger& k : StartKeys())
            benchmark::DoNotOptimize(
                folder.Platform().GetPrivateProfileString(k.section, k.key, "", folder.File()));
    }
}
BENCHMARK(BM_Settings50MB_ReadAtStart_KeyByKey)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_Settings50MB_WriteAtClose_Batch(benchmark::State& state) {
    BenchFolder& folder = BenchFolder::Get();
    for (auto _ : state)
        WriteIniIntegers(folder.Platform(), folder.File(), ColumnWidthKeys());
}
BENCHMARK(BM_Settings50MB_WriteAtClose_Batch)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Settings50MB_WriteAtClose_KeyByKey(benchmark::State& state) {
    BenchFolder& folder = BenchFolder::Get();
    for (auto _ : state) {
        for (const IniInteger& k : ColumnWidthKeys())
            folder.Platform().WritePrivateProfileString(k.section, k.key, std::to_string(k.value),
                                                        folder.File());
    }
}
BENCHMARK(BM_Settings50MB_WriteAtClose_KeyByKey)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
