#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes docs/screenshot.png (the main window on the demo iPod, a copy under way),
# docs/options.png (the options window), docs/report.png (the report of a real copy of
# the demo iPod's songs into /tmp/korvello-screenshot/Music, its help text open) and
# docs/options-naming.png (the options window with its "Name copies" list open), all drawn
# off-screen.
#
#   bash scripts/screenshot.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:-build/release}" && pwd)"
top="$(cd "$(dirname "$0")/.." && pwd)"
shot="$build/screenshot"
rm -rf "$shot"
mkdir -p "$shot/config/korvello/drives" "$shot/data"
"$build/tools/make-demo-ipod" "$shot/ipod"
ln -sfn "$shot/ipod" "$shot/config/korvello/drives/e:"
mkdir -p "$top/docs"
# The copies go where the report's paths read well; a fresh folder each time.
music="${TMPDIR:-/tmp}/korvello-screenshot/Music"
rm -rf "$music"
mkdir -p "$music"
XDG_CONFIG_HOME="$shot/config" XDG_DATA_HOME="$shot/data" QT_QPA_PLATFORM=offscreen \
    "$build/tools/screenshot/korvello-screenshot" "$top/docs/screenshot.png" \
    "$top/docs/options.png" "$top/docs/report.png" "$music" "$top/docs/options-naming.png"
echo "wrote docs/screenshot.png docs/options.png docs/report.png docs/options-naming.png"
