#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks of what the build installs beside the programs, run by CTest (tests/packaging).
#
#   checks.sh man-help CLI WINDOW MANDIR      the manual pages list the commands and options
#                                             that --help lists
#   checks.sh releases VERSION METAINFO CHANGELOG
#                                             this version has its AppStream release entry and
#                                             its changelog entry
#   checks.sh icons ICONDIR SIZE...           each rendered icon has its size
#   checks.sh installed BUILD_DIR SIZE...     an install puts every file where desktops look
#   checks.sh no-qt PROGRAM                   the program loads no Qt or D-Bus library
#   checks.sh arguments WINDOW                the window program refuses a missing folder
#                                             and a second argument before any window
set -euo pipefail

fail=0
problem() {
    echo "FAIL: $*" >&2
    fail=1
}

# The options named in a text (roff or plain): "-h", "--no-overwrite"... but not the hyphen
# inside "korvello-cli" or "tab-separated". One a line, sorted, without repeats.
options_in() {
    sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\&//g' |
        grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z-]*' |
        sed -E 's/^[^-]*//' | sort -u
}

# The text of one section (.SH NAME) of a roff page, or of one subsection (.SS NAME).
roff_section() {
    local page="$1" level="$2" name="$3"
    awk -v level="$level" -v name="$name" '
        $1 == ".SH" || ($1 == ".SS" && level == ".SS") {
            inside = ($1 == level && substr($0, length($1) + 2) == name)
            next
        }
        inside' "$page"
}

# The .SS headings inside a .SH section.
roff_subsections() {
    awk -v name="$2" '
        $1 == ".SH" { inside = (substr($0, 5) == name); next }
        inside && $1 == ".SS" { print substr($0, 5) }' "$1" | sort
}

same_lines() {
    local what="$1" expected="$2" actual="$3"
    if [[ "$expected" != "$actual" ]]; then
        problem "$what differ: --help has [$(echo $expected)], the manual page [$(echo $actual)]"
    fi
}

check_man_help() {
    local cli="$1" window="$2" mandir="$3"
    local cli_page="$mandir/korvello-cli.1" window_page="$mandir/korvello.1"
    local help commands

    help="$("$cli" --help)"
    same_lines "korvello-cli's options" "$(options_in <<<"$help")" \
        "$(roff_section "$cli_page" .SH OPTIONS | options_in)"

    commands="$(awk '/^commands:/ { inside = 1; next } inside && NF == 0 { exit }
                     inside { print $1 }' <<<"$help" | sort)"
    [[ -n "$commands" ]] || problem "korvello-cli --help lists no commands"
    same_lines "korvello-cli's commands" "$commands" \
        "$(roff_subsections "$cli_page" COMMANDS)"

    local command
    for command in $commands; do
        # Every command takes --help; the manual says so once, under OPTIONS.
        same_lines "the options of korvello-cli $command" \
            "$("$cli" "$command" --help | options_in | grep -vxE -- '-h|--help' || true)" \
            "$(roff_section "$cli_page" .SS "$command" | options_in |
                grep -vxE -- '-h|--help' || true)"
    done

    # The window program answers --help before it looks for a display.
    help="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$window" --help)" ||
        problem "korvello --help failed without a display"
    same_lines "korvello's options" "$(options_in <<<"$help")" \
        "$(roff_section "$window_page" .SH OPTIONS | options_in)"
    local version
    version="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$window" --version)" ||
        problem "korvello --version failed without a display"
    [[ "$version" == "korvello "* ]] || problem "korvello --version printed '$version'"
}

