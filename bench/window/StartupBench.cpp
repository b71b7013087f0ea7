// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up on a 50,000-song iPod: from the start of a process to the end of the main
// window's first paint (drive scan, database load, song table and lists filled, window
// painted; the database copy comes after that paint and is not part of it). Each
// iteration runs this same program as a child with --once, which starts up exactly as
// korvello does, reports its first paint and exits.
#include "BenchSupport.h"
#include "BenchiPod.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace korvello;

namespace {

std::string g_self;

void BM_StartupToFirstShowing(benchmark::State& state) {
    static bench::BenchiPod ipod;
    ipod.UseAsHome();
    for (auto _ : state) {
        const bench::StartupRun run = bench::RunStartOnce(g_self);
        if (!run.ok) {
            state.SkipWithError("the child did not start up on the iPod");
            break;
        }
        state.SetIterationTime(run.toPaintMs / 1e3);
    }
}
BENCHMARK(BM_StartupToFirstShowing)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    if (bench::IsStartOnce(argc, argv))
        return bench::StartOnce(argc, argv) > 0 ? 0 : 3;
    g_self = bench::SelfPath(argv[0]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
