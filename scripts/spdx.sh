#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Keeps the licence line "SPDX-License-Identifier: GPL-3.0-or-later" in the first comment of
# every C++, CMake and shell source of the project.
#
#   bash scripts/spdx.sh --check [ROOT]   list the files without it; exit 1 if there are any
#   bash scripts/spdx.sh --apply [ROOT]   add it to those files, in each file's own comment
#                                         syntax; files that have it are left as they are
#
# ROOT defaults to the repository this script lives in. The files are those git knows of
# (tracked or new, ignored ones left out), or every file under ROOT outside build folders
# when ROOT is not a git work tree.
set -euo pipefail

readonly tag="SPDX-License-Identifier: GPL-3.0-or-later"

usage() {
    echo "usage: spdx.sh --check|--apply [ROOT]" >&2
    exit 2
}

[[ $# -ge 1 && $# -le 2 ]] || usage
mode="$1"
[[ "$mode" == "--check" || "$mode" == "--apply" ]] || usage
root="${2:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

list_files() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z --cached --others --exclude-standard
    else
        find . -path ./.git -prune -o -path './build*' -prune -o -type f -print0 |
            sed -z 's|^\./||'
    fi
}

# The comment marker of a file, or nothing when the file is not a source this covers.
comment_of() {
    local file="$1"
    case "$file" in
    *.cpp | *.h | *.hpp | *.cc) echo "//" ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | Makefile | */Makefile) echo "#" ;;
    *)
        # Extensionless scripts (.ci/run): a shell shebang makes them shell sources.
        if [[ "$(head -c 2 "$file" 2>/dev/null)" == "#!" ]] &&
            head -n 1 "$file" | grep -Eq '(ba|da)?sh\b'; then
            echo "#"
        fi
        ;;
    esac
}

# awk program shared by both modes. The first comment is the first run of comment lines,
# after an optional shebang, "#pragma once" and blank lines. In check mode it prints
# "yes" when that run holds the tag; in apply mode it prints the file with the tag as the
# run's first line (or as a comment of its own there, when the file has no comment yet).
readonly awk_program='
function out(text) { if (mode == "apply") print text }
function flush_head() { for (i = 1; i <= nhead; i++) out(head[i]); nhead = 0 }
BEGIN { state = "before"; found = 0; nhead = 0 }
{
    line = $0
    stripped = line
    sub(/^[ \t]+/, "", stripped)
    is_comment = index(stripped, marker) == 1 && !(marker == "#" && stripped ~ /^#!/)
    if (state == "before") {
        if ((NR == 1 && line ~ /^#!/) || line ~ /^#pragma once/ || stripped == "") {
            head[++nhead] = line
            next
        }
        if (is_comment) {
            state = "in"
            if (index(line, tag) > 0) found = 1
            if (mode == "apply") { flush_head(); out(marker " " tag) }
            out(line)
            next
        }
        # Code before any comment: the file has no first comment.
        state = "after"
        if (mode == "check") exit
        if (mode == "apply") {
            # Keep the blank lines between the shebang or pragma and the code after the tag.
            n = nhead
            while (n > 0 && head[n] == "") n--
            for (i = 1; i <= n; i++) out(head[i])
            out(marker " " tag)
            for (i = n + 1; i <= nhead; i++) out(head[i])
            nhead = 0
        }
        out(line)
        next
    }
    if (state == "in") {
        if (is_comment) {
            if (index(line, tag) > 0) found = 1
        } else {
            state = "after"
            if (mode == "check") exit
        }
    }
    out(line)
}
END {
    if (mode == "check") { print(found ? "yes" : "no"); exit }
    if (state == "before") { flush_head(); out(marker " " tag) }
}'

has_tag() {
    local file="$1" marker="$2"
    [[ "$(awk -v mode=check -v marker="$marker" -v tag="$tag" "$awk_program" "$file" |
        tail -n 1)" == "yes" ]]
}

missing=0
while IFS= read -r -d '' file; do
    [[ -f "$file" && ! -L "$file" ]] || continue
    marker="$(comment_of "$file")"
    [[ -n "$marker" ]] || continue
    if has_tag "$file" "$marker"; then
        continue
    fi
    if [[ "$mode" == "--check" ]]; then
        echo "$file"
        missing=$((missing + 1))
    else
        tmp="$(mktemp "${file}.spdx-XXXXXX")"
        awk -v mode=apply -v marker="$marker" -v tag="$tag" "$awk_program" "$file" >"$tmp"
        chmod --reference="$file" "$tmp"
        mv "$tmp" "$file"
        echo "spdx.sh: added to $file"
    fi
done < <(list_files)

if [[ "$mode" == "--check" && $missing -gt 0 ]]; then
    echo "spdx.sh: $missing file(s) without \"$tag\" in their first comment" \
        "(bash scripts/spdx.sh --apply adds it)" >&2
    exit 1
fi
exit 0
