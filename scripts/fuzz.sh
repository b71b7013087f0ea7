#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs libFuzzer over the database reader (or, with "tags", the reading of a song file's
# own tags) for a number of minutes under AddressSanitizer and UBSan, starting from small
# databases of the shapes devices write (or short songs made by sox, lame and flac). The
# corpus grows in build/fuzz/corpus (corpus-tags) from run to run; a crashing input is left
# in build/fuzz/ as crash-*.
#
#   bash scripts/fuzz.sh MINUTES [database|tags]
set -euo pipefail

minutes="${1:-20}"
target="${2:-database}"
if [[ "$target" != database && "$target" != tags ]]; then
    echo "fuzz.sh: the target is database or tags, not '$target'" >&2
    exit 2
fi
if ! [[ "$minutes" =~ ^[0-9]+$ ]] || [[ "$minutes" -lt 1 ]]; then
    echo "fuzz.sh: MINUTES must be a whole number of minutes, not '$minutes'" >&2
    exit 2
fi

# libFuzzer comes with clang's runtime libraries; neither is needed for anything else, so
# they are installed here rather than by the bootstrap every build runs.
need=()
command -v clang++ >/dev/null 2>&1 || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    need+=(libclang-rt-14-dev)
if [[ ${#need[@]} -gt 0 ]]; then
    echo "fuzz.sh: installing ${need[*]}"
    SUDO=""
    [[ "$(id -u)" -ne 0 ]] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"${JOBS:-2}"

out=build/fuzz
bin="$out/tests/musicdb/fuzz"
if [[ "$target" == tags ]]; then
    seeds="$out/seeds-tags" corpus="corpus-tags" program=fuzz_tags
    mkdir -p "$seeds" "$out/$corpus"
    # Short tagged songs of each format the tagger reads.
    wav="$seeds/tone.wav"
    sox -n -r 8000 -c 1 -b 16 "$wav" synth 0.1 sine 440
    lame --quiet -b 32 --tt Title --ta Artist --tl Album --tn 3/9 "$wav" "$seeds/song.mp3"
    flac --silent --force -T TITLE=Title -T ARTIST=Artist -o "$seeds/song.flac" "$wav"
    sox "$wav" "$seeds/song.aiff"
else
    seeds="$out/seeds" corpus=corpus program=fuzz_database
    mkdir -p "$seeds" "$out/$corpus"
    "$bin/fuzz_seeds" "$seeds"
fi

log="$out/fuzz.log"
[[ "$target" == tags ]] && log="$out/fuzz-tags.log"
echo "fuzz.sh: running $program for $minutes minutes (log: $log)"
# One process (the machine's cores are shared); inputs up to 64 KB so that a mutation can
# grow a database well past its seed; an input that takes 10 s is a finding of its own.
status=0
(cd "$out" && "./tests/musicdb/fuzz/$program" -max_total_time=$((minutes * 60)) \
    -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus" \
    "${seeds#"$out/"}") >"$log" 2>&1 || status=$?
grep -E '^Done [0-9]+ runs|stat::number_of_executed_units' "$log" || true
if [[ $status -ne 0 ]]; then
    echo "fuzz.sh: the fuzzer stopped with a finding (status $status); see $log" >&2
    tail -40 "$log" >&2
fi
exit $status
