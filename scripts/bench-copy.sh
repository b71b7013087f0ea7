#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The copy benchmark's summary: korvello-cli copy (with and without --write-tags) and cp
# copying 200 songs of 5 MB, the medians, their ratios and the number of CM_PROGRESS
# messages of the job.
#
#   bash scripts/bench-copy.sh BUILD_DIR            runs BUILD_DIR/bench/bench_copy (5 runs)
#   bash scripts/bench-copy.sh BUILD_DIR RESULTS    summarises bench.sh's CSV results
set -euo pipefail

build="${1:-build/release}"
results="${2:-}"
if [[ -z "$results" ]]; then
    binary="$build/bench/bench_copy"
    if [[ ! -x "$binary" ]]; then
        echo "bench-copy.sh: no $binary (configure with -DKORVELLO_BUILD_BENCH=ON and build)" >&2
        exit 1
    fi
    results="$(mktemp)"
    trap 'rm -f "$results"' EXIT
    echo "running bench_copy (about 20 seconds) ..." >&2
    "$binary" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_format=csv >"$results" 2>/dev/null
fi

# Median rows (a name may carry /iterations:1/real_time before _median):
# name,iterations,real_time,cpu_time,time_unit,bytes/s,items/s,"label",...
awk -F, '
    $1 ~ /BM_Copy200x5MB_KorvelloCli(\/[^,]*)?_median"?$/ { cli = $3; unit = $5; label = $8 }
    $1 ~ /BM_Copy200x5MB_KorvelloCliWriteTags(\/[^,]*)?_median"?$/ { tags = $3 }
    $1 ~ /BM_Copy200x5MB_Cp.*_median"?$/ { cp = $3 }
    $1 ~ /BM_Copy200x5MB_Ext4Disk_KorvelloCli(\/[^,]*)?_median"?$/ { disk = $3 }
    $1 ~ /BM_Copy200x5MB_Ext4Disk_KorvelloCliReplacing(\/[^,]*)?_median"?$/ { diskReplacing = $3 }
    $1 ~ /BM_Copy200x5MB_Ext4Disk_CpSync(\/[^,]*)?_median"?$/ { diskCp = $3 }
    END {
        if (cli == "" || cp == "")
            exit
        gsub(/"/, "", label)
        sub(/^CM_PROGRESS=/, "", label)
        printf "%-50s %13.2f %s\n", "copy 200 x 5 MB: korvello-cli copy (median)", cli, unit
        printf "%-50s %13.2f %s\n", "copy 200 x 5 MB: cp (median)", cp, unit
        printf "%-50s %13.2f x\n", "copy 200 x 5 MB: korvello-cli time / cp time", cli / cp
        printf "%-50s %13s\n", "copy 200 x 5 MB: CM_PROGRESS messages of the job", label
        if (tags != "") {
            printf "%-50s %13.2f %s\n", "copy 200 x 5 MB: korvello-cli --write-tags (median)", tags, unit
            printf "%-50s %13.2f x\n", "copy 200 x 5 MB: --write-tags time / plain time", tags / cli
        }
        if (disk != "" && diskCp != "") {
            printf "%-50s %13.2f %s\n", "to ext4 disk: korvello-cli copy, synced (median)", disk, unit
            printf "%-50s %13.2f %s\n", "to ext4 disk: korvello-cli replacing (median)", diskReplacing, unit
            printf "%-50s %13.2f %s\n", "to ext4 disk: cp + sync -f (median)", diskCp, unit
            printf "%-50s %13.2f x\n", "to ext4 disk: korvello-cli time / cp + sync time", disk / diskCp
        }
    }' "$results"
