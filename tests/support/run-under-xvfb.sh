#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program on a private X server (Xvfb), so that the windows meet a real
# display: real decorations hints, shaped windows and a real mouse driven by xdotool.
#
#   run-under-xvfb.sh [--wm openbox] PROGRAM ARGS...
#
# Without --wm no window manager runs; with it, that window manager runs first and the
# program gets KORVELLO_TEST_WM set to its name. Exits 77 (counted as skipped) when Xvfb,
# the X tools or the window manager asked for are missing.
set -u

wm=""
if [ "${1:-}" = "--wm" ]; then
    wm="$2"
    shift 2
fi

for tool in Xvfb xdotool xprop $wm; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/bootstrap.sh installs it)"
        exit 77
    fi
done

dir=$(mktemp -d)
wmpid=""
trap '[ -n "$wmpid" ] && kill "$wmpid" 2>/dev/null; kill "$xvfb" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT

# Xvfb picks a free display itself and writes its number to the descriptor given.
exec 3>"$dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 1 100); do
    [ -s "$dir/display" ] && break
    if ! kill -0 "$xvfb" 2>/dev/null; then
        echo "SKIP: Xvfb did not start: $(cat "$dir/xvfb.log")"
        exit 77
    fi
    sleep 0.1
done
if [ ! -s "$dir/display" ]; then
    echo "SKIP: Xvfb gave no display number"
    exit 77
fi

export DISPLAY=":$(head -n1 "$dir/display")"
export QT_QPA_PLATFORM=xcb
unset KORVELLO_TEST_WM

if [ -n "$wm" ]; then
    "$wm" >"$dir/wm.log" 2>&1 &
    wmpid=$!
    # The window manager is up once it announces itself on the root window.
    for _ in $(seq 1 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
        echo "SKIP: $wm did not start: $(cat "$dir/wm.log")"
        exit 77
    fi
    export KORVELLO_TEST_WM="$wm"
fi

"$@"
