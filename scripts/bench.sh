#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark executable (bench_*) of a build and prints one table of medians.
#
#   bash scripts/bench.sh BUILD_DIR
# Benchmark binaries added later are picked up by name, in BUILD_DIR/bench and one folder
# below it.
set -euo pipefail

build="${1:-build/release}"
bench_dir="$build/bench"
if [[ ! -d "$bench_dir" ]]; then
    echo "bench.sh: no folder $bench_dir (configure with -DKORVELLO_BUILD_BENCH=ON and build)" >&2
    exit 1
fi

mapfile -t binaries < <(find "$bench_dir" -maxdepth 2 -type f -name 'bench_*' -perm -u+x | sort)
if [[ ${#binaries[@]} -eq 0 ]]; then
    echo "bench.sh: no bench_* executable in $bench_dir" >&2
    exit 1
fi

results="$(mktemp)"
trap 'rm -f "$results"' EXIT
status=0
for binary in "${binaries[@]}"; do
    echo "running $(basename "$binary") ..." >&2
    # CSV on stdout; the context banner goes to stderr and is shown only on failure.
    if ! "$binary" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_format=csv >>"$results" 2>"$results.err"; then
        echo "bench.sh: $(basename "$binary") failed:" >&2
        cat "$results.err" >&2
        status=1
    fi
    rm -f "$results.err"
done

echo
# The machine may be shared: the CPU time of the measuring thread beside the wall-clock
# time tells the work done from the time spent waiting for a core (or for the disk).
printf '%-50s %16s %16s\n' "benchmark" "median real time" "median CPU time"
printf '%-50s %16s %16s\n' "---------" "----------------" "---------------"
# name,iterations,real_time,cpu_time,time_unit,... ; the name is quoted in CSV.
# A benchmark that reports a peak_MB counter gets the process's peak memory beside it.
awk -F, '
    $1 == "name" {
        peak = 0
        cpu = 0
        run = 0
        runCpu = 0
        for (i = 1; i <= NF; i++) {
            if ($i == "peak_MB" || $i == "\"peak_MB\"")
                peak = i
            if ($i == "program_cpu_ms" || $i == "\"program_cpu_ms\"")
                cpu = i
            if ($i == "whole_run_ms" || $i == "\"whole_run_ms\"")
                run = i
            if ($i == "whole_run_cpu_ms" || $i == "\"whole_run_cpu_ms\"")
                runCpu = i
        }
        next
    }
    $1 ~ /_median"?$/ {
        name = $1
        gsub(/"/, "", name)
        sub(/_median$/, "", name)
        extra = peak > 0 && $peak != "" ? sprintf("   peak %.0f MB", $peak) : ""
        # A row that starts the program as a child also gives the CPU time of that child.
        if (cpu > 0 && $cpu + 0 > 0)
            extra = extra sprintf("   program CPU %.0f ms", $cpu)
        # The start-up row ends at the first paint; the whole run of the child, its
        # teardown included, follows.
        if (run > 0 && $run + 0 > 0)
            extra = extra sprintf("   whole run %.0f ms (CPU %.0f ms)", $run, $runCpu)
        printf "%-50s %13.2f %s %13.2f %s%s\n", name, $3, $5, $4, $5, extra
    }' "$results"
# Rows that did not run say why (a benchmark skips itself where the machine refuses what
# it needs: root, a loop device, a cgroup I/O limit).
awk -F, '
    $1 == "name" {
        err = 0
        msg = 0
        for (i = 1; i <= NF; i++) {
            if ($i == "error_occurred" || $i == "\"error_occurred\"")
                err = i
            if ($i == "error_message" || $i == "\"error_message\"")
                msg = i
        }
        next
    }
    err > 0 && $err == "true" {
        name = $1
        gsub(/"/, "", name)
        sub(/\/repeats:[0-9]+$/, "", name)
        text = $msg
        for (i = msg + 1; i <= NF; i++)
            text = text "," $i
        gsub(/"/, "", text)
        if (!(name in shown))
            printf "%-50s %s\n", name, text
        shown[name] = 1
    }' "$results"
# Listing from a cold, throttled disk: korvello-cli list against cat of the database and
# find -printf %s over the music folders.
awk -F, '
    $1 ~ /^"?BM_ColdList20k.*_median"?$/ { list = $3 }
    $1 ~ /^"?BM_ColdCatFind20k.*_median"?$/ { plain = $3 }
    END {
        if (list > 0 && plain > 0)
            printf "%-50s %13.2f x\n", "cold list 20k: korvello-cli / cat + find", list / plain
    }' "$results"
# The copy benchmark's ratio to cp and its message count, when it ran.
bash "$(dirname "$0")/bench-copy.sh" "$build" "$results"
# korvello-cli list against libgpod's parse, and what playlists cost the load.
bash "$(dirname "$0")/bench-list.sh" "$build" "$results"
exit $status
