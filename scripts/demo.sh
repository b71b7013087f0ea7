#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes two demo iPods, a classic one with an iTunesDB and a nano 7G that keeps only a
# compressed iTunesCDB, maps them as drives e: and f: in a configuration folder of its own
# under the build folder (the user's own settings and drives stay untouched), lists their
# songs in the terminal and starts the program, whose selector offers both.
#
#   bash scripts/demo.sh BUILD_DIR
#   KORVELLO_DEMO_NO_WINDOW=1 bash scripts/demo.sh BUILD_DIR   # list only, no window
set -euo pipefail

build_arg="${1:-build/release}"
if [[ ! -d "$build_arg" ]]; then
    echo "demo.sh: no build folder '$build_arg' (run 'make build' first)" >&2
    exit 1
fi
build="$(cd "$build_arg" && pwd)"
demo="$build/demo"
ipod="$demo/ipod"
nano="$demo/nano 7G"

for tool in "$build/tools/make-demo-ipod" "$build/korvello-cli"; do
    if [[ ! -x "$tool" ]]; then
        echo "demo.sh: $tool is missing (run 'make build' first)" >&2
        exit 1
    fi
done

# A fresh iPod each time, so an earlier demo's state never shows.
rm -rf "$ipod" "$nano"
"$build/tools/make-demo-ipod" "$ipod"
"$build/tools/make-demo-ipod" --nano7g "$nano"

export XDG_CONFIG_HOME="$demo/config"
export XDG_DATA_HOME="$demo/data"
mkdir -p "$XDG_CONFIG_HOME/korvello/drives" "$XDG_DATA_HOME"
ln -sfn "$ipod" "$XDG_CONFIG_HOME/korvello/drives/e:"
ln -sfn "$nano" "$XDG_CONFIG_HOME/korvello/drives/f:"

echo
"$build/korvello-cli" drives
echo
echo "Songs on the demo iPod (drive e: -> $ipod):"
"$build/korvello-cli" list --drive e:
echo
echo "Songs on the demo iPod nano 7G (drive f: -> $nano):"
"$build/korvello-cli" list --drive f:
echo
echo "Playlists on the demo iPod (name, kind, songs):"
"$build/korvello-cli" playlists --drive e:
echo
echo "The songs of \"Night Drive\" with what the iPod kept of them:"
"$build/korvello-cli" list --drive e: --playlist "Night Drive" \
    --fields artist,title,track,year,rating,plays,lastplayed

if [[ "${KORVELLO_DEMO_NO_WINDOW:-0}" != "0" ]]; then
    exit 0
fi
if [[ ! -x "$build/korvello" ]]; then
    echo "demo.sh: $build/korvello is missing; the window cannot be started" >&2
    exit 1
fi
echo
echo "Starting Korvello (XDG_CONFIG_HOME=$XDG_CONFIG_HOME)..."
exec "$build/korvello"
