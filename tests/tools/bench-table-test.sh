#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# make bench's table, printed from benchmarks that stand in for the real ones: the rows
# with their peak memory, the started program's CPU and its whole run, a row that skipped
# itself with its reason, and the status of a benchmark that failed.
#
#   bash tests/tools/bench-table-test.sh SOURCE_DIR
set -euo pipefail

source_dir="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/bench/scale"

# A start-up-like binary: every row has the same counters, as the CSV table requires.
cat >"$work/build/bench/scale/bench_startup_like" <<'BENCH'
#!/usr/bin/env bash
echo 'name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,label,error_occurred,error_message,peak_MB,program_cpu_ms,rows,whole_run_cpu_ms,whole_run_ms'
echo '"BM_Load100k_median",5,231.5,220.1,ms,,,,,,348.3,418.9,100000,0,0'
echo '"BM_Startup100k/iterations:3/manual_time_median",5,480.2,4.1,ms,,,,,,361.4,770.3,100000,830.4,538.3'
echo '"BM_Cold20k",,,,,,,,true,"no loop device here, skipped"'
BENCH
# A binary that fails after printing its header.
cat >"$work/build/bench/bench_broken" <<'BENCH'
#!/usr/bin/env bash
echo 'name,iterations,real_time,cpu_time,time_unit'
echo 'it broke' >&2
exit 3
BENCH
chmod +x "$work/build/bench/scale/bench_startup_like" "$work/build/bench/bench_broken"

status=0
bash "$source_dir/scripts/bench.sh" "$work/build" >"$work/out" 2>"$work/err" || status=$?
fail() {
    echo "bench-table-test: $1" >&2
    echo "--- stdout" >&2
    cat "$work/out" >&2
    echo "--- stderr" >&2
    cat "$work/err" >&2
    exit 1
}
[[ $status -eq 1 ]] || fail "status $status, expected 1 (one benchmark failed)"
grep -q 'bench_broken failed' "$work/err" || fail "the failed benchmark is not named"
grep -q 'it broke' "$work/err" || fail "the failed benchmark's own words are not shown"
! grep -qi 'awk' "$work/err" || fail "awk complained"
grep -Eq '^BM_Load100k +231\.50 ms +220\.10 ms +peak 348 MB +program CPU 419 ms$' "$work/out" ||
    fail "the load row is missing or wrong"
grep -Eq '^BM_Startup100k/iterations:3/manual_time +480\.20 ms .*program CPU 770 ms +whole run 538 ms \(CPU 830 ms\)$' \
    "$work/out" || fail "the start-up row is missing or wrong"
grep -Eq '^BM_Cold20k +no loop device here, skipped$' "$work/out" ||
    fail "the skipped row does not say why"
echo "bench table: ok"
