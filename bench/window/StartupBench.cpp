// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up on a 50,000-song iPod: from the start of a process to the end of the main
// window's first showing (drive scan, database load, song table and lists filled, backup
// made). Each iteration runs this same program as a child with --once, which starts up
// exactly as korvello does and exits after the first showing.
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
        rusage usage{};
        if (!bench::RunStartOnce(g_self, usage)) {
            state.SkipWithError("the child did not start up on the iPod");
            break;
        }
    }
}
BENCHMARK(BM_StartupToFirstShowing)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

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
