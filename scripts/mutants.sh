#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The mutation check (make mutants): breaks the safety guards one at a time, the way a
# careless edit would, and runs the one test program that must notice each.
#
#   bash scripts/mutants.sh [LIST] [NAME-PATTERN]
#
# LIST (default scripts/mutants.list) holds one block per mutation, blocks apart by an
# empty line:
#   name: what the broken code does
#   file: the source it changes (one file, relative to the repository)
#   sed: a sed expression that makes the change (several sed: lines run in order)
#   test: the test program (a CMake target of the test build)
#   filter: the tests of that program to run (a --gtest_filter; optional)
#   timeout: seconds before a run counts as hung, which catches it (optional, 120)
# NAME-PATTERN, when given, runs only the mutations whose name it matches (grep -E).
#
# The test programs are built in build/mutants (the test preset: ASan and UBSan) so no
# mutated object ever reaches build/test. Each mutation must change its file, must build,
# and must make its tests fail; the source is put back after each one, also when the run
# is interrupted (a run killed outright puts it back on the next start). Before any
# mutation every program and filter runs once on the source as it is and must pass.
set -uo pipefail

cd "$(dirname "$0")/.."
list=${1:-scripts/mutants.list}
only=${2:-}
build=build/mutants
jobs=${JOBS:-2}
pending=$build/pending
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-$(command -v ccache || true)}
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# --- the mutation in force, and putting its file back --------------------------------
restore() {
    if [[ -f $pending.path ]]; then
        local path
        path=$(cat "$pending.path")
        # Written over, not moved back: the file gets a new time, so the next build
        # compiles the restored source again (ccache has its object).
        cat "$pending.orig" >"$path"
        rm -f "$pending.path" "$pending.orig"
    fi
}
trap restore EXIT
trap 'restore; echo "mutants: interrupted, source restored" >&2; exit 130' INT TERM HUP

mkdir -p "$build"
restore # left by a run that was killed outright

# --- reading the list -------------------------------------------------------------------
names=() files=() seds=() tests=() filters=() timeouts=()
add_entry() {
    [[ -z $name ]] && return
    if [[ -z $file || -z $sed || -z $test ]]; then
        echo "mutants: '$name' needs file:, sed: and test:" >&2
        exit 2
    fi
    if [[ -z $only ]] || grep -qE -- "$only" <<<"$name"; then
        names+=("$name") files+=("$file") seds+=("$sed") tests+=("$test")
        filters+=("${filter:-*}") timeouts+=("${timeout:-120}")
    fi
}
name='' file='' sed='' test='' filter='' timeout=''
while IFS= read -r line || [[ -n $line ]]; do
    case $line in
    '#'*) ;;
    '')
        add_entry
        name='' file='' sed='' test='' filter='' timeout=''
        ;;
    name:*) name=${line#name: } ;;
    file:*) file=${line#file: } ;;
    sed:*) sed+=${sed:+$'\n'}${line#sed: } ;;
    test:*) test=${line#test: } ;;
    filter:*) filter=${line#filter: } ;;
    timeout:*) timeout=${line#timeout: } ;;
    *)
        echo "mutants: cannot read the line: $line" >&2
        exit 2
        ;;
    esac
done <"$list"
add_entry
count=${#names[@]}
((count > 0)) || { echo "mutants: no mutation in $list" >&2; exit 2; }

# --- build and run ------------------------------------------------------------------------
binary() { # the path of a test target's program in the build
    find "$build/tests" -type f -name "$1" -perm -u+x | head -n 1
}
run_tests() { # test filter timeout logfile: 0 when the tests pass
    local program
    program=$(binary "$1")
    [[ -n $program ]] || return 3
    timeout --signal=KILL "$3" "$program" --gtest_filter="$2" >"$4" 2>&1
}

start=$(date +%s)
cmake --preset mutants >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 2; }
mapfile -t targets < <(printf '%s\n' "${tests[@]}" | sort -u)
echo "mutants: $count mutations; building ${targets[*]} (load $(cut -d' ' -f1-3 /proc/loadavg))"
cmake --build "$build" -j"$jobs" --target "${targets[@]}" >"$build/build.log" 2>&1 ||
    { tail -n 40 "$build/build.log"; echo "mutants: the unchanged source does not build" >&2; exit 2; }

# Every test program and filter must pass as the source is, or a failure would prove nothing.
declare -A baseline=()
for ((i = 0; i < count; ++i)); do
    key="${tests[i]} ${filters[i]}"
    [[ -n ${baseline[$key]:-} ]] && continue
    baseline[$key]=1
    if ! run_tests "${tests[i]}" "${filters[i]}" "${timeouts[i]}" "$build/baseline.log"; then
        tail -n 30 "$build/baseline.log"
        echo "mutants: ${tests[i]} --gtest_filter='${filters[i]}' fails without any mutation" >&2
        exit 2
    fi
done

caught=0 survived=0 broken=0
for ((i = 0; i < count; ++i)); do
    file=${files[i]}
    t0=$(date +%s)
    cp "$file" "$pending.orig"
    printf '%s\n' "$file" >"$pending.path"
    sed -i -e "${seds[i]}" "$file"
    if cmp -s "$file" "$pending.orig"; then
        verdict="NOT APPLIED (the sed matches nothing: update the list)"
        broken=$((broken + 1))
    elif ! cmake --build "$build" -j"$jobs" --target "${tests[i]}" >"$build/mutant.log" 2>&1; then
        verdict="DOES NOT BUILD (see $build/mutant-$((i + 1)).log)"
        cp "$build/mutant.log" "$build/mutant-$((i + 1)).log"
        broken=$((broken + 1))
    elif run_tests "${tests[i]}" "${filters[i]}" "${timeouts[i]}" "$build/mutant.log"; then
        verdict="SURVIVED"
        survived=$((survived + 1))
    else
        code=$?
        why="tests failed"
        ((code == 137)) && why="hung, killed after ${timeouts[i]} s"
        grep -q "AddressSanitizer\|runtime error:" "$build/mutant.log" && why="sanitizer report"
        verdict="caught ($why)"
        caught=$((caught + 1))
    fi
    restore
    printf '%2d/%d %-62s %-16s %4ss  %s\n' $((i + 1)) "$count" "${names[i]}" "${tests[i]}" \
        $(($(date +%s) - t0)) "$verdict"
done

# Leave the build matching the source again.
cmake --build "$build" -j"$jobs" --target "${targets[@]}" >"$build/build.log" 2>&1
elapsed=$(($(date +%s) - start))
echo "mutants: $caught caught, $survived survived, $broken not applied or not built;" \
    "$((elapsed / 60)) min $((elapsed % 60)) s (load $(cut -d' ' -f1-3 /proc/loadavg))"
((survived == 0 && broken == 0))
