#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The summary of the list and load rows in bench.sh's CSV results: korvello-cli list
# against libgpod's itdb_parse of the same 50,000-song iPod (with its playlists and
# without), as a ratio of the medians of real time and of CPU time; and what 200
# playlists of 5,000 songs cost the 100,000-song load.
#
#   bash scripts/bench-list.sh BUILD_DIR RESULTS
set -euo pipefail

build="${1:-build/release}"
results="$2"

if [[ ! -x "$build/bench/gpod-parse" ]]; then
    printf '%-50s %s\n' "list 50k: korvello-cli / libgpod" \
        "no ratio: libgpod is not installed (apt-get install libgpod-dev, then build again)"
fi

# Median rows: name,iterations,real_time,cpu_time,time_unit,...,program_cpu_ms,...
awk -F, '
    $1 == "name" {
        cpu = 0
        for (i = 1; i <= NF; i++)
            if ($i == "program_cpu_ms" || $i == "\"program_cpu_ms\"")
                cpu = i
        next
    }
    $1 ~ /_median"?$/ {
        name = $1
        gsub(/"/, "", name)
        real[name] = $3
        if (cpu > 0)
            cpums[name] = $cpu
    }
    function ratio(label, a, b) {
        if (!(a in real) || !(b in real) || real[b] + 0 == 0)
            return
        line = sprintf("%-50s %13.2f x", label, real[a] / real[b])
        if (cpums[a] + 0 > 0 && cpums[b] + 0 > 0)
            line = line sprintf("   CPU %.2f x", cpums[a] / cpums[b])
        print line
    }
    END {
        ratio("list 50k: korvello-cli list / libgpod parse",
              "KorvelloCliList/50k/iterations:1/manual_time_median",
              "LibgpodParse/50k/iterations:1/manual_time_median")
        ratio("list 50k, no playlists: korvello-cli / libgpod",
              "KorvelloCliList/50kNoPlaylists/iterations:1/manual_time_median",
              "LibgpodParse/50kNoPlaylists/iterations:1/manual_time_median")
        for (name in real) {
            if (name !~ /^BM_LoadDatabaseWithSizesNoPlaylists/)
                continue
            size = name
            sub(/^BM_LoadDatabaseWithSizesNoPlaylists/, "", size)
            sub(/_median$/, "", size)
            with = "BM_LoadDatabaseWithSizes" size "_median"
            if ((with in real) && real[name] + 0 > 0)
                printf "%-50s %13.2f x\n", "load " size ": 200 x 5,000 playlists / none",
                       real[with] / real[name]
        }
    }' "$results"
