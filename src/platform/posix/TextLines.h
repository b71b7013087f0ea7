#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of a small text file (a profile file, user.reg) with where each one lies, so
// an edit can rewrite one line and keep every other byte as it was.

#include <cstddef>
#include <string_view>
#include <vector>

namespace korvello::posix {

struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;  // past the content, before the line ending
    std::size_t next = 0; // start of the following line
    std::string_view content;
};

// Splits at "\n", dropping a "\r" before it from the content; a UTF-8 byte-order mark
// belongs to no line.
std::vector<Line> SplitLines(std::string_view text);

// The components of a path between `separators`, from `pos` on: empty names and "." are
// dropped and ".." removes the component before it, never climbing above the start.
std::vector<std::string_view> NormalComponents(std::string_view path, std::size_t pos,
                                               std::string_view separators);

} // namespace korvello::posix
