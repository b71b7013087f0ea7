// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli list beside libgpod's own parse, on one iPod folder of 50,000 songs (the
// large iPod of the scale benchmarks, with its 200 playlists of 5,000 songs and again
// without playlists). Both run as programs. The list row is the whole `korvello-cli list --folder`
// run with its output thrown away; the libgpod row is itdb_parse alone, timed inside gpod-parse
// (its start and the freeing afterwards are left out), and reads no song file. Each row also
// reports the program's CPU time (program_cpu_ms), which a busy machine does not inflate.
// Without libgpod (libgpod-dev) the libgpod row is missing and bench.sh says so.
#include "LargeiPod.h"

#include "ChildProcess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace korvello;

namespace {

constexpr int kSongs = 50000;

// With its 200 playlists of 5,000 songs, or with none.
bench::LargeiPod& Pod(bool playlists) {
    if (playlists) {
        static bench::LargeiPod pod(kSongs);
        return pod;
    }
    static bench::LargeiPod bare(kSongs, 0);
    return bare;
}

void Report(benchmark::State& state, const std::vector<double>& cpuMs) {
    std::vector<double> sorted = cpuMs;
    std::sort(sorted.begin(), sorted.end());
    state.counters["program_cpu_ms"] = sorted.empty() ? 0 : sorted[sorted.size() / 2];
}

void KorvelloCliList(benchmark::State& state, bool playlists) {
    const std::string folder = Pod(playlists).IpodPath();
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::vector<double> cpuMs;
    for (auto _ : state) {
        rusage usage{};
        const auto start = std::chrono::steady_clock::now();
        const bool ok =
            bench::RunChild({KORVELLO_CLI_PATH, "list", "--folder", folder}, devNull, usage);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpuMs.push_back(bench::CpuMs(usage));
        if (!ok) {
            state.SkipWithError("korvello-cli list failed");
            break;
        }
    }
    close(devNull);
    Report(state, cpuMs);
}
BENCHMARK_CAPTURE(KorvelloCliList, 50k, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();
BENCHMARK_CAPTURE(KorvelloCliList, 50kNoPlaylists, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();

#ifdef GPOD_PARSE_PATH
void LibgpodParse(benchmark::State& state, bool playlists) {
    const std::string folder = Pod(playlists).IpodPath();
    std::vector<double> cpuMs;
    for (auto _ : state) {
        // gpod-parse prints "<tracks> <playlists> <real ms> <CPU ms>".
        char path[] = "/tmp/korvello-gpod-XXXXXX";
        const int out = mkstemp(path);
        unlink(path);
        rusage usage{};
        const bool ok = out >= 0 && bench::RunChild({GPOD_PARSE_PATH, folder}, out, usage);
        char line[256] = {};
        if (ok)
            (void)pread(out, line, sizeof line - 1, 0);
        if (out >= 0)
            close(out);
        unsigned tracks = 0, lists = 0;
        double realMs = 0, parseCpuMs = 0;
        if (!ok || std::sscanf(line, "%u %u %lf %lf", &tracks, &lists, &realMs, &parseCpuMs) != 4 ||
            tracks != kSongs) {
            state.SkipWithError("gpod-parse failed or read another song count");
            break;
        }
        state.SetIterationTime(realMs / 1e3);
        cpuMs.push_back(parseCpuMs);
    }
    Report(state, cpuMs);
}
BENCHMARK_CAPTURE(LibgpodParse, 50k, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();
BENCHMARK_CAPTURE(LibgpodParse, 50kNoPlaylists, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();
#endif

} // namespace

BENCHMARK_MAIN();