check_arguments() {
    local window="$1" home status
    home="$(mktemp -d)"
    trap 'rm -rf "$home"' RETURN
    run_window() {
        env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
            QT_QPA_PLATFORM=offscreen "$window" "$@" 2>"$home/err" >/dev/null
    }
    status=0
    run_window "$home/nowhere" || status=$?
    [[ $status == 2 ]] || problem "korvello with a missing folder exited with $status, not 2"
    grep -qF "korvello: no such folder: $home/nowhere" "$home/err" ||
        problem "korvello with a missing folder said: $(cat "$home/err")"
    touch "$home/file"
    status=0
    run_window "$home/file" || status=$?
    [[ $status == 2 ]] || problem "korvello with a file for a folder exited with $status, not 2"
    status=0
    run_window "$home" "$home" || status=$?
    [[ $status == 2 ]] || problem "korvello with two folders exited with $status, not 2"
    grep -qF "Unexpected argument" "$home/err" ||
        problem "korvello with two folders said: $(cat "$home/err")"
}

check_releases() {
    local version="$1" metainfo="$2" changelog="$3"
    local newest
    newest="$(grep -oE '<release [^>]*version="[^"]+"' "$metainfo" | head -n 1 |
        sed -E 's/.*version="([^"]+)"/\1/')"
    [[ "$newest" == "$version" ]] ||
        problem "the newest AppStream release is '$newest', the project's version $version"
    grep -qE "<release version=\"$version\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$metainfo" ||
        problem "the AppStream release $version has no date"
    head -n 1 "$changelog" | grep -qF "korvello ($version)" ||
        problem "the changelog does not begin with version $version"
}

# Width and height of a PNG from its header chunk.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4,
                                 $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

check_icons() {
    local dir="$1" size
    shift
    for size in "$@"; do
        local png="$dir/korvello-$size.png"
        if [[ ! -f "$png" ]]; then
            problem "no icon $png"
            continue
        fi
        [[ "$(png_size "$png")" == "${size}x${size}" ]] ||
            problem "$png is $(png_size "$png"), not ${size}x${size}"
    done
}

check_installed() {
    local build="$1" size
    shift
    local prefix
    prefix="$(mktemp -d)"
    trap 'rm -rf "$prefix"' RETURN
    "${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >/dev/null
    local expected=(
        bin/korvello bin/korvello-cli
        share/applications/io.github.korvello.Korvello.desktop
        share/metainfo/io.github.korvello.Korvello.metainfo.xml
        share/bash-completion/completions/korvello-cli
        share/icons/hicolor/scalable/apps/korvello.svg
        share/man/man1/korvello.1.gz share/man/man1/korvello-cli.1.gz
        share/doc/korvello/copyright share/doc/korvello/changelog.gz
    )
    for size in "$@"; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/korvello.png")
    done
    local file
    for file in "${expected[@]}"; do
        [[ -f "$prefix/$file" ]] || problem "an install does not write $file"
    done
    if [[ -n "$(find "$prefix" -name korvello.portable)" ]]; then
        problem "an install writes the build tree's marker korvello.portable"
    fi
    desktop-file-validate "$prefix/share/applications/io.github.korvello.Korvello.desktop" ||
        problem "the installed desktop entry does not validate"
    for file in "$prefix"/share/man/man1/*.gz; do
        gzip -t "$file" || problem "$file is not a whole gzip file"
    done
}

# korvello-cli runs in terminals and scripts, where there may be no display and no D-Bus;
# it is built on the layers below the windows and must not drag Qt in.
check_no_qt() {
    local program=$1 libraries
    libraries=$(ldd "$program") || { problem "ldd cannot read $program"; return; }
    if grep -qiE 'libQt|libdbus' <<<"$libraries"; then
        problem "$program loads $(grep -iE 'libQt|libdbus' <<<"$libraries" | awk '{print $1}' | tr '\n' ' ')"
    fi
}

case "${1:-}" in
man-help) check_man_help "${@:2}" ;;
releases) check_releases "${@:2}" ;;
icons) check_icons "${@:2}" ;;
installed) check_installed "${@:2}" ;;
no-qt) check_no_qt "${@:2}" ;;
arguments) check_arguments "${@:2}" ;;
*)
    echo "usage: checks.sh man-help|releases|icons|installed|no-qt|arguments ARGS..." >&2
    exit 2
    ;;
esac
exit "$fail"
