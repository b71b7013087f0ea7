#!/usr/bin/env bash
# Runs a test program on a private X server (Xvfb) with no window manager, so that the
# windows meet a real display: real decorations hints, shaped windows and a real mouse
# driven by xdotool. Exits 77 (counted as skipped) when Xvfb or the X tools are missing.
set -u

for tool in Xvfb xdotool xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/bootstrap.sh installs it)"
        exit 77
    fi
done

dir=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT

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
"$@"
