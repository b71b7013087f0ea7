#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Formats the C++ sources with the repository's .clang-format (make format). With --check
# it changes nothing, names every place that disagrees and fails when there is one; the
# test suite runs it so.
set -euo pipefail
cd "$(dirname "$0")/.."

CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(find src tests bench tools \( -name '*.cpp' -o -name '*.h' \) | sort)

if [ "${1:-}" = "--check" ]; then
    exec "$CLANG_FORMAT" --dry-run --Werror "${files[@]}"
fi
exec "$CLANG_FORMAT" -i "${files[@]}"
